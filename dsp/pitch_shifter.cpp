#include "dsp/pitch_shifter.h"

#include <algorithm>

namespace zalo {

float VoiceChain::pitchShift(float x, float semitones) {
    // Below 0.05 semitone: no delay, no write, no phase movement.
    if (pitchBypassed(semitones)) return x;
    return pitchShiftStep(x, pitchRatio(semitones), pitchDelay, pitchWritePos, pitchPhase);
}

float VoiceChain::readDelay(float delay) const {
    return readPitchLine(pitchDelay, static_cast<std::int32_t>(pitchWritePos), delay);
}

// Block form, in chunks: first the chunk's samples go into the line, then the
// phase runs through the chunk, then every output is read. Each output reads
// at least 48 samples back, so writing ahead within a chunk far shorter than
// the 8192-sample line never touches what an earlier sample of the chunk
// reads: the result is the sample-by-sample one. Of the reading, the head
// positions and weights have no recursion and run in vector lanes; the
// line lookups and the mix follow in a plain loop.
void VoiceChain::pitchShiftBlock(float* y, std::size_t n, float semitones) {
    if (pitchBypassed(semitones)) return;
    constexpr std::size_t kChunk = 256;
    static_assert(kChunk + kPitchSweepSamples + kPitchMinDelaySamples < kPitchLineLength,
                  "a chunk must not overwrite what it still reads");
    const float step = pitchPhaseStep(pitchRatio(semitones));  // once per block
    float phases[kChunk];
    std::int32_t indexA[kChunk], indexB[kChunk];
    float fractionA[kChunk], fractionB[kChunk], w1[kChunk], w2[kChunk], wSum[kChunk];
    for (std::size_t done = 0; done < n; done += kChunk) {
        const std::size_t m = std::min(kChunk, n - done);
        float* chunk = y + done;
        const std::uint64_t start = pitchWritePos;
        for (std::size_t i = 0; i < m; ++i) pitchDelay[(start + i) & kPitchMask] = chunk[i];
        pitchWritePos = (start + m) & kPitchMask;
        float ph = pitchPhase;
        for (std::size_t i = 0; i < m; ++i) {
            ph = advancePitchPhase(ph, step);
            phases[i] = ph;
        }
        pitchPhase = ph;
        const std::int32_t first = static_cast<std::int32_t>(start);
        const std::int32_t count = static_cast<std::int32_t>(m);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t wp = (first + i + 1) & static_cast<std::int32_t>(kPitchMask);
            const PitchHeads h = pitchHeads(wp, phases[i]);
            indexA[i] = h.a.index;
            fractionA[i] = h.a.fraction;
            indexB[i] = h.b.index;
            fractionB[i] = h.b.fraction;
            w1[i] = h.w1;
            w2[i] = h.w2;
            wSum[i] = h.wSum;
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const PitchHeads h{{indexA[i], fractionA[i]}, {indexB[i], fractionB[i]}, w1[i], w2[i], wSum[i]};
            chunk[i] = mixHeads(pitchDelay, h);
        }
    }
}

}  // namespace zalo

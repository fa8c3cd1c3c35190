// "Limpeza HD": the clean-voice noise reducer, an alternative to the spectral
// noise-reduction stage of the chain. Overlapping 512-sample frames with a
// square-root Hann window for analysis and synthesis (hop 256), a
// log-spectral-amplitude gain with decision-directed a-priori SNR, and a
// noise estimate from minima-controlled recursive averaging. The gain never
// goes below a floor set by the strength slider; at strength 0 the floor is 1
// and the stage returns its input delayed by exactly 512 samples.
// 48000 Hz only; all state is fixed arrays; nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/fft512.h"

namespace zalo {

constexpr std::size_t kCleanFrameSize = kFft512Size;                // 512 samples, 10.7 ms
constexpr std::size_t kCleanHopSize = kCleanFrameSize / 2;          // 256 samples
constexpr std::size_t kCleanBins = kFft512Bins;                     // 257
constexpr std::size_t kCleanLatencySamples = kCleanFrameSize;       // input to output
constexpr std::size_t kCleanStartupFrames = 16;  // plain noise average before tracking
constexpr std::size_t kCleanMinStoreSize = 8;    // U: sub-windows of the minimum search
constexpr std::size_t kCleanMinWindowFrames = 16;  // V: frames per sub-window

// Gain floor for the strength slider position 0..100:
// floor = 10^(-0.23 * strength / 20), i.e. 0 dB at 0, -15 dB at 65, -23 dB at 100.
float cleanVoiceFloor(float strengthPercent);

// Running minimum of a per-bin quantity over the last U*V to (U+1)*V frames:
// `minimum` is the least of the U stored sub-window minima and the current
// sub-window's running minimum `window`.
struct MinimumTracker {
    float minimum[kCleanBins];
    float window[kCleanBins];
    float store[kCleanMinStoreSize][kCleanBins];
    std::size_t next;  // store slot the next sub-window minimum replaces

    void start(const float* s);                      // everything = s
    void update(const float* s, std::uint64_t frame);
};

struct CleanVoiceStage {
    // Sample flow: each sample goes into input[kCleanHopSize + pos] and the
    // sample output[pos] leaves; when pos reaches kCleanHopSize a frame is
    // processed over input[0..511], output[] receives the next hop and the
    // newer half of input moves to the front.
    float input[kCleanFrameSize];
    float output[kCleanHopSize];
    float overlap[kCleanHopSize];  // w[n+256] * y[n+256] of the last frame
    std::size_t pos;
    std::uint64_t frame;  // frames processed since reset (l)

    // Per-bin state, powers in squared DFT units.
    float speechPower[kCleanBins];   // A^2 = G^2 P of the last frame
    float noise[kCleanBins];         // lambda: noise estimate for the next frame
    float noiseTilde[kCleanBins];    // lambda~ before the bias factor
    float smoothed[kCleanBins];      // S: time- and frequency-smoothed power
    float smoothedTilde[kCleanBins]; // S~: the same over likely-noise bins only
    MinimumTracker minSmoothed, minSmoothedTilde;

    CleanVoiceStage() { reset(); }
    void reset();

    // Samples until the next frame boundary, at most `remaining`.
    std::size_t runLength(std::size_t remaining) const {
        const std::size_t left = kCleanHopSize - pos;
        return remaining < left ? remaining : left;
    }
    float* inputSlot() { return input + kCleanHopSize + pos; }
    const float* outputSlot() const { return output + pos; }
    // After a run of `run` samples was written to inputSlot() and read from
    // outputSlot(): advance, and process the frame at a boundary.
    void finishRun(std::size_t run, float gainFloor) {
        pos += run;
        if (pos == kCleanHopSize) processFrame(gainFloor);
    }

    // The stage on its own, in place (the chain fuses it into its front loop).
    void process(float* y, std::size_t n, float gainFloor);
    void processFrame(float gainFloor);

private:
    void trackNoise(const float* power, const float* xi, const float* expMinusV);
};

}  // namespace zalo

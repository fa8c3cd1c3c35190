#include "audio/audio_engine.h"

#include <algorithm>
#include <cmath>

#include "dsp/denormals.h"

namespace zalo {

AudioEngine::AudioEngine() = default;

// Natively there is no capture backend, so no thread is ever started; the
// Windows destructor stops everything (audio_engine_win.cpp).
#ifndef _WIN32
AudioEngine::~AudioEngine() = default;
#endif

void AudioEngine::setParams(const ProcessingParams& p) {
    std::lock_guard<std::mutex> lock(paramsMutex);
    params = p;
}


void AudioEngine::processBlock(const float* samples, std::size_t frames, unsigned sampleRate) {
    workSize = 0;
    if (samples == nullptr || frames == 0) return;
    // Decaying filter memories reach subnormal floats on digital silence;
    // flushing them keeps the cost of a silent block equal to a spoken one.
    ScopedFlushDenormals flushDenormals;

    ProcessingParams snapshot;
    {
        std::lock_guard<std::mutex> lock(paramsMutex);
        snapshot = params;
    }

    const std::size_t n = converter.process(samples, frames, sampleRate, work, kWorkCapacitySamples);
    workSize = n;
    // A block too short to reach the next 48 kHz position (one frame, say)
    // yields nothing yet; the meters keep showing the last real block.
    if (n == 0) return;

    // Voice test: the block as it enters the chain. recPos is ours while it
    // is below the end; the UI only stores 0 to start a test.
    const std::uint64_t recAt = recPos.load(std::memory_order_acquire);
    std::size_t recCount = 0;
    if (recAt < kVoiceTestSamples) {
        recCount = static_cast<std::size_t>(std::min<std::uint64_t>(kVoiceTestSamples - recAt, n));
        std::copy(work, work + recCount, recOriginal + recAt);
    }

    if (snapshot.enabled) {
        chain.sampleRate = kChainSampleRateHz;
        chain.params = clampForChain(snapshot);
        chain.process(work, n);
        inputPeak.exchange(chain.blockInputPeak);
        outputPeak.exchange(chain.blockOutputPeak);
    } else {
        // Filter off: the block passes untouched and the chain keeps its
        // state. Only non-finite samples are replaced by 0, so that no output,
        // recording or file downstream ever receives NaN or infinity.
        float peak = 0.0f;
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(work[i])) work[i] = 0.0f;
            peak = std::max(peak, std::fabs(work[i]));
        }
        outputPeak.exchange(peak);
        inputPeak.exchange(peak);
    }

    if (recCount > 0) {
        std::copy(work, work + recCount, recFiltered + recAt);
        // Publishes both recordings' samples with the new position. A test
        // restarted by the UI meanwhile (recPos back to 0) wins.
        std::uint64_t expected = recAt;
        recPos.compare_exchange_strong(expected, recAt + recCount, std::memory_order_acq_rel);
    }

    // work[0..n) is now the block handed on to the outputs. A stopped output
    // receives nothing.
    if (cable.running.load(std::memory_order_acquire)) writeCable(n);
    if (monitor.running.load(std::memory_order_acquire)) monitor.write(work, n);
}

void AudioEngine::writeCable(std::size_t n) {
    // One read of the flag per block: a key edge takes effect at the next
    // block, and the ramp then spans blocks.
    const bool open = cableGateOpen.load(std::memory_order_relaxed);
    if (cableGate.passesUnchanged(open)) {
        cable.write(work, n);
        return;
    }
    for (std::size_t at = 0; at < n; at += kGateChunkSamples) {
        const std::size_t count = std::min(kGateChunkSamples, n - at);
        std::copy(work + at, work + at + count, gateChunk);
        cableGate.apply(gateChunk, count, open);
        if (cable.write(gateChunk, count) < count) break;  // ring full: the rest is dropped
    }
}

}  // namespace zalo

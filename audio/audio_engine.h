// zalo::AudioEngine: owns the settings block, the chain and the meters, and
// turns every captured block into the 48 kHz mono block that the outputs play.
// This header is portable; the Windows capture thread lives in its own file.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "dsp/processing_params.h"
#include "dsp/voice_chain.h"

namespace zalo {

constexpr unsigned kEngineSampleRateHz = 48000;
// Largest block after conversion to 48 kHz; longer blocks are truncated.
constexpr std::size_t kWorkCapacitySamples = 65536;

// Converts `frames` mono samples at `sampleRate` to 48000 Hz by linear
// interpolation (positions in double precision) into `out`, which holds
// `capacity` samples. A rate of 0 is taken as 1. Returns the samples written:
// trunc(max(frames * 48000 / rate, 1)), at most `capacity`.
std::size_t convertTo48k(const float* samples, std::size_t frames, unsigned sampleRate,
                         float* out, std::size_t capacity);

class AudioEngine {
public:
    AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // The block processor, called on the capture thread once per packet with
    // mono floats at the device rate. In order: settings snapshot, conversion
    // to 48 kHz into `work`, chain (or bypass) and meters, then the block is
    // handed on to the outputs. Allocates nothing, takes the mutex only for
    // the snapshot copy.
    void processBlock(const float* samples, std::size_t frames, unsigned sampleRate);

    // UI thread: replaces the whole settings block under the mutex.
    void setParams(const ProcessingParams& p);

    // The block that processBlock last handed on, valid until the next call;
    // this is what the virtual cable receives.
    const float* lastBlock() const { return work; }
    std::size_t lastBlockSize() const { return workSize; }

    // Level meters: linear peak of the last block, full scale 1.0.
    std::atomic<float> inputPeak{0.0f};
    std::atomic<float> outputPeak{0.0f};

private:
    std::mutex paramsMutex;
    ProcessingParams params;
    VoiceChain chain;
    float work[kWorkCapacitySamples] = {};
    std::size_t workSize = 0;
};

}  // namespace zalo

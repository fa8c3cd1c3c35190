// The outputs under clock drift, in virtual time: a microphone and an output
// device on clocks of their own, with the engine's real path between them
// (processBlock with the filter off, the output ring, the drift loop, the
// trim resampler and the device path's refill logic from output_feed.h).
// Hours of audio run in seconds; zalo-drift prints the result as JSON and the
// native unit tests check it. The model is described in drift_sim.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zalo {

enum class SimPath { Wasapi, WaveOut };
enum class SimOutput { Cable, Monitor };

struct DriftSimConfig {
    SimPath path = SimPath::Wasapi;
    SimOutput output = SimOutput::Cable;
    unsigned micRateHz = 48000;            // the microphone's nominal rate
    std::vector<std::size_t> blockFrames;  // per packet, used in turn; empty: micRateHz / 100
    std::size_t burst = 1;                 // packets delivered together, every `burst` periods
    double micPpm = 0.0;                   // each clock's error: real = nominal * (1 + ppm * 1e-6)
    double outPpm = 0.0;
    double seconds = 3600.0;  // simulated duration
    double toneHz = 0.0;      // > 0: a sine of this frequency instead of speech-like noise
    std::uint64_t seed = 1;
};

// The figures below that summarise a spread are taken from this moment on:
// the start-up (learning windows, alignment, the loop's first swing) is left
// out.
constexpr double kSimMeasureFromSeconds = 60.0;

struct SimSpread {
    double min = 0.0, median = 0.0, max = 0.0;
    bool measured = false;  // anything fell inside the measured part
};

struct DriftSimResult {
    // The feed's counters over the whole run (OutputStats).
    std::uint64_t skips = 0, pads = 0, droppedSamples = 0, paddedSamples = 0, alignments = 0;
    // Frames the simulated device played as silence because nothing was
    // queued, once the stream had begun: the under-runs a listener hears,
    // whether or not the feed noticed them.
    std::uint64_t deviceUnderrunSamples = 0;
    // The moment after which nothing disturbed the stream (no pad, skip,
    // alignment or device under-run) and every later sample's latency fits
    // in one band of 2 * kSimSettleToleranceMs.
    double settleSeconds = 0.0;
    // Measured from kSimMeasureFromSeconds on, in ms: the queue the loop
    // controls, sampled at each refill; each played sample's latency from
    // capture to playing.
    SimSpread fillMs, latencyMs;
    double trimFinalPpm = 0.0;
    SimSpread trimPpm;  // min and max only
    // With a tone, over the measured part: the worst 1-second window's
    // residual after fitting a sine (amplitude, phase, frequency free), and
    // the worst against the exact tone at each sample's known stream
    // position; dB relative to the tone's power.
    double toneErrorDb = 0.0;
    double toneExactErrorDb = 0.0;
    std::uint64_t toneWindows = 0;
    // 48 kHz microphone only, over the measured part: played samples that
    // came from a whole stream position at a trim of 0 (checked) and those
    // not bit-identical to the microphone's sample there (mismatches).
    std::uint64_t exactChecked = 0, exactMismatches = 0;
    std::uint64_t outputSamples = 0;  // played from the ring, whole run
};

// Latency band around the median that counts as settled (the steady-state
// spread allowed is twice this).
constexpr double kSimSettleToleranceMs = 2.5;

DriftSimResult runDriftSim(const DriftSimConfig& config);

}  // namespace zalo

// The outputs' drift loop through the drift simulation (bench/drift_sim.h):
// the engine's real ring, feed and device refill logic between a microphone
// and a device on clocks of their own, over simulated hours. Whatever the
// clocks, packet sizes, bursts and device path: nothing skipped, no pad or
// device under-run after the first minute, and each sample's latency held
// within 5 ms. With equal clocks: no trim at all, every sample bit for bit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/drift_sim.h"

namespace zalo {
namespace {

// ThreadSanitizer checks nothing in this single-threaded simulation and
// slows it tenfold: there the runs are shortened.
#if defined(__SANITIZE_THREAD__)
constexpr double kHoursScale = 0.2;
#else
constexpr double kHoursScale = 1.0;
#endif

struct Case {
    SimPath path;
    SimOutput output;
    unsigned micRateHz;
    std::vector<std::size_t> blocks;
    std::size_t burst;
    double micPpm, outPpm;
    double hours;
};

std::string describe(const Case& c) {
    std::string blocks;
    for (std::size_t b : c.blocks) blocks += std::to_string(b) + ",";
    return std::string(c.path == SimPath::Wasapi ? "wasapi " : "waveout ") +
           (c.output == SimOutput::Cable ? "cable " : "monitor ") + std::to_string(c.micRateHz) + " Hz [" + blocks +
           "] burst " + std::to_string(c.burst) + ", mic " + std::to_string(c.micPpm) + " ppm, out " +
           std::to_string(c.outPpm) + " ppm";
}

DriftSimResult simulate(const Case& c) {
    DriftSimConfig config;
    config.path = c.path;
    config.output = c.output;
    config.micRateHz = c.micRateHz;
    config.blockFrames = c.blocks;
    config.burst = c.burst;
    config.micPpm = c.micPpm;
    config.outPpm = c.outPpm;
    config.seconds = c.hours * kHoursScale * 3600.0;
    return runDriftSim(config);
}

const std::vector<std::size_t> k48{480}, k44{441, 441, 442};

TEST(DriftLoop, HoldsLatencyWithoutPadsWhateverTheClocks) {
    const Case cases[] = {
        {SimPath::Wasapi, SimOutput::Cable, 48000, k48, 1, 500, -500, 0.25},
        {SimPath::Wasapi, SimOutput::Cable, 44100, k44, 3, -500, 500, 0.25},
        {SimPath::Wasapi, SimOutput::Monitor, 44100, k44, 1, 0, -300, 0.25},
        {SimPath::WaveOut, SimOutput::Cable, 44100, k44, 1, -500, 500, 0.25},
        {SimPath::WaveOut, SimOutput::Cable, 48000, k48, 3, 300, 0, 0.25},
        {SimPath::WaveOut, SimOutput::Monitor, 48000, k48, 3, -500, 500, 0.25},
        {SimPath::WaveOut, SimOutput::Monitor, 44100, k44, 3, 0, -300, 0.25},
        // A slow drift takes long to show: the queue crosses the loop's
        // dead band only after minutes.
        {SimPath::Wasapi, SimOutput::Cable, 48000, k48, 1, 50, 0, 2.0},
    };
    for (const Case& c : cases) {
        const DriftSimResult r = simulate(c);
        ASSERT_TRUE(r.latencyMs.measured) << describe(c);
        EXPECT_EQ(r.skips, 0u) << describe(c);
        // Settled (no pad, skip, alignment or device under-run, latency in
        // its band) within the first minute.
        EXPECT_LE(r.settleSeconds, 60.0) << describe(c) << ": " << r.pads << " pads";
        EXPECT_LE(r.latencyMs.max - r.latencyMs.min, 5.0)
            << describe(c) << ": " << r.latencyMs.min << " to " << r.latencyMs.max << " ms";
    }
}

TEST(DriftLoop, EqualClocksNeverTrimAndCopyEverySample) {
    for (const SimPath path : {SimPath::Wasapi, SimPath::WaveOut}) {
        const Case c{path, SimOutput::Cable, 48000, k48, 1, 0, 0, 0.25};
        const DriftSimResult r = simulate(c);
        EXPECT_LE(r.settleSeconds, 60.0) << describe(c);
        EXPECT_EQ(std::make_pair(r.trimPpm.min, r.trimPpm.max), std::make_pair(0.0, 0.0)) << describe(c);
        EXPECT_EQ(r.exactMismatches, 0u) << describe(c);
        // Every sample played after the first minute was checked.
        EXPECT_GE(r.exactChecked + 61 * 48000, r.outputSamples) << describe(c);
    }
}

}  // namespace
}  // namespace zalo

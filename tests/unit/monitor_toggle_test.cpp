// The UI toggles the live monitor while the capture thread produces blocks
// (run under ThreadSanitizer too). After a start the monitor must play only
// what was produced from then on: voice from before the toggle would stay as
// delay for good, since the monitor has no backlog cap. The cable's ring runs
// between the same capture thread and a consumer of its own meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "audio/audio_engine.h"

namespace zalo {
namespace {

// Stands in for the speakers: drains the ring as fast as it fills and counts
// samples older than the current start allows.
struct DrainingDevice : MonitorDevice {
    float firstAllowedBlock = 0.0f;  // set by the UI before each start
    std::uint64_t stale = 0;
    std::atomic<std::uint64_t> buffers{0};
    bool open() override { return true; }
    void play(MonitorOutput& monitor) override {
        float out[kOutputBufferFrames];
        while (monitor.running.load()) {
            if (monitor.feed.ready() < kOutputBufferFrames) {
                std::this_thread::yield();
                continue;
            }
            monitor.feed.produce(out, kOutputBufferFrames);
            ++buffers;
            // Each start leads with the resampler's silent look-ahead.
            for (float v : out) stale += v != 0.0f && v < firstAllowedBlock ? 1 : 0;
        }
    }
};

TEST(MonitorToggle, AStartNeverPlaysVoiceFromBeforeIt) {
    auto engine = std::make_unique<AudioEngine>();
    ProcessingParams bypass;
    bypass.enabled = false;  // blocks reach the ring untouched
    engine->setParams(bypass);
    DrainingDevice device;
    engine->monitor.device = &device;

    // Every sample of block b holds b (exact in float below 2^24).
    std::atomic<std::uint64_t> produced{0};
    std::atomic<bool> done{false};
    std::thread capture([&] {
        std::vector<float> block(kOutputBufferFrames);
        for (std::uint64_t b = 1; !done.load(); ++b) {
            std::fill(block.begin(), block.end(), static_cast<float>(b));
            engine->processBlock(block.data(), block.size(), kEngineSampleRateHz);
            produced.store(b);
        }
    });
    // The cable runs too, drained by a stand-in for its device: what it plays
    // never goes back in time, whatever it skips.
    engine->cable.running = true;
    bool cableOrdered = true;
    std::thread cableDevice([&] {
        float out[kOutputBufferFrames], last = 0.0f;
        while (!done.load()) {
            const std::size_t n = std::min(engine->cable.feed.ready(), kOutputBufferFrames);
            if (n == 0) std::this_thread::yield();
            engine->cable.feed.produce(out, n);
            for (std::size_t k = 0; k < n; ++k) cableOrdered = cableOrdered && out[k] >= std::exchange(last, out[k]);
        }
    });
    constexpr int kToggles = 400;
    for (int i = 0; i < kToggles; ++i) {
        // Blocks up to `produced` were complete before this start; at most
        // the one in flight across the toggle may still arrive after it.
        device.firstAllowedBlock = static_cast<float>(produced.load() + 1);
        const std::uint64_t heard = device.buffers.load();
        EXPECT_TRUE(engine->monitor.start());
        // Each start plays something before the next stop (slow under Wine).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (device.buffers.load() == heard && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        engine->monitor.stop();
    }
    done = true;
    capture.join();
    cableDevice.join();
    EXPECT_TRUE(cableOrdered);
    EXPECT_GT(engine->cable.readPos.load(), 0u);
    EXPECT_EQ(device.stale, 0u);
    EXPECT_GE(device.buffers.load(), std::uint64_t{kToggles});
}

}  // namespace
}  // namespace zalo

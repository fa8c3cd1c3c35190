// The cable's ring and feed between two real threads (run under
// ThreadSanitizer too): the capture thread writes a ramp through processBlock
// while the output thread refills a stream device that plays at its own
// pace, the drift loop trimming as it sees fit. Every sample played must be
// the ramp at the stream position the feed reports for it: nothing
// reordered, repeated, lost in the ring or read before it was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"

namespace zalo {
namespace {

// An endpoint that plays a period whenever one is queued: its pace is the
// output thread's, unrelated to the producer's.
struct EagerStream : RenderStream {
    std::size_t bufferFrames() const override { return 3 * kOutputBufferFrames; }
    std::size_t periodFrames() const override { return kOutputBufferFrames; }
    bool queuedFrames(std::size_t& frames) override {
        frames = queued;
        return true;
    }
    double unplayedFrames() override { return static_cast<double>(queued); }
    bool write(const float* mono, std::size_t frames) override {
        written.assign(mono, mono + frames);
        queued += frames;
        return true;
    }
    std::size_t queued = 0;
    std::vector<float> written;  // the last write
};

TEST(CableFeedThreads, PlaysTheRampInOrderWhileTheLoopTrims) {
    auto engine = std::make_unique<AudioEngine>();
    ProcessingParams bypass;
    bypass.enabled = false;
    engine->setParams(bypass);
    engine->cable.running = true;

    // Ring sample i holds i + 1: exact in float, and a position error of one
    // sample shows as an error of one.
    constexpr std::uint64_t kSamples = 1 << 19;
    std::atomic<bool> produced{false};
    std::thread capture([&] {
        std::vector<float> block(kOutputBufferFrames);
        for (std::uint64_t i = 0; i < kSamples; i += block.size()) {
            // Paced like a device: at most 40 ms ahead of the output, so the
            // backlog cap rarely cuts in.
            while (engine->cable.writePos.load() - engine->cable.readPos.load() > 4 * kOutputBufferFrames)
                std::this_thread::yield();
            for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<float>(i + k + 1);
            engine->processBlock(block.data(), block.size(), kEngineSampleRateHz);
        }
        produced = true;
    });

    OutputFeed& feed = engine->cable.feed;
    EagerStream stream;
    std::uint64_t checked = 0, wrong = 0, disturbances = 0;
    int unsettled = 0;  // refills left to skip after an alignment, skip or pad
    // Until the ramp is in and everything the ring can still make is played.
    while (!produced.load() || feed.ready() > 0 || stream.queued >= kOutputBufferFrames) {
        const bool tick = stream.queued >= kOutputBufferFrames;
        if (tick) stream.queued -= kOutputBufferFrames;
        stream.written.clear();
        ASSERT_TRUE(refillStream(feed, stream, tick));
        // Around a jump in the stream (dropped or inserted samples) the
        // resampler blends both sides and the positions do not apply.
        const std::uint64_t now = feed.stats.skips + feed.stats.pads + feed.stats.alignments;
        if (now != disturbances) {
            disturbances = now;
            unsettled = 2;
        }
        if (stream.written.empty()) {
            std::this_thread::yield();
            continue;
        }
        if (unsettled > 0) {
            --unsettled;
            continue;
        }
        const double step = feed.control.step();
        const double end = feed.streamPosition();
        const std::size_t n = stream.written.size();
        for (std::size_t k = 0; k < n; ++k) {
            const double position = end - static_cast<double>(n - k) * step;
            if (position < 0.0 || stream.written[k] == 0.0f) continue;  // the silent start
            ++checked;
            wrong += std::fabs(stream.written[k] - (position + 1.0)) > 0.5 ? 1 : 0;
        }
    }
    capture.join();
    EXPECT_EQ(wrong, 0u) << "of " << checked;
    EXPECT_GE(checked, kSamples / 2);
}

}  // namespace
}  // namespace zalo

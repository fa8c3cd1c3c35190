// The engine's output side: packet-to-mono conversion, the two rings' keep,
// drop and pad rules and the feed's last resorts (between real threads:
// MonitorToggle, CableFeedThreads), and the 16-bit WAVE images of the voice
// test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "audio/audio_outputs.h"
#include "audio/mono_convert.h"
#include "audio/output_feed.h"
#include "audio/wav_image.h"

namespace zalo {
namespace {

std::vector<float> ramp(std::size_t count) {
    std::vector<float> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = 1.0f + static_cast<float>(i);
    return v;
}

TEST(MonoConversion, AveragesChannelsOfEveryWidth) {
    // Every packet starts one byte past an aligned address, as a driver's may.
    // Format: float, channels, bits, block align, rate.
    const struct { CaptureFormat format; std::vector<unsigned char> bytes; std::vector<float> mono; } cases[] = {
        {{false, 2, 16, 4, 48000}, {0x00, 0x40, 0x00, 0xC0, 0x00, 0x40, 0x00, 0x40}, {0.0f, 0.5f}},
        {{false, 1, 24, 3, 48000}, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}, {-1.0f, 8388607.0f / 8388608.0f}},
        {{false, 1, 32, 4, 48000}, {0x00, 0x00, 0x00, 0xC0}, {-0.5f}},
        {{true, 2, 32, 8, 44100}, {0, 0, 0x80, 0x3E, 0, 0, 0x40, 0xBF}, {-0.25f}},  // 0.25, -0.75
        {{false, 1, 8, 1, 8000}, {0xFF, 0x10}, {0.0f, 0.0f}},                       // unsupported: silence
        {{false, 0, 16, 2, 48000}, {0x00, 0x40}, {0.0f}},
        {{false, 4, 16, 4, 48000}, {0x00, 0x40, 0x00, 0xC0, 0x00, 0x40, 0x00, 0x40}, {0.0f}},  // channels past the frame
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> packet(1 + c.bytes.size(), 0x55);
        std::copy(c.bytes.begin(), c.bytes.end(), packet.begin() + 1);
        std::vector<float> out(c.mono.size());
        convertToMono(packet.data() + 1, out.size(), c.format, out.data());
        EXPECT_EQ(out, c.mono) << c.format.bitsPerSample << "-bit, " << c.format.channels << " channels";
    }
}

TEST(CableRing, KeepsOldestWhenFullCapsLatencyAndPads) {
    auto cable = std::make_unique<CableOutput>();
    // 500 free slots: the first 500 of a 1000-sample block are kept.
    cable->writePos = kOutputRingSamples - 500;
    EXPECT_EQ(cable->write(ramp(1000).data(), 1000), 500u);
    EXPECT_EQ(cable->ring[kOutputRingSamples - 1], 500.0f);
    EXPECT_EQ(cable->write(ramp(1000).data(), 1000), 0u);  // full

    // 3000 waiting: past the 50 ms cap the feed jumps to the newest 960; the
    // resampler's look-ahead (silence after a reset) comes first.
    cable->readPos = cable->writePos = 0;
    cable->feed.reset();
    ASSERT_EQ(cable->write(ramp(3000).data(), 3000), 3000u);
    float out[kOutputBufferFrames];
    EXPECT_EQ(cable->feed.produce(out, kOutputBufferFrames), kOutputBufferFrames);
    EXPECT_EQ(std::make_tuple(cable->feed.stats.skips.load(), cable->feed.stats.droppedSamples.load(),
                              out[kTrimDelaySamples - 1], out[kTrimDelaySamples], cable->readPos.load()),
              std::make_tuple(std::uint64_t{1}, std::uint64_t{3000 - 960}, 0.0f, 3000.0f - 960.0f + 1.0f,
                              std::uint64_t{3000 - 960 + 480}));

    // 100 waiting: what they make, then silence, counted as one pad.
    cable->readPos = cable->writePos = 0;
    cable->feed.reset();
    const std::vector<float> quiet(100, 0.5f);
    cable->write(quiet.data(), quiet.size());
    fillBuffer(cable->feed, out);
    EXPECT_EQ(std::make_tuple(out[99], out[100], cable->feed.stats.pads.load(), cable->feed.stats.paddedSamples.load()),
              std::make_tuple(0.5f, 0.0f, std::uint64_t{1}, std::uint64_t{380}));
    for (std::size_t k = 100; k < kOutputBufferFrames; ++k) ASSERT_EQ(out[k], 0.0f);

    // A full 10 ms plays at once; less waits while the device still has two
    // buffers queued, and pads when it is about to run dry.
    cable->readPos = cable->writePos = 0;
    cable->feed.reset();
    cable->write(ramp(479).data(), 479);
    const bool short2 = bufferShouldFill(cable->feed, 2), short1 = bufferShouldFill(cable->feed, 1);
    cable->write(ramp(1).data(), 1);
    EXPECT_EQ(std::make_tuple(bufferShouldFill(cable->feed, 6), short2, short1), std::make_tuple(true, false, true));
}

TEST(MonitorRing, DropsWholeBlocksAndReadsAcrossTheWrap) {
    auto monitor = std::make_unique<MonitorOutput>();
    // One slot always stays free: 999 free slots drop a 1000-sample block whole.
    monitor->writePos = kOutputRingSamples - 1;
    monitor->readPos = 999;
    EXPECT_FALSE(monitor->write(ramp(1000).data(), 1000));
    EXPECT_EQ(monitor->writePos.load(), kOutputRingSamples - 1);
    monitor->readPos = 1000;
    EXPECT_TRUE(monitor->write(ramp(1000).data(), 1000));
    EXPECT_EQ(std::make_pair(monitor->writePos.load(), monitor->ring[kOutputRingSamples - 1]),
              std::make_pair(std::uint64_t{999}, 1.0f));  // wrapped

    // Reads and drops across the end of the ring.
    monitor->readPos = monitor->writePos = kOutputRingSamples - 100;
    monitor->write(ramp(300).data(), 300);
    std::vector<float> got(250);
    EXPECT_EQ(monitor->read(got.data(), got.size()), 250u);
    EXPECT_EQ(got, ramp(250));
    EXPECT_EQ(monitor->dropOldest(100), 50u);
    EXPECT_EQ(std::make_pair(monitor->readPos.load(), monitor->available()),
              std::make_pair(std::uint64_t{200}, std::uint64_t{0}));
}

TEST(WavImage, HeaderAndSixteenBitRounding) {
    const float inf = std::numeric_limits<float>::infinity();
    const float samples[] = {1.5f, -1.5f, 0.5f, 0.25f, -1.0f, std::numeric_limits<float>::quiet_NaN(), inf, -inf};
    // Clamped, x 32767, rounded half away from zero; never -32768; non-finite is 0.
    const std::int16_t pcm[] = {32767, -32767, 16384, 8192, -32767, 0, 0, 0};
    // PCM mono 48 kHz 16-bit, 16 data bytes.
    const char header[] = "RIFF\x34\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x80\xBB\0\0\0\x77\1\0\2\0\x10\0data\x10\0\0\0";
    const WavImage image = buildWavImage(samples, 8);
    ASSERT_EQ(image.size(), 44u + 16u);
    EXPECT_EQ(WavImage(image.begin(), image.begin() + 44), WavImage(header, header + 44));
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(static_cast<std::int16_t>(image[44 + 2 * i] | image[45 + 2 * i] << 8), pcm[i]) << samples[i];
}

// A stream device of a given buffer, period and clock step, for the start
// margin and the loop's floor.
struct ShapedStream : RenderStream {
    ShapedStream(std::size_t buffer, std::size_t period, double step) : buffer(buffer), period(period), step(step) {}
    std::size_t bufferFrames() const override { return buffer; }
    std::size_t periodFrames() const override { return period; }
    bool queuedFrames(std::size_t& frames) override {
        frames = 0;
        return true;
    }
    double unplayedFrames() override { return 0.0; }
    double clockResolutionFrames() const override { return step; }
    bool write(const float*, std::size_t) override { return true; }
    std::size_t buffer, period;
    double step;
};

// The silence queued before a stream starts is two periods where the buffer
// has room for a period of samples above them; never so much that the first
// samples cannot follow (the device would never start). A clock that moves
// in steps reads up to a step ahead of the device, and the floor the loop
// keeps above counts that step.
TEST(StreamStart, MarginLeavesRoomForSamplesAndTheFloorCountsTheClockStep) {
    const struct {
        std::size_t buffer, period;
        std::size_t margin;
    } cases[] = {
        {1440, 480, 960},   // Wine: three 10 ms periods
        {4800, 480, 960},   // a roomy endpoint
        {960, 480, 480},    // two periods: room for one above the margin
        {480, 480, 0},      // one period: nothing queued ahead
        {300, 480, 0},      // smaller than a period
        {1056, 144, 288},   // a 3 ms period
    };
    for (const auto& c : cases) {
        const ShapedStream stream(c.buffer, c.period, 0.0);
        EXPECT_EQ(streamStartMarginFrames(stream), c.margin) << c.buffer << "/" << c.period;
    }
    EXPECT_EQ(streamFloorFrames(ShapedStream(1440, 480, 0.0)), 480.0);
    EXPECT_EQ(streamFloorFrames(ShapedStream(1440, 480, 480.0)), 960.0);
}

}  // namespace
}  // namespace zalo

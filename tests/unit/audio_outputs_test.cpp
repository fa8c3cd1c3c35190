// The engine's output side: the two rings and their keep/drop rules, the
// 16-bit conversion, the packet-to-mono conversion, the voice-test recording
// inside processBlock, and the WAVE images built from it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/audio_outputs.h"
#include "audio/mono_convert.h"
#include "audio/wav_image.h"

namespace zalo {
namespace {

std::vector<float> ramp(std::size_t count, float first = 1.0f) {
    std::vector<float> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = first + static_cast<float>(i);
    return v;
}

TEST(Pcm16, RoundsHalfAwayClampsAndZeroesNonFinite) {
    EXPECT_EQ(toPcm16(1.5f), 32767);
    EXPECT_EQ(toPcm16(-1.5f), -32767);
    EXPECT_EQ(toPcm16(0.5f), 16384);  // 16383.5
    EXPECT_EQ(toPcm16(0.25f), 8192);  // 8191.75
    EXPECT_EQ(toPcm16(-1.0f), -32767);
    EXPECT_EQ(toPcm16(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(toPcm16(std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(toPcm16(-std::numeric_limits<float>::infinity()), 0);
}

TEST(MonoConversion, AveragesChannelsOfEveryWidth) {
    CaptureFormat pcm16{false, 2, 16, 4, 48000};
    const unsigned char frames16[] = {0x00, 0x40, 0x00, 0xC0,   // 16384, -16384
                                      0x00, 0x40, 0x00, 0x40};  // 16384, 16384
    float out[2];
    convertToMono(frames16, 2, pcm16, out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.5f);

    CaptureFormat pcm24{false, 1, 24, 3, 48000};
    const unsigned char frames24[] = {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F};
    convertToMono(frames24, 2, pcm24, out);
    EXPECT_EQ(out[0], -1.0f);
    EXPECT_NEAR(out[1], 1.0f, 2e-7f);

    // 32-bit integers, 24-bit audio in 32-bit containers included.
    CaptureFormat pcm32{false, 1, 32, 4, 48000};
    const unsigned char frames32[] = {0x00, 0x00, 0x00, 0xC0};
    convertToMono(frames32, 1, pcm32, out);
    EXPECT_EQ(out[0], -0.5f);

    // Float reads 32 bits per channel as stored, unaligned packets included.
    CaptureFormat flt{true, 2, 32, 8, 44100};
    std::vector<unsigned char> packet(1 + 8);
    const float lr[2] = {0.25f, -0.75f};
    std::memcpy(packet.data() + 1, lr, sizeof lr);
    convertToMono(packet.data() + 1, 1, flt, out);
    EXPECT_EQ(out[0], -0.25f);

    // Unsupported widths and zero channels read as silence.
    CaptureFormat pcm8{false, 1, 8, 1, 8000};
    const unsigned char frames8[] = {0xFF, 0x10};
    convertToMono(frames8, 2, pcm8, out);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    CaptureFormat none{false, 0, 16, 2, 48000};
    convertToMono(frames16, 1, none, out);
    EXPECT_EQ(out[0], 0.0f);

    // A format whose channels claim more bytes than a frame holds reads
    // only what lies inside the frame.
    CaptureFormat lying{false, 4, 16, 4, 48000};
    convertToMono(frames16, 1, lying, out);
    EXPECT_EQ(out[0], 0.0f);  // (16384 - 16384 + 0 + 0) / 4
}

TEST(CableRing, KeepsOldestWhenFullAndCapsLatency) {
    auto cable = std::make_unique<CableOutput>();
    const std::vector<float> block = ramp(1000);

    // 500 free slots: the first 500 of a 1000-sample block are kept.
    cable->writePos = kOutputRingSamples - 500;
    EXPECT_EQ(cable->write(block.data(), block.size()), 500u);
    EXPECT_EQ(cable->writePos.load(), kOutputRingSamples);
    EXPECT_EQ(cable->ring[kOutputRingSamples - 1], 500.0f);
    EXPECT_EQ(cable->write(block.data(), block.size()), 0u);  // full

    // 3000 waiting: the next buffer starts at writePos - 960.
    cable->readPos = 0;
    cable->writePos = 0;
    ASSERT_EQ(cable->write(ramp(3000).data(), 3000), 3000u);
    float out[kOutputBufferFrames];
    std::uint64_t skipped = 0;
    EXPECT_EQ(cable->take(out, &skipped), kOutputBufferFrames);
    EXPECT_EQ(skipped, 3000u - 960u);
    EXPECT_EQ(out[0], 3000.0f - 960.0f + 1.0f);
    EXPECT_EQ(cable->readPos.load(), 3000u - 960u + 480u);

    // 100 waiting: 100 samples, then 380 frames of silence, in both channels.
    cable->readPos = 0;
    cable->writePos = 0;
    const std::vector<float> quiet(100, 0.5f);
    cable->write(quiet.data(), quiet.size());
    std::int16_t stereo[2 * kOutputBufferFrames];
    EXPECT_EQ(cable->fillBuffer(stereo), 100u);
    EXPECT_EQ(cable->readPos.load(), 100u);
    EXPECT_EQ(stereo[0], 16384);
    EXPECT_EQ(stereo[1], 16384);
    EXPECT_EQ(stereo[2 * 99 + 1], 16384);
    for (std::size_t k = 100; k < kOutputBufferFrames; ++k) ASSERT_EQ(stereo[2 * k], 0);
}

TEST(MonitorRing, DropsWholeBlocksAndNeverPads) {
    auto monitor = std::make_unique<MonitorOutput>();
    const std::vector<float> block = ramp(1000);
    // 999 free slots (95999 usable): a 1000-sample block is dropped whole.
    monitor->writePos = kOutputRingSamples - 1;
    monitor->readPos = 999;  // used = 95000, free = 999
    EXPECT_FALSE(monitor->write(block.data(), block.size()));
    EXPECT_EQ(monitor->writePos.load(), kOutputRingSamples - 1);
    monitor->readPos = 1000;  // free = 1000
    EXPECT_TRUE(monitor->write(block.data(), block.size()));
    EXPECT_EQ(monitor->writePos.load(), 999u);  // wrapped
    EXPECT_EQ(monitor->ring[kOutputRingSamples - 1], 1.0f);

    monitor->readPos = 0;
    monitor->writePos = 0;
    monitor->write(block.data(), 479);
    float out[kOutputBufferFrames];
    EXPECT_FALSE(monitor->take(out));  // 479 < 480: wait, do not pad
    const float bad[1] = {std::numeric_limits<float>::quiet_NaN()};
    monitor->write(bad, 1);
    std::int16_t mono[kOutputBufferFrames];
    ASSERT_TRUE(monitor->fillBuffer(mono, 0.5f));
    EXPECT_EQ(mono[0], toPcm16(0.5f));
    EXPECT_EQ(mono[479], 0);  // NaN plays as silence
    EXPECT_EQ(monitor->readPos.load(), 480u);
}

// A real producer and a real consumer on each ring. Samples carry their
// sequence number (exact in float below 2^24); everything the consumer sees
// must be in order, and every number it misses must have been dropped by a
// rule: the producer's full-ring drop or the cable's latency cap.
TEST(RingStress, EverySampleArrivesInOrderOrIsDroppedByARule) {
    constexpr std::uint64_t kTotal = 3000000;
    auto cable = std::make_unique<CableOutput>();
    std::vector<char> fate(kTotal + 1, 0);  // 1 written, 2 dropped full, 3 skipped, 4 played
    std::atomic<bool> done{false};

    std::thread producer([&] {
        std::vector<float> block(997);
        std::uint64_t next = 1;
        unsigned pause = 0;
        while (next <= kTotal) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), kTotal - next + 1));
            for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<float>(next + i);
            const std::size_t k = cable->write(block.data(), n);
            for (std::size_t i = 0; i < n; ++i) fate[next + i] = i < k ? 1 : 2;
            next += n;
            if (++pause % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        done = true;
    });
    std::vector<float> played;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> skips;  // (readPos before, count)
    std::thread consumer([&] {
        float out[kOutputBufferFrames];
        // Start late, so that the latency cap certainly applies once.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (cable->writePos.load() <= kCableBacklogCapSamples && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        unsigned stall = 0;
        for (;;) {
            const bool finished = done.load();
            const std::uint64_t before = cable->readPos.load();
            std::uint64_t skipped = 0;
            const std::size_t n = cable->take(out, &skipped);
            if (skipped) skips.emplace_back(before, skipped);
            played.insert(played.end(), out, out + n);
            if (n == 0 && finished) break;
            // Now and then stall long enough for the cap to apply.
            if (++stall % 200 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    producer.join();
    consumer.join();

    float last = 0.0f;
    for (float v : played) {
        ASSERT_GT(v, last) << "out of order or repeated";
        last = v;
        fate[static_cast<std::uint64_t>(v)] = 4;
    }
    // Ring positions count written samples only, so the skips are ranges of
    // written samples; map them back to sequence numbers.
    std::vector<std::uint64_t> writtenSeq;
    writtenSeq.reserve(kTotal);
    for (std::uint64_t s = 1; s <= kTotal; ++s)
        if (fate[s] != 2) writtenSeq.push_back(s);
    for (const auto& skip : skips) {
        for (std::uint64_t i = 0; i < skip.second; ++i) {
            const std::uint64_t s = writtenSeq.at(skip.first + i);
            ASSERT_EQ(fate[s], 1) << "skipped sample " << s << " was also played";
            fate[s] = 3;
        }
    }
    std::uint64_t count[5] = {};
    for (std::uint64_t s = 1; s <= kTotal; ++s) count[static_cast<int>(fate[s])]++;
    EXPECT_EQ(count[1], 0u) << "written samples neither played nor skipped by the cap";
    EXPECT_EQ(count[2] + count[3] + count[4], kTotal);
    EXPECT_FALSE(skips.empty());
    EXPECT_GE(count[4], kOutputBufferFrames);

    // The monitor: whole blocks arrive in order or are dropped whole.
    auto monitor = std::make_unique<MonitorOutput>();
    constexpr std::uint64_t kBlock = 480, kBlocks = 4000;
    std::vector<char> blockFate(kBlocks, 0);
    done = false;
    std::thread monitorProducer([&] {
        std::vector<float> block(kBlock);
        for (std::uint64_t b = 0; b < kBlocks; ++b) {
            for (std::uint64_t i = 0; i < kBlock; ++i) block[i] = static_cast<float>(b * kBlock + i + 1);
            blockFate[b] = monitor->write(block.data(), kBlock) ? 1 : 2;
            if (b % 50 == 0) std::this_thread::yield();
        }
        done = true;
    });
    std::vector<float> heard;
    std::thread monitorConsumer([&] {
        float out[kOutputBufferFrames];
        for (unsigned i = 0;; ++i) {
            const bool finished = done.load();
            if (monitor->take(out)) {
                heard.insert(heard.end(), out, out + kOutputBufferFrames);
            } else if (finished) {
                break;
            }
            if (i % 300 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    monitorProducer.join();
    monitorConsumer.join();
    std::vector<float> expected;
    for (std::uint64_t b = 0; b < kBlocks; ++b) {
        if (blockFate[b] != 1) continue;
        for (std::uint64_t i = 0; i < kBlock; ++i) expected.push_back(static_cast<float>(b * kBlock + i + 1));
    }
    EXPECT_EQ(heard, expected);
}

TEST(VoiceTest, RecordsFiveSecondsBeforeAndAfterTheChain) {
    auto engine = std::make_unique<AudioEngine>();
    ProcessingParams off;
    off.enabled = false;
    engine->setParams(off);

    // Idle: nothing is recorded.
    const std::vector<float> block(1000, 0.25f);
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(engine->recPos.load(), kVoiceTestSamples);
    EXPECT_EQ(engine->recOriginal[0], 0.0f);

    // A block arriving 500 samples before the end records its first half
    // and completes the test.
    engine->recPos = kVoiceTestSamples - 500;
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(engine->recPos.load(), kVoiceTestSamples);
    EXPECT_EQ(engine->recOriginal[kVoiceTestSamples - 1], 0.25f);

    // At 44.1 kHz the test still holds exactly 240000 samples at 48 kHz;
    // with the filter off both recordings are the same, and so are the images.
    engine->recPos = 0;
    const std::vector<float> packet(441, -0.5f);
    int blocks = 0;
    while (engine->recPos.load() < kVoiceTestSamples && blocks < 1000) {
        engine->processBlock(packet.data(), packet.size(), 44100);
        ++blocks;
    }
    EXPECT_EQ(blocks, 501);  // the first block's last position waits for the next one
    const WavImage a = buildWavImage(engine->recOriginal, kVoiceTestSamples);
    const WavImage b = buildWavImage(engine->recFiltered, kVoiceTestSamples);
    EXPECT_EQ(a.size(), 480044u);
    EXPECT_EQ(a, b);

    // With the filter on, the filtered recording is the chain's output.
    engine->setParams(ProcessingParams{});
    engine->recPos = 0;
    const std::vector<float> loud(480, 0.9f);
    engine->processBlock(loud.data(), loud.size(), 48000);
    EXPECT_EQ(engine->recPos.load(), 480u);
    EXPECT_EQ(engine->recOriginal[100], 0.9f);
    EXPECT_NE(engine->recFiltered[100], 0.9f);
}

TEST(VoiceTest, WavImageLayout) {
    const float samples[3] = {1.2f, -1.0f, 0.25f};
    const WavImage image = buildWavImage(samples, 3);
    ASSERT_EQ(image.size(), 44u + 6u);
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(image[at]) | std::uint32_t(image[at + 1]) << 8 | std::uint32_t(image[at + 2]) << 16 |
               std::uint32_t(image[at + 3]) << 24;
    };
    auto s16 = [&](std::size_t at) { return static_cast<std::int16_t>(image[at] | image[at + 1] << 8); };
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), 6u + 36u);
    EXPECT_EQ(std::string(image.begin() + 8, image.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u32(20), 1u | (1u << 16));  // PCM, mono
    EXPECT_EQ(u32(24), 48000u);
    EXPECT_EQ(u32(28), 96000u);
    EXPECT_EQ(u32(32), 2u | (16u << 16));  // block align 2, 16 bits
    EXPECT_EQ(std::string(image.begin() + 36, image.begin() + 40), "data");
    EXPECT_EQ(u32(40), 6u);
    EXPECT_EQ(s16(44), 32767);
    EXPECT_EQ(s16(46), -32767);
    EXPECT_EQ(s16(48), 8192);
}

TEST(EngineOutputs, OnlyRunningOutputsReceiveTheBlock) {
    auto engine = std::make_unique<AudioEngine>();
    const std::vector<float> block(480, 0.1f);
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(engine->cable.writePos.load(), 0u);
    EXPECT_EQ(engine->monitor.writePos.load(), 0u);
    engine->cable.running = true;
    engine->monitor.running = true;
    engine->processBlock(block.data(), block.size(), 44100);  // 522 samples at 48 kHz
    EXPECT_EQ(engine->cable.writePos.load(), 522u);
    EXPECT_EQ(engine->monitor.writePos.load(), 522u);
    EXPECT_EQ(engine->cable.ring[0], engine->lastBlock()[0]);
    engine->cable.running = false;
    engine->monitor.running = false;
}

}  // namespace
}  // namespace zalo

// The block processor: bypass, meters, voice-test recordings and outputs,
// whole-block settings swaps, and hostile input (the fuzzer's own checks
// replayed over a seeded table).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "../fuzz/hostile_block.h"
#include "audio/audio_engine.h"
#include "audio/wav_image.h"
#include "dsp/denormals.h"

namespace zalo {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<float> lastBlock(const AudioEngine& e) {
    return std::vector<float>(e.lastBlock(), e.lastBlock() + e.lastBlockSize());
}

float peakOf(const std::vector<float>& v) {
    float peak = 0.0f;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

TEST(ProcessBlock, FilterOffPassesTheBlockUntouchedButNeverNonFinite) {
    auto engine = std::make_unique<AudioEngine>();
    ProcessingParams off;
    off.enabled = false;
    engine->setParams(off);
    const float in[] = {0.25f, kNaN, -kInf, -0.5f, 0.125f};
    engine->processBlock(in, 5, 48000);
    EXPECT_EQ(lastBlock(*engine), (std::vector<float>{0.25f, 0.0f, 0.0f, -0.5f, 0.125f}));
    EXPECT_EQ(engine->inputPeak.load(), 0.5f);
    EXPECT_EQ(engine->outputPeak.load(), 0.5f);
    engine->processBlock(nullptr, 480, 48000);
    EXPECT_EQ(engine->lastBlockSize(), 0u);
}

TEST(ProcessBlock, FlushesDenormalsOnlyForItsOwnDuration) {
#if defined(__SSE2__) || defined(_M_X64)
    const auto control = [] { return _mm_getcsr() & ~0x3Fu; };  // without the sticky flags
    const unsigned before = control();
    auto engine = std::make_unique<AudioEngine>();
    const std::vector<float> in(480, 0.5f);
    engine->processBlock(in.data(), in.size(), 48000);
    EXPECT_EQ(control(), before);
    volatile float product = 1.0f;
    {
        ScopedFlushDenormals flush;
        volatile float tiny = 1e-30f;
        product = tiny * 1e-10f;  // subnormal unless flushed
    }
    EXPECT_EQ(control(), before);
    EXPECT_EQ(product, 0.0f);  // compared outside: inside, a subnormal would count as 0
#else
    GTEST_SKIP() << "no MXCSR on this target";
#endif
}

TEST(ProcessBlock, FeedsMetersVoiceTestAndOnlyRunningOutputs) {
    auto engine = std::make_unique<AudioEngine>();
    const std::vector<float> block(1000, 0.25f);
    // Idle: no recording, stopped outputs receive nothing.
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(engine->recPos.load(), kVoiceTestSamples);
    EXPECT_EQ(engine->recOriginal[0], 0.0f);
    EXPECT_EQ(engine->cable.writePos.load(), 0u);
    EXPECT_EQ(engine->monitor.writePos.load(), 0u);
    EXPECT_EQ(engine->inputPeak.load(), 0.25f);
    EXPECT_EQ(engine->outputPeak.load(), peakOf(lastBlock(*engine)));

    // A test 500 samples before its end records the first half of the block,
    // before and after the chain, and completes.
    engine->recPos = kVoiceTestSamples - 500;
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(engine->recPos.load(), kVoiceTestSamples);
    EXPECT_EQ(engine->recOriginal[kVoiceTestSamples - 1], 0.25f);
    EXPECT_EQ(engine->recFiltered[kVoiceTestSamples - 1], engine->lastBlock()[499]);
    EXPECT_NE(engine->recFiltered[kVoiceTestSamples - 1], 0.25f);

    engine->cable.running = true;
    engine->monitor.running = true;
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(engine->cable.writePos.load(), 1000u);
    EXPECT_EQ(engine->monitor.writePos.load(), 1000u);
    EXPECT_EQ(engine->cable.ring[999], engine->lastBlock()[999]);
    EXPECT_EQ(engine->monitor.ring[999], engine->lastBlock()[999]);
    engine->cable.running = false;
    engine->monitor.running = false;

    // Filter off: five seconds are exactly 500 blocks of 10 ms, and both
    // recordings (and their images) are the input.
    ProcessingParams off;
    off.enabled = false;
    engine->setParams(off);
    engine->recPos = 0;
    const std::vector<float> packet(480, -0.5f);
    int blocks = 0;
    for (; engine->recPos.load() < kVoiceTestSamples && blocks < 1000; ++blocks)
        engine->processBlock(packet.data(), packet.size(), 48000);
    EXPECT_EQ(blocks, 500);
    EXPECT_EQ(engine->recOriginal[0], -0.5f);
    const WavImage original = buildWavImage(engine->recOriginal, kVoiceTestSamples);
    EXPECT_EQ(original.size(), 480044u);
    EXPECT_EQ(original, buildWavImage(engine->recFiltered, kVoiceTestSamples));
}

// The UI thread flips between two settings blocks that differ in every switch
// and amount. Each processed block must be the chain's output for exactly one
// of them, continuing from the state the blocks before it left: a block that
// saw a torn copy matches neither. Runs under ThreadSanitizer too.
TEST(ProcessBlock, ParameterSwapsAreWholeBlocks) {
    // enabled, strength, high-pass, compressor, limiter, gate, de-esser, gain dB, type, pitch, tone, robot, echo
    const ProcessingParams a{true, 0.2f, true, false, true, false, true, 0.0f, 13, 5.0f, 0.5f, 0.3f, 0.2f};
    const ProcessingParams b{true, 0.9f, false, true, false, true, false, -3.0f, 13, -4.0f, -0.6f, 0.7f, 0.5f};
    auto engine = std::make_unique<AudioEngine>();
    engine->setParams(a);
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (unsigned i = 0; !done.load(); ++i) engine->setParams(i % 2 ? a : b);
    });
    auto shadow = std::make_unique<VoiceChain>(), withA = std::make_unique<VoiceChain>(),
         withB = std::make_unique<VoiceChain>();
    std::vector<float> in(480);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = 0.4f * std::sin(0.04f * float(i));
    const auto runFromShadow = [&](VoiceChain& c, const ProcessingParams& p) {
        c = *shadow;
        c.params = clampForChain(p);
        std::vector<float> y(in);
        ScopedFlushDenormals flush;  // as processBlock runs the chain
        c.process(y.data(), y.size());
        return y;
    };
    int seenA = 0, seenB = 0;
    for (int block = 0; block < 20000 && (seenA < 20 || seenB < 20); ++block) {
        engine->processBlock(in.data(), in.size(), 48000);
        const std::vector<float> out = lastBlock(*engine);
        const bool isA = runFromShadow(*withA, a) == out, isB = runFromShadow(*withB, b) == out;
        ASSERT_TRUE(isA || isB) << "block " << block << " was processed with neither settings block";
        *shadow = isA ? *withA : *withB;
        seenA += isA;
        seenB += isB;
    }
    done = true;
    ui.join();
    EXPECT_GE(seenA, 20);
    EXPECT_GE(seenB, 20);
}

// Seeded hostile inputs in the fuzzer's byte layout (hostile_block.h):
// settings as raw floats, then blocks of 465 frames at `rate` of speech-level
// noise with every fifth sample replaced by `sample`.
struct HostileSeed {
    std::uint8_t switches;
    std::vector<float> amounts;  // strength, pitch, tone, robot, echo (, gain dB)
    float sample;
    std::uint32_t rate;
    std::size_t blocks = 8;
};

std::vector<std::uint8_t> encode(const HostileSeed& s, int voiceType, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes{s.switches, static_cast<std::uint8_t>(voiceType)};
    const auto putFloat = [&](float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    };
    for (float amount : s.amounts) {
        bytes.push_back(1);  // odd: a raw float follows
        putFloat(amount);
    }
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> speech(-0.5f, 0.5f);
    for (std::size_t block = 0; block < s.blocks; ++block) {
        // A raw rate follows 255; 1 + 16 * 29 = 465 frames.
        bytes.insert(bytes.end(), {255, std::uint8_t(s.rate >> 24), std::uint8_t(s.rate >> 16),
                                   std::uint8_t(s.rate >> 8), std::uint8_t(s.rate), 29});
        for (int i = 0; i < 465; ++i) putFloat(i % 5 ? speech(rng) : s.sample);
    }
    return bytes;
}

TEST(ProcessBlock, HostileInputTableUnderTheFuzzersChecks) {
    constexpr std::uint8_t kAll = 63, kGain = 64, kFilter = 1, kLimiter = 8;
    const std::vector<float> extreme{1.0f, -8.0f, 1.0f, 1.0f, 0.6f}, usual{0.65f, 3.0f, 0.2f, 0.5f, 0.3f};
    const HostileSeed seeds[] = {
        {kAll, extreme, 1e20f, 48000},  // huge finite samples once squared to infinity
        {kAll, usual, -3e38f, 44100},
        {kAll, usual, kNaN, 48000},
        {kAll, extreme, -kInf, 16000},
        {kAll, usual, std::numeric_limits<float>::denorm_min(), 96000},
        {kAll | kGain, {kNaN, kNaN, kInf, kNaN, kNaN, kInf}, 0.25f, 48000},  // non-finite settings
        {kAll | kGain, {0.5f, 2.0f, 0.0f, 0.0f, 0.0f, 40.0f}, 0.9f, 48000},
        {kFilter | kLimiter, extreme, 37.5f, 48000},  // limiter without the compressor
        {kAll, {1.0f, 8.0f, -1.0f, 1.0f, 0.6f}, -37.5f, 22050},
        {2, usual, kNaN, 44100},  // filter off
        {kAll, usual, 0.5f, 0, 1},  // rate 0 counts as 1 Hz: one block fills the work buffer
        {kAll, usual, 0.5f, 384000},
    };
    for (int voiceType : {-1, 0, 1, 3, 4, 5, 7, 8, 9, 10, 12, 13}) {
        for (std::size_t i = 0; i < std::size(seeds); ++i) {
            const std::vector<std::uint8_t> bytes = encode(seeds[i], voiceType, unsigned(i));
            const hostile::Outcome outcome = hostile::run(bytes.data(), bytes.size());
            EXPECT_EQ(outcome.hostileBlocks, seeds[i].blocks) << "seed " << i;
            EXPECT_EQ(outcome.fault, nullptr) << outcome.fault << ": seed " << i << ", voice type " << voiceType;
        }
    }
}

}  // namespace
}  // namespace zalo

// The block processor: bypass, meters, voice-test recordings and outputs,
// whole-block settings swaps, and hostile input (the fuzzer's own checks
// replayed over a seeded table).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <tuple>
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

TEST(ScopedFlushDenormals, FlushesOnlyForItsOwnDuration) {
#if defined(__SSE2__) || defined(_M_X64)
    const auto control = [] { return _mm_getcsr() & ~0x3Fu; };  // without the sticky flags
    const unsigned before = control();
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

TEST(ProcessBlock, FeedsMetersVoiceTestRunningOutputsAndBypass) {
    auto engine = std::make_unique<AudioEngine>();
    const std::vector<float> block(1000, 0.25f);
    // Idle: no recording, stopped outputs receive nothing.
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(std::make_tuple(engine->recPos.load(), engine->recOriginal[0], engine->cable.writePos.load(),
                              engine->monitor.writePos.load()),
              std::make_tuple(kVoiceTestSamples, 0.0f, std::uint64_t{0}, std::uint64_t{0}));
    EXPECT_EQ(engine->inputPeak.load(), 0.25f);
    const std::vector<float> out = lastBlock(*engine);
    EXPECT_EQ(engine->outputPeak.load(), std::max(-*std::min_element(out.begin(), out.end()),
                                                  *std::max_element(out.begin(), out.end())));

    // A test 500 samples before its end records the first half of the block,
    // before and after the chain, and completes.
    engine->recPos = kVoiceTestSamples - 500;
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(engine->recPos.load(), kVoiceTestSamples);
    EXPECT_EQ(engine->recOriginal[kVoiceTestSamples - 1], 0.25f);
    EXPECT_EQ(engine->recFiltered[kVoiceTestSamples - 1], engine->lastBlock()[499]);
    EXPECT_NE(engine->recFiltered[kVoiceTestSamples - 1], 0.25f);

    engine->cable.running = engine->monitor.running = true;
    engine->processBlock(block.data(), block.size(), 48000);
    EXPECT_EQ(std::make_tuple(engine->cable.writePos.load(), engine->monitor.writePos.load(), engine->cable.ring[999],
                              engine->monitor.ring[999]),
              std::make_tuple(std::uint64_t{1000}, std::uint64_t{1000}, engine->lastBlock()[999],
                              engine->lastBlock()[999]));
    engine->cable.running = engine->monitor.running = false;

    // Filter off: the block passes untouched, but never non-finite; no
    // samples, no block.
    ProcessingParams off;
    off.enabled = false;
    engine->setParams(off);
    const float in[] = {0.25f, kNaN, -kInf, -0.5f, 0.125f};
    engine->processBlock(in, 5, 48000);
    EXPECT_EQ(lastBlock(*engine), (std::vector<float>{0.25f, 0.0f, 0.0f, -0.5f, 0.125f}));
    EXPECT_EQ(std::make_pair(engine->inputPeak.load(), engine->outputPeak.load()), std::make_pair(0.5f, 0.5f));
    engine->processBlock(nullptr, 480, 48000);
    EXPECT_EQ(engine->lastBlockSize(), 0u);

    // Five seconds are exactly 500 blocks of 10 ms, and both recordings (and
    // their images) are the input.
    engine->recPos = 0;
    const std::vector<float> packet(480, -0.5f);
    int blocks = 0;
    for (; engine->recPos.load() < kVoiceTestSamples && blocks < 1000; ++blocks)
        engine->processBlock(packet.data(), packet.size(), 48000);
    EXPECT_EQ(blocks, 500);
    EXPECT_EQ(engine->recOriginal[0], -0.5f);
    EXPECT_EQ(buildWavImage(engine->recOriginal, kVoiceTestSamples),
              buildWavImage(engine->recFiltered, kVoiceTestSamples));
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
    std::thread ui([&] { for (unsigned i = 0; !done.load(); ++i) engine->setParams(i % 2 ? a : b); });
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

// Seeded hostile input under the fuzzer's checks (hostile_block.h): blocks
// of 465 frames at `rate` of speech-level noise with every fifth sample
// replaced by `sample`, for every voice type.
TEST(ProcessBlock, HostileInputTableUnderTheFuzzersChecks) {
    // enabled, strength, high-pass, compressor, limiter, gate, de-esser, gain dB, type, pitch, tone, robot, echo
    const ProcessingParams extreme{true, 1.0f, true, true, true, true, true, 0.0f, 0, -8.0f, 1.0f, 1.0f, 0.6f},
        high{true, 1.0f, true, true, true, true, true, 0.0f, 0, 8.0f, -1.0f, 1.0f, 0.6f},
        usual{true, 0.65f, true, true, true, true, true, 0.0f, 0, 3.0f, 0.2f, 0.5f, 0.3f},
        nonFinite{true, kNaN, true, true, true, true, true, kInf, 0, kNaN, kInf, kNaN, kNaN},
        loud{true, 0.5f, true, true, true, true, true, 40.0f, 0, 2.0f, 0.0f, 0.0f, 0.0f},
        limiterOnly{true, 1.0f, false, false, true, false, false, 0.0f, 0, -8.0f, 1.0f, 1.0f, 0.6f},
        off{false, 0.65f, true, false, false, false, false, 0.0f, 0, 3.0f, 0.2f, 0.5f, 0.3f};
    const struct { ProcessingParams params; float sample; unsigned rate; std::size_t blocks = 8; } seeds[] = {
        {extreme, 1e20f, 48000},  // huge finite samples once squared to infinity
        {usual, -3e38f, 44100},
        {usual, kNaN, 48000},
        {extreme, -kInf, 16000},
        {usual, std::numeric_limits<float>::denorm_min(), 96000},
        {nonFinite, 0.25f, 48000},
        {loud, 0.9f, 48000},
        {limiterOnly, 37.5f, 48000},
        {high, -37.5f, 22050},
        {off, kNaN, 44100},
        {usual, 0.5f, 0, 1},  // rate 0 counts as 1 Hz: one block fills the work buffer
        {usual, 0.5f, 384000},
    };
    for (int voiceType : {-1, 0, 1, 3, 4, 5, 7, 8, 9, 10, 12, 13}) {
        for (const auto& seed : seeds) {
            ProcessingParams p = seed.params;
            p.voiceType = voiceType;
            std::mt19937 rng(seed.rate + voiceType);
            std::uniform_real_distribution<float> speech(-0.5f, 0.5f);
            std::size_t left = seed.blocks;
            const char* fault = hostile::run(p, [&](std::vector<float>& block, unsigned& rate, ProcessingParams& q) {
                q.cleanVoice = left % 3 == 0;  // switched on and off between hostile blocks
                block.resize(465);
                for (std::size_t i = 0; i < block.size(); ++i) block[i] = i % 5 ? speech(rng) : seed.sample;
                rate = seed.rate;
                return left-- > 0;
            });
            EXPECT_EQ(fault, nullptr) << fault << ": sample " << seed.sample << " at " << seed.rate
                                      << " Hz, voice type " << voiceType;
        }
    }
}

}  // namespace
}  // namespace zalo

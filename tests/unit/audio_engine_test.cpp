// The block processor: rate conversion, bypass, meters, the chain's bounds
// and its recovery from hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "dsp/denormals.h"
#include "dsp/voice_presets.h"
#include "test_signals.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace zalo {
namespace {

using zalo::testing::rms;
using zalo::testing::sine;

std::unique_ptr<AudioEngine> makeEngine(const ProcessingParams& p = ProcessingParams{}) {
    auto engine = std::make_unique<AudioEngine>();
    engine->setParams(p);
    return engine;
}

std::vector<float> lastBlock(const AudioEngine& e) {
    return std::vector<float>(e.lastBlock(), e.lastBlock() + e.lastBlockSize());
}

TEST(ProcessBlock, FilterOffPassesTheConvertedBlockAndMetersAgree) {
    ProcessingParams p;
    p.enabled = false;
    auto engine = makeEngine(p);
    const auto in = sine(440.0, 0.6, 441, 44100.0);
    engine->processBlock(in.data(), in.size(), 44100);
    std::vector<float> expected(480);
    expected.resize(RateConverter().process(in.data(), in.size(), 44100, expected.data(), expected.size()));
    EXPECT_EQ(lastBlock(*engine), expected);
    float peak = 0.0f;
    for (float v : expected) peak = std::max(peak, std::fabs(v));
    EXPECT_EQ(engine->inputPeak.load(), peak);
    EXPECT_EQ(engine->outputPeak.load(), peak);

    // Bypass still never hands on NaN or infinity.
    const float hostile[] = {0.25f, std::numeric_limits<float>::quiet_NaN(),
                             -std::numeric_limits<float>::infinity(), -0.5f};
    engine->processBlock(hostile, 4, 48000);
    EXPECT_EQ(lastBlock(*engine), (std::vector<float>{0.25f, 0.0f, 0.0f, -0.5f}));
    EXPECT_EQ(engine->outputPeak.load(), 0.5f);

    engine->processBlock(nullptr, 480, 48000);
    EXPECT_EQ(engine->lastBlockSize(), 0u);
}

TEST(ProcessBlock, SilenceStaysExactlySilentThroughEveryPreset) {
    const auto& table = voicePresetTable();
    const std::vector<float> zeros(480, 0.0f);
    for (std::size_t row = 0; row < table.count; ++row) {
        ControlState controls;
        controls.voicePreset = int(row);
        controls.pitch = 8;
        controls.robot = 100;
        controls.echo = 60;
        controls.deEsser = true;
        auto engine = makeEngine(makeProcessingParams(controls));
        for (int block = 0; block < 200; ++block) {
            engine->processBlock(zeros.data(), zeros.size(), 48000);
            for (float v : lastBlock(*engine)) ASSERT_EQ(v, 0.0f) << "preset " << row;
        }
        EXPECT_EQ(engine->outputPeak.load(), 0.0f);
    }
}

TEST(ProcessBlock, LimiterCeilingHoldsForAnyInput) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> wild(-40.0f, 40.0f);
    ControlState controls;
    controls.voicePreset = 32;
    controls.pitch = 8;
    controls.tone = 100;
    controls.robot = 100;
    controls.echo = 60;
    for (bool compressor : {false, true}) {
        controls.compressor = compressor;
        auto engine = makeEngine(makeProcessingParams(controls));
        std::vector<float> block(480);
        for (int b = 0; b < 300; ++b) {
            for (auto& v : block) v = wild(rng);
            engine->processBlock(block.data(), block.size(), 48000);
            for (float v : lastBlock(*engine)) ASSERT_LE(std::fabs(v), 0.985f);
            ASSERT_LE(engine->outputPeak.load(), 0.985f);
        }
    }
}

// The only input guard used to be "non-finite becomes 0": a huge finite
// sample still squared to infinity in the spectral stage and left NaN in the
// noise estimate, the bin gains and the filter memories, silencing the
// program until restart. Now the chain must come back within a second.
TEST(ProcessBlock, RecoversFromHostileBlocksWithinOneSecond) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<std::vector<float>> hostile = {
        std::vector<float>(480, 1e20f),
        std::vector<float>(480, -3e38f),
        {inf, -inf, nan, 1e30f, -1e30f, std::numeric_limits<float>::denorm_min(), 0.5f},
    };
    for (int preset : {1, 3, 10, 22, 32}) {
        for (const auto& bad : hostile) {
            ControlState controls;
            controls.voicePreset = preset;
            controls.strength = 100;
            controls.echo = 60;
            controls.pitch = -8;
            auto engine = makeEngine(makeProcessingParams(controls));
            // Some ordinary audio first, then the hostile block twice.
            const auto speechLike = sine(300.0, 0.3, 48000);
            engine->processBlock(speechLike.data(), 4800, 48000);
            engine->processBlock(bad.data(), bad.size(), 48000);
            engine->processBlock(bad.data(), bad.size(), 44100);

            std::vector<float> out;
            for (std::size_t i = 0; i < speechLike.size(); i += 480) {
                engine->processBlock(speechLike.data() + i, 480, 48000);
                const auto block = lastBlock(*engine);
                for (float v : block) ASSERT_TRUE(std::isfinite(v));
                out.insert(out.end(), block.begin(), block.end());
            }
            EXPECT_GT(rms(out.data() + out.size() - 4800, 4800), 0.01)
                << "preset " << preset << " stayed silent after a hostile block";
            EXPECT_TRUE(std::isfinite(engine->inputPeak.load()));
        }
    }
}

TEST(ProcessBlock, NonFiniteSettingsDoNotPoisonTheChain) {
    ProcessingParams p;
    p.voiceType = 13;
    p.pitchSemitones = std::numeric_limits<float>::quiet_NaN();
    p.tone = std::numeric_limits<float>::infinity();
    p.noiseStrength = std::numeric_limits<float>::quiet_NaN();
    p.inputGainDb = std::numeric_limits<float>::infinity();
    auto engine = makeEngine(p);
    const auto in = sine(500.0, 0.3, 4800);
    engine->processBlock(in.data(), in.size(), 48000);
    for (float v : lastBlock(*engine)) ASSERT_TRUE(std::isfinite(v));

    ProcessingParams sane;
    sane.voiceType = 13;
    sane.pitchSemitones = 4.0f;
    engine->setParams(sane);
    std::vector<float> out;
    for (int i = 0; i < 10; ++i) {
        engine->processBlock(in.data(), in.size(), 48000);
        const auto block = lastBlock(*engine);
        out.insert(out.end(), block.begin(), block.end());
    }
    EXPECT_GT(rms(out.data() + out.size() - 4800, 4800), 0.01);
}

TEST(ProcessBlock, FlushesDenormalsOnlyForItsOwnDuration) {
#if defined(__SSE2__) || defined(_M_X64)
    // Compare the control bits only; the low six are sticky exception flags.
    const auto control = [] { return _mm_getcsr() & ~0x3Fu; };
    const unsigned before = control();
    auto engine = makeEngine();
    const auto in = sine(200.0, 0.5, 480);
    engine->processBlock(in.data(), in.size(), 48000);
    EXPECT_EQ(control(), before);
    {
        ScopedFlushDenormals flush;
        volatile float tiny = 1e-30f;
        volatile float product = tiny * 1e-10f;  // subnormal without FTZ
        EXPECT_EQ(product, 0.0f);
    }
    EXPECT_EQ(control(), before);
#else
    GTEST_SKIP() << "no MXCSR on this target";
#endif
}

TEST(ProcessBlock, ParameterSwapsAreWholeBlocks) {
    // The UI thread replaces the settings while the capture thread processes;
    // each block must see one consistent copy (run under ThreadSanitizer too).
    auto engine = makeEngine();
    std::atomic<bool> done{false};
    std::thread ui([&] {
        ControlState controls;
        for (int i = 0; !done.load(); ++i) {
            controls.voicePreset = i % 33;
            controls.strength = i % 101;
            controls.filterOn = (i % 7) != 0;
            engine->setParams(makeProcessingParams(controls));
        }
    });
    const auto in = sine(300.0, 0.4, 480);
    for (int b = 0; b < 2000; ++b) {
        engine->processBlock(in.data(), in.size(), 48000);
        ASSERT_EQ(engine->lastBlockSize(), 480u);
        for (float v : lastBlock(*engine)) ASSERT_TRUE(std::isfinite(v));
    }
    done = true;
    ui.join();
}

}  // namespace
}  // namespace zalo

// The chain's building blocks, tested through their public state and on
// measured signal properties rather than by restating the arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "dsp/voice_chain.h"
#include "test_signals.h"

namespace zalo {
namespace {

using zalo::testing::dominantFrequency;
using zalo::testing::kPi;
using zalo::testing::sine;

std::unique_ptr<VoiceChain> makeChain() { return std::make_unique<VoiceChain>(); }

// The textbook form of the transform: bit-reversal swaps, then per block a
// twiddle recurrence restarted at (1, 0). The production code reorganises the
// loops for speed and must give the very same bits.
void referenceFft256(Complex* x, bool inverse) {
    for (unsigned i = 1; i < 256; ++i) {
        unsigned r = 0;
        for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
        if (i < r) std::swap(x[i], x[r]);
    }
    for (unsigned len = 2; len <= 256; len <<= 1) {
        const float theta = (inverse ? kTwoPi : -kTwoPi) / static_cast<float>(len);
        const Complex wl{std::cos(theta), std::sin(theta)};
        for (unsigned b = 0; b < 256; b += len) {
            Complex w{1.0f, 0.0f};
            for (unsigned j = 0; j < len / 2; ++j) {
                const Complex u = x[b + j];
                const Complex t = x[b + j + len / 2];
                const Complex v{t.re * w.re - t.im * w.im, t.re * w.im + t.im * w.re};
                x[b + j] = Complex{u.re + v.re, u.im + v.im};
                x[b + j + len / 2] = Complex{u.re - v.re, u.im - v.im};
                w = Complex{w.re * wl.re - w.im * wl.im, w.re * wl.im + w.im * wl.re};
            }
        }
    }
    if (inverse) {
        for (unsigned i = 0; i < 256; ++i) {
            x[i].re *= 1.0f / 256.0f;
            x[i].im *= 1.0f / 256.0f;
        }
    }
}

TEST(Fft256, SameBitsAsTheTextbookLoop) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (bool inverse : {false, true}) {
        Complex fast[kFrameSize], slow[kFrameSize];
        for (std::size_t i = 0; i < kFrameSize; ++i) fast[i] = slow[i] = Complex{dist(rng), dist(rng)};
        fft256(fast, inverse);
        referenceFft256(slow, inverse);
        for (std::size_t i = 0; i < kFrameSize; ++i) {
            // Equal as numbers (a zero may differ in sign only).
            ASSERT_EQ(fast[i].re, slow[i].re) << i;
            ASSERT_EQ(fast[i].im, slow[i].im) << i;
        }
    }
}

TEST(NoiseReduction, PassesFirstFrameRawThenLagsBy256Samples) {
    auto chain = makeChain();
    chain->params.noiseStrength = 0.0f;
    // Loud broadband input: its bins sit far above the noise estimate, so the
    // stage is close to a pure delay once the first frame is through.
    const auto in = zalo::testing::whiteNoise(0.5, 256 * 40, 21);
    std::vector<float> out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) out[i] = chain->noiseReduceSample(in[i]);

    for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ(out[i], in[i]) << "sample " << i;
    // The first frame is heard twice: raw, then processed 256 samples later.
    std::size_t bestLag = 0;
    double best = -1.0;
    for (std::size_t lag = 200; lag <= 300; ++lag) {
        double c = 0.0;
        for (std::size_t n = 512; n < in.size(); ++n) c += double(out[n]) * in[n - lag];
        if (c > best) {
            best = c;
            bestLag = lag;
        }
    }
    EXPECT_EQ(bestLag, 256u);
    double err = 0.0, ref = 0.0;
    for (std::size_t n = 256 * 10; n < in.size(); ++n) {
        err += std::fabs(out[n] - in[n - 256]);
        ref += std::fabs(in[n]);
    }
    EXPECT_LT(err, 0.25 * ref);
}

TEST(NoiseReduction, LowersSteadyNoiseButKeepsAVoiceBandTone) {
    auto chain = makeChain();
    chain->params.noiseStrength = 1.0f;
    // One second of quiet noise: the estimate follows it and the bins fall
    // towards the strength-1 floor of 0.05.
    auto noise = zalo::testing::whiteNoise(0.01, 48000 * 2, 3);
    for (std::size_t i = 0; i < 48000; ++i) chain->noiseReduceSample(noise[i]);
    int lowered = 0;
    for (std::size_t k = 1; k < kSpectrumBins; ++k) lowered += chain->binGain[k] < 0.2f;
    EXPECT_GT(lowered, 110);

    // Then a loud steady 1875 Hz tone (bin 10) over the same noise.
    const auto tone = sine(1875.0, 0.2, 48000);
    for (std::size_t i = 0; i < 48000; ++i) chain->noiseReduceSample(noise[48000 + i] + tone[i]);
    EXPECT_GE(chain->binGain[10], 0.55f);
    for (std::size_t k = 0; k < kSpectrumBins; ++k) {
        ASSERT_TRUE(std::isfinite(chain->noiseEstimate[k]));
        ASSERT_GE(chain->binGain[k], 0.0f);
        ASSERT_LE(chain->binGain[k], 1.0f);
    }
}

TEST(PitchShifter, BypassesBelowTwentiethOfASemitone) {
    auto chain = makeChain();
    for (float st : {0.0f, 0.049f, -0.049f}) {
        EXPECT_EQ(chain->pitchShift(0.3125f, st), 0.3125f);
    }
    EXPECT_EQ(chain->pitchWritePos, 0u);
    EXPECT_EQ(chain->pitchPhase, 0.0f);
    chain->pitchShift(0.5f, 0.05f);
    EXPECT_EQ(chain->pitchWritePos, 1u);
}

TEST(PitchShifter, OctaveUpDoublesAndOctaveDownHalvesASine) {
    // 250 Hz fits the 1536-sample sweep a whole number of times, so the two
    // heads stay in phase and the crossfade adds no sidebands to measure.
    for (const auto& [semitones, expectedHz] : {std::pair{12.0f, 500.0}, std::pair{-12.0f, 125.0}}) {
        auto chain = makeChain();
        const auto in = sine(250.0, 0.5, 48000);
        std::vector<float> out(in.size());
        for (std::size_t i = 0; i < in.size(); ++i) out[i] = chain->pitchShift(in[i], semitones);
        // Skip the first 33 ms, which read the zeroed line.
        const std::size_t start = 4800, count = 9600;
        const double f = dominantFrequency(out.data() + start, count, 100.0, 1200.0);
        EXPECT_NEAR(f, expectedHz, 2.0) << semitones << " st";
        EXPECT_GE(chain->pitchPhase, 0.0f);
        EXPECT_LT(chain->pitchPhase, 1.0f);
    }
}

TEST(PitchShifter, ReadsStayInsideTheLine) {
    auto chain = makeChain();
    for (std::size_t i = 0; i < kPitchLineLength; ++i) chain->pitchDelay[i] = float(i);
    chain->pitchWritePos = 100;
    EXPECT_FLOAT_EQ(chain->readDelay(1.0f), 99.0f);   // newest sample
    EXPECT_FLOAT_EQ(chain->readDelay(0.0f), 99.0f);   // below 1 reads one back
    EXPECT_FLOAT_EQ(chain->readDelay(-5.0f), 99.0f);
    EXPECT_FLOAT_EQ(chain->readDelay(2.5f), 97.5f);   // interpolated
    // 8190 back from 100 wraps to slot 102; larger requests read the same.
    EXPECT_FLOAT_EQ(chain->readDelay(8190.0f), 102.0f);
    EXPECT_FLOAT_EQ(chain->readDelay(1e9f), 102.0f);
    EXPECT_TRUE(std::isfinite(chain->readDelay(std::nanf(""))));
}

TEST(VoiceEffects, EchoImpulseGivesTapsOfTheMixAndFeedback) {
    auto chain = makeChain();
    chain->params.voiceType = 13;
    chain->params.echo = 0.6f;
    std::vector<float> out(6000 * 3 + 1);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = chain->applyVoiceEffect(i == 0 ? 1.0f : 0.0f);
    EXPECT_FLOAT_EQ(out[0], 0.4f);
    EXPECT_FLOAT_EQ(out[6000], 0.6f);
    EXPECT_FLOAT_EQ(out[12000], 0.6f * 0.28f);
    EXPECT_NEAR(out[18000], 0.6f * 0.28f * 0.28f, 1e-7);
    double elsewhere = 0.0;
    for (std::size_t i = 1; i < out.size(); ++i) {
        if (i % 6000) elsewhere += std::fabs(out[i]);
    }
    EXPECT_EQ(elsewhere, 0.0);
}

TEST(VoiceEffects, ParametricStagesSwitchOnlyAboveOneThousandth) {
    auto chain = makeChain();
    chain->params.voiceType = 13;
    chain->params.robot = 0.001f;
    chain->params.echo = 0.001f;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(chain->applyVoiceEffect(0.25f), 0.25f);
    EXPECT_EQ(chain->robotPhase, 0.0f);
    EXPECT_EQ(chain->echoWritePos, 0u);
    // Tone 0 still runs the low-pass memory and clamps to +-1.2.
    EXPECT_GT(chain->toneLow, 0.0f);
    EXPECT_EQ(chain->applyVoiceEffect(3.0f), 1.2f);
}

TEST(VoiceEffects, RingModulatorTurnsDcIntoTheCarrier) {
    auto chain = makeChain();
    chain->params.voiceType = 5;
    // Type 5: 0.16 + 0.84*sin(2*pi*72*n/48000), then tanh(1.45*y).
    for (int n = 0; n < 2000; ++n) {
        const double expected = std::tanh(1.45 * (0.16 + 0.84 * std::sin(2.0 * kPi * 72.0 * n / 48000.0)));
        ASSERT_NEAR(chain->applyVoiceEffect(1.0f), expected, 2e-4) << n;
    }
}

TEST(VoiceEffects, BoundedOutputsOverLongRandomRuns) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> loud(-50.0f, 50.0f);
    // Every type (plus unassigned ones) over hostile but finite input: the
    // megaphone must stay in -1..1, everything must stay finite.
    for (int type = -1; type <= 14; ++type) {
        auto chain = makeChain();
        chain->params.voiceType = type;
        chain->params.pitchSemitones = 8.0f;
        chain->params.tone = 1.0f;
        chain->params.robot = 1.0f;
        chain->params.echo = 0.6f;
        for (int i = 0; i < 20000; ++i) {
            const float y = chain->applyVoiceEffect(loud(rng));
            ASSERT_TRUE(std::isfinite(y)) << "type " << type;
            if (type == 8) {
                ASSERT_LE(std::fabs(y), 1.0f);
            }
        }
    }
}

}  // namespace
}  // namespace zalo

// The production chain runs stage by stage over blocks, with vectorised
// loops and fast transcendental functions. Here a plain sample-by-sample
// transcription of the chain, with the C library's functions, checks that
// the reorganisation changed nothing but rounding, and runs of different
// block sizes check that block boundaries are invisible.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "dsp/voice_chain.h"
#include "test_signals.h"

namespace zalo {
namespace {

// Sample-by-sample chain with the textbook transform and libm; voice types
// 0, 1, 8 and 13.
struct ReferenceChain {
    ProcessingParams p;
    float dcIn = 0, dcOut = 0, hpIn = 0, hpOut = 0, gate = 1, toneLow = 0, bandIn = 0, bandOut = 0;
    float robotPhase = 0, deEssLow = 0, pitchPhase = 0;
    std::vector<float> pitchLine = std::vector<float>(8192), echoLine = std::vector<float>(16384);
    unsigned pitchPos = 0, echoPos = 0;
    float frameIn[256] = {}, frameOut[256] = {}, noise[129], gains[129];
    unsigned inPos = 0, outPos = 256;
    bool ready = false;

    ReferenceChain() {
        std::fill(noise, noise + 129, 1e-7f);
        std::fill(gains, gains + 129, 1.0f);
    }
    static float a(float f) { return std::exp(-kTwoPi * f / 48000.0f); }

    void frame() {
        Complex x[256];
        float e = 0;
        for (int k = 0; k < 256; ++k) {
            x[k] = {frameIn[k], 0};
            e += frameIn[k] * frameIn[k];
        }
        fft256(x, false);
        float alpha = 0.12f;
        if (ready) alpha = std::sqrt(e / 256 + 1e-12f) < 0.035f ? 0.025f : 0.0003f;
        const float s = p.noiseStrength, ex = 0.55f + 1.8f * s, fl = 0.45f * (1 - s) + 0.05f * s;
        for (int k = 0; k <= 128; ++k) {
            const float P = x[k].re * x[k].re + x[k].im * x[k].im + 1e-12f;
            noise[k] = (1 - alpha) * noise[k] + alpha * P;
            const float snr = std::max((P - noise[k]) / (noise[k] + 1e-12f), 0.0f);
            const float w = std::min(std::max(snr / (snr + 1), 0.0f), 1.0f);
            float g = fl + (1 - fl) * std::pow(w, ex);
            const float f = k * 48000.0f / 256;
            if (f > 180 && f < 4200 && snr > 2.0f) g = std::max(g, 0.55f);
            gains[k] = 0.72f * gains[k] + 0.28f * g;
            x[k].re *= gains[k];
            x[k].im *= gains[k];
            if (k >= 1 && k <= 127) x[256 - k] = {x[k].re, -x[k].im};
        }
        ready = true;
        fft256(x, true);
        for (int k = 0; k < 256; ++k) frameOut[k] = x[k].re;
        outPos = 0;
    }
    float readLine(float d) const {
        d = std::max(std::min(d, 8190.0f), 1.0f);
        float pos = float(pitchPos) - d;
        while (pos < 0) pos += 8192;
        const unsigned i = unsigned(pos) % 8192;
        const float f = pos - float(i);
        return (1 - f) * pitchLine[i] + f * pitchLine[(i + 1) % 8192];
    }
    float pitch(float x, float st) {
        if (std::fabs(st) < 0.05f) return x;
        pitchLine[pitchPos] = x;
        pitchPos = (pitchPos + 1) % 8192;
        pitchPhase += (1 - std::pow(2.0f, st / 12)) / 1536;
        pitchPhase -= std::floor(pitchPhase);
        float p2 = pitchPhase + 0.5f;
        if (p2 >= 1) p2 -= 1;
        const float b = readLine(p2 * 1536 + 48);
        const float w1 = 0.5f - 0.5f * std::cos(kTwoPi * pitchPhase), w2 = 0.5f - 0.5f * std::cos(kTwoPi * p2);
        const float av = readLine(pitchPhase * 1536 + 48);
        return (av * w1 + b * w2) / std::max(w1 + w2, 0.05f);
    }
    float tone(float x, float t) {
        toneLow += (1 - a(1800)) * (x - toneLow);
        const float k = 0.55f * t;
        const float y = t >= 0 ? x + k * (x - toneLow) : (1 + 0.35f * t) * x - k * toneLow;
        return std::max(std::min(y, 1.2f), -1.2f);
    }
    float voice(float y) {
        switch (p.voiceType) {
            case 1: return std::tanh(1.12f * tone(y, 0.42f)) / std::tanh(1.12f);
            case 8: {
                const float h = a(550) * (bandOut + y - bandIn);
                bandIn = y;
                bandOut = h;
                toneLow += (1 - a(4300)) * (h - toneLow);
                return std::max(std::min(std::tanh(2.25f * toneLow) / std::tanh(2.25f) * 0.92f, 1.0f), -1.0f);
            }
            case 13: {
                y = tone(pitch(y, p.pitchSemitones), p.tone);
                if (p.robot > 0.001f) {
                    const float s = std::sin(robotPhase);
                    robotPhase += kTwoPi * 62 / 48000;
                    if (robotPhase >= kTwoPi) robotPhase -= kTwoPi;
                    y = s * y * p.robot + (1 - p.robot) * y;
                }
                if (p.echo > 0.001f) {
                    const float tap = echoLine[(echoPos + 16384 - 6000) % 16384];
                    echoLine[echoPos] = std::max(std::min(y + 0.28f * tap, 1.0f), -1.0f);
                    echoPos = (echoPos + 1) % 16384;
                    y = (1 - p.echo) * y + p.echo * tap;
                }
                return y;
            }
            default: return y;
        }
    }
    float run(float x) {
        x = std::isfinite(x) ? x : 0.0f;
        float y = x - dcIn + 0.995f * dcOut;
        dcIn = x;
        dcOut = y;
        if (p.highPass) {
            const float z = a(80) * (hpOut + y - hpIn);
            hpIn = y;
            hpOut = z;
            y = z;
        }
        frameIn[inPos++] = y;
        if (outPos < 256) y = frameOut[outPos++];
        if (inPos == 256) {
            frame();
            inPos = 0;
        }
        const float target = (p.gate && std::fabs(y) < 0.0025f) ? 1 - 0.65f * p.noiseStrength : 1.0f;
        gate += (target - gate) * (target > gate ? 0.18f : 0.015f);
        y = voice(y * gate);
        if (p.deEsser) {
            deEssLow += (1 - a(4800)) * (y - deEssLow);
            const float h = y - deEssLow;
            y -= std::min(std::max((std::fabs(h) - 0.035f) * 7, 0.0f), 0.62f) * h;
        }
        if (p.compressor && std::fabs(y) > 0.28f) y = std::copysign(0.28f * std::pow(std::fabs(y) / 0.28f, 0.32f), y);
        if (p.limiter) y = std::max(std::min(std::tanh(1.45f * y) / std::tanh(1.45f), 0.985f), -0.985f);
        return std::isfinite(y) ? y : 0.0f;
    }
};

std::vector<float> speechLike(std::size_t n) {
    auto s = zalo::testing::sine(180.0, 0.35, n);
    const auto h = zalo::testing::sine(2300.0, 0.12, n);
    const auto noise = zalo::testing::whiteNoise(0.02, n, 17);
    for (std::size_t i = 0; i < n; ++i) {
        const double envelope = 0.5 + 0.5 * std::sin(2 * zalo::testing::kPi * 3.0 * i / 48000.0);
        s[i] = float((s[i] + h[i]) * envelope) + noise[i];
    }
    return s;
}

ProcessingParams paramsFor(int voiceType) {
    ProcessingParams p;
    p.voiceType = voiceType;
    p.deEsser = true;
    p.pitchSemitones = -5.0f;
    p.tone = -0.3f;
    p.robot = 0.4f;
    p.echo = 0.3f;
    return p;
}

TEST(ChainReference, MatchesTheSampleBySampleChainUpToRounding) {
    const auto in = speechLike(48000);
    for (int type : {0, 1, 8, 13}) {
        auto chain = std::make_unique<VoiceChain>();
        chain->params = paramsFor(type);
        ReferenceChain ref;
        ref.p = chain->params;
        std::vector<float> out(in);
        chain->process(out.data(), out.size());
        double worst = 0.0;
        for (std::size_t i = 0; i < in.size(); ++i) worst = std::max(worst, double(std::fabs(out[i] - ref.run(in[i]))));
        EXPECT_LT(worst, 5e-6) << "voice type " << type;
    }
}

TEST(ChainReference, BlockBoundariesAreInvisible) {
    const auto in = speechLike(30000);
    for (int type : {1, 3, 5, 7, 10, 13}) {
        std::vector<float> whole(in);
        auto a = std::make_unique<VoiceChain>();
        a->params = paramsFor(type);
        a->process(whole.data(), whole.size());
        for (std::size_t block : {1u, 7u, 255u, 480u, 4099u}) {
            auto b = std::make_unique<VoiceChain>();
            b->params = paramsFor(type);
            std::vector<float> pieces(in);
            for (std::size_t i = 0; i < pieces.size(); i += block)
                b->process(pieces.data() + i, std::min(block, pieces.size() - i));
            ASSERT_EQ(pieces, whole) << "voice type " << type << ", blocks of " << block;
        }
    }
}

}  // namespace
}  // namespace zalo

// The clean-voice stage: exact reconstruction when it removes nothing, a
// plain double-precision transcription of its equations, what it removes and
// keeps inside the chain, and switching it on and off mid-stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "dsp/clean_voice.h"
#include "dsp/voice_chain.h"

namespace zalo {
namespace {

using Vec = std::vector<double>;
constexpr double kTwoPiD = 6.283185307179586;

// Bursts of a voice (harmonics h = 1..harmonics of f0, amplitude 0.3/h), 0.3 s
// on and 0.5 s off, over steady pink noise of about 0.03 rms.
std::vector<float> noisyVoice(std::size_t n, double f0, int harmonics) {
    std::mt19937 rng(7);
    std::normal_distribution<double> white(0.0, 1.0);
    double b0 = 0, b1 = 0, b2 = 0;
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double w = white(rng);  // pink: three one-pole bands plus white
        b0 = 0.99765 * b0 + 0.0990460 * w, b1 = 0.96300 * b1 + 0.2965164 * w, b2 = 0.57000 * b2 + 1.0526913 * w;
        double v = 0;
        for (int h = 1; i % 38400 < 14400 && h <= harmonics; ++h) v += 0.3 / h * std::sin(kTwoPiD * f0 * h * i / 48000);
        x[i] = static_cast<float>(v + 0.01 * (b0 + b1 + b2 + 0.1848 * w));
    }
    return x;
}

// The stage's equations frame by frame, in double precision, with a plain DFT.
Vec transcribe(const std::vector<float>& x, double strength) {
    const int N = 512, H = 256, K = 257;
    const double floorGain = std::pow(10.0, -0.23 * strength / 20);
    Vec w(N), c(N), s(N), out(x.size(), 0.0), lam(K), A2(K, 0.0), S(K), St(K), lt(K);
    for (int n = 0; n < N; ++n) w[n] = std::sqrt(0.5 - 0.5 * std::cos(kTwoPiD * n / N)), c[n] = std::cos(kTwoPiD * n / N), s[n] = std::sin(kTwoPiD * n / N);
    const auto sm3 = [](const Vec& v) {
        Vec r(v.size());
        for (std::size_t k = 1; k + 1 < v.size(); ++k) r[k] = 0.25 * v[k - 1] + 0.5 * v[k] + 0.25 * v[k + 1];
        r[0] = 0.5 * v[0] + 0.5 * v[1], r[K - 1] = 0.5 * v[K - 1] + 0.5 * v[K - 2];
        return r;
    };
    struct Min { Vec min, win; std::deque<Vec> store; } mS, mSt;
    const auto mt = [](Min& m, const Vec& v, long l) {
        for (std::size_t k = 0; k < v.size(); ++k) m.min[k] = std::min(m.min[k], v[k]), m.win[k] = std::min(m.win[k], v[k]);
        if (l % 16) return;
        m.store.pop_front(), m.store.push_back(m.win), m.min = m.store[0], m.win = v;
        for (const Vec& e : m.store) for (std::size_t k = 0; k < v.size(); ++k) m.min[k] = std::min(m.min[k], e[k]);
    };
    for (long l = 0; (l + 1) * H <= static_cast<long>(x.size()); ++l) {
        Vec re(K, 0.0), im(K, 0.0), P(K), xi(K), v(K), y(N, 0.0);
        for (int k = 0; k < K; ++k)
            for (int n = 0; n < N; ++n) {
                const long i = (l + 1) * H - N + n;
                const double xw = i < 0 ? 0.0 : w[n] * x[i];
                re[k] += xw * c[(k * n) % N], im[k] -= xw * s[(k * n) % N];
            }
        for (int k = 0; k < K; ++k) P[k] = re[k] * re[k] + im[k] * im[k] + 1e-20;
        if (l == 0) lam = P;
        for (int k = 0; k < K; ++k) {
            const double g = std::min(P[k] / lam[k], 1e4);
            xi[k] = std::max(0.96 * A2[k] / lam[k] + 0.04 * std::max(g - 1, 0.0), std::pow(10.0, -2.5));
            const double u = v[k] = std::min(std::max(xi[k] * g / (1 + xi[k]), 1e-10), 50.0);
            const double e1 = u <= 1 ? -std::log(u) - 0.57721566 + u * (0.99999193 + u * (-0.24991055 + u * (0.05519968 + u * (-0.00976004 + 0.00107857 * u))))
                                     : std::exp(-u) / u * (u * u + 2.334733 * u + 0.250621) / (u * u + 3.330657 * u + 1.681534);
            const double G = std::min(xi[k] / (1 + xi[k]) * std::exp(0.5 * e1), 1.0);
            A2[k] = G * G * P[k];
            re[k] *= std::max(G, floorGain), im[k] *= std::max(G, floorGain);
        }
        for (int n = 0; n < N; ++n) {
            for (int k = 0; k < K; ++k) y[n] += (k == 0 || k == K - 1 ? 1.0 : 2.0) * (re[k] * c[(k * n) % N] - im[k] * s[(k * n) % N]);
            const std::size_t t = (l + 1) * H + n;
            if (t < out.size()) out[t] += w[n] * y[n] / N;
        }
        const Vec Sf = sm3(P);
        if (l == 0) S = St = Sf, lt = P, mS = mSt = Min{S, S, std::deque<Vec>(8, S)};
        else for (int k = 0; k < K; ++k) S[k] = 0.9 * S[k] + 0.1 * Sf[k];
        mt(mS, S, l);
        if (l < 16) {
            for (int k = 0; k < K; ++k) lt[k] = (l * lt[k] + P[k]) / (l + 1);
            St = S, mt(mSt, St, l), lam = lt;
            continue;
        }
        Vec I(K), IP(K);
        for (int k = 0; k < K; ++k) I[k] = P[k] < 4.6 * 1.5 * mS.min[k] && S[k] < 1.67 * 1.5 * mS.min[k], IP[k] = I[k] * P[k];
        const Vec num = sm3(IP), den = sm3(I);
        for (int k = 0; k < K; ++k) St[k] = 0.9 * St[k] + 0.1 * (den[k] == 0 ? St[k] : num[k] / den[k]);
        mt(mSt, St, l);
        for (int k = 0; k < K; ++k) {
            const double gt = P[k] / (1.5 * mSt.min[k]), zt = S[k] / (1.5 * mSt.min[k]);
            const double q = zt >= 1.67 || gt >= 3 ? 0 : gt <= 1 ? 1 : (3 - gt) / 2;
            const double p = q == 1 ? 0 : 1 / (1 + q / (1 - q) * (1 + xi[k]) * std::exp(-v[k]));
            const double a = 0.9 + 0.1 * p;
            lt[k] = a * lt[k] + (1 - a) * P[k], lam[k] = 1.47 * lt[k];
        }
    }
    return out;
}

TEST(CleanVoice, ReturnsItsInputDelayedBy512SamplesAtStrengthZero) {
    auto stage = std::make_unique<CleanVoiceStage>();
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> sample(-0.5f, 0.5f);
    std::vector<float> x(20000), y;
    for (float& v : x) v = sample(rng);
    y = x;
    for (std::size_t done = 0, n = 1; done < y.size(); done += n, n = 1 + rng() % 700)
        stage->process(y.data() + done, std::min(n, y.size() - done), cleanVoiceFloor(0.0f));
    for (std::size_t t = 0; t < y.size(); ++t)
        ASSERT_NEAR(y[t], t < kCleanLatencySamples ? 0.0f : x[t - kCleanLatencySamples], 1e-5) << t;
}

TEST(CleanVoice, MatchesAPlainTranscriptionOfItsEquations) {
    const std::vector<float> x = noisyVoice(200 * 256, 140.0, 12);  // 200 frames: the minimum store turns over
    for (float strength : {65.0f, 100.0f}) {
        const Vec want = transcribe(x, strength);
        auto stage = std::make_unique<CleanVoiceStage>();
        std::vector<float> y = x;
        for (std::size_t done = 0; done < y.size(); done += 480)
            stage->process(y.data() + done, std::min<std::size_t>(480, y.size() - done), cleanVoiceFloor(strength));
        double worst = 0;
        for (std::size_t t = 0; t < y.size(); ++t) worst = std::max(worst, std::fabs(y[t] - want[t]));
        EXPECT_LT(worst, 1e-4) << "strength " << strength;
    }
}

// Runs `x` through `chain` in 10 ms blocks with `p`; every sample must be finite.
std::vector<float> runChain(VoiceChain& chain, std::vector<float> x, const ProcessingParams& p) {
    chain.params = p;
    for (std::size_t done = 0; done < x.size(); done += 480) {
        chain.process(x.data() + done, std::min<std::size_t>(480, x.size() - done));
        for (std::size_t i = done; i < std::min(done + 480, x.size()); ++i) EXPECT_TRUE(std::isfinite(x[i])) << i;
    }
    return x;
}

TEST(CleanVoice, InTheChainPausesFallAndAVoiceBandToneKeepsItsLevel) {
    const std::vector<float> x = noisyVoice(6 * 48000, 1000.0, 1);
    ProcessingParams p;
    p.compressor = p.limiter = p.gate = false;
    p.cleanVoice = true;
    // Against the same chain with the stage transparent (strength 0).
    std::vector<float> y[2];
    for (float strength : {0.0f, 0.65f}) {
        p.noiseStrength = strength;
        auto chain = std::make_unique<VoiceChain>();
        y[strength > 0] = runChain(*chain, x, p);
    }
    // Per burst period after the first 1.6 s, in output time: the power of
    // the 1 kHz component inside the burst and the pause's power, each away
    // from the edges.
    for (std::size_t start = 76800 + 512; start + 38400 <= x.size(); start += 38400) {
        double tone[2] = {}, pause[2] = {};
        for (int j = 0; j < 2; ++j) {
            double c = 0, s = 0;
            for (std::size_t i = start + 2400; i < start + 12000; ++i)
                c += y[j][i] * std::cos(kTwoPiD * 1000 * i / 48000), s += y[j][i] * std::sin(kTwoPiD * 1000 * i / 48000);
            tone[j] = c * c + s * s;
            for (std::size_t i = start + 16800; i < start + 36000; ++i) pause[j] += double(y[j][i]) * y[j][i];
        }
        EXPECT_NEAR(10 * std::log10(tone[1] / tone[0]), 0.0, 1.0) << "tone at " << start;
        EXPECT_LE(10 * std::log10(pause[1] / pause[0]), -12.0) << "pause at " << start;
    }
}

// After a switch the incoming stage starts afresh: a chain that heard loud
// noise through it earlier sounds exactly like one that never used it.
TEST(CleanVoice, SwitchingMidStreamRestartsTheIncomingStageAndStaysAudible) {
    const std::vector<float> voice = noisyVoice(48000, 140.0, 12), zeros(48000, 0.0f);
    std::vector<float> loud(48000);
    std::mt19937 rng(5);
    for (float& v : loud) v = std::uniform_real_distribution<float>(-0.8f, 0.8f)(rng);
    for (bool clean : {true, false}) {
        ProcessingParams on, off;
        on.cleanVoice = clean, off.cleanVoice = !clean;
        auto used = std::make_unique<VoiceChain>(), fresh = std::make_unique<VoiceChain>();
        runChain(*used, loud, on), runChain(*used, zeros, off), runChain(*fresh, zeros, off);
        const std::vector<float> a = runChain(*fresh, voice, on), b = runChain(*used, voice, on);
        double worst = 0, energy = 0;
        for (std::size_t i = 0; i < b.size(); ++i) worst = std::max(worst, double(std::fabs(a[i] - b[i])));
        for (std::size_t i = 0; i < 14400; ++i) energy += double(b[i]) * b[i];  // first burst, 0.3 s
        EXPECT_LT(worst, 1e-6) << "clean voice " << clean;
        EXPECT_GT(std::sqrt(energy / 14400), 0.03) << "clean voice " << clean;
    }
}

}  // namespace
}  // namespace zalo

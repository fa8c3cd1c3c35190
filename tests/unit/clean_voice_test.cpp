// The clean-voice stage: a plain double-precision transcription of its
// equations (and, at strength 0, the input delayed by exactly 512 samples),
// what it removes and keeps inside the chain, and switching it mid-stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <valarray>
#include <vector>

#include "dsp/clean_voice.h"
#include "dsp/voice_chain.h"

namespace zalo {
namespace {

using V = std::valarray<double>;
constexpr double kTwoPiD = 6.283185307179586;
constexpr long N = 512, H = 256, K = 257;

// Bursts of a voice (harmonics h = 1..harmonics of f0 at 0.3/h), 0.3 s on and
// 0.5 s off, over steady pink noise of about 0.03 rms.
std::vector<float> noisyVoice(std::size_t n, double f0, int harmonics) {
    std::mt19937 rng(7);
    std::normal_distribution<double> white(0.0, 1.0);
    double b0 = 0, b1 = 0, b2 = 0;  // pink: three one-pole bands plus white
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double w = white(rng);
        b0 = 0.99765 * b0 + 0.0990460 * w, b1 = 0.96300 * b1 + 0.2965164 * w, b2 = 0.57000 * b2 + 1.0526913 * w;
        double v = 0.01 * (b0 + b1 + b2 + 0.1848 * w);
        for (int h = 1; i % 38400 < 14400 && h <= harmonics; ++h) v += 0.3 / h * std::sin(kTwoPiD * f0 * h * i / 48000);
        x[i] = static_cast<float>(v);
    }
    return x;
}

// sm3(v)_k = v_(k-1)/4 + v_k/2 + v_(k+1)/4, two-tap halves at the edges.
V sm3(const V& v) {
    V r = 0.5 * v + 0.25 * (v.shift(-1) + v.shift(1));
    r[0] = 0.5 * (v[0] + v[1]), r[K - 1] = 0.5 * (v[K - 1] + v[K - 2]);
    return r;
}

// Minimum over the stored minima of the last 8 sub-windows of 16 frames and
// the running sub-window.
struct MinTrack {
    V min, win;
    std::vector<V> store;
    void update(const V& s, long l) {
        for (long k = 0; k < K; ++k) min[k] = std::min(min[k], s[k]), win[k] = std::min(win[k], s[k]);
        if (l % 16) return;
        store.erase(store.begin()), store.push_back(win), min = win = s;
        for (const V& e : store) for (long k = 0; k < K; ++k) min[k] = std::min(min[k], e[k]);
    }
};

// The stage's equations frame by frame, in double precision, with a plain DFT.
std::vector<double> transcribe(const std::vector<float>& x, double strength) {
    const double floorGain = std::pow(10.0, -0.23 * strength / 20);
    std::vector<std::complex<double>> e(N);  // e^(-2 pi i m / N)
    V w(N), lam, A2(0.0, K), S, St, lt;
    for (long n = 0; n < N; ++n) w[n] = std::sqrt(0.5 - 0.5 * std::cos(kTwoPiD * n / N)), e[n] = std::polar(1.0, -kTwoPiD * n / N);
    MinTrack mS, mSt;
    std::vector<double> out(x.size());
    for (long l = 0; (l + 1) * H <= long(x.size()); ++l) {
        std::vector<std::complex<double>> X(K);
        V P(K), xi(K), v(K);
        for (long k = 0; k < K; ++k) {
            for (long n = 0, i = (l + 1) * H - N; n < N; ++n, ++i) X[k] += (i < 0 ? 0.0 : w[n] * x[i]) * e[k * n % N];
            P[k] = std::norm(X[k]) + 1e-20;
        }
        if (l == 0) lam = P;
        for (long k = 0; k < K; ++k) {  // the gain
            const double g = std::min(P[k] / lam[k], 1e4);
            xi[k] = std::max(0.96 * A2[k] / lam[k] + 0.04 * std::max(g - 1, 0.0), std::pow(10.0, -2.5));
            const double u = v[k] = std::min(std::max(xi[k] * g / (1 + xi[k]), 1e-10), 50.0);
            const double e1 = u <= 1 ? -std::log(u) - 0.57721566 + u * (0.99999193 + u * (-0.24991055 + u * (0.05519968 + u * (-0.00976004 + 0.00107857 * u))))
                                     : std::exp(-u) / u * (u * u + 2.334733 * u + 0.250621) / (u * u + 3.330657 * u + 1.681534);
            const double G = std::min(xi[k] / (1 + xi[k]) * std::exp(0.5 * e1), 1.0);
            A2[k] = G * G * P[k], X[k] *= std::max(G, floorGain);
        }
        for (long n = 0; n < N && (l + 1) * H + n < long(out.size()); ++n) {
            double y = 0;
            for (long k = 0; k < K; ++k) y += (k % 256 ? 2.0 : 1.0) * (X[k] * std::conj(e[k * n % N])).real();
            out[(l + 1) * H + n] += w[n] * y / N;
        }
        const V Sf = sm3(P);  // the noise tracker
        if (l == 0) S = St = Sf, lt = P, mS = mSt = MinTrack{Sf, Sf, std::vector<V>(8, Sf)};
        else S = 0.9 * S + 0.1 * Sf;
        mS.update(S, l);
        if (l < 16) {
            lt = (double(l) * lt + P) / double(l + 1), St = S, mSt.update(St, l), lam = lt;
            continue;
        }
        V I(0.0, K);
        I[P < 4.6 * 1.5 * mS.min && S < 1.67 * 1.5 * mS.min] = 1.0;
        const V num = sm3(I * P), den = sm3(I);
        for (long k = 0; k < K; ++k) St[k] = 0.9 * St[k] + 0.1 * (den[k] == 0 ? St[k] : num[k] / den[k]);
        mSt.update(St, l);
        for (long k = 0; k < K; ++k) {
            const double gt = P[k] / (1.5 * mSt.min[k]), zt = S[k] / (1.5 * mSt.min[k]);
            const double q = zt >= 1.67 || gt >= 3 ? 0 : gt <= 1 ? 1 : (3 - gt) / 2;
            const double a = 0.9 + 0.1 * (q == 1 ? 0 : 1 / (1 + q / (1 - q) * (1 + xi[k]) * std::exp(-v[k])));
            lt[k] = a * lt[k] + (1 - a) * P[k];
        }
        lam = 1.47 * lt;
    }
    return out;
}

TEST(CleanVoice, MatchesAPlainTranscriptionAndAtStrengthZeroOnlyDelays) {
    const std::vector<float> x = noisyVoice(200 * H, 140.0, 12);  // 200 frames: the minimum store turns over
    std::mt19937 rng(3);
    for (float strength : {0.0f, 65.0f, 100.0f}) {
        const std::vector<double> want = transcribe(x, strength);
        auto stage = std::make_unique<CleanVoiceStage>();
        std::vector<float> y = x;
        for (std::size_t done = 0, n = 1; done < y.size(); done += n, n = 1 + rng() % 700)
            stage->process(y.data() + done, std::min(n, y.size() - done), cleanVoiceFloor(strength));
        double worst = 0, delayWorst = 0;
        for (std::size_t t = 0; t < y.size(); ++t)
            worst = std::max(worst, std::fabs(y[t] - want[t])), delayWorst = std::max(delayWorst, std::fabs(y[t] - (t < 512 ? 0.0 : x[t - 512])));
        EXPECT_LT(worst, 1e-4) << "strength " << strength;
        EXPECT_LT(strength == 0 ? delayWorst : 0, 1e-5);
    }
}

// `x` through `chain` in 10 ms blocks with `p`; every sample must be finite.
std::vector<float> runChain(VoiceChain& chain, std::vector<float> x, const ProcessingParams& p) {
    chain.params = p;
    for (std::size_t done = 0; done < x.size(); done += 480) chain.process(x.data() + done, std::min<std::size_t>(480, x.size() - done));
    EXPECT_TRUE(std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); }));
    return x;
}

// Half a second of digital silence, then tone bursts at 1 kHz in pink noise,
// through the chain (no gate, compressor or limiter). After a switch the incoming stage starts afresh: a chain that
// heard loud noise through it before sounds exactly like a fresh one. With
// clean voice on, against the stage made transparent (strength 0), the pauses
// fall by 12 dB or more and the tone keeps its level within 1 dB. (That the
// output is audible soon after any switch is the hostile-input table's
// recovery check, which toggles the mode too.)
TEST(CleanVoice, InTheChainSwitchingRestartsTheStagePausesFallAndAToneKeepsItsLevel) {
    std::vector<float> x = noisyVoice(6 * 48000, 1000.0, 1), zeros(48000, 0.0f);
    std::fill(x.begin(), x.begin() + 24000, 0.0f);  // a muted microphone first: digital silence
    std::vector<float> loud = noisyVoice(48000, 3000.0, 1);
    for (float& v : loud) v *= 3.0f;
    for (bool clean : {true, false}) {
        ProcessingParams on;
        on.compressor = on.limiter = on.gate = false;
        on.cleanVoice = clean;
        ProcessingParams off = on;
        off.cleanVoice = !clean;
        auto used = std::make_unique<VoiceChain>(), fresh = std::make_unique<VoiceChain>();
        runChain(*used, loud, on), runChain(*used, zeros, off), runChain(*fresh, zeros, off);
        std::vector<float> y[3] = {{}, runChain(*fresh, x, on), runChain(*used, x, on)};
        double worst = 0;
        for (std::size_t i = 0; i < x.size(); ++i) worst = std::max(worst, double(std::fabs(y[1][i] - y[2][i])));
        EXPECT_LT(worst, 1e-6) << "clean voice " << clean;
        if (!clean) continue;
        on.noiseStrength = 0.0f;
        y[0] = runChain(*std::make_unique<VoiceChain>(), x, on);
        // Per burst period after the first 2.4 s, in output time: the power of
        // the 1 kHz component inside the burst, and of the pause, away from the edges.
        for (std::size_t start = 115200 + 512; start + 38400 <= x.size(); start += 38400) {
            std::complex<double> tone[2];
            double pause[2] = {};
            for (int j = 0; j < 2; ++j) {
                for (std::size_t i = start + 2400; i < start + 12000; ++i) tone[j] += double(y[j][i]) * std::polar(1.0, kTwoPiD * 1000 * i / 48000);
                for (std::size_t i = start + 16800; i < start + 36000; ++i) pause[j] += double(y[j][i]) * y[j][i];
            }
            EXPECT_NEAR(10 * std::log10(std::norm(tone[1]) / std::norm(tone[0])), 0.0, 1.0) << "tone at " << start;
            EXPECT_LE(10 * std::log10(pause[1] / pause[0]), -12.0) << "pause at " << start;
        }
    }
}

}  // namespace
}  // namespace zalo

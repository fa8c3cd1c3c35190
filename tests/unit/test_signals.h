// Small deterministic signal helpers shared by the unit tests.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace zalo::testing {

constexpr double kPi = 3.14159265358979323846;

inline std::vector<float> sine(double frequencyHz, double amplitude, std::size_t count,
                               double rateHz = 48000.0) {
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * frequencyHz * i / rateHz));
    return out;
}

inline std::vector<float> whiteNoise(double amplitude, std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> out(count);
    for (auto& v : out) v = static_cast<float>(amplitude) * dist(rng);
    return out;
}

inline double rms(const float* x, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) sum += static_cast<double>(x[i]) * x[i];
    return count ? std::sqrt(sum / count) : 0.0;
}

// Frequency of the strongest DFT bin between lowHz and highHz, searched in
// 1 Hz steps (Goertzel-style power per probe frequency).
inline double dominantFrequency(const float* x, std::size_t count, double lowHz, double highHz,
                                double rateHz = 48000.0) {
    double best = lowHz, bestPower = -1.0;
    for (double f = lowHz; f <= highHz; f += 1.0) {
        double re = 0.0, im = 0.0;
        const double w = 2.0 * kPi * f / rateHz;
        for (std::size_t n = 0; n < count; ++n) {
            re += x[n] * std::cos(w * n);
            im -= x[n] * std::sin(w * n);
        }
        const double power = re * re + im * im;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

}  // namespace zalo::testing

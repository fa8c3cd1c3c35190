// The branch-free transcendental functions against the C library in double
// precision, over the ranges the chain feeds them; one sweep per function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "dsp/fast_math.h"

namespace zalo {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(FastMath, WithinTheirErrorBoundsOverTheChainsRanges) {
    const struct {
        const char* name;
        float lo, hi, step;
        double tolerance;  // absolute
        float (*fast)(float);
        double (*exact)(double);
    } sweeps[] = {
        {"tanh", -12.0f, 12.0f, 1e-4f, 4e-7, fastTanh, [](double x) { return std::tanh(x); }},
        {"cos", -3.0f, 3.0f, 1e-5f, 3e-7, fastCosTurns, [](double t) { return std::cos(2 * kPi * t); }},
        // The spectral gains' powers: w^e for w in (0, 1], e = 0.55..2.35.
        {"pow 0.55", 1e-6f, 1.0f, 1e-5f, 4e-6, [](float w) { return fastPow(w, 0.55f); },
         [](double w) { return std::pow(w, double(0.55f)); }},
        {"pow 2.35", 1e-6f, 1.0f, 1e-5f, 4e-6, [](float w) { return fastPow(w, 2.35f); },
         [](double w) { return std::pow(w, double(2.35f)); }},
    };
    for (const auto& s : sweeps) {
        double worst = 0.0;
        for (float x = s.lo; x <= s.hi; x += s.step) worst = std::max(worst, std::fabs(s.fast(x) - s.exact(x)));
        EXPECT_LT(worst, s.tolerance) << s.name;
    }
    for (float x : {0.3f, 7.0f, 7.9f, 8.0f, 1e30f}) {
        EXPECT_LE(fastTanh(x), 1.0f) << x;  // the limiter and the saturations rely on |tanh| <= 1
        EXPECT_EQ(fastTanh(-x), -fastTanh(x)) << x;
    }
    EXPECT_EQ(fastTanh(1e30f), 1.0f);
    EXPECT_EQ(fastPow(0.0f, 2.35f), 0.0f);
    EXPECT_EQ(fastPow(1.0f, 2.35f), 1.0f);
}

}  // namespace
}  // namespace zalo

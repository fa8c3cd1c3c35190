// Accuracy of the branch-free transcendental functions against the C
// library in double precision, over the ranges the chain feeds them.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/fast_math.h"
#include "dsp/voice_chain.h"

namespace zalo {
namespace {

TEST(FastMath, TanhIsBoundedOddAndWithinFourTenthsOfAMillionth) {
    double worst = 0.0;
    for (float x = -12.0f; x <= 12.0f; x += 1.0e-4f) {
        const float t = fastTanh(x);
        ASSERT_LE(std::fabs(t), 1.0f) << x;
        ASSERT_EQ(t, -fastTanh(-x)) << x;
        worst = std::max(worst, std::fabs(double(t) - std::tanh(double(x))));
    }
    EXPECT_LT(worst, 4e-7);
    EXPECT_EQ(fastTanh(1e30f), 1.0f);
    EXPECT_EQ(fastTanh(-1e30f), -1.0f);
    for (float k : {1.1f, 1.12f, 1.14f, 1.38f, 1.75f, 2.25f}) EXPECT_EQ(normalisedTanh(1.0f, k), 1.0f) << k;
}

TEST(FastMath, PowOverTheSpectralGainRange) {
    double worstGain = 0.0;
    for (float w = 1e-6f; w <= 1.0f; w *= 1.0003f) {
        for (float e : {0.55f, 1.0f, 1.72f, 2.35f}) {
            const double ref = std::pow(double(w), double(e));
            worstGain = std::max(worstGain, std::fabs(fastPow(w, e) - ref) / ref);
        }
    }
    EXPECT_LT(worstGain, 4e-6);  // relative; the absolute error is far smaller
    EXPECT_EQ(fastPow(0.0f, 2.35f), 0.0f);
    EXPECT_EQ(fastPow(1.0f, 2.35f), 1.0f);
}

TEST(FastMath, CosineInTurnsAnywhere) {
    double worst = 0.0;
    for (float t = -3.0f; t <= 3.0f; t += 1.0e-5f)
        worst = std::max(worst, std::fabs(fastCosTurns(t) - std::cos(2.0 * 3.14159265358979323846 * double(t))));
    EXPECT_LT(worst, 3e-7);
    EXPECT_EQ(fastCosTurns(0.0f), 1.0f);
    EXPECT_NEAR(fastCosTurns(0.5f), -1.0f, 1e-7);
}

}  // namespace
}  // namespace zalo

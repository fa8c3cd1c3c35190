// Conversion to 48 kHz over a stream of device packets: no sample lost at the
// packet boundaries, and a sine crosses them as if there were none.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/rate_converter.h"

namespace zalo {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(RateConverter, SixtySecondsOfPacketsLoseNothingAndFollowTheSine) {
    // maxPending: positions still waiting after the last frame.
    const struct { unsigned rate; std::size_t block, maxPending; } cases[] = {
        {44100, 480, 2}, {44100, 441, 2}, {44100, 448, 2}, {22050, 220, 4},
        {22050, 221, 4}, {8000, 1, 7},    {48000, 480, 0}};
    constexpr double kHz = 1000.0, kAmp = 0.8, kOut = 2880000.0;  // 60 s at 48 kHz
    // A clean 1 kHz sine at 48 kHz moves at most this far between samples.
    const double cleanStep = 2.0 * kAmp * std::sin(kPi * kHz / 48000.0) + 1e-5;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz in blocks of " << c.block);
        std::vector<float> in(60 * c.rate);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = float(kAmp * std::sin(2.0 * kPi * kHz * double(i) / c.rate));
        std::vector<float> out(in.size() * 48000 / c.rate + 1000);
        RateConverter converter;
        std::size_t n = 0;
        for (std::size_t pos = 0; pos < in.size(); pos += c.block) {
            n += converter.process(in.data() + pos, std::min(c.block, in.size() - pos), c.rate,
                                   out.data() + n, out.size() - n);
        }
        ASSERT_LE(n, kOut);
        EXPECT_LE(kOut - n, c.maxPending);
        out.resize(n);
        if (c.rate == 48000) {
            EXPECT_EQ(out, in);  // a plain copy, bit for bit
        }
        // Output k is the sine at k / 48000 s, up to linear interpolation's
        // error, and no step between neighbours exceeds the clean sine's.
        const double w = 2.0 * kPi * kHz / c.rate;
        double maxError = 0.0, maxStep = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            maxError = std::max(maxError, std::fabs(out[k] - kAmp * std::sin(2.0 * kPi * kHz * k / 48000.0)));
            if (k > 0) maxStep = std::max(maxStep, double(std::fabs(out[k] - out[k - 1])));
        }
        EXPECT_LE(maxError, kAmp * w * w / 8.0 + 1e-5);
        EXPECT_LE(maxStep, cleanStep);
    }

    // A block longer than the output holds keeps what fits and drops the
    // rest; the next block starts afresh at its own first sample.
    std::vector<float> ramp(400), cut(1000);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i + 1);
    RateConverter converter;
    EXPECT_EQ(converter.process(ramp.data(), ramp.size(), 8000, cut.data(), cut.size()), 1000u);
    EXPECT_EQ(converter.process(ramp.data(), ramp.size(), 8000, cut.data(), cut.size()), 1000u);
    EXPECT_EQ(cut[0], 1.0f);
    EXPECT_NEAR(cut[999], 1.0 + 999.0 / 6.0, 1e-3);
}

}  // namespace
}  // namespace zalo

// The output's trim resampler: accuracy against the exact sine at the
// positions each output stands for, bit-exact copies at a ratio of 1, and the
// glide back to them after a trim, where the pending count must name the
// sample that plays next.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "audio/trim_resampler.h"

namespace zalo {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRateHz = 48000.0;

double stepFor(double trimPpm) {
    const double half = trimPpm * 0.5e-6;
    return (1.0 + half) / (1.0 - half);
}

// Feeds `in` through `r` in uneven chunks (as refills of varying size do),
// giving each call exactly the input it asks for; appends to `out`.
void run(TrimResampler& r, const std::vector<float>& in, std::size_t& used, std::size_t outputs, double step,
         std::vector<float>& out) {
    static const std::size_t chunks[] = {480, 441, 1, 4096, 7, 1024};
    for (std::size_t c = 0; outputs > 0; ++c) {
        const std::size_t frames = std::min(outputs, chunks[c % 6]);
        const std::size_t need = r.inputFor(frames, step);
        ASSERT_LE(used + need, in.size());
        out.resize(out.size() + frames);
        r.process(in.data() + used, out.data() + out.size() - frames, frames, step);
        used += need;
        outputs -= frames;
    }
}

TEST(TrimResampler, SineStaysCleanAtEveryTrim) {
    const struct { double toneHz, trimPpm, limitDb; } cases[] = {
        {1000.0, 300.0, -60.0}, {1000.0, -1000.0, -60.0}, {6000.0, 300.0, -50.0}, {6000.0, -1000.0, -50.0},
    };
    for (const auto& c : cases) {
        const double step = stepFor(c.trimPpm);
        std::vector<float> in(100000);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<float>(0.5 * std::sin(2.0 * kPi * c.toneHz * static_cast<double>(i) / kRateHz));
        auto r = std::make_unique<TrimResampler>();
        std::vector<float> out;
        std::size_t used = 0;
        run(*r, in, used, 96000, step, out);
        // Output k stands for input position k * step - kTrimDelaySamples;
        // the first outputs still see the silent history.
        double error = 0.0, power = 0.0;
        for (std::size_t k = 2 * kTrimTaps; k < out.size(); ++k) {
            const double at = static_cast<double>(k) * step - static_cast<double>(kTrimDelaySamples);
            const double want = 0.5 * std::sin(2.0 * kPi * c.toneHz * at / kRateHz);
            error += (out[k] - want) * (out[k] - want);
            power += want * want;
        }
        const double db = 10.0 * std::log10(error / power);
        EXPECT_LE(db, c.limitDb) << c.toneHz << " Hz at " << c.trimPpm << " ppm";
    }
}

TEST(TrimResampler, CopiesAtRatioOneAndSettlesBackToCopiesAfterATrim) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> in(120000);
    for (float& v : in) v = uniform(random);
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };

    for (const double trimPpm : {300.0, -1000.0}) {
        auto r = std::make_unique<TrimResampler>();
        std::vector<float> out;
        std::size_t used = 0;
        // From a reset: the input delayed by kTrimDelaySamples, bit for bit.
        run(*r, in, used, 24000, 1.0, out);
        std::size_t copies = 0;
        for (std::size_t k = kTrimDelaySamples; k < out.size(); ++k) copies += same(out[k], in[k - kTrimDelaySamples]);
        EXPECT_EQ(copies, out.size() - kTrimDelaySamples);
        EXPECT_EQ(r->pendingSamples(), static_cast<double>(kTrimDelaySamples));

        // Half a second of trim leaves the position between samples; asked
        // for a ratio of 1 again it reaches a whole sample within 0.25 s.
        run(*r, in, used, 24000, stepFor(trimPpm), out);
        EXPECT_FALSE(r->onWholeSample()) << trimPpm;
        run(*r, in, used, 12000, 1.0, out);
        ASSERT_TRUE(r->onWholeSample()) << trimPpm;
        // From there on, copies of the sample the pending count names.
        const double next = static_cast<double>(used) - r->pendingSamples();
        ASSERT_EQ(next, std::floor(next));
        const std::size_t from = out.size();
        run(*r, in, used, 4800, 1.0, out);
        copies = 0;
        for (std::size_t k = 0; k < 4800; ++k) copies += same(out[from + k], in[static_cast<std::size_t>(next) + k]);
        EXPECT_EQ(copies, 4800u) << trimPpm;
    }
}

}  // namespace
}  // namespace zalo

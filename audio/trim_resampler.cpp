#include "audio/trim_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zalo {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Kaiser window shape: sidelobes near -80 dB for 16 taps; the passband of
// the full-band sinc then stays flat to within the -60 dB the trim must
// keep up to 6 kHz.
constexpr double kKaiserBeta = 8.0;

double besselI0(double x) {
    // I0(x) = sum_k ((x/2)^k / k!)^2, converged well before 40 terms for x <= 8.
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// Whole part of a position, as an index offset.
std::ptrdiff_t wholePart(double p) { return static_cast<std::ptrdiff_t>(std::floor(p)); }

}  // namespace

TrimResampler::TrimResampler() {
    const double half = static_cast<double>(kTrimDelaySamples);
    const double norm = besselI0(kKaiserBeta);
    for (std::size_t q = 0; q < kTrimPhases; ++q) {
        const double f = static_cast<double>(q) / kTrimPhases;
        double sum = 0.0;
        double taps[kTrimTaps];
        for (std::size_t j = 0; j < kTrimTaps; ++j) {
            // Distance of input (c - 7 + j) from the output at c + f.
            const double d = static_cast<double>(j) - (half - 1.0) - f;
            const double x = d / half;
            const double window = std::fabs(x) >= 1.0 ? 0.0 : besselI0(kKaiserBeta * std::sqrt(1.0 - x * x)) / norm;
            const double sinc = d == 0.0 ? 1.0 : (q == 0 ? 0.0 : std::sin(kPi * d) / (kPi * d));
            taps[j] = sinc * window;
            sum += taps[j];
        }
        // Unit gain at DC for every phase, so a trim never modulates level.
        for (std::size_t j = 0; j < kTrimTaps; ++j) kernel[q][j] = static_cast<float>(taps[j] / sum);
    }
}

void TrimResampler::reset() {
    std::fill(history, history + kTrimTaps, 0.0f);
    pos = 0.0;
}

bool TrimResampler::onWholeSample() const { return pos == std::floor(pos); }

double TrimResampler::pendingSamples() const {
    // history[8] is the next output at pos 0, so history[8..15] are taken in
    // and not yet played: the next output lies kTrimDelaySamples - pos
    // behind the newest input.
    return static_cast<double>(kTrimDelaySamples) - pos;
}

namespace {

// The position after one output at `step`; at a step of exactly 1 between
// whole samples, a crawl towards the nearer one that stops on it.
double advance(double p, double step) {
    if (step != 1.0) return p + step;
    const double f = p - std::floor(p);
    if (f == 0.0) return p + 1.0;
    if (f < 0.5) return f <= kTrimSettleRate ? std::floor(p) + 1.0 : p + 1.0 - kTrimSettleRate;
    return 1.0 - f <= kTrimSettleRate ? std::floor(p) + 2.0 : p + 1.0 + kTrimSettleRate;
}

}  // namespace

std::size_t TrimResampler::inputFor(std::size_t frames, double step) const {
    if (frames == 0) return 0;
    double p = pos;
    for (std::size_t k = 1; k < frames; ++k) p = advance(p, step);
    // The last output needs input floor(p) + 8 of the combined stream, that
    // is new sample floor(p).
    const std::ptrdiff_t last = wholePart(p);
    return last < 0 ? 0 : static_cast<std::size_t>(last) + 1;
}

std::size_t TrimResampler::outputFor(std::size_t inputs, double step) const {
    std::size_t frames = 0;
    for (double p = pos; wholePart(p) < static_cast<std::ptrdiff_t>(inputs); p = advance(p, step)) ++frames;
    return frames;
}

void TrimResampler::process(const float* in, float* out, std::size_t frames, double step) {
    if (frames == 0) return;
    const std::size_t m = inputFor(frames, step);
    // The combined stream: history then the new samples. Reading it through
    // one accessor keeps the kernel loop free of the seam.
    auto at = [&](std::ptrdiff_t i) -> float {
        return i < static_cast<std::ptrdiff_t>(kTrimTaps) ? history[i] : in[i - static_cast<std::ptrdiff_t>(kTrimTaps)];
    };
    double p = pos;
    const std::ptrdiff_t delay = static_cast<std::ptrdiff_t>(kTrimDelaySamples);
    for (std::size_t k = 0; k < frames; ++k) {
        const double where = static_cast<double>(delay) + p;
        std::ptrdiff_t c = wholePart(where);
        const double f = where - static_cast<double>(c);
        if (f == 0.0) {
            out[k] = at(c);  // on a whole sample: the input itself, bit for bit
        } else {
            std::size_t q = static_cast<std::size_t>(std::lround(f * kTrimPhases));
            if (q == kTrimPhases) {
                q = 0;
                ++c;
            }
            const float* h = kernel[q];
            const std::ptrdiff_t first = c - (delay - 1);
            float acc = 0.0f;
            if (first >= static_cast<std::ptrdiff_t>(kTrimTaps)) {
                const float* x = in + (first - static_cast<std::ptrdiff_t>(kTrimTaps));
                for (std::size_t j = 0; j < kTrimTaps; ++j) acc += h[j] * x[j];
            } else {
                for (std::size_t j = 0; j < kTrimTaps; ++j) acc += h[j] * at(first + static_cast<std::ptrdiff_t>(j));
            }
            out[k] = acc;
        }
        p = advance(p, step);
    }
    // Keep the newest 16 samples of the combined stream as the history.
    if (m >= kTrimTaps) {
        std::memcpy(history, in + (m - kTrimTaps), kTrimTaps * sizeof(float));
    } else if (m > 0) {
        std::memmove(history, history + m, (kTrimTaps - m) * sizeof(float));
        std::memcpy(history + (kTrimTaps - m), in, m * sizeof(float));
    }
    pos = p - static_cast<double>(m);
}

}  // namespace zalo

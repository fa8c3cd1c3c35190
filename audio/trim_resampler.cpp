#include "audio/trim_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zalo {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Kaiser window shape, chosen by measurement for 8 taps: a smaller beta
// leaks more at 1 kHz, a larger one loses the top of the band.
constexpr double kKaiserBeta = 7.0;

double besselI0(double x) {
    // I0(x) = sum_k ((x/2)^k / k!)^2, converged well before 40 terms for x <= 8.
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// Positions are fixed point, 32 fractional bits: sums and products of them
// are exact, so inputFor, outputFor and process agree to the last bit, and a
// step's resolution (2^-32, 0.0002 ppm) is far below any trim.
constexpr int kFracBits = 32;
constexpr std::int64_t kOne = std::int64_t{1} << kFracBits;
constexpr std::int64_t kFracMask = kOne - 1;
constexpr int kPhaseShift = kFracBits - 10;  // 1024 phases
static_assert(kTrimPhases == 1024, "the phase shift assumes 1024 phases");
const std::int64_t kSettleStep = static_cast<std::int64_t>(kTrimSettleRate * static_cast<double>(kOne));

std::int64_t toFixed(double step) { return static_cast<std::int64_t>(std::llround(step * static_cast<double>(kOne))); }
// Whole part of a position, as an index offset (floor, also below 0).
std::ptrdiff_t wholePart(std::int64_t p) { return static_cast<std::ptrdiff_t>(p >> kFracBits); }

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
    pos = 0;
}

bool TrimResampler::onWholeSample() const { return (pos & kFracMask) == 0; }

double TrimResampler::pendingSamples() const {
    // history[delay] is the next output at pos 0, so it and the samples
    // after it are taken in and not yet played: the next output lies
    // kTrimDelaySamples - pos behind the newest input.
    return static_cast<double>(kTrimDelaySamples) - static_cast<double>(pos) / static_cast<double>(kOne);
}

namespace {

// Settling: asked for a step of exactly 1 with the position between whole
// samples. The position after one output then crawls towards the nearer
// whole sample and stops on it.
bool settling(std::int64_t p, std::int64_t step) { return step == kOne && (p & kFracMask) != 0; }

std::int64_t crawl(std::int64_t p) {
    const std::int64_t f = p & kFracMask;
    const std::int64_t whole = p - f;
    if (f == 0) return p + kOne;
    if (f < kOne / 2) return f <= kSettleStep ? whole + kOne : p + kOne - kSettleStep;
    return kOne - f <= kSettleStep ? whole + 2 * kOne : p + kOne + kSettleStep;
}

// Output k of a call lies at pos + k * step.
std::int64_t positionOf(std::int64_t pos, std::size_t k, std::int64_t step) {
    return pos + static_cast<std::int64_t>(k) * step;
}

}  // namespace

std::size_t TrimResampler::inputFor(std::size_t frames, double stepRatio) const {
    if (frames == 0) return 0;
    const std::int64_t step = toFixed(stepRatio);
    std::int64_t p = pos;
    if (settling(pos, step)) {
        for (std::size_t k = 1; k < frames; ++k) p = crawl(p);
    } else {
        p = positionOf(pos, frames - 1, step);
    }
    // The last output needs input floor(p) + delay + delay of the combined
    // stream (its last tap), that is new sample floor(p).
    const std::ptrdiff_t last = wholePart(p);
    return last < 0 ? 0 : static_cast<std::size_t>(last) + 1;
}

std::size_t TrimResampler::outputFor(std::size_t inputs, double stepRatio) const {
    const std::int64_t step = toFixed(stepRatio);
    const std::ptrdiff_t limit = static_cast<std::ptrdiff_t>(inputs);
    if (settling(pos, step)) {
        std::size_t frames = 0;
        for (std::int64_t p = pos; wholePart(p) < limit; p = crawl(p)) ++frames;
        return frames;
    }
    // Output k can be made while floor(pos + k * step) < inputs: estimate the
    // count, then settle it against that very test.
    const double estimate =
        std::ceil((static_cast<double>(inputs) - static_cast<double>(pos) / static_cast<double>(kOne)) / stepRatio);
    std::size_t frames = estimate > 0.0 ? static_cast<std::size_t>(estimate) : 0;
    while (frames > 0 && wholePart(positionOf(pos, frames - 1, step)) >= limit) --frames;
    while (wholePart(positionOf(pos, frames, step)) < limit) ++frames;
    return frames;
}

void TrimResampler::process(const float* in, float* out, std::size_t frames, double stepRatio) {
    if (frames == 0) return;
    const std::int64_t step = toFixed(stepRatio);
    const std::size_t m = inputFor(frames, stepRatio);
    const std::ptrdiff_t taps = static_cast<std::ptrdiff_t>(kTrimTaps);
    const std::ptrdiff_t delay = static_cast<std::ptrdiff_t>(kTrimDelaySamples);
    const bool crawling = settling(pos, step);
    std::int64_t p = pos;
    if (!crawling && step == kOne) {
        // On a whole sample at a ratio of 1: output k is combined sample
        // delay + pos + k, copied bit for bit.
        const std::ptrdiff_t first = delay + wholePart(pos);
        for (std::size_t k = 0; k < frames; ++k) {
            const std::ptrdiff_t i = first + static_cast<std::ptrdiff_t>(k);
            out[k] = i < taps ? history[i] : in[i - taps];
        }
        p = positionOf(pos, frames, step);
    } else {
        // The seam between history and new input is read through a small
        // window, for the first outputs only.
        float seam[kTrimTaps];
        const std::int64_t delayFixed = static_cast<std::int64_t>(delay) << kFracBits;
        for (std::size_t k = 0; k < frames; ++k) {
            if (k > 0) p = crawling ? crawl(p) : positionOf(pos, k, step);
            // Nearest of the 1024 phases; the last rounds up to the next sample.
            const std::int64_t where = delayFixed + p + (std::int64_t{1} << (kPhaseShift - 1));
            const std::ptrdiff_t c = wholePart(where);
            const std::size_t q = static_cast<std::size_t>((where & kFracMask) >> kPhaseShift);
            const std::ptrdiff_t first = c - (delay - 1);  // combined index of the first tap
            const float* x;
            if (first >= taps) {
                x = in + (first - taps);
            } else {
                for (std::ptrdiff_t j = 0; j < taps; ++j) {
                    const std::ptrdiff_t i = first + j;
                    seam[j] = i < taps ? history[i] : in[i - taps];
                }
                x = seam;
            }
            if (q == 0) {
                out[k] = x[delay - 1];  // on a whole sample: the input itself
                continue;
            }
            const float* h = kernel[q];
            // Four running sums, so that the products form vectors.
            float acc[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (std::size_t j = 0; j < kTrimTaps; j += 4) {
                acc[0] += h[j] * x[j];
                acc[1] += h[j + 1] * x[j + 1];
                acc[2] += h[j + 2] * x[j + 2];
                acc[3] += h[j + 3] * x[j + 3];
            }
            out[k] = (acc[0] + acc[1]) + (acc[2] + acc[3]);
        }
        p = crawling ? crawl(p) : positionOf(pos, frames, step);
    }
    pos = p - (static_cast<std::int64_t>(m) << kFracBits);
    keepHistory(in, m);
}

void TrimResampler::keepHistory(const float* in, std::size_t m) {
    // Keep the newest kTrimTaps samples of the combined stream as the history.
    if (m >= kTrimTaps) {
        std::memcpy(history, in + (m - kTrimTaps), kTrimTaps * sizeof(float));
    } else if (m > 0) {
        std::memmove(history, history + m, (kTrimTaps - m) * sizeof(float));
        std::memcpy(history + (kTrimTaps - m), in, m * sizeof(float));
    }
}

}  // namespace zalo

#include "audio/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zalo {

std::size_t RateConverter::process(const float* samples, std::size_t frames, unsigned sampleRate,
                                   float* out, std::size_t capacity) {
    if (samples == nullptr || frames == 0 || out == nullptr || capacity == 0) return 0;
    const unsigned rate = std::max(sampleRate, 1u);
    if (rate != stateRate) {
        // Another stream: nothing of the old one may leak into it.
        srcPos = 0.0;
        lastSample = 0.0f;
        stateRate = rate;
    }
    if (rate == kEngineSampleRateHz) {
        const std::size_t n = std::min(frames, capacity);
        std::memcpy(out, samples, n * sizeof(float));
        return n;
    }

    // Output k sits at p = srcPos + k * step input samples:
    //   out[k] = (1 - f) * x[i0] + f * x[i0 + 1],  i0 = floor(p), f = p - i0,
    // where x[-1] is the previous block's last sample. Positions at or past
    // this block's last sample need the next block's first, so they wait.
    const double step = static_cast<double>(rate) / kEngineSampleRateHz;
    const double last = static_cast<double>(frames - 1);
    double pos = srcPos;
    std::size_t n = 0;
    while (pos < last && n < capacity) {
        const double base = std::floor(pos);  // -1 while pos < 0
        const std::ptrdiff_t i0 = static_cast<std::ptrdiff_t>(base);
        const float f = static_cast<float>(pos - base);
        const float x0 = i0 < 0 ? lastSample : samples[i0];
        out[n++] = (1.0f - f) * x0 + f * samples[i0 + 1];
        pos += step;
    }
    // A finished block leaves pos >= last, so the next one starts at
    // srcPos >= -1. A block cut short by `capacity` drops its rest: the next
    // one starts at its own first sample rather than far behind it.
    srcPos = pos < last ? 0.0 : pos - static_cast<double>(frames);
    lastSample = samples[frames - 1];
    return n;
}

}  // namespace zalo

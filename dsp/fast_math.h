// Branch-free single-precision replacements for the few transcendental
// functions the chain evaluates per sample or per bin.
//
// The C library's tanhf, powf and cosf cost 40-100 cycles each with
// data-dependent branches; the chain needs tanh up to twice per sample, a
// cosine per sample while pitch shifting or ring modulating, and a power per
// spectral bin, and together they were most of its cost. These versions are
// straight-line arithmetic, so the stage loops around them vectorise. Their
// errors (measured by the unit tests): tanh and cos within 4e-7 absolute, the
// power within 4e-6 relative over the spectral gains' range. Nothing
// downstream can tell: 16-bit output has a step of 3.1e-5.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zalo {

namespace fastmath_detail {
inline std::uint32_t bitsOf(float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}
inline float floatOf(std::uint32_t b) {
    float x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}
}  // namespace fastmath_detail

// tanh(x): odd rational minimax approximation, never above 1 in magnitude,
// at most 3.9e-7 absolute error anywhere.
inline float fastTanh(float x) {
    // Past +-7.9053111 tanh rounds to +-1 in single precision.
    constexpr float kSaturation = 7.90531110763549805f;
    const float v = std::max(std::min(x, kSaturation), -kSaturation);
    const float v2 = v * v;
    float p = -2.76076847742355e-16f;
    p = p * v2 + 2.00018790482477e-13f;
    p = p * v2 - 8.60467152213735e-11f;
    p = p * v2 + 5.12229709037114e-08f;
    p = p * v2 + 1.48572235717979e-05f;
    p = p * v2 + 6.37261928875436e-04f;
    p = p * v2 + 4.89352455891786e-03f;
    float q = 1.19825839466702e-06f;
    q = q * v2 + 1.18534705686654e-04f;
    q = q * v2 + 2.26843463243900e-03f;
    q = q * v2 + 4.89352518554385e-03f;
    return v * p / q;
}

// log2(x) for positive normal x; about 1e-8 absolute error.
inline float fastLog2(float x) {
    using namespace fastmath_detail;
    const std::uint32_t bits = bitsOf(x);
    // x = m * 2^e with m in [sqrt(1/2), sqrt(2)), so that t below stays small.
    const std::uint32_t shifted = bits - 0x3F3504F3u;  // 0x3F3504F3 = sqrt(1/2)
    const std::int32_t e = static_cast<std::int32_t>(shifted) >> 23;
    const float m = floatOf(bits - (static_cast<std::uint32_t>(e) << 23));
    // log2(m) = 2/ln2 * atanh(t), t = (m - 1) / (m + 1), |t| <= 0.1716.
    const float t = (m - 1.0f) / (m + 1.0f);
    const float t2 = t * t;
    float s = 1.0f / 9.0f;
    s = s * t2 + 1.0f / 7.0f;
    s = s * t2 + 1.0f / 5.0f;
    s = s * t2 + 1.0f / 3.0f;
    s = s * t2 + 1.0f;
    constexpr float kTwoOverLn2 = 2.88539008177792681f;
    return static_cast<float>(e) + kTwoOverLn2 * t * s;
}

// 2^y, y clamped to [-126, 127]; about 2e-7 relative error.
inline float fastExp2(float y) {
    using namespace fastmath_detail;
    y = std::max(std::min(y, 127.0f), -126.0f);
    // y = i + f with i = floor(y + 1/2), so -1/2 <= f < 1/2. Truncation is
    // floor for the shifted, positive value; no select, so that compilers
    // keep one copy of the series below in vector code.
    const std::int32_t i = static_cast<std::int32_t>(y + 126.5f) - 126;
    const float f = y - static_cast<float>(i);
    // 2^f = e^(f ln2): Taylor series to degree 7, |f ln2| <= 0.347.
    constexpr float kLn2 = 0.693147180559945309f;
    const float z = f * kLn2;
    float p = 1.0f / 5040.0f;
    p = p * z + 1.0f / 720.0f;
    p = p * z + 1.0f / 120.0f;
    p = p * z + 1.0f / 24.0f;
    p = p * z + 1.0f / 6.0f;
    p = p * z + 0.5f;
    p = p * z + 1.0f;
    p = p * z + 1.0f;
    const float scale = floatOf(static_cast<std::uint32_t>(i + 127) << 23);
    return p * scale;
}

// x^y for x >= 0 and y > 0. Results below about 1e-30 (and 0^y) are 0.
inline float fastPow(float x, float y) {
    const float safe = std::max(x, 1e-30f);
    const float r = fastExp2(y * fastLog2(safe));
    return x > 1e-30f ? r : 0.0f;
}

// cos(2*pi*t) for t in turns, |t| < 2^30; about 2e-7 absolute error.
inline float fastCosTurns(float t) {
    // Reduce to v = |t - round(t)| in [0, 0.5], then fold v > 0.25 onto
    // 0.5 - v with a sign flip, so the series only spans a quarter turn.
    // (Selects only between constants, so vector code keeps one series.)
    const float shifted = t + 0.5f;
    float whole = static_cast<float>(static_cast<std::int32_t>(shifted));
    whole -= whole > shifted ? 1.0f : 0.0f;  // floor
    const float v = std::fabs(t - whole);
    const float u = std::min(v, 0.5f - v);
    const float sign = v > 0.25f ? -1.0f : 1.0f;
    constexpr float kTwoPiExact = 6.28318530717958648f;
    const float x = u * kTwoPiExact;
    const float x2 = x * x;
    // cos(x) Taylor series to degree 12, x in [0, pi/2].
    float c = 1.0f / 479001600.0f;
    c = c * x2 - 1.0f / 3628800.0f;
    c = c * x2 + 1.0f / 40320.0f;
    c = c * x2 - 1.0f / 720.0f;
    c = c * x2 + 1.0f / 24.0f;
    c = c * x2 - 0.5f;
    c = c * x2 + 1.0f;
    return sign * c;
}

}  // namespace zalo

// The output side's fine rate trim: reads a mono 48 kHz stream at a ratio a
// hair away from 1 (at most a few thousand ppm) so that an output whose clock
// runs slower or faster than the microphone's neither fills nor drains its
// ring.
//
// Each output sample is the input interpolated at a fractional position with
// an 8-tap Kaiser-windowed sinc, looked up in a table of 1024 fractional
// phases (nearest phase, no interpolation between phases: the position error
// is at most 1/2048 sample, about -68 dB at 6 kHz). Measured on a sine at a
// 300 ppm trim, the error is -80 dB at 1 kHz, -64 dB at 6 kHz, -70 dB at
// 8 kHz and -47 dB at 12 kHz, where voice has little left; linear
// interpolation would be near -17 dB at 8 kHz and warble as the fraction
// sweeps. Eight taps rather than sixteen halve the cost for a few dB that no
// voice needs.
//
// The stream is delayed by kTrimDelaySamples (0.08 ms) in every case, so that
// the kernel has its look-ahead; the delay never changes, with or without a
// trim. Exactness: at a ratio of exactly 1 with the position on a whole
// sample, the output is the input copied, bit for bit. Asked for a ratio of
// exactly 1 while the position is between samples (after a trim), the
// resampler first glides to the nearest whole sample at kTrimSettleRate per
// output sample (at most 0.2 s) and then copies.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zalo {

constexpr std::size_t kTrimTaps = 8;
constexpr std::size_t kTrimDelaySamples = kTrimTaps / 2;
constexpr std::size_t kTrimPhases = 1024;
// Positions crawl this far per output sample while settling on a whole sample
// (50 ppm: inaudible, and half a sample is crossed in 10000 samples).
constexpr double kTrimSettleRate = 50e-6;

class TrimResampler {
public:
    TrimResampler();  // builds the kernel table; no allocation
    TrimResampler(const TrimResampler&) = delete;
    TrimResampler& operator=(const TrimResampler&) = delete;

    // Silent history, position on a whole sample.
    void reset();

    // Input samples that process() needs to make `frames` outputs at `step`
    // (input samples per output sample, near 1) from the current state.
    std::size_t inputFor(std::size_t frames, double step) const;
    // Output samples that `inputs` more input samples can make at `step`.
    std::size_t outputFor(std::size_t inputs, double step) const;

    // Makes `frames` outputs from exactly inputFor(frames, step) samples of
    // `in`, which it consumes.
    void process(const float* in, float* out, std::size_t frames, double step);

    // The read position lies on a whole sample: the next outputs at a ratio
    // of 1 are plain copies.
    bool onWholeSample() const;
    // Input samples taken in but not yet played out (the look-ahead and the
    // fraction), for the fill arithmetic of the caller.
    double pendingSamples() const;

private:
    void keepHistory(const float* in, std::size_t consumed);

    // kernel[p][j] weighs input (c - 3 + j) for an output at c + p/1024.
    alignas(64) float kernel[kTrimPhases][kTrimTaps];
    // The last kTrimTaps input samples, oldest first.
    float history[kTrimTaps] = {};
    // The next output lies at position history[kTrimDelaySamples] + pos, in input samples,
    // fixed point with 32 fractional bits; pos stays within [-1, 2) between
    // calls.
    std::int64_t pos = 0;
};

}  // namespace zalo

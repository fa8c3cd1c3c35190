// Brings captured blocks from the device's rate to the engine's 48 kHz.
//
// Devices deliver packets whose length rarely maps to a whole number of
// 48 kHz samples (480 frames at 44.1 kHz are 522.45 samples). A converter
// that starts each block afresh would drop that fraction every block, 41
// samples a second at 44.1 kHz, and the cable would run dry and click. So the
// interpolation position runs on across blocks: over a stream, N input
// frames give N * 48000 / rate output samples, less only the few positions
// that still wait for the next input sample.
#pragma once

#include <cstddef>

namespace zalo {

constexpr unsigned kEngineSampleRateHz = 48000;

class RateConverter {
public:
    // Converts one block of `frames` mono samples at `sampleRate` (0 counts
    // as 1 Hz) into `out`, which holds `capacity` samples, and returns the
    // samples written. 48 kHz is a plain copy of min(frames, capacity)
    // samples. Any other rate interpolates linearly between neighbouring
    // input samples, continuing where the previous block of the same rate
    // stopped; a change of rate starts afresh. When `capacity` cuts a block
    // short, the rest of that block is dropped and the next block starts
    // afresh at its first sample.
    std::size_t process(const float* samples, std::size_t frames, unsigned sampleRate, float* out,
                        std::size_t capacity);

private:
    // Position of the next output sample, in input samples from the start of
    // the current block; in [-1, 0) it lies between the previous block's last
    // sample and this block's first. Kept small (relative to the block) so
    // that double precision never erodes it, however long the stream.
    double srcPos = 0.0;
    float lastSample = 0.0f;   // the previous block's final sample
    unsigned stateRate = 0;    // the rate srcPos and lastSample belong to
};

}  // namespace zalo

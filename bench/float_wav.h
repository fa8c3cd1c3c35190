// Reader for the one file format the benchmark's signal script writes: RIFF
// WAVE, 32-bit IEEE float, mono. Kept inside the benchmark so it depends on
// nothing but the standard library.
#pragma once

#include <string>
#include <vector>

namespace zalo::bench {

struct FloatWav {
    unsigned sampleRate = 0;
    std::vector<float> samples;
};

// Reads `path` into `out`. Accepts format tag 3 (IEEE float) or an
// extensible header whose sub-format is IEEE float, one channel, 32 bits;
// anything else is refused rather than converted. Unknown chunks (fact, LIST)
// are skipped, honouring RIFF's pad byte after odd-sized chunks. On failure
// returns false and says why in `error`.
bool readFloatWav(const std::string& path, FloatWav& out, std::string& error);

}  // namespace zalo::bench

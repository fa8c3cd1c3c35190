// A whole RIFF/WAVE file in memory (16-bit PCM, mono, 48 kHz), as the voice
// test plays it with PlaySoundA(SND_MEMORY).
#pragma once

#include <cstddef>
#include <vector>

namespace zalo {

using WavImage = std::vector<unsigned char>;

constexpr std::size_t kWavHeaderBytes = 44;

// Each sample is clamped to -1..+1 and stored as lroundf(x * 32767); a
// non-finite sample is stored as 0. The image is the 44-byte header followed
// by 2 bytes per sample. Empty input gives a valid image with no samples; an
// input beyond the 4 GiB RIFF limit keeps only the samples that fit.
WavImage buildWavImage(const float* samples, std::size_t count);

}  // namespace zalo

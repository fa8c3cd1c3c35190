#include "audio/wav_image.h"

#include <cstdint>
#include <cstring>

#include "audio/audio_outputs.h"

namespace zalo {

namespace {

void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

WavImage buildWavImage(const float* samples, std::size_t count) {
    constexpr std::uint32_t kRate = 48000;
    // RIFF sizes are 32-bit: a longer input keeps only what fits.
    constexpr std::size_t kMaxSamples = (0xFFFFFFFFu - 36u) / 2u;
    if (count > kMaxSamples) count = kMaxSamples;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(2 * count);
    WavImage image(kWavHeaderBytes + dataBytes, 0);
    unsigned char* h = image.data();
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, dataBytes + 36);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 16);
    put16(h + 20, 1);          // PCM
    put16(h + 22, 1);          // mono
    put32(h + 24, kRate);
    put32(h + 28, kRate * 2);  // bytes per second
    put16(h + 32, 2);          // block align
    put16(h + 34, 16);         // bits per sample
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, dataBytes);
    for (std::size_t i = 0; i < count; ++i) {
        put16(h + kWavHeaderBytes + 2 * i, static_cast<std::uint16_t>(toPcm16(samples[i])));
    }
    return image;
}

}  // namespace zalo

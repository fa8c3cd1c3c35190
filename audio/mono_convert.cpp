#include "audio/mono_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zalo {

namespace {

// Little-endian signed integers of 2, 3 or 4 bytes, read byte by byte.
std::int32_t readInt16(const unsigned char* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

std::int32_t readInt24(const unsigned char* p) {
    std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                      (static_cast<std::uint32_t>(p[2]) << 16);
    if (v & 0x800000u) v |= 0xFF000000u;  // sign-extend from bit 23
    return static_cast<std::int32_t>(v);
}

std::int32_t readInt32(const unsigned char* p) {
    const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) |
                            (static_cast<std::uint32_t>(p[3]) << 24);
    return static_cast<std::int32_t>(v);
}

float readFloat(const unsigned char* p) {
    float f;
    std::memcpy(&f, p, sizeof f);  // the mix format is little-endian, as is every Windows host
    return f;
}

}  // namespace

void convertToMono(const unsigned char* packet, std::size_t frames, const CaptureFormat& format,
                   float* out) {
    const unsigned bytesPerChannel = format.bitsPerSample / 8;
    // Bytes one channel's value occupies as we read it.
    const unsigned readWidth = format.isFloat ? 4u
                               : (format.bitsPerSample == 16 || format.bitsPerSample == 24 ||
                                  format.bitsPerSample == 32)
                                   ? bytesPerChannel
                                   : 0u;
    const float divisor = format.channels == 0 ? 1.0f : static_cast<float>(format.channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const unsigned char* frame = packet + i * format.blockAlign;
        float sum = 0.0f;
        for (unsigned c = 0; c < format.channels && readWidth != 0; ++c) {
            const std::size_t offset = static_cast<std::size_t>(c) * bytesPerChannel;
            if (offset + readWidth > format.blockAlign) break;  // would leave the frame
            const unsigned char* p = frame + offset;
            if (format.isFloat) {
                sum += readFloat(p);
            } else if (format.bitsPerSample == 16) {
                sum += static_cast<float>(readInt16(p)) * 3.0517578e-5f;  // 2^-15
            } else if (format.bitsPerSample == 24) {
                sum += static_cast<float>(readInt24(p)) * 1.1920929e-7f;  // 2^-23
            } else {
                sum += static_cast<float>(readInt32(p)) * 4.656613e-10f;  // 2^-31
            }
        }
        out[i] = sum / divisor;
    }
}

void spreadMonoToFloat(const float* mono, std::size_t frames, unsigned channels, float* out) {
    for (std::size_t i = 0; i < frames; ++i) {
        float x = mono[i];
        x = std::isfinite(x) ? std::min(1.0f, std::max(-1.0f, x)) : 0.0f;
        for (unsigned c = 0; c < channels; ++c) *out++ = x;
    }
}

}  // namespace zalo

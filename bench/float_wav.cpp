#include "float_wav.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zalo::bench {
namespace {

// WAV fields are little-endian whatever the host is.
std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}

constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

}  // namespace

bool readFloatWav(const std::string& path, FloatWav& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the file";
        return false;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = "not a RIFF WAVE file";
        return false;
    }

    bool haveFormat = false;
    unsigned rate = 0;
    std::size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + pos;
        const std::size_t size = le32(chunk + 4);
        const std::size_t body = pos + 8;
        if (size > bytes.size() - body) {
            error = "chunk runs past the end of the file";
            return false;
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) {
                error = "fmt chunk too short";
                return false;
            }
            const unsigned char* f = bytes.data() + body;
            std::uint16_t tag = le16(f);
            const std::uint16_t channels = le16(f + 2);
            rate = le32(f + 4);
            const std::uint16_t bits = le16(f + 14);
            if (tag == kFormatExtensible) {
                // The sub-format GUID starts with the plain format tag.
                if (size < 40) {
                    error = "extensible fmt chunk too short";
                    return false;
                }
                tag = le16(f + 24);
            }
            if (tag != kFormatFloat || bits != 32) {
                error = "samples are not 32-bit IEEE float";
                return false;
            }
            if (channels != 1) {
                error = "expected 1 channel, found " + std::to_string(channels);
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "data chunk before fmt chunk";
                return false;
            }
            if (size % 4 != 0) {
                error = "data chunk is not a whole number of samples";
                return false;
            }
            out.sampleRate = rate;
            out.samples.resize(size / 4);
            for (std::size_t i = 0; i < out.samples.size(); ++i) {
                const std::uint32_t bitsOfSample = le32(bytes.data() + body + 4 * i);
                std::memcpy(&out.samples[i], &bitsOfSample, sizeof(float));
            }
            return true;
        }
        pos = body + size + (size & 1);
    }
    error = haveFormat ? "no data chunk" : "no fmt chunk";
    return false;
}

}  // namespace zalo::bench

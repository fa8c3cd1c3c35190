#include "tools/wave_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

namespace zalo {

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "WAVE float samples are IEEE 754 binary32");

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;

// Bytes 4..15 of KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT as stored in the file;
// bytes 0..3 hold the plain format tag (little-endian Data1).
constexpr std::uint8_t kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                             0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void putLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Chunk ids come from the file; keep error messages printable.
std::string printableId(const std::uint8_t* id) {
    std::string s(4, '?');
    for (int i = 0; i < 4; ++i)
        if (id[i] >= 0x20 && id[i] < 0x7F) s[i] = static_cast<char>(id[i]);
    return s;
}

std::string hex16(std::uint16_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
    return s;
}

bool readAt(std::istream& in, std::uint64_t pos, std::uint8_t* dst, std::size_t n) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos), std::ios::beg);
    if (!in) return false;
    in.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount()) == n;
}

struct Format {
    std::uint16_t tag = 0;  // 1 or 3 after resolving the extensible SubFormat
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
};

bool parseFormat(const std::uint8_t* b, std::uint32_t size, Format& f, std::string& error) {
    if (size < 16) {
        error = "malformed fmt chunk (" + std::to_string(size) + " bytes, at least 16 needed)";
        return false;
    }
    std::uint16_t tag = le16(b);
    f.channels = le16(b + 2);
    f.sampleRate = le32(b + 4);
    f.blockAlign = le16(b + 12);
    f.bits = le16(b + 14);

    if (tag == kTagExtensible) {
        if (size < 40 || le16(b + 16) < 22) {
            error = "malformed WAVE_FORMAT_EXTENSIBLE fmt chunk (too short for the SubFormat)";
            return false;
        }
        std::uint32_t sub = le32(b + 24);
        bool knownTail = std::memcmp(b + 28, kSubFormatTail, sizeof kSubFormatTail) == 0;
        if (!knownTail || (sub != kTagPcm && sub != kTagFloat)) {
            error = "unsupported format: WAVE_FORMAT_EXTENSIBLE SubFormat is neither PCM nor "
                    "IEEE float";
            return false;
        }
        // The valid-bits field is ignored: samples are left-justified in their
        // container, so scaling by the container size is right for both.
        tag = static_cast<std::uint16_t>(sub);
    }
    f.tag = tag;

    if (tag != kTagPcm && tag != kTagFloat) {
        std::string name;
        if (tag == 2) name = " (ADPCM)";
        if (tag == 6) name = " (A-law)";
        if (tag == 7) name = " (mu-law)";
        if (tag == 0x55) name = " (MP3)";
        error = "unsupported format tag " + hex16(tag) + name +
                "; only PCM and IEEE float are supported";
        return false;
    }
    if (f.channels == 0) {
        error = "invalid format: zero channels";
        return false;
    }
    if (f.sampleRate == 0) {
        error = "invalid format: zero sample rate";
        return false;
    }
    if (tag == kTagPcm && f.bits != 16 && f.bits != 24 && f.bits != 32) {
        error = "unsupported format: " + std::to_string(f.bits) +
                "-bit PCM (16, 24 or 32-bit supported)";
        return false;
    }
    if (tag == kTagFloat && f.bits != 32) {
        error = "unsupported format: " + std::to_string(f.bits) +
                "-bit float (only 32-bit float supported)";
        return false;
    }
    std::uint32_t expectedAlign = static_cast<std::uint32_t>(f.channels) * (f.bits / 8u);
    if (f.blockAlign != expectedAlign) {
        error = "invalid format: block align " + std::to_string(f.blockAlign) +
                " does not match " + std::to_string(f.channels) + " channel(s) of " +
                std::to_string(f.bits) + " bits";
        return false;
    }
    return true;
}

// One source sample at `p` as a double at full scale 1.0; non-finite floats
// come back as NaN for the caller to count and replace.
inline double decodeSample(const std::uint8_t* p, const Format& f) {
    if (f.tag == kTagFloat) {
        std::uint32_t u = le32(p);
        float v;
        std::memcpy(&v, &u, sizeof v);
        return std::isfinite(v) ? static_cast<double>(v) : std::numeric_limits<double>::quiet_NaN();
    }
    switch (f.bits) {
    case 16: {
        std::int32_t v = le16(p);
        if (v >= 0x8000) v -= 0x10000;
        return v * (1.0 / 32768.0);
    }
    case 24: {
        std::int32_t v = static_cast<std::int32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        if (v >= 0x800000) v -= 0x1000000;
        return v * (1.0 / 8388608.0);
    }
    default: {
        std::int64_t v = le32(p);
        if (v >= 0x80000000ll) v -= 0x100000000ll;
        return static_cast<double>(v) * (1.0 / 2147483648.0);
    }
    }
}

}  // namespace

bool readMonoWave(std::istream& in, std::uint64_t streamSize, MonoAudio& out,
                  std::string& error) {
    out = MonoAudio{};
    std::uint8_t header[12];
    if (streamSize < 12 || !readAt(in, 0, header, sizeof header) ||
        std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) {
        error = "not a RIFF/WAVE file";
        return false;
    }

    Format fmt;
    bool haveFmt = false, haveData = false;
    std::uint64_t dataPos = 0;
    std::uint32_t dataSize = 0;
    std::uint64_t pos = 12;
    while (!(haveFmt && haveData) && streamSize - pos >= 8) {
        std::uint8_t ch[8];
        if (!readAt(in, pos, ch, sizeof ch)) {
            error = "read error";
            return false;
        }
        const std::uint32_t size = le32(ch + 4);
        pos += 8;
        const std::uint64_t remaining = streamSize - pos;
        if (size > remaining) {
            error = "truncated file: chunk '" + printableId(ch) + "' claims " +
                    std::to_string(size) + " bytes, " + std::to_string(remaining) + " remain";
            return false;
        }
        if (!haveFmt && std::memcmp(ch, "fmt ", 4) == 0) {
            std::uint8_t body[40] = {};
            std::size_t n = std::min<std::uint32_t>(size, sizeof body);
            if (!readAt(in, pos, body, n)) {
                error = "read error";
                return false;
            }
            if (!parseFormat(body, size, fmt, error)) return false;
            haveFmt = true;
        } else if (!haveData && std::memcmp(ch, "data", 4) == 0) {
            dataPos = pos;
            dataSize = size;
            haveData = true;
        }
        // Odd-sized chunks carry a pad byte; a writer that forgot it on the
        // last chunk of the file is tolerated.
        pos += size;
        if ((size & 1u) && pos < streamSize) ++pos;
    }
    if (!haveFmt) {
        error = "no fmt chunk";
        return false;
    }
    if (!haveData) {
        error = "no data chunk";
        return false;
    }

    const std::size_t frameBytes = fmt.blockAlign;
    const std::size_t sampleBytes = fmt.bits / 8u;
    const std::uint64_t frames = dataSize / frameBytes;  // partial last frame dropped
    try {
        out.samples.resize(static_cast<std::size_t>(frames));
    } catch (const std::bad_alloc&) {
        error = "not enough memory for " + std::to_string(frames) + " frames";
        return false;
    }

    // Decode in slices of whole frames so that memory stays bounded by the
    // output, not the (possibly many-channel) input.
    const std::size_t sliceFrames = std::max<std::size_t>(1, (1u << 20) / frameBytes);
    std::vector<std::uint8_t> slice(sliceFrames * frameBytes);
    const double invChannels = 1.0 / fmt.channels;
    std::uint64_t done = 0;
    while (done < frames) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sliceFrames, frames - done));
        if (!readAt(in, dataPos + done * frameBytes, slice.data(), n * frameBytes)) {
            error = "read error in data chunk";
            return false;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* frame = slice.data() + i * frameBytes;
            double sum = 0.0;
            for (std::size_t c = 0; c < fmt.channels; ++c) {
                double v = decodeSample(frame + c * sampleBytes, fmt);
                if (std::isnan(v)) {
                    ++out.nonFiniteSamples;
                    v = 0.0;
                }
                sum += v;
            }
            out.samples[static_cast<std::size_t>(done) + i] = static_cast<float>(sum * invChannels);
        }
        done += n;
    }

    out.sampleRate = fmt.sampleRate;
    out.channels = fmt.channels;
    out.bitsPerSample = fmt.bits;
    out.isFloat = fmt.tag == kTagFloat;
    return true;
}

bool readMonoWaveFile(const std::filesystem::path& path, MonoAudio& out, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        error = "no such file";
        return false;
    }
    if (std::filesystem::is_directory(status)) {
        error = "is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open for reading";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error = "cannot determine the file size";
        return false;
    }
    in.seekg(0, std::ios::beg);
    return readMonoWave(in, static_cast<std::uint64_t>(size), out, error);
}

std::vector<std::uint8_t> floatWaveHeader(std::uint32_t sampleRate, std::uint64_t samples) {
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(samples, kMaxFloatWaveSamples) * 4u);
    std::vector<std::uint8_t> h(44);
    std::memcpy(&h[0], "RIFF", 4);
    putLe32(&h[4], 36u + dataBytes);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    putLe32(&h[16], 16);
    putLe16(&h[20], kTagFloat);
    putLe16(&h[22], 1);                // mono
    putLe32(&h[24], sampleRate);
    putLe32(&h[28], sampleRate * 4u);  // byte rate
    putLe16(&h[32], 4);                // block align
    putLe16(&h[34], 32);               // bits
    std::memcpy(&h[36], "data", 4);
    putLe32(&h[40], dataBytes);
    return h;
}

bool FloatWaveWriter::open(const std::filesystem::path& path, std::uint32_t sampleRate,
                           std::string& error) {
    rate = sampleRate;
    written = 0;
    file.open(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        error = "cannot create file";
        return false;
    }
    const auto h = floatWaveHeader(rate, 0);
    file.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    if (!file) {
        error = "write error";
        return false;
    }
    return true;
}

bool FloatWaveWriter::write(const float* samples, std::size_t count, std::string& error) {
    if (count > kMaxFloatWaveSamples - written) {
        error = "output exceeds the 4 GiB WAVE size limit";
        return false;
    }
    buffer.resize(count * 4u);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t u;
        std::memcpy(&u, &samples[i], sizeof u);
        putLe32(&buffer[i * 4u], u);
    }
    file.write(reinterpret_cast<const char*>(buffer.data()),
               static_cast<std::streamsize>(buffer.size()));
    if (!file) {
        error = "write error";
        return false;
    }
    written += count;
    return true;
}

bool FloatWaveWriter::finish(std::string& error) {
    const auto h = floatWaveHeader(rate, written);
    file.seekp(0, std::ios::beg);
    file.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    file.flush();
    const bool ok = static_cast<bool>(file);
    file.close();
    if (!ok || file.fail()) {
        error = "write error";
        return false;
    }
    return true;
}

bool writeFloatWaveFile(const std::filesystem::path& path, const float* samples,
                        std::size_t count, std::uint32_t sampleRate, std::string& error) {
    FloatWaveWriter w;
    return w.open(path, sampleRate, error) && w.write(samples, count, error) && w.finish(error);
}

}  // namespace zalo

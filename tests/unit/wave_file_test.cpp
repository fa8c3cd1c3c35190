// WAVE reading (layouts built byte by byte here) and the float writer.
#include "tools/wave_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <sstream>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// Little-endian values of `width` bytes each.
Bytes le(std::initializer_list<std::uint32_t> values, int width) {
    Bytes b;
    for (std::uint32_t v : values)
        for (int i = 0; i < width; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return b;
}

Bytes floats(std::initializer_list<float> values) {  // little-endian host
    Bytes b(values.size() * 4);
    std::memcpy(b.data(), values.begin(), b.size());
    return b;
}

// Odd-sized bodies get their pad byte.
Bytes chunk(const char* id, const Bytes& body) {
    Bytes c = cat({Bytes(id, id + 4), le({std::uint32_t(body.size())}, 4), body});
    if (body.size() & 1) c.push_back(0);
    return c;
}

Bytes riff(std::initializer_list<Bytes> chunks) {
    const Bytes body = cat({Bytes{'W', 'A', 'V', 'E'}, cat(chunks)});
    return cat({Bytes{'R', 'I', 'F', 'F'}, le({std::uint32_t(body.size())}, 4), body});
}

// The fmt chunk; with `subFormat`, as WAVE_FORMAT_EXTENSIBLE with that GUID.
Bytes fmt(std::uint32_t tag, std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
          std::uint32_t subFormat = 0, std::uint32_t validBits = 0) {
    const std::uint32_t align = channels * bits / 8;
    Bytes b = cat({le({subFormat ? 0xFFFEu : tag, channels}, 2), le({rate, rate * align}, 4),
                   le({align, bits}, 2)});
    if (subFormat)
        b = cat({b, le({22, validBits}, 2), le({0x3, subFormat}, 4),
                 Bytes{0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}});
    return chunk("fmt ", b);
}

bool decode(const Bytes& file, zalo::MonoAudio& out, std::string& error) {
    std::istringstream in(std::string(file.begin(), file.end()));
    return zalo::readMonoWave(in, file.size(), out, error);
}

TEST(WaveRead, DecodesEveryLayoutToMonoFullScale) {
    const struct { const char* what; Bytes fmt, data; std::uint32_t rate;
                   std::vector<float> mono; } cases[] = {
        {"16-bit stereo mean", fmt(1, 2, 44100, 16),
         le({16384, 0x8000, 32767, 32767, 0xFFFE, 0}, 2), 44100,
         {-0.25f, 32767.0f / 32768.0f, -1.0f / 32768.0f}},
        {"24-bit sign extension", fmt(1, 1, 96000, 24), le({0x7FFFFF, 0x800000, 0xFFFFFF}, 3),
         96000, {8388607.0f / 8388608.0f, -1.0f, -std::ldexp(1.0f, -23)}},
        {"32-bit", fmt(1, 1, 8000, 32), le({0x80000000u, 0x40000000, 0xFFFFFFFFu}, 4), 8000,
         {-1.0f, 0.5f, -std::ldexp(1.0f, -31)}},
        {"float as stored, NaN and inf become 0", fmt(3, 2, 48000, 32),
         floats({0.25f, -1.5f, NAN, 0.5f, INFINITY, -0.5f}), 48000, {-0.625f, 0.25f, -0.25f}},
        {"extensible PCM, 24 valid bits in 32", fmt(0, 2, 44100, 32, 1, 24),
         le({0x40000000, 0xC0000000u, 0x20000000, 0x20000000}, 4), 44100, {0.0f, 0.25f}},
        {"extensible float", fmt(0, 1, 32000, 32, 3, 32), floats({0.75f}), 32000, {0.75f}},
        {"trailing partial frame dropped", fmt(1, 2, 8000, 16), le({16384, 16384, 1000}, 2), 8000,
         {0.5f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // An odd unknown chunk ahead: a missed pad byte misplaces every later chunk.
        const Bytes file = riff({chunk("junk", Bytes{1, 2, 3}), c.fmt, chunk("data", c.data)});
        zalo::MonoAudio a;
        std::string error;
        ASSERT_TRUE(decode(file, a, error)) << error;
        EXPECT_EQ(std::make_pair(a.sampleRate, a.samples), std::make_pair(c.rate, c.mono));  // exact: powers of 2
    }
}

TEST(WaveRead, RejectsEachBadInputClass) {
    const Bytes data = chunk("data", le({1, 2}, 2));
    const std::pair<Bytes, const char*> cases[] = {
        {Bytes{}, "not a RIFF/WAVE"},
        {Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, "not a RIFF/WAVE"},
        {riff({fmt(1, 1, 8000, 16), Bytes{'d', 'a', 't', 'a', 6, 0, 0, 0, 1, 0, 2, 0}}),
         "truncated"},  // data claims 6 bytes, the file holds 4
        {riff({fmt(1, 1, 8000, 8), data}), "8-bit PCM"},
        {riff({fmt(6, 1, 8000, 8), data}), "A-law"},
        {riff({fmt(3, 1, 8000, 64), data}), "64-bit float"},
        {riff({fmt(0, 1, 8000, 32, 2, 32), data}), "SubFormat"},
        {riff({fmt(1, 0, 8000, 16), data}), "zero channels"},
        {riff({fmt(1, 1, 0, 16), data}), "zero sample rate"},
        {riff({chunk("fmt ", cat({le({1, 2}, 2), le({8000, 16000}, 4), le({2, 16}, 2)})), data}), "block align"},
    };
    for (const auto& [file, message] : cases) {
        zalo::MonoAudio out;
        std::string error;
        EXPECT_FALSE(decode(file, out, error)) << message;
        EXPECT_NE(error.find(message), std::string::npos) << message << ": got " << error;
    }
}

TEST(WaveWrite, StreamedFloatFileHasTheCanonicalHeader) {
    const auto path = std::filesystem::temp_directory_path() / "zalo_wave_write_test.wav";
    zalo::FloatWaveWriter w;
    std::string error;
    const float first[] = {0.5f, -1.0f}, second[] = {0.125f};
    ASSERT_TRUE(w.open(path, 48000, error) && w.write(first, 2, error) &&
                w.write(second, 1, error) && w.finish(error)) << error;
    const Bytes onDisk(  // the temporary stream is closed before the file is removed
        std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()),
        std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    EXPECT_EQ(onDisk, riff({fmt(3, 1, 48000, 32), chunk("data", floats({0.5f, -1.0f, 0.125f}))}));
}

}  // namespace

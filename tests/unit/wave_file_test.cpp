// WAVE reading (every supported layout, built byte by byte here) and the float
// writer's exact header.
#include "tools/wave_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void append16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void append32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void appendFloat(Bytes& b, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    append32(b, u);
}

Bytes chunk(const char* id, const Bytes& body, bool pad = true) {
    Bytes c(id, id + 4);
    append32(c, static_cast<std::uint32_t>(body.size()));
    c.insert(c.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) c.push_back(0);
    return c;
}

Bytes riff(const std::vector<Bytes>& chunks) {
    Bytes body{'W', 'A', 'V', 'E'};
    for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
    Bytes f{'R', 'I', 'F', 'F'};
    append32(f, static_cast<std::uint32_t>(body.size()));
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

Bytes fmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
              int blockAlign = -1) {
    const std::uint16_t align = blockAlign >= 0 ? static_cast<std::uint16_t>(blockAlign)
                                                : static_cast<std::uint16_t>(channels * bits / 8);
    Bytes b;
    append16(b, tag);
    append16(b, channels);
    append32(b, rate);
    append32(b, rate * align);
    append16(b, align);
    append16(b, bits);
    return b;
}

Bytes extensibleFmtBody(std::uint32_t subFormat, std::uint16_t channels, std::uint32_t rate,
                        std::uint16_t bits, std::uint16_t validBits) {
    Bytes b = fmtBody(0xFFFE, channels, rate, bits);
    append16(b, 22);         // cbSize
    append16(b, validBits);
    append32(b, 0x3);        // channel mask
    append32(b, subFormat);  // GUID Data1, then the fixed tail
    const std::uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), tail, tail + 12);
    return b;
}

Bytes pcm16(std::initializer_list<int> samples) {
    Bytes b;
    for (int s : samples) append16(b, static_cast<std::uint16_t>(s & 0xFFFF));
    return b;
}

bool decode(const Bytes& file, zalo::MonoAudio& out, std::string& error) {
    std::istringstream in(std::string(file.begin(), file.end()));
    return zalo::readMonoWave(in, file.size(), out, error);
}

zalo::MonoAudio decodeOk(const Bytes& file) {
    zalo::MonoAudio out;
    std::string error;
    EXPECT_TRUE(decode(file, out, error)) << error;
    return out;
}

TEST(WaveRead, Pcm16StereoIsTheMeanOfTheChannels) {
    const auto a = decodeOk(riff({chunk("fmt ", fmtBody(1, 2, 44100, 16)),
                                  chunk("data", pcm16({16384, -32768, 32767, 32767, -2, 0}))}));
    EXPECT_EQ(a.sampleRate, 44100u);
    EXPECT_EQ(a.channels, 2u);
    EXPECT_EQ(a.bitsPerSample, 16u);
    EXPECT_FALSE(a.isFloat);
    ASSERT_EQ(a.samples.size(), 3u);
    EXPECT_FLOAT_EQ(a.samples[0], -0.25f);
    EXPECT_FLOAT_EQ(a.samples[1], 32767.0f / 32768.0f);
    EXPECT_FLOAT_EQ(a.samples[2], -1.0f / 32768.0f);
}

TEST(WaveRead, Pcm24IsSignExtended) {
    Bytes data = {0xFF, 0xFF, 0x7F,   // +max
                  0x00, 0x00, 0x80,   // -1.0
                  0x01, 0x00, 0x00,   // +1 lsb
                  0xFF, 0xFF, 0xFF};  // -1 lsb
    const auto a = decodeOk(riff({chunk("fmt ", fmtBody(1, 1, 96000, 24)), chunk("data", data)}));
    ASSERT_EQ(a.samples.size(), 4u);
    EXPECT_FLOAT_EQ(a.samples[0], 8388607.0f / 8388608.0f);
    EXPECT_FLOAT_EQ(a.samples[1], -1.0f);
    EXPECT_FLOAT_EQ(a.samples[2], std::ldexp(1.0f, -23));
    EXPECT_FLOAT_EQ(a.samples[3], -std::ldexp(1.0f, -23));
}

TEST(WaveRead, Pcm32UsesFullScaleTwoToThe31) {
    Bytes data;
    append32(data, 0x80000000u);  // -1.0
    append32(data, 0x40000000u);  // 0.5
    append32(data, 0xFFFFFFFFu);  // -2^-31
    const auto a = decodeOk(riff({chunk("fmt ", fmtBody(1, 1, 8000, 32)), chunk("data", data)}));
    ASSERT_EQ(a.samples.size(), 3u);
    EXPECT_EQ(a.samples[0], -1.0f);
    EXPECT_EQ(a.samples[1], 0.5f);
    EXPECT_FLOAT_EQ(a.samples[2], -std::ldexp(1.0f, -31));
}

TEST(WaveRead, FloatIsTakenAsStoredAndNonFiniteBecomesZero) {
    Bytes data;
    appendFloat(data, 0.25f);
    appendFloat(data, -1.5f);  // over full scale: kept
    appendFloat(data, std::numeric_limits<float>::quiet_NaN());
    appendFloat(data, 0.5f);
    appendFloat(data, std::numeric_limits<float>::infinity());
    appendFloat(data, -0.5f);
    const auto a = decodeOk(riff({chunk("fmt ", fmtBody(3, 2, 48000, 32)), chunk("data", data)}));
    EXPECT_TRUE(a.isFloat);
    ASSERT_EQ(a.samples.size(), 3u);
    EXPECT_FLOAT_EQ(a.samples[0], -0.625f);
    EXPECT_FLOAT_EQ(a.samples[1], 0.25f);   // NaN counted as 0, mean with 0.5
    EXPECT_FLOAT_EQ(a.samples[2], -0.25f);  // inf counted as 0
    EXPECT_EQ(a.nonFiniteSamples, 2u);
}

TEST(WaveRead, ExtensiblePcmAndFloat) {
    // 24 valid bits in a 32-bit container: left-justified, scaled as 32-bit.
    Bytes data;
    append32(data, 0x40000000u);
    append32(data, 0xC0000000u);
    append32(data, 0x20000000u);
    append32(data, 0x20000000u);
    auto a = decodeOk(riff({chunk("fmt ", extensibleFmtBody(1, 2, 44100, 32, 24)),
                            chunk("data", data)}));
    ASSERT_EQ(a.samples.size(), 2u);
    EXPECT_FLOAT_EQ(a.samples[0], 0.0f);
    EXPECT_FLOAT_EQ(a.samples[1], 0.25f);
    EXPECT_FALSE(a.isFloat);

    Bytes fdata;
    appendFloat(fdata, 0.75f);
    a = decodeOk(riff({chunk("fmt ", extensibleFmtBody(3, 1, 32000, 32, 32)),
                       chunk("data", fdata)}));
    EXPECT_TRUE(a.isFloat);
    EXPECT_EQ(a.sampleRate, 32000u);
    ASSERT_EQ(a.samples.size(), 1u);
    EXPECT_EQ(a.samples[0], 0.75f);
}

TEST(WaveRead, WalksUnknownChunksHonouringPadBytes) {
    // An odd "junk" chunk whose pad byte, if ignored, would shift every later
    // chunk header by one; data ahead of fmt; an oversized fmt chunk.
    Bytes bigFmt = fmtBody(1, 1, 22050, 16);
    bigFmt.resize(bigFmt.size() + 6, 0xEE);
    const auto a = decodeOk(riff({chunk("LIST", Bytes(10, 'x')), chunk("junk", Bytes{1, 2, 3}),
                                  chunk("data", pcm16({8192, -8192})), chunk("fmt ", bigFmt),
                                  chunk("fact", Bytes{2, 0, 0, 0})}));
    EXPECT_EQ(a.sampleRate, 22050u);
    ASSERT_EQ(a.samples.size(), 2u);
    EXPECT_FLOAT_EQ(a.samples[0], 0.25f);
    EXPECT_FLOAT_EQ(a.samples[1], -0.25f);
}

TEST(WaveRead, ToleratesMissingFinalPadAndDropsPartialFrame) {
    // Mono 24-bit data of 3 bytes at the very end without its pad byte.
    auto a = decodeOk(riff({chunk("fmt ", fmtBody(1, 1, 8000, 24)),
                            chunk("data", Bytes{0x00, 0x00, 0x40}, false)}));
    ASSERT_EQ(a.samples.size(), 1u);
    EXPECT_FLOAT_EQ(a.samples[0], 0.5f);

    // Stereo 16-bit with 6 data bytes: one whole frame and half of another.
    a = decodeOk(riff({chunk("fmt ", fmtBody(1, 2, 8000, 16)),
                       chunk("data", pcm16({16384, 16384, 1000}))}));
    ASSERT_EQ(a.samples.size(), 1u);
    EXPECT_FLOAT_EQ(a.samples[0], 0.5f);

    // Junk after the data chunk (RIFF size not trusted, not walked into).
    Bytes f = riff({chunk("fmt ", fmtBody(1, 1, 8000, 16)), chunk("data", pcm16({0}))});
    f.insert(f.end(), {'I', 'D', '3', 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01});
    a = decodeOk(f);
    EXPECT_EQ(a.samples.size(), 1u);
}

TEST(WaveRead, EmptyDataChunkGivesNoSamples) {
    const auto a = decodeOk(riff({chunk("fmt ", fmtBody(1, 1, 8000, 16)), chunk("data", {})}));
    EXPECT_TRUE(a.samples.empty());
    EXPECT_EQ(a.sampleRate, 8000u);
}

struct BadFile {
    const char* what;
    Bytes file;
    const char* message;  // expected part of the error
};

TEST(WaveRead, RejectsEveryBadInputClass) {
    const Bytes goodFmt = chunk("fmt ", fmtBody(1, 1, 8000, 16));
    const Bytes goodData = chunk("data", pcm16({1, 2}));
    Bytes truncatedData = riff({goodFmt, goodData});
    truncatedData.resize(truncatedData.size() - 1);
    Bytes truncatedOther = riff({chunk("LIST", Bytes(20, 0)), goodFmt, goodData});
    truncatedOther.resize(12 + 8 + 5);
    Bytes rifx = riff({goodFmt, goodData});
    rifx[3] = 'X';
    Bytes avi = riff({goodFmt, goodData});
    std::memcpy(&avi[8], "AVI ", 4);
    Bytes badGuid = extensibleFmtBody(1, 1, 8000, 16, 16);
    badGuid.back() ^= 0xFF;
    Bytes shortExt = extensibleFmtBody(1, 1, 8000, 16, 16);
    shortExt.resize(30);

    const std::vector<BadFile> cases = {
        {"empty file", {}, "not a RIFF/WAVE"},
        {"text file", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'},
         "not a RIFF/WAVE"},
        {"big-endian RIFX", rifx, "not a RIFF/WAVE"},
        {"RIFF but not WAVE", avi, "not a RIFF/WAVE"},
        {"data cut short", truncatedData, "truncated"},
        {"chunk cut short before data", truncatedOther, "truncated"},
        {"no fmt", riff({goodData}), "no fmt"},
        {"no data", riff({goodFmt}), "no data"},
        {"fmt too short", riff({chunk("fmt ", Bytes(14, 0)), goodData}), "fmt"},
        {"8-bit PCM", riff({chunk("fmt ", fmtBody(1, 1, 8000, 8)), goodData}), "8-bit PCM"},
        {"20-bit PCM", riff({chunk("fmt ", fmtBody(1, 1, 8000, 20, 3)), goodData}), "20-bit"},
        {"A-law", riff({chunk("fmt ", fmtBody(6, 1, 8000, 8)), goodData}), "A-law"},
        {"64-bit float", riff({chunk("fmt ", fmtBody(3, 1, 8000, 64)), goodData}),
         "64-bit float"},
        {"16-bit float", riff({chunk("fmt ", fmtBody(3, 1, 8000, 16)), goodData}),
         "16-bit float"},
        {"zero channels", riff({chunk("fmt ", fmtBody(1, 0, 8000, 16, 2)), goodData}),
         "zero channels"},
        {"zero rate", riff({chunk("fmt ", fmtBody(1, 1, 0, 16)), goodData}), "zero sample rate"},
        {"zero block align", riff({chunk("fmt ", fmtBody(1, 1, 8000, 16, 0)), goodData}),
         "block align"},
        {"block align too large", riff({chunk("fmt ", fmtBody(1, 2, 8000, 16, 6)), goodData}),
         "block align"},
        {"extensible, unknown SubFormat", riff({chunk("fmt ", badGuid), goodData}), "SubFormat"},
        {"extensible, too short", riff({chunk("fmt ", shortExt), goodData}), "EXTENSIBLE"},
    };
    for (const auto& c : cases) {
        zalo::MonoAudio out;
        std::string error;
        EXPECT_FALSE(decode(c.file, out, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos)
            << c.what << ": got \"" << error << "\"";
    }
}

class WaveFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              (std::string("zalo_wave_test_") + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    static Bytes slurp(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::path dir;
};

TEST_F(WaveFileOnDisk, WriterProducesTheCanonicalFloatHeaderAndRoundTrips) {
    const float samples[] = {0.5f, -1.0f, 0.125f};
    std::string error;
    const auto path = dir / "out.wav";
    ASSERT_TRUE(zalo::writeFloatWaveFile(path, samples, 3, 48000, error)) << error;

    Bytes expected{'R', 'I', 'F', 'F'};
    append32(expected, 36 + 12);
    for (char c : std::string("WAVEfmt ")) expected.push_back(static_cast<std::uint8_t>(c));
    append32(expected, 16);
    append16(expected, 3);
    append16(expected, 1);
    append32(expected, 48000);
    append32(expected, 192000);
    append16(expected, 4);
    append16(expected, 32);
    for (char c : std::string("data")) expected.push_back(static_cast<std::uint8_t>(c));
    append32(expected, 12);
    for (float s : samples) appendFloat(expected, s);
    EXPECT_EQ(slurp(path), expected);

    zalo::MonoAudio back;
    ASSERT_TRUE(zalo::readMonoWaveFile(path, back, error)) << error;
    EXPECT_EQ(back.sampleRate, 48000u);
    ASSERT_EQ(back.samples.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(back.samples[i], samples[i]);
}

TEST_F(WaveFileOnDisk, StreamingWriterPatchesSizesAfterSeveralWrites) {
    zalo::FloatWaveWriter w;
    std::string error;
    const auto path = dir / "stream.wav";
    ASSERT_TRUE(w.open(path, 48000, error)) << error;
    std::vector<float> block(480, 0.25f);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(w.write(block.data(), block.size(), error));
    ASSERT_TRUE(w.write(block.data(), 0, error));
    ASSERT_TRUE(w.finish(error)) << error;
    EXPECT_EQ(w.samplesWritten(), 2400u);
    EXPECT_EQ(std::filesystem::file_size(path), 44u + 2400u * 4u);
    const Bytes header = zalo::floatWaveHeader(48000, 2400);
    const Bytes onDisk = slurp(path);
    ASSERT_GE(onDisk.size(), 44u);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), onDisk.begin()));
}

TEST_F(WaveFileOnDisk, MissingFileAndDirectoryAreErrors) {
    zalo::MonoAudio out;
    std::string error;
    EXPECT_FALSE(zalo::readMonoWaveFile(dir / "absent.wav", out, error));
    EXPECT_NE(error.find("no such file"), std::string::npos) << error;
    EXPECT_FALSE(zalo::readMonoWaveFile(dir, out, error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
}

}  // namespace

// The benchmark's WAV reader: the layouts sox writes are read bit-exactly,
// everything else is refused with a reason instead of being misread.
#include "float_wav.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}
void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}
void putTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(tag[i]));
}

void chunk(Bytes& b, const char* tag, const Bytes& body) {
    putTag(b, tag);
    put32(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 == 1) b.push_back(0);  // RIFF pad byte
}

// fmt body: plain (16 or 18 bytes) or extensible (40 bytes, sub-format tag first).
Bytes fmtBody(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits,
              bool extensible = false, bool withCbSize = true) {
    Bytes f;
    put16(f, extensible ? 0xFFFE : tag);
    put16(f, channels);
    put32(f, rate);
    put32(f, rate * channels * bits / 8);
    put16(f, channels * bits / 8);
    put16(f, bits);
    if (extensible) {
        put16(f, 22);
        put16(f, bits);
        put32(f, 0x4);  // channel mask: front centre
        put16(f, tag);
        const unsigned char guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        f.insert(f.end(), guidTail, guidTail + 14);
    } else if (withCbSize) {
        put16(f, 0);
    }
    return f;
}

Bytes floatData(const std::vector<float>& samples) {
    Bytes d;
    for (const float x : samples) {
        std::uint32_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        put32(d, bits);
    }
    return d;
}

Bytes riff(const Bytes& chunks) {
    Bytes b;
    putTag(b, "RIFF");
    put32(b, static_cast<std::uint32_t>(4 + chunks.size()));
    putTag(b, "WAVE");
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

class FloatWavTest : public ::testing::Test {
protected:
    std::string path() const {
        return ::testing::TempDir() + "zalo_float_wav_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".wav";
    }
    void write(const Bytes& b) {
        std::ofstream out(path(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    void TearDown() override { std::remove(path().c_str()); }
};

const std::vector<float> kSamples = {0.0f, -0.0f, 1.0f, -1.0f, 0.25f, -0.7629f, 1e-30f, 3.5f};

TEST_F(FloatWavTest, ReadsSoxStyleFloatWithFactChunk) {
    Bytes c;
    chunk(c, "fmt ", fmtBody(3, 1, 48000, 32));
    Bytes fact;
    put32(fact, static_cast<std::uint32_t>(kSamples.size()));
    chunk(c, "fact", fact);
    chunk(c, "data", floatData(kSamples));
    write(riff(c));

    zalo::bench::FloatWav wav;
    std::string error;
    ASSERT_TRUE(zalo::bench::readFloatWav(path(), wav, error)) << error;
    EXPECT_EQ(wav.sampleRate, 48000u);
    ASSERT_EQ(wav.samples.size(), kSamples.size());
    for (std::size_t i = 0; i < kSamples.size(); ++i) {
        EXPECT_EQ(std::memcmp(&wav.samples[i], &kSamples[i], sizeof(float)), 0) << "sample " << i;
    }
}

TEST_F(FloatWavTest, ReadsExtensibleHeaderAndSkipsOddSizedChunks) {
    Bytes c;
    chunk(c, "fmt ", fmtBody(3, 1, 44100, 32, /*extensible=*/true));
    chunk(c, "LIST", Bytes{'a', 'b', 'c'});  // odd size: one pad byte follows
    chunk(c, "data", floatData({0.5f, -0.5f}));
    write(riff(c));

    zalo::bench::FloatWav wav;
    std::string error;
    ASSERT_TRUE(zalo::bench::readFloatWav(path(), wav, error)) << error;
    EXPECT_EQ(wav.sampleRate, 44100u);
    EXPECT_EQ(wav.samples, (std::vector<float>{0.5f, -0.5f}));
}

TEST_F(FloatWavTest, RefusesWhatItCannotReadExactly) {
    struct Case {
        const char* what;
        Bytes file;
    };
    std::vector<Case> cases;
    {
        Bytes c;
        chunk(c, "fmt ", fmtBody(1, 1, 48000, 16, false, false));
        chunk(c, "data", Bytes{0, 0, 0, 0});
        cases.push_back({"16-bit PCM", riff(c)});
    }
    {
        Bytes c;
        chunk(c, "fmt ", fmtBody(1, 1, 48000, 16, /*extensible=*/true));
        chunk(c, "data", Bytes{0, 0, 0, 0});
        cases.push_back({"extensible PCM", riff(c)});
    }
    {
        Bytes c;
        chunk(c, "fmt ", fmtBody(3, 2, 48000, 32));
        chunk(c, "data", floatData({0.0f, 0.0f}));
        cases.push_back({"stereo float", riff(c)});
    }
    {
        Bytes c;
        chunk(c, "data", floatData({0.0f}));
        chunk(c, "fmt ", fmtBody(3, 1, 48000, 32));
        cases.push_back({"data before fmt", riff(c)});
    }
    {
        Bytes c;
        chunk(c, "fmt ", fmtBody(3, 1, 48000, 32));
        chunk(c, "data", floatData({0.0f, 0.0f}));
        Bytes file = riff(c);
        file.resize(file.size() - 3);
        cases.push_back({"data cut short", file});
    }
    {
        Bytes c;
        chunk(c, "fmt ", fmtBody(3, 1, 48000, 32));
        chunk(c, "data", Bytes{0, 0, 0, 0, 0, 0});
        cases.push_back({"partial sample", riff(c)});
    }
    {
        Bytes c;
        chunk(c, "fmt ", fmtBody(3, 1, 48000, 32));
        cases.push_back({"no data chunk", riff(c)});
    }
    {
        Bytes c;
        chunk(c, "fmt ", fmtBody(3, 1, 48000, 32));
        chunk(c, "data", floatData({0.0f}));
        Bytes file = riff(c);
        std::memcpy(file.data(), "RIFX", 4);
        cases.push_back({"not RIFF", file});
    }

    for (const Case& k : cases) {
        write(k.file);
        zalo::bench::FloatWav wav;
        std::string error;
        EXPECT_FALSE(zalo::bench::readFloatWav(path(), wav, error)) << k.what;
        EXPECT_FALSE(error.empty()) << k.what;
    }

    std::remove(path().c_str());
    zalo::bench::FloatWav wav;
    std::string error;
    EXPECT_FALSE(zalo::bench::readFloatWav(path(), wav, error)) << "missing file";
    EXPECT_FALSE(error.empty());
}

}  // namespace

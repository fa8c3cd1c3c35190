// RIFF WAVE input and output for the offline renderer.
//
// Reading: integer PCM of 16, 24 or 32 bits and 32-bit IEEE float, as plain
// format tags (1, 3) or WAVE_FORMAT_EXTENSIBLE with the PCM / float SubFormat,
// any rate and channel count, mixed to mono by the arithmetic mean of the
// channels. Full scale maps to 1.0: 16-bit * 2^-15, 24-bit * 2^-23,
// 32-bit * 2^-31; float samples are taken as stored, except that NaN and the
// infinities become 0 (counted in nonFiniteSamples) because one of them would
// leave the chain's recursive filters producing NaN for the rest of the file.
//
// Chunks are walked one by one: unknown chunks are skipped, odd-sized chunks
// are followed by their pad byte. The RIFF size field is not trusted (streaming
// writers leave it 0 or 0xFFFFFFFF); the file's real length is. A data chunk
// that claims more bytes than the file holds is a truncated file and an error.
// A data chunk whose size is not a whole number of frames has its trailing
// partial frame dropped: the header itself says the fragment is there, so the
// file is not cut short, and less than one frame cannot be mixed to mono.
//
// Writing: mono 32-bit float, format tag 3 with the 16-byte fmt chunk (no
// cbSize, no fact chunk), i.e. the canonical 44-byte header followed by the
// little-endian samples. The renderer always writes 48000 Hz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

namespace zalo {

struct MonoAudio {
    std::vector<float> samples;    // one per frame, channel mean
    std::uint32_t sampleRate = 0;  // Hz, never 0 after a successful read
    std::uint16_t channels = 0;    // of the source
    std::uint16_t bitsPerSample = 0;
    bool isFloat = false;
    std::uint64_t nonFiniteSamples = 0;  // source samples replaced by 0
};

// Reads a WAVE file from `in`, whose total length is `streamSize` bytes and
// which is positioned at its first byte. On failure returns false and puts a
// short description of the problem in `error` (no file name, no prefix).
bool readMonoWave(std::istream& in, std::uint64_t streamSize, MonoAudio& out,
                  std::string& error);

// Opens `path` in binary mode and reads it as above.
bool readMonoWaveFile(const std::filesystem::path& path, MonoAudio& out, std::string& error);

// Largest float sample count whose file still fits the 32-bit RIFF size field.
constexpr std::uint64_t kMaxFloatWaveSamples = (0xFFFFFFFFull - 36u) / 4u;

// The 44-byte header of a mono float WAVE file holding `samples` samples.
std::vector<std::uint8_t> floatWaveHeader(std::uint32_t sampleRate, std::uint64_t samples);

// Streams a mono float WAVE file: writes a header for 0 samples, appends
// samples, and patches the two size fields in finish(). A file whose finish()
// did not succeed is incomplete; the caller owns deleting it.
class FloatWaveWriter {
public:
    bool open(const std::filesystem::path& path, std::uint32_t sampleRate, std::string& error);
    bool write(const float* samples, std::size_t count, std::string& error);
    bool finish(std::string& error);  // patches the header and closes
    std::uint64_t samplesWritten() const { return written; }

private:
    std::ofstream file;
    std::uint32_t rate = 0;
    std::uint64_t written = 0;
    std::vector<std::uint8_t> buffer;  // little-endian bytes of one write()
};

// Convenience: the whole file at once (used by tests and small tools).
bool writeFloatWaveFile(const std::filesystem::path& path, const float* samples,
                        std::size_t count, std::uint32_t sampleRate, std::string& error);

}  // namespace zalo

// The virtual cable's waveOut device, tested for real under Wine against the
// test sound server of scripts/harness.sh, where a null sink described as
// "CABLE Input (VB-Audio Virtual Cable)" stands in for the cable driver.
//
// The playback test checks what actually reached that sink: CTest starts
// `parec` on the sink's monitor before the Windows tests (fixture
// cable_recorder, `harness.sh record-start`) and names the growing raw file
// (s16le, 48000 Hz, stereo) in ZALO_CABLE_CAPTURE. To run by hand:
//   scripts/harness.sh record-start /tmp/cable.raw
//   ZALO_CABLE_CAPTURE=/tmp/cable.raw wine zalo_win_tests.exe
//   scripts/harness.sh record-stop /tmp/cable.raw
#include "audio/device_names.h"
#include "audio/waveout_devices.h"

#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kRateHz = 48000;
constexpr unsigned kChannels = 2;
constexpr unsigned kBytesPerFrame = kChannels * sizeof(std::int16_t);
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.5;          // full scale 1.0
constexpr unsigned kToneFrames = kRateHz / 2;   // 500 ms
constexpr unsigned kBufferFrames = 2400;        // 50 ms per waveOut header
constexpr unsigned kWindowFrames = 480;         // 10 ms analysis windows
constexpr double kSoundingRms = 0.1;            // a window above this carries the tone

std::string describeDevices() {
    std::string text;
    const std::vector<std::wstring> names = zalo::waveOutDeviceNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += "  [" + std::to_string(i) + "] ";
        for (wchar_t c : names[i]) text += (c < 128) ? static_cast<char>(c) : '?';
        text += "\n";
    }
    return text.empty() ? std::string("  (no waveOut devices)\n") : text;
}

// Wine maps drive Z: to the Unix root; the recorder's path is a Unix path.
std::string windowsPathOf(const std::string& path) {
    return (!path.empty() && path[0] == '/') ? "Z:" + path : path;
}

std::uint64_t fileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::uint64_t>(in.tellg()) : 0;
}

// One open waveOut device with its prepared headers; closes in the right order
// (reset, unprepare, close) on every exit path.
class WaveOutPlayer {
public:
    explicit WaveOutPlayer(UINT deviceIndex) {
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = kChannels;
        format.nSamplesPerSec = kRateHz;
        format.wBitsPerSample = 16;
        format.nBlockAlign = kBytesPerFrame;
        format.nAvgBytesPerSec = kRateHz * kBytesPerFrame;
        format.cbSize = 0;
        openResult = waveOutOpen(&handle, deviceIndex, &format, 0, 0, CALLBACK_NULL);
        if (openResult != MMSYSERR_NOERROR) handle = nullptr;
    }
    WaveOutPlayer(const WaveOutPlayer&) = delete;
    WaveOutPlayer& operator=(const WaveOutPlayer&) = delete;
    ~WaveOutPlayer() {
        if (!handle) return;
        waveOutReset(handle);
        for (WAVEHDR& h : headers) {
            if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(handle, &h, sizeof(h));
        }
        waveOutClose(handle);
    }

    MMRESULT openResult = MMSYSERR_ERROR;
    HWAVEOUT handle = nullptr;

    // Prepares one header per buffer and queues them all before playback can
    // drain the first, so the device never starts on a half-filled queue.
    MMRESULT queueAll(std::vector<std::vector<std::int16_t>>& buffers) {
        headers.assign(buffers.size(), WAVEHDR{});
        for (std::size_t i = 0; i < buffers.size(); ++i) {
            headers[i].lpData = reinterpret_cast<LPSTR>(buffers[i].data());
            headers[i].dwBufferLength =
                static_cast<DWORD>(buffers[i].size() * sizeof(std::int16_t));
            MMRESULT r = waveOutPrepareHeader(handle, &headers[i], sizeof(WAVEHDR));
            if (r != MMSYSERR_NOERROR) return r;
        }
        for (WAVEHDR& h : headers) {
            MMRESULT r = waveOutWrite(handle, &h, sizeof(WAVEHDR));
            if (r != MMSYSERR_NOERROR) return r;
        }
        return MMSYSERR_NOERROR;
    }

    bool waitAllDone(std::chrono::milliseconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            bool done = true;
            for (const WAVEHDR& h : headers) done = done && (h.dwFlags & WHDR_DONE);
            if (done) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            Sleep(5);
        }
    }

private:
    std::vector<WAVEHDR> headers;
};

// The tone split into kBufferFrames-sized interleaved stereo buffers.
std::vector<std::vector<std::int16_t>> makeToneBuffers() {
    std::vector<std::vector<std::int16_t>> buffers;
    const double kTwoPi = 6.283185307179586;
    for (unsigned start = 0; start < kToneFrames; start += kBufferFrames) {
        std::vector<std::int16_t> buffer(kBufferFrames * kChannels);
        for (unsigned k = 0; k < kBufferFrames; ++k) {
            const double x = kToneAmplitude * std::sin(kTwoPi * kToneHz * (start + k) / kRateHz);
            const auto s = static_cast<std::int16_t>(std::lround(x * 32767.0));
            buffer[k * kChannels] = s;
            buffer[k * kChannels + 1] = s;
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

// Samples of one channel of an interleaved s16 stereo recording, full scale 1.0.
std::vector<double> channelOf(const std::vector<std::int16_t>& interleaved, unsigned channel) {
    std::vector<double> out(interleaved.size() / kChannels);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = interleaved[i * kChannels + channel] / 32768.0;
    return out;
}

double rms(const std::vector<double>& x, std::size_t begin, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = begin; i < begin + count; ++i) sum += x[i] * x[i];
    return count ? std::sqrt(sum / count) : 0.0;
}

// Share of the signal's power at `hz` (Goertzel): 1.0 for a pure sine whose
// frequency falls on a bin of the window, near 0 for noise or another tone.
double toneShare(const std::vector<double>& x, std::size_t begin, std::size_t count, double hz) {
    const double w = 6.283185307179586 * hz / kRateHz;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = begin; i < begin + count; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double magnitudeSquared = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    // A sine of amplitude A gives |X| = A N / 2; its mean power is A^2 / 2.
    const double tonePower = 2.0 * magnitudeSquared / (double(count) * double(count));
    const double r = rms(x, begin, count);
    return r > 0.0 ? tonePower / (r * r) : 0.0;
}

TEST(CableDevice, FindsTheCableAsTheFirstMatchingOutput) {
    unsigned index = 12345;
    ASSERT_TRUE(zalo::findCableDevice(index))
        << "no waveOut device looks like the cable; devices:\n" << describeDevices();
    const std::vector<std::wstring> names = zalo::waveOutDeviceNames();
    ASSERT_LT(index, names.size());
    EXPECT_NE(names[index].find(L"CABLE Input"), std::wstring::npos) << describeDevices();
    for (unsigned i = 0; i < index; ++i) {
        EXPECT_FALSE(zalo::isCableOutputName(names[i])) << "device " << i << " matched first";
    }
}

TEST(CableDevice, ToneReachesTheCableUncut) {
    const char* capturePath = std::getenv("ZALO_CABLE_CAPTURE");
    ASSERT_NE(capturePath, nullptr)
        << "ZALO_CABLE_CAPTURE is not set: run under ctest with the harness running";
    const std::string path = windowsPathOf(capturePath);
    std::ifstream probe(path, std::ios::binary);
    ASSERT_TRUE(probe.good()) << "no recording of the cable at " << path;
    probe.close();

    unsigned index = 0;
    ASSERT_TRUE(zalo::findCableDevice(index)) << describeDevices();

    // Everything the recorder writes from here on is newer than this offset.
    // The pause after it puts silence before the tone in the recording even
    // when the device and the recorder both lag by less than one window.
    const std::uint64_t startOffset = fileSize(path) / kBytesPerFrame * kBytesPerFrame;
    Sleep(100);

    std::vector<std::vector<std::int16_t>> buffers = makeToneBuffers();
    {
        WaveOutPlayer player(index);
        ASSERT_EQ(player.openResult, MMSYSERR_NOERROR) << "waveOutOpen on device " << index;
        ASSERT_EQ(player.queueAll(buffers), MMSYSERR_NOERROR);
        ASSERT_TRUE(player.waitAllDone(std::chrono::milliseconds(3000)))
            << "the device did not play 500 ms of audio within 3 s";
    }

    // Wait for one second of recording past the tone's start: covers the tone,
    // the device and recorder latencies, and some trailing silence.
    const std::uint64_t wantBytes = std::uint64_t(kRateHz) * 3 / 2 * kBytesPerFrame;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fileSize(path) < startOffset + wantBytes &&
           std::chrono::steady_clock::now() < deadline) {
        Sleep(20);
    }
    ASSERT_GE(fileSize(path), startOffset + wantBytes) << "the recorder stalled";

    std::vector<std::int16_t> recorded(wantBytes / sizeof(std::int16_t));
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(startOffset));
    in.read(reinterpret_cast<char*>(recorded.data()), static_cast<std::streamsize>(wantBytes));
    ASSERT_EQ(static_cast<std::uint64_t>(in.gcount()), wantBytes);

    const std::vector<double> left = channelOf(recorded, 0);
    const std::vector<double> right = channelOf(recorded, 1);
    const std::size_t windows = left.size() / kWindowFrames;
    std::size_t first = windows, last = 0, sounding = 0;
    for (std::size_t w = 0; w < windows; ++w) {
        if (rms(left, w * kWindowFrames, kWindowFrames) > kSoundingRms) {
            if (first == windows) first = w;
            last = w;
            ++sounding;
        }
    }
    ASSERT_LT(first, windows) << "no tone reached the cable";
    EXPECT_GE(first, 5u) << "the recording holds no silence before the tone";

    // 500 ms of tone, allowing a partial window at each edge and a little
    // lost or added at the start; a gap inside the tone is a dropout.
    EXPECT_GE(sounding, 47u);
    EXPECT_LE(sounding, 52u);
    EXPECT_EQ(sounding, last - first + 1) << "the tone has a gap";

    const double nominalRms = kToneAmplitude / std::sqrt(2.0);
    const std::size_t bodyBegin = (first + 2) * kWindowFrames;
    const std::size_t bodyFrames = 40 * kWindowFrames;  // 400 ms inside the tone
    ASSERT_LE(bodyBegin + bodyFrames, left.size());
    EXPECT_NEAR(rms(left, bodyBegin, bodyFrames), nominalRms, 0.05 * nominalRms);
    EXPECT_NEAR(rms(right, bodyBegin, bodyFrames), nominalRms, 0.05 * nominalRms);
    EXPECT_GT(toneShare(left, bodyBegin, bodyFrames, kToneHz), 0.95);
    EXPECT_GT(toneShare(right, bodyBegin, bodyFrames, kToneHz), 0.95);
    EXPECT_LT(toneShare(left, bodyBegin, bodyFrames, 1.5 * kToneHz), 0.01);
}

}  // namespace

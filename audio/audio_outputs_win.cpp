// The output threads: each moves samples from its ring into waveOut in
// 10 ms buffers, polling the headers' WHDR_INQUEUE flag (CALLBACK_NULL).
#include "audio/audio_outputs.h"

#include <windows.h>
#include <mmsystem.h>

#include <memory>
#include <new>
#include <system_error>

#include "audio/thread_names_win.h"
#include "audio/waveout_devices.h"

namespace zalo {

namespace {

// While the cable is absent or lost, look for it again this often.
constexpr ULONGLONG kCableRetryMs = 500;
// With 60 ms queued, a working device hands a buffer back every 10 ms. One
// that has taken nothing for this long has gone away (the driver was
// disabled, or the device removed) and is closed and searched for anew.
constexpr ULONGLONG kCableStallMs = 500;
// Idle pause of an output thread when no buffer came back.
constexpr unsigned kIdleWaitMs = 2;

WAVEFORMATEX pcm16Format(WORD channels) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = 48000;
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<WORD>(channels * 2);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

// An open waveOut device with its prepared headers, each on its own slice
// of one buffer that belongs to the output thread.
class WaveOutQueue {
public:
    WaveOutQueue(std::size_t headerCount, std::size_t samplesPerHeader)
        : count(headerCount), samplesPer(samplesPerHeader),
          headers(new (std::nothrow) WAVEHDR[headerCount]()),
          samples(new (std::nothrow) std::int16_t[headerCount * samplesPerHeader]()) {}
    WaveOutQueue(const WaveOutQueue&) = delete;
    WaveOutQueue& operator=(const WaveOutQueue&) = delete;
    ~WaveOutQueue() { close(); }

    bool allocated() const { return headers && samples; }

    // Opens `device` and prepares every header. With `mustPrepare` a failed
    // prepare closes the device again and fails.
    bool open(UINT device, const WAVEFORMATEX& format, bool mustPrepare) {
        close();
        HWAVEOUT h = nullptr;
        if (waveOutOpen(&h, device, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR || h == nullptr) {
            return false;
        }
        handle = h;
        for (std::size_t i = 0; i < count; ++i) {
            WAVEHDR& hdr = headers[i];
            hdr = WAVEHDR{};
            hdr.lpData = reinterpret_cast<LPSTR>(samples.get() + i * samplesPer);
            hdr.dwBufferLength = static_cast<DWORD>(samplesPer * sizeof(std::int16_t));
            if (waveOutPrepareHeader(handle, &hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR && mustPrepare) {
                close();
                return false;
            }
        }
        return true;
    }

    // Reset (returns every queued buffer), unprepare, close.
    void close() {
        if (handle == nullptr) return;
        waveOutReset(handle);
        for (std::size_t i = 0; i < count; ++i) {
            if (headers[i].dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(handle, &headers[i], sizeof(WAVEHDR));
        }
        waveOutClose(handle);
        handle = nullptr;
    }

    bool idle(std::size_t i) const { return (headers[i].dwFlags & WHDR_INQUEUE) == 0; }
    std::int16_t* buffer(std::size_t i) { return samples.get() + i * samplesPer; }

    bool write(std::size_t i) {
        headers[i].dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        return waveOutWrite(handle, &headers[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
    }

    const std::size_t count;

private:
    const std::size_t samplesPer;
    std::unique_ptr<WAVEHDR[]> headers;
    std::unique_ptr<std::int16_t[]> samples;
    HWAVEOUT handle = nullptr;
};

}  // namespace

// winmm builds its device list on first use. Under Wine 8.0 that first build
// takes no lock: a thread that uses waveOut while another one is still
// building the list can see it half built. That is what happened when
// the cable thread's device search and the monitor thread's waveOutOpen were
// the process's first waveOut calls and came within a few milliseconds: the
// monitor's open failed, and a later open of the default device blocked for
// good inside winmm, and with it the join in stop(). So the list is built
// here, on the thread that starts an output, before the output's thread
// exists. Once the list is built the call only returns the device count, on
// Windows as under Wine.
void loadOutputDeviceList() { waveOutGetNumDevs(); }

// --- Virtual cable ---

CableOutput::~CableOutput() { stop(); }

// start and stop store both ring positions from the UI thread. That is safe
// only because no producer runs then: AudioEngine::start and stop join the
// capture thread before they start or stop the cable, so no write() can be
// half done and publish a stale writePos over the reset. (The monitor, which
// the UI toggles while capture runs, never resets its positions.)
bool CableOutput::start() {
    stop();
    writePos.store(0);
    readPos.store(0);
    loadOutputDeviceList();
    if (!wakeEvent.create()) return false;
    running.store(true);
    try {
        thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        running.store(false);
        wakeEvent.close();
        return false;
    }
    return true;
}

// Positions reset with no producer running: see start().
void CableOutput::stop() {
    running.store(false);
    wakeEvent.signal();  // leave any wait at once
    if (thread.joinable()) thread.join();
    connected.store(false);
    wakeEvent.close();
    writePos.store(0);
    readPos.store(0);
}

void CableOutput::run() {
    nameCurrentThread(kCableThreadName);
    WaveOutQueue queue(kCableBufferCount, 2 * kOutputBufferFrames);
    if (!queue.allocated()) return;
    const WAVEFORMATEX format = pcm16Format(2);

    // Waits out one retry period, waking early only to stop. While the cable
    // is away nothing plays, so the backlog is dropped as it arrives: when
    // the cable returns it hears the voice from now on, not stale audio.
    auto waitBeforeRetry = [this] {
        const ULONGLONG deadline = GetTickCount64() + kCableRetryMs;
        for (;;) {
            readPos.store(writePos.load(std::memory_order_acquire), std::memory_order_release);
            const ULONGLONG now = GetTickCount64();
            if (!running.load() || now >= deadline) return;
            wakeEvent.wait(static_cast<unsigned>(deadline - now));
        }
    };

    while (running.load()) {
        unsigned index = 0;
        if (!findCableDevice(index) || !queue.open(index, format, true)) {
            connected.store(false);
            waitBeforeRetry();
            continue;
        }
        connected.store(true);

        ULONGLONG lastTaken = GetTickCount64();
        bool lost = false;
        bool priming = true;  // the first pass fills every buffer
        while (running.load()) {
            bool wrote = false;
            std::size_t queued = 0;
            for (std::size_t i = 0; i < queue.count; ++i) queued += queue.idle(i) ? 0 : 1;
            for (std::size_t i = 0; i < queue.count; ++i) {
                if (!queue.idle(i)) continue;
                if (!priming &&
                    !cableShouldFill(writePos.load(std::memory_order_acquire) - readPos.load(), queued)) {
                    break;
                }
                fillBuffer(queue.buffer(i));
                if (queue.write(i)) {
                    wrote = true;
                    ++queued;
                }
            }
            priming = false;
            if (wrote) {
                lastTaken = GetTickCount64();
            } else if (GetTickCount64() - lastTaken > kCableStallMs) {
                lost = true;
                break;
            } else {
                wakeEvent.wait(kIdleWaitMs);
            }
        }
        connected.store(false);
        queue.close();
        if (lost) waitBeforeRetry();
    }
    connected.store(false);
}

// --- Live monitor ---

namespace {

// waveOut on the default output device, 16-bit mono at 48 kHz.
class WaveOutMonitorDevice : public MonitorDevice {
public:
    bool open() override {
        nameCurrentThread(kMonitorThreadName);
        return queue.allocated() && queue.open(WAVE_MAPPER, pcm16Format(1), false);
    }

    void play(MonitorOutput& monitor) override {
        while (monitor.running.load()) {
            bool wrote = false;
            for (std::size_t i = 0; i < queue.count; ++i) {
                if (!queue.idle(i)) continue;
                if (!monitor.fillBuffer(queue.buffer(i), monitor.volume.load())) break;  // wait for a full 10 ms
                if (queue.write(i)) wrote = true;
            }
            if (!wrote) Sleep(kIdleWaitMs);
        }
        queue.close();
    }

private:
    WaveOutQueue queue{kMonitorBufferCount, kOutputBufferFrames};
};

}  // namespace

std::unique_ptr<MonitorDevice> makeDefaultMonitorDevice() {
    return std::unique_ptr<MonitorDevice>(new (std::nothrow) WaveOutMonitorDevice());
}

}  // namespace zalo

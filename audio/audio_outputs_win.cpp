// The output threads. Each moves samples from its ring to its device through
// its feed (output_feed.h: drift trim, cap, padding), on one of two paths:
//   - a WASAPI render stream (the LowLatency setting, the default): event
//     driven, and woken by the producer too, so that a captured block goes to
//     the device at once instead of waiting for the device's next period;
//   - waveOut in 10 ms buffers, polling the headers' WHDR_INQUEUE flag
//     (CALLBACK_NULL), as before there was a stream path; it also takes over
//     by itself when a stream cannot be opened on the device.
#include "audio/audio_outputs.h"

#include <windows.h>
#include <mmsystem.h>
#include <audioclient.h>

#include <memory>
#include <new>
#include <system_error>

#include "audio/audio_thread_win.h"
#include "audio/render_stream_win.h"
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
// A stream signals every period (10 ms or less); one that has not signalled
// for this long has gone away.
constexpr DWORD kStreamStallMs = 500;

// Feeds an open stream until `running` clears (true) or the device is gone
// (false). Wakes on the device's period and, when `wake` is given, on the
// producer's writes. The device clock starts only once the first samples are
// in its buffer behind the start margin (output_feed.h): a stream started
// empty, or with a packet alone, runs dry at once, and a sound server that
// pads a dry stream with silence (Wine's does) keeps that silence as delay
// for good.
bool playStream(WasapiRenderStream& stream, OutputFeed& feed, const std::atomic<bool>& running, void* wake,
                const std::atomic<float>* volume = nullptr) {
    const HANDLE events[2] = {static_cast<HANDLE>(stream.event()), static_cast<HANDLE>(wake)};
    const DWORD count = wake != nullptr ? 2 : 1;
    static const float kSilence[kFeedMaxFrames] = {};
    const std::size_t margin = streamStartMarginFrames(stream);
    if (!stream.write(kSilence, margin)) return false;
    bool started = false;
    ULONGLONG lastTick = GetTickCount64();
    while (running.load()) {
        const DWORD woke = WaitForMultipleObjects(count, events, FALSE, kIdleWaitMs * 25);
        const bool tick = woke == WAIT_OBJECT_0;
        const ULONGLONG now = GetTickCount64();
        if (tick || !started) {
            lastTick = now;
        } else if (now - lastTick > kStreamStallMs) {
            return false;
        }
        if (!refillStream(feed, stream, tick, volume != nullptr ? volume->load() : 1.0f)) return false;
        std::size_t queued = 0;
        if (!started && stream.queuedFrames(queued) && queued > margin) {
            if (!stream.start()) return false;
            started = true;
        }
    }
    return true;
}

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
        framesWritten = 0;
        steps.reset();
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
        if (waveOutWrite(handle, &headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
        framesWritten += kOutputBufferFrames;
        return true;
    }

    // Frames written and not yet played: the device's sample position
    // against what was written since open. Unreadable, the queued buffers
    // stand in, counted whole.
    double unplayedFrames() const {
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        if (waveOutGetPosition(handle, &time, sizeof(time)) == MMSYSERR_NOERROR && time.wType == TIME_SAMPLES) {
            const double played = static_cast<double>(time.u.sample);
            steps.read(played, static_cast<double>(GetTickCount64()) / 1000.0);
            return played >= static_cast<double>(framesWritten) ? 0.0 : static_cast<double>(framesWritten) - played;
        }
        double queued = 0.0;
        for (std::size_t i = 0; i < count; ++i) queued += idle(i) ? 0.0 : static_cast<double>(kOutputBufferFrames);
        return queued;
    }

    const std::size_t count;

private:
    const std::size_t samplesPer;
    std::unique_ptr<WAVEHDR[]> headers;
    std::unique_ptr<std::int16_t[]> samples;
    HWAVEOUT handle = nullptr;
    std::uint64_t framesWritten = 0;  // since open; every buffer is 480 frames
    mutable ClockSteps steps;         // how coarsely the position moves

public:
    double clockResolutionFrames() const { return steps.resolutionFrames(); }
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
    const AudioThreadScope audioThread;
    WaveOutQueue queue(kCableBufferCount, 2 * kOutputBufferFrames);
    if (!queue.allocated()) return;
    const WAVEFORMATEX format = pcm16Format(2);
    float block[kOutputBufferFrames];

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
        if (preferStream.load() && !refuseStream.load()) {
            WasapiRenderStream stream;
            if (stream.open(RenderTarget::Cable)) {
                feed.reset();
                path.store(OutputPath::Stream);
                connected.store(true);
                const bool lost = !playStream(stream, feed, running, wakeEvent.nativeHandle());
                connected.store(false);
                path.store(OutputPath::None);
                stream.close();
                if (lost) waitBeforeRetry();
                continue;
            }
        }

        unsigned index = 0;
        if (!findCableDevice(index) || !queue.open(index, format, true)) {
            connected.store(false);
            waitBeforeRetry();
            continue;
        }
        feed.reset();
        path.store(OutputPath::WaveOut);
        connected.store(true);

        ULONGLONG lastTaken = GetTickCount64();
        bool lost = false;
        bool priming = true;  // the first pass fills every buffer
        while (running.load()) {
            bool wrote = false;
            std::size_t queued = 0;
            for (std::size_t i = 0; i < queue.count; ++i) queued += queue.idle(i) ? 0 : 1;
            feed.observe(queue.unplayedFrames(), kCableWaveOutFloorFrames, queue.clockResolutionFrames());
            for (std::size_t i = 0; i < queue.count; ++i) {
                if (!queue.idle(i)) continue;
                if (!priming && !bufferShouldFill(feed, queued)) break;
                fillBuffer(feed, block);
                std::int16_t* stereo = queue.buffer(i);
                for (std::size_t k = 0; k < kOutputBufferFrames; ++k) stereo[2 * k] = stereo[2 * k + 1] = toPcm16(block[k]);
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
        path.store(OutputPath::None);
        queue.close();
        if (lost) waitBeforeRetry();
    }
    connected.store(false);
}

// --- Live monitor ---

namespace {

// The default output device: a WASAPI render stream while the monitor
// prefers one and it opens, else waveOut, 16-bit mono at 48 kHz. Lives on the
// monitor thread, from open() to the end of play().
class SystemMonitorDevice : public MonitorDevice {
public:
    explicit SystemMonitorDevice(bool tryStream) : tryStream(tryStream) {}

    bool open() override {
        nameCurrentThread(kMonitorThreadName);
        audioThread.reset(new (std::nothrow) AudioThreadScope());
        if (tryStream && stream.open(RenderTarget::DefaultDevice)) {
            usingStream = true;
            return true;
        }
        return queue.allocated() && queue.open(WAVE_MAPPER, pcm16Format(1), false);
    }

    void play(MonitorOutput& monitor) override {
        monitor.path.store(usingStream ? OutputPath::Stream : OutputPath::WaveOut);
        if (usingStream) {
            // The monitor's volume scales what the feed makes; a lost device
            // ends the monitor as a failed open does.
            if (!playStream(stream, monitor.feed, monitor.running, monitor.wakeEvent.nativeHandle(),
                                               &monitor.volume)) {
                monitor.running.store(false);
            }
            stream.close();
        } else {
            playWaveOut(monitor);
        }
        monitor.path.store(OutputPath::None);
    }

private:
    void playWaveOut(MonitorOutput& monitor) {
        float block[kOutputBufferFrames];
        while (monitor.running.load()) {
            bool wrote = false;
            std::size_t queued = 0;
            for (std::size_t i = 0; i < queue.count; ++i) queued += queue.idle(i) ? 0 : 1;
            monitor.feed.observe(queue.unplayedFrames(), kMonitorWaveOutFloorFrames, queue.clockResolutionFrames());
            for (std::size_t i = 0; i < queue.count; ++i) {
                if (!queue.idle(i)) continue;
                // The monitor never pads: it waits for a full 10 ms.
                if (monitor.feed.ready() < kOutputBufferFrames) break;
                if (queued == 0) monitor.feed.deviceRanDry(0);
                fillBuffer(monitor.feed, block);
                const float gain = monitor.volume.load();
                std::int16_t* mono = queue.buffer(i);
                for (std::size_t k = 0; k < kOutputBufferFrames; ++k) mono[k] = toPcm16(gain * block[k]);
                if (queue.write(i)) {
                    wrote = true;
                    ++queued;
                }
            }
            if (!wrote) Sleep(kIdleWaitMs);
        }
        queue.close();
    }

    const bool tryStream;
    std::unique_ptr<AudioThreadScope> audioThread;
    WasapiRenderStream stream;
    bool usingStream = false;
    WaveOutQueue queue{kMonitorBufferCount, kOutputBufferFrames};
};

}  // namespace

std::unique_ptr<MonitorDevice> makeDefaultMonitorDevice(const MonitorOutput& monitor) {
    const bool tryStream = monitor.preferStream.load() && !monitor.refuseStream.load();
    return std::unique_ptr<MonitorDevice>(new (std::nothrow) SystemMonitorDevice(tryStream));
}

}  // namespace zalo

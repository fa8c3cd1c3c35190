// The engine's two outputs: the virtual cable and the live monitor. Each owns
// a float ring of two seconds at 48 kHz with one producer (the capture thread,
// inside processBlock) and one consumer (the output's own thread, which feeds
// a WASAPI render stream as soon as samples arrive, or waveOut in 10 ms
// buffers). No lock: positions are atomics, and a slot is published by the
// store of the position that covers it.
//
// The ring arithmetic (what the producer keeps or drops), the consumer's
// refill logic with its drift trim (output_feed.h), the 16-bit conversion and
// the monitor's thread are portable and tested natively; the cable's thread
// and the device calls live in audio_outputs_win.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "audio/output_feed.h"
#include "audio/wake_event.h"

namespace zalo {

constexpr std::size_t kOutputRingSamples = 96000;  // 2 s at 48 kHz
constexpr std::size_t kOutputBufferFrames = 480;   // 10 ms per waveOut buffer
constexpr std::size_t kCableBufferCount = 6;       // 60 ms queued at the cable
constexpr std::size_t kMonitorBufferCount = 5;     // 50 ms queued at the monitor
// The cable's backlog is capped at 50 ms; past it the consumer jumps to the
// newest 20 ms, so the cable's latency stays bounded after any stall.
constexpr std::uint64_t kCableBacklogCapSamples = 2400;
constexpr std::uint64_t kCableBacklogKeepSamples = 960;

// The waveOut path pads a buffer with silence only when fewer than this many
// are still queued at the device: capture and playback tick at the same
// 10 ms but not in lockstep, and padding at every such jitter would cut a
// little silence into the voice each time.
constexpr std::size_t kCableMinQueuedBuffers = 2;

// Floors for OutputFeed::observe() on the waveOut paths: the cable pads when
// a buffer comes back and fewer than kCableMinQueuedBuffers would remain
// with less than a buffer ready, i.e. below two buffers in all; the monitor,
// which fills only whole buffers, runs dry below one.
constexpr double kCableWaveOutFloorFrames = static_cast<double>(kCableMinQueuedBuffers * kOutputBufferFrames);
constexpr double kMonitorWaveOutFloorFrames = static_cast<double>(kOutputBufferFrames);

// The device path an output is using, for the status query.
enum class OutputPath : int { None = 0, Stream = 1, WaveOut = 2 };

// One sample to 16-bit PCM: non-finite becomes 0, the value is clamped to
// -1..+1, then lroundf(x * 32767) (half away from zero). So 1.5 -> 32767,
// -1.5 -> -32767 (never -32768), 0.5 -> 16384.
std::int16_t toPcm16(float x);

class CableOutput : public RingReader {
public:
    CableOutput() = default;
    CableOutput(const CableOutput&) = delete;
    CableOutput& operator=(const CableOutput&) = delete;
    ~CableOutput() override;

    // Producer. Appends up to `count` samples; when the ring is full the end of
    // the block is dropped (the oldest samples stay; the consumer's latency
    // cap removes them later). Signals wakeEvent when anything was written.
    // Returns the samples written. The caller checks `running`.
    std::size_t write(const float* samples, std::size_t count);

    // Consumer side of the ring (running totals), used through `feed`.
    std::uint64_t available() const override;
    std::size_t read(float* out, std::size_t count) override;
    std::uint64_t dropOldest(std::uint64_t count) override;

#ifdef _WIN32
    // Starts the output thread, which searches for the cable's device and
    // feeds it: a WASAPI render stream while `preferStream` is set, else (or
    // when the stream cannot be opened there) waveOut. False if the event or
    // the thread cannot be created.
    bool start();
    // Stops and joins the thread, clears `connected`, empties the ring.
    // Harmless when stopped. UI thread only, never while a producer writes.
    void stop();
#endif

    float ring[kOutputRingSamples] = {};
    // Running totals of samples produced / consumed; the slot of a position
    // is position mod 96000. Invariant: 0 <= writePos - readPos <= 96000.
    std::atomic<std::uint64_t> readPos{0};
    std::atomic<std::uint64_t> writePos{0};
    std::atomic<bool> running{false};
    // The cable's device is open and taking buffers.
    std::atomic<bool> connected{false};
    // Low-latency path wanted (the LowLatency setting); read at each device
    // open. Test seam: `refuseStream` makes every stream open fail, as on a
    // device whose engine refuses the format.
    std::atomic<bool> preferStream{true};
    std::atomic<bool> refuseStream{false};
    std::atomic<OutputPath> path{OutputPath::None};
    WakeEvent wakeEvent;
    // The consumer's refill logic: drift trim, cap, padding, counters.
    OutputFeed feed{*this};
    std::thread thread;

private:
#ifdef _WIN32
    void run();
#endif
};

class MonitorOutput;

// The output device behind the monitor thread. The thread itself (start,
// stop, where reading begins) is portable; the device is the platform's part,
// waveOut on the default output device in the Windows build. Tests put a
// device of their own in its place.
class MonitorDevice {
public:
    virtual ~MonitorDevice() = default;
    // Opens the device; false ends the thread and clears the monitor's
    // `running`, so the producer stops writing and a later start tries again.
    virtual bool open() = 0;
    // Feeds the device from monitor.feed while monitor.running is set, then
    // closes it.
    virtual void play(MonitorOutput& monitor) = 0;
};

// The platform's monitor device, created on the monitor thread; null where
// there is none (the native build), which the thread treats as a device that
// failed to open.
std::unique_ptr<MonitorDevice> makeDefaultMonitorDevice(const MonitorOutput& monitor);

// Has the platform build its list of output devices on the calling thread.
// Both outputs call it in start(), before their thread exists, so that the
// list is never built by two output threads at once (see
// audio_outputs_win.cpp). Nothing to do natively.
void loadOutputDeviceList();

class MonitorOutput : public RingReader {
public:
    MonitorOutput() = default;
    MonitorOutput(const MonitorOutput&) = delete;
    MonitorOutput& operator=(const MonitorOutput&) = delete;
    ~MonitorOutput() override;

    // Producer. Appends the whole block, or drops the whole block when it
    // does not fit. Returns whether it was written. The caller checks
    // `running`.
    bool write(const float* samples, std::size_t count);

    // Consumer side of the ring (wrapping positions), used through `feed`.
    std::uint64_t available() const override;
    std::size_t read(float* out, std::size_t count) override;
    std::uint64_t dropOldest(std::uint64_t count) override;

    // UI thread. Starts the monitor thread on `device`; starting a running
    // monitor does nothing. False if the thread cannot be created. Neither
    // start nor stop touches the ring positions: the capture thread may be
    // inside write() across a stop and a start (see run()).
    bool start();
    void stop();

    float ring[kOutputRingSamples] = {};
    // Next slot to read / write, both in 0..95999. One slot always stays
    // free, so the ring holds at most 95999 samples and equal positions mean
    // empty. Only the monitor thread stores readPos, only the producer
    // writePos.
    std::atomic<std::uint64_t> readPos{0};
    std::atomic<std::uint64_t> writePos{0};
    std::atomic<bool> running{false};
    std::atomic<float> volume{0.75f};  // 0..1, written by the UI
    // As the cable's: the LowLatency setting, the test seam, the path in use.
    std::atomic<bool> preferStream{true};
    std::atomic<bool> refuseStream{false};
    std::atomic<OutputPath> path{OutputPath::None};
    // Signalled by the producer after each write, so that a stream path
    // plays the block at once. Created by the first start() and kept until
    // the monitor is destroyed: the producer may signal at any time while
    // `running` is set.
    WakeEvent wakeEvent;
    // The device the thread plays through; null means the platform's own
    // (makeDefaultMonitorDevice). Changed only while the monitor is stopped.
    MonitorDevice* device = nullptr;
    // The consumer's refill logic; the device scales by `volume` itself.
    OutputFeed feed{*this};
    std::thread thread;

private:
    void run();
};

}  // namespace zalo

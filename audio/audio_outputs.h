// The engine's two outputs: the virtual cable and the live monitor. Each owns
// a float ring of two seconds at 48 kHz with one producer (the capture thread,
// inside processBlock) and one consumer (the output's own thread, which feeds
// waveOut in 10 ms buffers). No lock: positions are atomics, and a slot is
// published by the store of the position that covers it.
//
// The ring arithmetic (what the producer keeps or drops, what the consumer
// plays, the 16-bit conversion) and the monitor's thread are portable and
// tested natively; the cable's thread and the waveOut calls live in
// audio_outputs_win.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

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

// Buffers the cable keeps queued at the device before it pads with silence.
constexpr std::size_t kCableMinQueuedBuffers = 2;

// Whether the cable thread fills a returned buffer now, with `available`
// samples waiting in the ring and `queued` buffers still playing. A full
// 10 ms is always played at once. Less than that waits for the next captured
// block while the device still has 20 ms or more to play: capture and
// playback tick at the same 10 ms but not in lockstep, and padding at every
// such jitter would cut a little silence into the voice each time. Only when
// the device is about to run dry is the buffer padded (capture has stalled),
// which keeps the cable fed without a gap. On a new device every buffer is
// filled at once, so playback starts on a full queue.
bool cableShouldFill(std::uint64_t available, std::size_t queued);

// One sample to 16-bit PCM: non-finite becomes 0, the value is clamped to
// -1..+1, then lroundf(x * 32767) (half away from zero). So 1.5 -> 32767,
// -1.5 -> -32767 (never -32768), 0.5 -> 16384.
std::int16_t toPcm16(float x);

class CableOutput {
public:
    CableOutput() = default;
    CableOutput(const CableOutput&) = delete;
    CableOutput& operator=(const CableOutput&) = delete;
    ~CableOutput();

    // Producer. Appends up to `count` samples; when the ring is full the end of
    // the block is dropped (the oldest samples stay; the consumer's latency
    // cap removes them later). Signals wakeEvent when anything was written.
    // Returns the samples written. The caller checks `running`.
    std::size_t write(const float* samples, std::size_t count);

    // Consumer. Applies the latency cap, then takes up to 480 samples into
    // `out` and returns how many it took (the rest of a buffer is silence).
    // `skipped`, if given, receives the samples the cap jumped over.
    std::size_t take(float* out, std::uint64_t* skipped = nullptr);

    // Consumer. One 10 ms buffer of 16-bit stereo (960 values): take(), both
    // channels equal, padded with silence on an under-run. Returns the
    // samples taken from the ring.
    std::size_t fillBuffer(std::int16_t* stereo);

#ifdef _WIN32
    // Starts the output thread, which searches for the cable's waveOut device
    // and feeds it. False if the event or the thread cannot be created.
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
    WakeEvent wakeEvent;
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
    // Feeds the device from monitor.fillBuffer() while monitor.running is
    // set, then closes it.
    virtual void play(MonitorOutput& monitor) = 0;
};

// The platform's monitor device, created on the monitor thread; null where
// there is none (the native build), which the thread treats as a device that
// failed to open.
std::unique_ptr<MonitorDevice> makeDefaultMonitorDevice();

// Has the platform build its list of output devices on the calling thread.
// Both outputs call it in start(), before their thread exists, so that the
// list is never built by two output threads at once (see
// audio_outputs_win.cpp). Nothing to do natively.
void loadOutputDeviceList();

class MonitorOutput {
public:
    MonitorOutput() = default;
    MonitorOutput(const MonitorOutput&) = delete;
    MonitorOutput& operator=(const MonitorOutput&) = delete;
    ~MonitorOutput();

    // Producer. Appends the whole block, or drops the whole block when it
    // does not fit. Returns whether it was written. The caller checks
    // `running`.
    bool write(const float* samples, std::size_t count);

    // Consumer. Takes exactly 480 samples into `out` when at least that many
    // wait; else takes nothing and returns false (the monitor never pads).
    bool take(float* out);

    // Consumer. One 10 ms buffer of 16-bit mono scaled by `gain`; false (and
    // `mono` untouched) when fewer than 480 samples wait.
    bool fillBuffer(std::int16_t* mono, float gain);

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
    // The device the thread plays through; null means the platform's own
    // (makeDefaultMonitorDevice). Changed only while the monitor is stopped.
    MonitorDevice* device = nullptr;
    std::thread thread;

private:
    void run();
};

}  // namespace zalo

#include "audio/audio_outputs.h"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace zalo {

std::int16_t toPcm16(float x) {
    if (!std::isfinite(x)) return 0;
    x = std::min(1.0f, std::max(-1.0f, x));
    return static_cast<std::int16_t>(std::lroundf(x * 32767.0f));
}

// The cable's thread exists only in the Windows build; there its destructor
// stops it (audio_outputs_win.cpp).
#ifndef _WIN32
CableOutput::~CableOutput() = default;
// No output device natively: the monitor thread ends as if it failed to open.
std::unique_ptr<MonitorDevice> makeDefaultMonitorDevice() { return nullptr; }
void loadOutputDeviceList() {}
#endif

bool cableShouldFill(std::uint64_t available, std::size_t queued) {
    return available >= kOutputBufferFrames || queued < kCableMinQueuedBuffers;
}

std::size_t CableOutput::write(const float* samples, std::size_t count) {
    if (samples == nullptr || count == 0) return 0;
    const std::uint64_t w = writePos.load(std::memory_order_relaxed);  // ours
    // A stale readPos is older, so the free space is underestimated, never
    // overestimated: the consumer only moves readPos forward.
    const std::uint64_t r = readPos.load(std::memory_order_acquire);
    const std::uint64_t used = std::min<std::uint64_t>(w - r, kOutputRingSamples);
    const std::size_t k = static_cast<std::size_t>(
        std::min<std::uint64_t>(kOutputRingSamples - used, count));
    const std::size_t start = static_cast<std::size_t>(w % kOutputRingSamples);
    const std::size_t first = std::min(k, kOutputRingSamples - start);
    std::copy(samples, samples + first, ring + start);
    std::copy(samples + first, samples + k, ring);
    writePos.store(w + k, std::memory_order_release);
    if (k > 0) wakeEvent.signal();
    return k;
}

std::size_t CableOutput::take(float* out, std::uint64_t* skipped) {
    std::uint64_t r = readPos.load(std::memory_order_relaxed);  // ours
    const std::uint64_t w = writePos.load(std::memory_order_acquire);
    std::uint64_t jumped = 0;
    if (w - r > kCableBacklogCapSamples) {
        const std::uint64_t newest = w <= kCableBacklogKeepSamples ? 0 : w - kCableBacklogKeepSamples;
        jumped = newest - r;
        r = newest;
        readPos.store(r, std::memory_order_release);
    }
    if (skipped != nullptr) *skipped = jumped;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(w - r, kOutputBufferFrames));
    for (std::size_t k = 0; k < n; ++k) out[k] = ring[(r + k) % kOutputRingSamples];
    readPos.store(r + n, std::memory_order_release);
    return n;
}

std::size_t CableOutput::fillBuffer(std::int16_t* stereo) {
    float block[kOutputBufferFrames];
    const std::size_t n = take(block);
    for (std::size_t k = 0; k < kOutputBufferFrames; ++k) {
        const std::int16_t s = k < n ? toPcm16(block[k]) : std::int16_t{0};
        stereo[2 * k] = s;
        stereo[2 * k + 1] = s;
    }
    return n;
}

bool MonitorOutput::write(const float* samples, std::size_t count) {
    if (samples == nullptr || count == 0) return false;
    // Positions are read modulo the ring so that a stray value can never
    // index outside it.
    std::uint64_t w = writePos.load(std::memory_order_relaxed) % kOutputRingSamples;  // ours
    const std::uint64_t r = readPos.load(std::memory_order_acquire) % kOutputRingSamples;
    const std::uint64_t used = (w + kOutputRingSamples - r) % kOutputRingSamples;
    const std::uint64_t free = kOutputRingSamples - 1 - used;
    if (count > free) return false;
    for (std::size_t i = 0; i < count; ++i) {
        ring[w] = samples[i];
        w = (w + 1) % kOutputRingSamples;
    }
    writePos.store(w, std::memory_order_release);
    return true;
}

bool MonitorOutput::take(float* out) {
    std::uint64_t r = readPos.load(std::memory_order_relaxed) % kOutputRingSamples;  // ours
    const std::uint64_t w = writePos.load(std::memory_order_acquire) % kOutputRingSamples;
    const std::uint64_t available = (w + kOutputRingSamples - r) % kOutputRingSamples;
    if (available < kOutputBufferFrames) return false;
    for (std::size_t k = 0; k < kOutputBufferFrames; ++k) {
        out[k] = ring[r];
        r = (r + 1) % kOutputRingSamples;
    }
    readPos.store(r, std::memory_order_release);
    return true;
}

MonitorOutput::~MonitorOutput() { stop(); }

bool MonitorOutput::start() {
    if (running.load()) return true;
    // A thread that ended by itself (its device failed to open) is joined
    // before the next one starts.
    if (thread.joinable()) thread.join();
    loadOutputDeviceList();
    running.store(true);
    try {
        thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        running.store(false);
        return false;
    }
    return true;
}

void MonitorOutput::stop() {
    running.store(false);
    if (thread.joinable()) thread.join();
}

void MonitorOutput::run() {
    std::unique_ptr<MonitorDevice> own;
    MonitorDevice* out = device;
    if (out == nullptr) {
        own = makeDefaultMonitorDevice();
        out = own.get();
    }
    if (out == nullptr || !out->open()) {
        running.store(false);
        return;
    }
    // Only this thread stores readPos and only the producer writePos; nobody
    // resets them. Playing begins at what has been produced by now, with the
    // device open: anything older (voice from before this start, or what
    // came while the device opened) would stay as delay for good, since the
    // monitor has no backlog cap. The producer's writePos is always current,
    // so at most the block it is writing right now arrives on top.
    readPos.store(writePos.load(std::memory_order_acquire), std::memory_order_release);
    out->play(*this);
}

bool MonitorOutput::fillBuffer(std::int16_t* mono, float gain) {
    float block[kOutputBufferFrames];
    if (!take(block)) return false;
    for (std::size_t k = 0; k < kOutputBufferFrames; ++k) mono[k] = toPcm16(gain * block[k]);
    return true;
}

}  // namespace zalo

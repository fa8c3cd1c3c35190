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
std::unique_ptr<MonitorDevice> makeDefaultMonitorDevice(const MonitorOutput&) { return nullptr; }
void loadOutputDeviceList() {}
#endif

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

std::uint64_t CableOutput::available() const {
    return writePos.load(std::memory_order_acquire) - readPos.load(std::memory_order_relaxed);
}

std::size_t CableOutput::read(float* out, std::size_t count) {
    const std::uint64_t r = readPos.load(std::memory_order_relaxed);  // ours
    const std::uint64_t w = writePos.load(std::memory_order_acquire);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(w - r, count));
    const std::size_t start = static_cast<std::size_t>(r % kOutputRingSamples);
    const std::size_t first = std::min(n, kOutputRingSamples - start);
    std::copy(ring + start, ring + start + first, out);
    std::copy(ring, ring + (n - first), out + first);
    readPos.store(r + n, std::memory_order_release);
    return n;
}

std::uint64_t CableOutput::dropOldest(std::uint64_t count) {
    const std::uint64_t r = readPos.load(std::memory_order_relaxed);
    const std::uint64_t n = std::min(writePos.load(std::memory_order_acquire) - r, count);
    readPos.store(r + n, std::memory_order_release);
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
    wakeEvent.signal();
    return true;
}

std::uint64_t MonitorOutput::available() const {
    const std::uint64_t r = readPos.load(std::memory_order_relaxed) % kOutputRingSamples;  // ours
    const std::uint64_t w = writePos.load(std::memory_order_acquire) % kOutputRingSamples;
    return (w + kOutputRingSamples - r) % kOutputRingSamples;
}

std::size_t MonitorOutput::read(float* out, std::size_t count) {
    std::uint64_t r = readPos.load(std::memory_order_relaxed) % kOutputRingSamples;  // ours
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(available(), count));
    for (std::size_t k = 0; k < n; ++k) {
        out[k] = ring[r];
        r = (r + 1) % kOutputRingSamples;
    }
    readPos.store(r, std::memory_order_release);
    return n;
}

std::uint64_t MonitorOutput::dropOldest(std::uint64_t count) {
    const std::uint64_t n = std::min(available(), count);
    const std::uint64_t r = readPos.load(std::memory_order_relaxed) % kOutputRingSamples;
    readPos.store((r + n) % kOutputRingSamples, std::memory_order_release);
    return n;
}

MonitorOutput::~MonitorOutput() { stop(); }

bool MonitorOutput::start() {
    if (running.load()) return true;
    // A thread that ended by itself (its device failed to open) is joined
    // before the next one starts.
    if (thread.joinable()) thread.join();
    loadOutputDeviceList();
    if (!wakeEvent.valid() && !wakeEvent.create()) return false;
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
        own = makeDefaultMonitorDevice(*this);
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
    feed.reset();
    out->play(*this);
}

}  // namespace zalo

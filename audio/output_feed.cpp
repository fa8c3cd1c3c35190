#include "audio/output_feed.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_outputs.h"

namespace zalo {

void OutputStats::clear() {
    skips.store(0);
    pads.store(0);
    droppedSamples.store(0);
    paddedSamples.store(0);
    alignments.store(0);
    trimPpm.store(0.0);
    slackSamples.store(0.0);
}

void OutputFeed::reset() {
    resampler.reset();
    control.reset();
    stats.clear();
    insertPending = dropPending = 0;
    consumed = offset = 0.0;
    started = false;
    availableAfterPass = 0;
    fresh = true;
    streamQueuedAfterRefill = 0;
}

double OutputFeed::queuedSamples() const {
    return static_cast<double>(ring.available()) + resampler.pendingSamples() + static_cast<double>(insertPending) -
           static_cast<double>(std::min(dropPending, ring.available()));
}

std::size_t OutputFeed::ready() const {
    const std::uint64_t waiting = ring.available();
    const std::uint64_t usable = (waiting > dropPending ? waiting - dropPending : 0) + insertPending;
    const std::size_t inputs = static_cast<std::size_t>(std::min<std::uint64_t>(usable, kFeedMaxFrames));
    return std::min(resampler.outputFor(inputs, control.step()), kFeedMaxFrames);
}

void OutputFeed::applyCap() {
    // The design's last resort: a backlog past 50 ms (a stalled device or
    // thread) jumps to the newest 20 ms, so the delay stays bounded.
    const std::uint64_t waiting = ring.available();
    if (waiting <= kCableBacklogCapSamples) return;
    const std::uint64_t gone = ring.dropOldest(waiting - kCableBacklogKeepSamples);
    offset += static_cast<double>(gone);
    stats.skips.fetch_add(1, std::memory_order_relaxed);
    stats.droppedSamples.fetch_add(gone, std::memory_order_relaxed);
}

void ClockSteps::read(double positionFrames, double nowSeconds) {
    if (!any) {
        any = true;
        lastPosition = positionFrames;
        lastChange = nowSeconds;
        return;
    }
    if (positionFrames != lastPosition) {
        largestAdvance = std::max(largestAdvance, positionFrames - lastPosition);
        lastPosition = positionFrames;
        lastChange = nowSeconds;
    } else if (nowSeconds - lastChange >= kStillSeconds) {
        coarse = true;
    }
}

void OutputFeed::observe(double deviceUnplayedFrames, double floorFrames, double clockResolutionFrames) {
    const std::uint64_t waiting = ring.available();
    const std::uint64_t arrived = waiting > availableAfterPass ? waiting - availableAfterPass : 0;
    availableAfterPass = waiting;
    if (arrived == 0) return;
    started = true;
    // The arrival that starts the stream, or restarts it after an under-run,
    // finds the device empty by definition: how late it came says nothing
    // about the queue the loop keeps, and as the learning windows' lowest it
    // would set the alignment by a transient.
    if (fresh) {
        fresh = false;
        return;
    }
    const double slackSamples =
        deviceUnplayedFrames + queuedSamples() - static_cast<double>(arrived) - floorFrames;
    stats.slackSamples.store(slackSamples, std::memory_order_relaxed);
    if (holdDrift.load(std::memory_order_relaxed)) return;
    control.observe(slackSamples, static_cast<std::size_t>(arrived), clockResolutionFrames);
    stats.trimPpm.store(control.trimPpm(), std::memory_order_relaxed);
    const std::int64_t align = control.takeAlignment();
    if (align > 0) dropPending += static_cast<std::uint64_t>(align);
    if (align < 0) insertPending += static_cast<std::uint64_t>(-align);
    if (align != 0) stats.alignments.fetch_add(1, std::memory_order_relaxed);
}

std::size_t OutputFeed::produce(float* out, std::size_t frames, bool countShortfall) {
    frames = std::min(frames, kFeedMaxFrames);
    if (dropPending > 0) {
        const std::uint64_t gone = ring.dropOldest(dropPending);
        dropPending -= gone;
        offset += static_cast<double>(gone);
    }
    applyCap();
    const double step = control.step();
    // Inputs: the alignment's silence first, then the ring. The producer
    // only ever adds, so what is available now can be read in full.
    const std::uint64_t available = insertPending + ring.available();
    std::size_t make = frames;
    std::size_t need = resampler.inputFor(make, step);
    if (need > available) {
        // The ring runs short: make what it allows, silence for the rest.
        make = resampler.outputFor(static_cast<std::size_t>(available), step);
        need = resampler.inputFor(make, step);
    }
    const std::size_t zeros = static_cast<std::size_t>(std::min<std::uint64_t>(insertPending, need));
    std::fill(input, input + zeros, 0.0f);
    ring.read(input + zeros, need - zeros);
    insertPending -= zeros;
    offset -= static_cast<double>(zeros);
    resampler.process(input, out, make, step);
    consumed += static_cast<double>(need);
    availableAfterPass = ring.available();
    if (make > 0) started = true;
    if (make < frames) {
        std::fill(out + make, out + frames, 0.0f);
        if (countShortfall && started) {
            stats.pads.fetch_add(1, std::memory_order_relaxed);
            stats.paddedSamples.fetch_add(frames - make, std::memory_order_relaxed);
            control.restart();
            fresh = true;
        }
    }
    return make;
}

void OutputFeed::deviceRanDry(std::size_t frames) {
    if (!started) return;
    stats.pads.fetch_add(1, std::memory_order_relaxed);
    stats.paddedSamples.fetch_add(frames, std::memory_order_relaxed);
    control.restart();
    fresh = true;
}

bool refillStream(OutputFeed& feed, RenderStream& stream, bool deviceTick, float gain) {
    std::size_t queued = 0;
    if (!stream.queuedFrames(queued)) return false;
    const std::size_t period = stream.periodFrames();
    if (deviceTick && queued == 0 && feed.streamQueuedAfterRefill < period)
        feed.deviceRanDry(period - feed.streamQueuedAfterRefill);
    feed.observe(stream.unplayedFrames(), streamFloorFrames(stream), stream.clockResolutionFrames());
    const std::size_t room = stream.bufferFrames() > queued ? stream.bufferFrames() - queued : 0;
    const std::size_t n = std::min(feed.ready(), room);
    feed.streamQueuedAfterRefill = queued;
    if (n == 0) return true;
    float out[kFeedMaxFrames];
    feed.produce(out, n, false);
    if (gain != 1.0f) {
        for (std::size_t k = 0; k < n; ++k) out[k] *= gain;
    }
    if (!stream.write(out, n)) return false;
    feed.streamQueuedAfterRefill = queued + n;
    return true;
}

bool bufferShouldFill(const OutputFeed& feed, std::size_t queued) {
    return feed.ready() >= kOutputBufferFrames || queued < kCableMinQueuedBuffers;
}

void fillBuffer(OutputFeed& feed, float* out) { feed.produce(out, kOutputBufferFrames); }

double streamFloorFrames(const RenderStream& stream) {
    return static_cast<double>(stream.periodFrames()) + stream.clockResolutionFrames();
}

std::size_t streamStartMarginFrames(const RenderStream& stream) {
    const std::size_t period = stream.periodFrames();
    const std::size_t room = stream.bufferFrames() > period ? stream.bufferFrames() - period : 0;
    return std::min({kStreamStartMarginPeriods * period, room, kFeedMaxFrames});
}

}  // namespace zalo

// RenderStream over a WASAPI shared-mode, event-driven render endpoint: the
// virtual cable or the default playback device. A thin adapter: it opens the
// endpoint, reports its buffer and period, and copies mono samples into it.
// Pacing, refill policy and threads belong to the caller (output_feed.h and
// the output threads).
//
// One thread only: the one that opens the stream uses it and closes it, and
// has already joined the multithreaded COM apartment.
#pragma once

#include <cstddef>

#include "audio/com_ptr_win.h"
#include "audio/output_feed.h"
#include "audio/render_stream.h"

// The COM interfaces are only named here, so that including this header does
// not pull in <windows.h> (as with the event, a HANDLE kept as void*).
struct IAudioClient;
struct IAudioClock;
struct IAudioRenderClient;

namespace zalo {

enum class RenderTarget {
    Cable,          // the first active render endpoint whose name passes isCableOutputName
    DefaultDevice,  // the console default playback endpoint
};

class WasapiRenderStream : public RenderStream {
public:
    // The stream's sample rate; the engine converts when the endpoint's mix
    // rate differs.
    static constexpr unsigned kSampleRateHz = 48000;

    WasapiRenderStream() = default;
    WasapiRenderStream(const WasapiRenderStream&) = delete;
    WasapiRenderStream& operator=(const WasapiRenderStream&) = delete;
    ~WasapiRenderStream() override;

    // Opens the endpoint as a 48 kHz float32 stream with the mix format's
    // channel count and the smallest buffer it allows; nothing is queued and
    // the stream is stopped. Closes any stream opened before. False (and
    // closed) on any failure, including no such endpoint.
    bool open(RenderTarget target);
    // Starts the device clock; false on failure or when not open.
    bool start();
    // Stops and releases everything; harmless when closed.
    void close();
    bool isOpen() const { return client.get() != nullptr; }

    // The auto-reset event the device signals once per period (a HANDLE);
    // null when closed.
    void* event() const { return eventHandle; }

    std::size_t bufferFrames() const override { return bufferFrameCount; }
    std::size_t periodFrames() const override { return periodFrameCount; }
    bool queuedFrames(std::size_t& frames) override;
    // Frames written less the device clock's position (IAudioClock).
    double unplayedFrames() override;
    double clockResolutionFrames() const override { return steps.resolutionFrames(); }
    // Every channel gets the mono value; a non-finite sample becomes 0 and
    // values are clamped to -1..+1. Writing 0 frames does nothing and
    // succeeds. More than bufferFrames() - queuedFrames() fails.
    bool write(const float* mono, std::size_t frames) override;

private:
    ComPtr<IAudioClient> client;
    ComPtr<IAudioRenderClient> render;
    ComPtr<IAudioClock> clock;
    unsigned long long clockHz = 0;        // the clock's units per second
    unsigned long long framesWritten = 0;  // since open
    ClockSteps steps;                      // how coarsely the clock moves
    void* eventHandle = nullptr;  // HANDLE, owned
    unsigned channelCount = 0;
    std::size_t bufferFrameCount = 0;
    std::size_t periodFrameCount = 0;
};

}  // namespace zalo

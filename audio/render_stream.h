// A shared-mode render stream as the low-latency output path sees it: an
// endpoint buffer of bufferFrames() frames, of which queuedFrames() are still
// waiting to be played, that the output thread tops up with mono samples at
// 48 kHz. The Windows build implements it with WASAPI (render_stream_win.cpp);
// the drift simulation (bench/drift_sim.cpp) and the native tests implement
// it with a simulated device on a clock of their own, so the refill logic
// that drives it (output_feed.h) is the same code everywhere.
#pragma once

#include <cstddef>

namespace zalo {

class RenderStream {
public:
    virtual ~RenderStream() = default;
    // Frames the endpoint buffer holds in all; fixed while the stream is open.
    virtual std::size_t bufferFrames() const = 0;
    // Frames the device takes per period (its event cadence).
    virtual std::size_t periodFrames() const = 0;
    // Frames written and not yet played. False: the device is gone.
    virtual bool queuedFrames(std::size_t& frames) = 0;
    // Frames written and not yet heard at this instant: queuedFrames() plus
    // what is left of the period the device is playing. A shared-mode
    // endpoint lowers its padding a whole period at a time, so queuedFrames()
    // alone, read when packets arrive, beats against the packets' phase and
    // hides a drift until a whole packet slips; this figure falls smoothly
    // (WASAPI: frames written less IAudioClock's position).
    virtual double unplayedFrames() = 0;
    // How coarsely unplayedFrames() moves: 0 for a clock that advances
    // smoothly, else the step it moves by (Wine's advances a period at a
    // time). The drift loop widens its band by it, since the phase between
    // such steps and the packets' arrivals wanders by up to a step with no
    // change in the real queue.
    virtual double clockResolutionFrames() const { return 0.0; }
    // Appends `frames` mono samples (every channel gets the same value), at
    // most bufferFrames() - queuedFrames(). False: the device is gone.
    virtual bool write(const float* mono, std::size_t frames) = 0;
};

}  // namespace zalo

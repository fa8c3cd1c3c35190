// The part of an output thread that decides and makes what the device plays,
// the same for both outputs (cable and monitor), both device paths (WASAPI
// render stream or waveOut buffers) and the drift simulation: the ring is
// read through the trim resampler at the drift loop's ratio; the backlog cap
// and silence padding remain as the last resorts, counted.
//
// One consumer thread uses a feed; the counters in `stats` may be read from
// any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "audio/drift_control.h"
#include "audio/render_stream.h"
#include "audio/trim_resampler.h"

namespace zalo {

// Tells a device clock that advances in steps from one that advances
// smoothly, from successive readings of its position. A reading that finds
// the position where it was although at least kStillMs passed shows a coarse
// clock; its resolution is then the largest advance seen.
class ClockSteps {
public:
    static constexpr double kStillSeconds = 0.002;
    void reset() { *this = ClockSteps{}; }
    // One reading: the position in frames at `nowSeconds`.
    void read(double positionFrames, double nowSeconds);
    double resolutionFrames() const { return coarse ? largestAdvance : 0.0; }

private:
    bool any = false;
    bool coarse = false;
    double lastPosition = 0.0;
    double lastChange = 0.0;
    double largestAdvance = 0.0;
};

// The consumer's side of an output ring.
class RingReader {
public:
    virtual ~RingReader() = default;
    virtual std::uint64_t available() const = 0;                 // samples waiting
    virtual std::size_t read(float* out, std::size_t count) = 0;  // the oldest, up to count
    virtual std::uint64_t dropOldest(std::uint64_t count) = 0;    // returns how many went
};

// What an output did, for the status query and zalo-devices. Last resorts:
// `skips` (the backlog cap jumped ahead) and `pads` (the device would have run
// dry and got silence); the start-up alignments are counted apart.
struct OutputStats {
    std::atomic<std::uint64_t> skips{0};
    std::atomic<std::uint64_t> pads{0};
    std::atomic<std::uint64_t> droppedSamples{0};
    std::atomic<std::uint64_t> paddedSamples{0};
    std::atomic<std::uint64_t> alignments{0};
    std::atomic<double> trimPpm{0.0};
    std::atomic<double> slackSamples{0.0};  // at the last refill
    void clear();
};

// Largest refill, in output frames (a WASAPI buffer of up to 85 ms at 48 kHz).
constexpr std::size_t kFeedMaxFrames = 4096;

class OutputFeed {
public:
    explicit OutputFeed(RingReader& ring) : ring(ring) {}
    OutputFeed(const OutputFeed&) = delete;
    OutputFeed& operator=(const OutputFeed&) = delete;

    // A new device stream: the resampler's history, the drift loop and the
    // counters start afresh.
    void reset();

    // Output frames that what waits in the ring can make now.
    std::size_t ready() const;
    // Samples waiting for the device: the ring's and the resampler's.
    double queuedSamples() const;

    // The drift loop's measurement, taken at each pass of the output thread
    // before it refills: `deviceUnplayedFrames` written to the device and not
    // yet heard (RenderStream::unplayedFrames), `floorFrames` the least the
    // device path must hold to never run dry. When samples have reached the
    // ring since the last pass, the slack just before they came is
    //   device unplayed + queuedSamples() - arrived - floor
    // (the low point of the queue's sawtooth, wherever the packets fall
    // against the device's periods). Applies the start-up alignment when the
    // loop asks for one.
    // `clockResolutionFrames`: how coarsely the device's position moves
    // (RenderStream::clockResolutionFrames).
    void observe(double deviceUnplayedFrames, double floorFrames, double clockResolutionFrames = 0.0);

    // Makes `frames` (<= kFeedMaxFrames) samples into `out`; what the ring
    // cannot supply is silence, counted as a pad when `countShortfall`.
    // Returns the frames made from the ring.
    std::size_t produce(float* out, std::size_t frames, bool countShortfall = true);

    // Counts an under-run that happened at the device (the feed made nothing
    // for it): the loop measures and aligns again.
    void deviceRanDry(std::size_t frames);

    // The stream position of the next output sample, in ring samples since
    // the ring's start (the resampler's look-ahead subtracted); for the drift
    // simulation's latency figures.
    double streamPosition() const { return consumed - resampler.pendingSamples() + offset; }

    OutputStats stats;
    DriftControl control;
    // Test seam: while set, the slack is measured but the loop is not told,
    // so the trim stays
    // where it is (0 from a reset), as if the clocks agreed. Wine's capture
    // and render timers differ by a few hundred ppm, so an exact-match test
    // there holds the loop; the loop itself is proven in the simulation.
    std::atomic<bool> holdDrift{false};
    // The WASAPI path's endpoint: frames left queued by the last refill. A
    // tick that finds the endpoint empty is an under-run only if fewer than a
    // period were left: with exactly a period queued the device took it all
    // and played no silence (the normal state when each packet is pushed
    // between two ticks).
    std::size_t streamQueuedAfterRefill = 0;

private:
    void applyCap();

    RingReader& ring;
    TrimResampler resampler;
    float input[kFeedMaxFrames + kFeedMaxFrames / 64 + 2 * kTrimTaps] = {};
    // Samples of silence still to insert (start-up alignment), and samples
    // still to drop as they arrive.
    std::uint64_t insertPending = 0;
    std::uint64_t dropPending = 0;
    // The resampler's input consumed since reset(), and how far ring
    // positions run ahead of it (samples dropped less silence inserted).
    double consumed = 0.0;
    double offset = 0.0;
    // Data has arrived since reset(): before that, an empty ring and a dry
    // device are the normal state, not an under-run.
    bool started = false;
    // ring.available() after the last pass: what exceeds it has arrived since.
    std::uint64_t availableAfterPass = 0;
    // The next arrival starts or restarts the stream: it is not measured.
    bool fresh = true;
};

// The WASAPI path's refill, called on the output thread when the device
// signals its period (`deviceTick`) or when the producer has written (push:
// a captured block goes to the device at once rather than waiting for the
// next period). Writes what the ring can make, up to the free part of the
// endpoint buffer, scaled by `gain` (the monitor's volume). False: the device
// is gone.
bool refillStream(OutputFeed& feed, RenderStream& stream, bool deviceTick, float gain = 1.0f);

// The waveOut path: buffers of kOutputBufferFrames, `queued` of them still
// playing. At each pass the thread first calls feed.observe() with the
// frames its buffers still have to play (waveOutGetPosition against what was
// written) and the path's floor, then fills idle buffers in order while
// bufferShouldFill says so: a whole buffer's worth waits, or the device is
// about to run dry (fewer than two queued).
bool bufferShouldFill(const OutputFeed& feed, std::size_t queued);
void fillBuffer(OutputFeed& feed, float* out);

// The stream path's floor for feed.observe(): a period queued at each tick,
// plus one step of the device's clock when it moves in steps. Such a clock
// (Wine's) is not the device's: its padding falls a period per timer tick
// while the sound server plays on its own, and it starts counting only after
// the server has played out a period. The real buffer then holds about a
// step less than the padding says, and kept at one period the server runs
// dry at the first packet that comes a few milliseconds late. A dry server
// stream is padded with silence that the padding never shows and that stays
// as delay. The waveOut paths' floors are in audio_outputs.h.
double streamFloorFrames(const RenderStream& stream);

// Silence queued on a new stream before its first samples, in periods, and
// the device started only once samples follow it. The first packets of a
// capture come unevenly while both ends start; started with one packet, the
// device ran dry at once in most starts under Wine (and stayed a run-out's
// silence later for good). The drift loop brings the queue to its target at
// its start-up alignment, about a second later.
constexpr std::size_t kStreamStartMarginPeriods = 2;
// The silence to queue before starting `stream`: kStreamStartMarginPeriods
// periods, less whatever would leave no room for a period of samples above
// it (a device that cannot take its first samples never starts).
std::size_t streamStartMarginFrames(const RenderStream& stream);

}  // namespace zalo

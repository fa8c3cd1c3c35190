// The slow loop that keeps an output's queue near a small target while the
// microphone's clock and the output device's clock disagree (50 to 300 ppm on
// real PCs; none under Wine, where every sink runs on one clock).
//
// Each time samples reach the ring the output reports its slack: what the
// device path still held just before they came, beyond the least it needs to
// never run dry (a negative slack is an under-run on its way). That is the
// low point of the queue's sawtooth, measured continuously (see
// OutputFeed::observe): a queue read only at the device's period edges
// stays flat while the clocks drift and then jumps by a whole packet when
// the packets' phase slips past a period edge. Over windows of half a second
// of arrivals the loop keeps the lowest slack it saw and the spread between
// lowest and highest, the delivery jitter (packets that arrive several at a
// time or late widen it; even ones barely do). A packet that comes late now
// and then (a busy machine, a sound server that wakes a thread late) makes
// some windows' lowest a whole packet lower than the next one's, so the loop
// follows the lowest of the last kDriftLowWindows windows, and widens its
// band by how far one window's lowest wanders from the last one's (the
// wander: a steady drift moves it by a few samples a window; such late
// packets by a packet). From them:
//
// A window's lowest is its third lowest slack once it holds at least
// kDriftLowSamplesFor arrivals: a single packet delayed by a thread that woke
// late is not the queue's level. And within twice the band the loop moves
// only after the excess has kept its sign for kDriftPersistWindows windows
// in a row: a drift persists, a hiccup does not.
//
//   low      = the least of the last kDriftLowWindows windows' lowest slack
//   target   = kDriftBaseMarginSamples + jitter / 8
//   band     = kDriftBandSamples + jitter / 16 + wander + 2 * clock resolution
//   excess   = low - target, less the band on either side (0 inside)
//   integral += ki * excess              (only outside the band)
//   trim     = clamp(integral + kp * excess, +-kDriftMaxTrimPpm)
//
// Inside the band nothing moves, so with clocks that agree the trim stays
// exactly 0 and the resampler copies the stream bit for bit. A real drift
// walks the slack to the band's edge, where the integral learns it and holds
// it. The first two windows of a stream only measure: then the queue is
// brought to the target once by dropping or inserting whole samples (the
// start-up alignment), so no trim is spent on where the stream happened to
// start. The same happens after an under-run (capture stalled, a device
// hiccup, a drift still being learned): the trim then in force becomes the
// learned drift (integral = trim), since the alignment removes the deficit
// its proportional part was answering. If the loop had not yet aligned since
// the last start or under-run, the trim and the integral go to 0 instead:
// under-runs that come back that soon mean the trim itself drains the queue
// (a clock that changed), and kept, it would hold the queue empty for good.
//
// trim > 0 reads the ring faster than the device plays: the output's
// resampler takes step() input samples per output sample, with
//   step = (1 + trim/2) / (1 - trim/2)
// so that a microphone at +500 ppm feeding a device at -500 ppm needs a trim of
// exactly +1000 ppm, inside the limit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zalo {

constexpr double kDriftWindowSamples = 24000.0;   // 0.5 s of output at 48 kHz
constexpr double kDriftBaseMarginSamples = 96.0;  // 2 ms kept in reserve
constexpr double kDriftBandSamples = 48.0;        // 1 ms either side of the target
constexpr double kDriftMaxTrimPpm = 1000.0;
// Gains per window, for slack in samples and trim in ppm. With 0.5 s windows
// the loop's natural frequency is about 0.15 rad/s, damping 0.9: it settles
// in about 30 s, and a clock step of 1000 ppm moves the slack by at most
// about 2.5 ms on its way.
constexpr double kDriftKpPpmPerSample = 5.6;
constexpr double kDriftKiPpmPerSample = 0.23;
// The trim changes by at most this much from one window to the next.
constexpr double kDriftMaxChangePpm = 100.0;
// A trim and an integral this close to 0 are 0.
constexpr double kDriftZeroPpm = 0.5;
// Measuring windows before the start-up alignment.
constexpr int kDriftLearningWindows = 2;
// Windows whose lowest slack the loop follows (1.5 s).
constexpr int kDriftLowWindows = 3;
// Arrivals a window needs before its third lowest slack stands for it.
constexpr int kDriftLowSamplesFor = 24;
// Windows in a row with an excess of one sign before the loop moves (2 s).
constexpr int kDriftPersistWindows = 4;

class DriftControl {
public:
    // A new stream: forgets everything, the learned drift too.
    void reset();
    // The stream went on after an under-run: measure and align again; the
    // trim in force is kept as the learned drift (dropped if the loop has not
    // aligned since the last restart).
    void restart();

    // One refill of `frames` output samples with `slackSamples` to spare.
    // `clockResolutionFrames`: the step the device's clock moves by (0 when
    // smooth); the band is widened by twice the largest one seen, since the
    // phase between such steps and the arrivals wanders by up to a step and
    // a late packet adds another.
    void observe(double slackSamples, std::size_t frames, double clockResolutionFrames = 0.0);

    // Samples to drop (> 0) or insert as silence (< 0) now, once, for the
    // start-up alignment; 0 otherwise. Taking it clears it.
    std::int64_t takeAlignment();

    double trimPpm() const { return trim; }
    double step() const;  // input samples per output sample
    double targetSamples() const;

private:
    void endWindow();

    double trim = 0.0;
    double integral = 0.0;
    double jitter = 0.0;
    double wander = 0.0;
    double resolution = 0.0;
    // The lowest slack of the last windows since the stream (re)started or
    // was aligned, newest last, and how many of them there are.
    double recentLows[kDriftLowWindows] = {};
    int recentCount = 0;
    // The window being measured.
    double windowFrames = 0.0;
    double lowest = 0.0;   // of this window: the lowest three, ascending
    double lowest2 = 0.0;
    double lowest3 = 0.0;
    int arrivals = 0;
    double highest = 0.0;
    int persisted = 0;     // windows in a row with an excess of one sign (signed)
    bool windowOpen = false;
    std::int64_t windowCount = 0;
    std::int64_t alignment = 0;
};

}  // namespace zalo

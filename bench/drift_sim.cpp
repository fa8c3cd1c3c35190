// The model. Time is physical seconds from the moment the microphone starts;
// nothing runs in real time, the simulation jumps from event to event.
//
// Microphone: nominal rate R, real rate R * (1 + micPpm * 1e-6). Frame m is
// captured at (m + 1) / Rreal (the end of its sampling interval). Packet j
// holds blocks[j % n] frames and is complete when its last frame is
// captured; with a burst of K the packets reach the engine K at a time, when
// the K-th is complete. processBlock runs then, once per packet, with the
// filter off, so the ring receives the microphone's samples converted to
// 48 kHz (a plain copy at 48 kHz). The signal is a deterministic function of
// the frame index (no buffers over hours): speech-like noise (syllables of a
// quarter second, a quarter of them pauses, each a buzz at its own pitch
// mixed with noise under a rise-and-fall envelope, over a -60 dB floor) or a
// sine of amplitude 0.5.
//
// Output device: real rate 48000 * (1 + outPpm * 1e-6). It opens at a seeded
// moment in the first 10 ms (so that its periods do not line up with the
// microphone's packets by accident); no refill happens before.
//   wasapi  a RenderStream of kSimStreamBufferFrames frames with a period of
//           480, ticking from 10 ms after it opens. At each tick the device
//           takes min(480, queued) frames and plays them over the period (a
//           shortfall plays as silence: a device under-run), then the thread
//           runs refillStream(feed, stream, true); unplayedFrames() is the
//           queued frames plus what is left of the period playing. After each
//           processBlock the producer wakes the thread: refillStream(feed,
//           stream, false). Frames queued at index i when the next tick comes
//           at T play at T + i / Dreal.
//   waveout buffers of 480 (6 for the cable, 5 for the monitor) played back
//           to back. At the device's opening, at each buffer's completion and
//           after each processBlock the thread calls feed.observe() with what
//           its buffers still have to play, then fills idle buffers in order
//           while the path's rule says so: bufferShouldFill + fillBuffer for
//           the cable; for the monitor, which never pads, only while
//           feed.ready() >= 480. A buffer starts when the previous one ends,
//           or when it is written if the device has run dry (the gap plays
//           as silence: a device under-run).
//
// Latency of a played sample: its play time less the capture time of what it
// reproduces. The k-th of a refill's samples lies at stream position
// streamPosition() (read after the refill) - (made - k) * step in the 48 kHz
// ring stream; stream sample s is microphone frame s * R / 48000 (the rate
// converter's mapping), captured as above. Padded silence has no latency.
//
// Fill: the queue the loop controls, read at each refill before it acts, in
// ms at 48 kHz: the frames written to the device and not yet heard (for
// wasapi the endpoint's queued frames plus what is left of the period
// playing; for waveout what the queued buffers still have to play) + the
// ring + the resampler's pending input. The loop's slack is this, less what
// just arrived and the path's floor (OutputFeed::observe).
//
// Settling: see DriftSimResult::settleSeconds; the latency of each second of
// playing is kept as its extremes, so the band can be checked against the
// measured median after the run.
#include "bench/drift_sim.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>

#include "audio/audio_engine.h"
#include "audio/output_feed.h"
#include "audio/render_stream.h"

namespace zalo {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEngineRate = static_cast<double>(kEngineSampleRateHz);
constexpr std::size_t kPeriodFrames = kOutputBufferFrames;  // 10 ms of the device's clock
// Wine's shared-mode endpoint buffer at 48 kHz: three periods (30 ms).
constexpr std::size_t kSimStreamBufferFrames = 1440;
constexpr double kSamplesPerMs = kEngineRate / 1000.0;
constexpr double kBinMs = 0.01;
constexpr double kHistogramTopMs = 2500.0;  // past the 2 s ring and the device's queue
constexpr std::size_t kToneWindowSamples = 48000;  // 1 s of output
constexpr double kInfinity = std::numeric_limits<double>::infinity();

std::uint64_t mix64(std::uint64_t x) {
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// 24 hashed bits as a value in [-1, 1).
double symmetric(std::uint64_t h) { return static_cast<double>(h >> 40) * (1.0 / 8388608.0) - 1.0; }

double fraction(double x) { return x - std::floor(x); }

class Signal {
public:
    explicit Signal(const DriftSimConfig& c)
        : rate(c.micRateHz), seed(mix64(c.seed)), syllableFrames(std::max(1u, c.micRateHz / 4)) {
        if (c.toneHz > 0.0) {
            tone = true;
            toneWhole = static_cast<std::uint64_t>(std::floor(c.toneHz));
            tonePart = c.toneHz - static_cast<double>(toneWhole);
            // A whole-hertz tone takes only R phases, (f * m) mod R: a table
            // of them spares a sine per sample over hours.
            if (tonePart == 0.0) {
                phaseTable.resize(rate);
                for (std::uint64_t q = 0; q < rate; ++q)
                    phaseTable[q] = static_cast<float>(0.5 * std::sin(2.0 * kPi * static_cast<double>(q) / rate));
            }
        }
    }

    float at(std::uint64_t m) const {
        if (tone) {
            // Cycles = f * m / R, split so that 4 h at 48 kHz keep their
            // fraction exact: the whole hertz in integers modulo R.
            const std::uint64_t wholePhase = (toneWhole * m) % rate;
            if (!phaseTable.empty()) return phaseTable[wholePhase];
            const double cycles = static_cast<double>(wholePhase) / rate +
                                  fraction(tonePart * static_cast<double>(m) / rate);
            return static_cast<float>(0.5 * std::sin(2.0 * kPi * fraction(cycles)));
        }
        const std::uint64_t syllable = m / syllableFrames;
        const std::uint64_t h = mix64(seed ^ (syllable * 0x2545F4914F6CDD1Dull));
        const double noise = 0.5 * (symmetric(mix64(seed + m)) + symmetric(mix64(seed + m - 1)));
        double x = 1e-3 * symmetric(mix64(~seed + m));  // the room's floor, never digital silence
        if ((h & 3) != 0) {
            const double level = 0.1 + 0.6 * static_cast<double>((h >> 8) & 1023) / 1023.0;
            const double pitchHz = 90.0 + 160.0 * static_cast<double>((h >> 20) & 1023) / 1023.0;
            const double u = (static_cast<double>(m % syllableFrames) + 0.5) / syllableFrames;
            const double buzz = 2.0 * fraction(pitchHz * static_cast<double>(m) / rate) - 1.0;
            x += level * 4.0 * u * (1.0 - u) * (0.6 * buzz + 0.4 * noise);
        }
        return static_cast<float>(x);
    }


private:
    std::uint64_t rate;
    std::uint64_t seed;
    std::uint64_t syllableFrames;
    bool tone = false;
    std::uint64_t toneWhole = 0;
    double tonePart = 0.0;
    std::vector<float> phaseTable;
};

// Counts in 0.01 ms bins for the median; the extremes are kept exactly.
class Histogram {
public:
    explicit Histogram(double topMs) : bins(static_cast<std::size_t>(topMs / kBinMs) + 1, 0) {}

    void add(double v, std::uint64_t n) {
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
        bins[bin(v)] += n;
        count += n;
    }
    // n values spread evenly from v0 to v1.
    void addLine(double v0, double v1, std::uint64_t n) {
        if (n == 0) return;
        if (n == 1 || bin(v0) == bin(v1)) {
            lowest = std::min({lowest, v0, v1});
            highest = std::max({highest, v0, v1});
            bins[bin(v0)] += n;
            count += n;
            return;
        }
        for (std::uint64_t k = 0; k < n; ++k) add(v0 + (v1 - v0) * static_cast<double>(k) / (n - 1), 1);
    }

    SimSpread spread() const {
        SimSpread s;
        if (count == 0) return s;
        s.measured = true;
        s.min = lowest;
        s.max = highest;
        std::uint64_t seen = 0;
        for (std::size_t i = 0; i < bins.size(); ++i) {
            seen += bins[i];
            if (2 * seen >= count) {
                s.median = std::clamp((static_cast<double>(i) + 0.5) * kBinMs, lowest, highest);
                break;
            }
        }
        return s;
    }

private:
    std::size_t bin(double v) const {
        const double i = std::floor(v / kBinMs);
        return i <= 0.0 ? 0 : std::min(static_cast<std::size_t>(i), bins.size() - 1);
    }

    std::vector<std::uint64_t> bins;
    std::uint64_t count = 0;
    double lowest = kInfinity, highest = -kInfinity;
};

// Solves a 3x3 system by elimination with partial pivoting; false if singular.
bool solve3(double a[3][3], double b[3], double x[3]) {
    for (int c = 0; c < 3; ++c) {
        int p = c;
        for (int r = c + 1; r < 3; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        if (a[p][c] == 0.0) return false;
        std::swap(a[p], a[c]);
        std::swap(b[p], b[c]);
        for (int r = c + 1; r < 3; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 3; ++k) a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (int c = 2; c >= 0; --c) {
        double s = b[c];
        for (int k = c + 1; k < 3; ++k) s -= a[c][k] * x[k];
        x[c] = s / a[c][c];
    }
    return true;
}

// Residual of the best sine a*cos(w t) + b*sin(w t) through x (t centred on
// the window), relative to that sine's power, in dB. The frequency starts
// at w0 (radians per sample) and is refined by Gauss-Newton together with
// the amplitude and phase; cos and sin run by a rotating phasor.
double sineFitResidualDb(const std::vector<float>& x, double w0) {
    const std::size_t n = x.size();
    const double centre = 0.5 * static_cast<double>(n - 1);
    double a = 0.0, b = 0.0, w = w0;
    auto pass = [&](auto&& perSample) {
        const double cw = std::cos(w), sw = std::sin(w);
        double co = std::cos(-w * centre), si = std::sin(-w * centre);
        for (std::size_t k = 0; k < n; ++k) {
            perSample(static_cast<double>(k) - centre, co, si, static_cast<double>(x[k]));
            const double next = co * cw - si * sw;
            si = si * cw + co * sw;
            co = next;
        }
    };
    constexpr int kIterations = 3;
    for (int it = 0; it < kIterations; ++it) {
        // J = [cos, sin, d/dw] with d/dw = t (b cos - a sin); the first pass
        // fits amplitude and phase only (a = b = 0 leaves d/dw empty).
        double m[3][3] = {}, g[3] = {};
        pass([&](double t, double co, double si, double v) {
            const double j[3] = {co, si, it == 0 ? 0.0 : t * (b * co - a * si)};
            const double r = v - a * co - b * si;
            for (int p = 0; p < 3; ++p) {
                g[p] += j[p] * r;
                for (int q = 0; q < 3; ++q) m[p][q] += j[p] * j[q];
            }
        });
        if (it == 0) m[2][2] = 1.0;
        double d[3] = {};
        if (!solve3(m, g, d)) break;
        a += d[0];
        b += d[1];
        w += d[2];
    }
    double residual = 0.0;
    pass([&](double, double co, double si, double v) {
        const double r = v - a * co - b * si;
        residual += r * r;
    });
    const double power = 0.5 * (a * a + b * b) * static_cast<double>(n);
    if (power <= 0.0) return 0.0;
    return 10.0 * std::log10(std::max(residual / power, 1e-30));
}

class ToneMeter {
public:
    explicit ToneMeter(double toneHz) : toneHz(toneHz) {
        window.reserve(kToneWindowSamples);
    }

    // Played samples out[0..frames): the first `made` reproduce stream
    // positions first, first + step, ...; the rest is silence.
    void add(const float* out, std::size_t frames, std::size_t made, double first, double step) {
        // The exact tone at those positions by a rotating phasor, started
        // from the exact phase (positions advance evenly within a refill).
        const double w = 2.0 * kPi * toneHz * step / kEngineRate;
        const double cw = std::cos(w), sw = std::sin(w);
        const double phase = 2.0 * kPi * fraction(toneHz * first / kEngineRate);
        double co = std::cos(phase), si = std::sin(phase);
        for (std::size_t k = 0; k < frames; ++k) {
            window.push_back(out[k]);
            stepSum += step;
            if (k >= made) {
                gap = true;
            } else {
                const double e = static_cast<double>(out[k]) - 0.5 * si;
                exactError += e * e;
                const double next = co * cw - si * sw;
                si = si * cw + co * sw;
                co = next;
            }
            if (window.size() == kToneWindowSamples) finishWindow();
        }
    }

    double worstFitDb = -kInfinity;
    double worstExactDb = -kInfinity;
    std::uint64_t windows = 0;

private:
    void finishWindow() {
        // The frequency the output should carry: each output advances the
        // stream by `step`, i.e. f * step / 48000 cycles.
        const double meanStep = stepSum / static_cast<double>(window.size());
        const double w0 = 2.0 * kPi * toneHz * meanStep / kEngineRate;
        const double tonePower = 0.125 * static_cast<double>(window.size());  // amplitude 0.5
        const double fitDb = gap ? 0.0 : sineFitResidualDb(window, w0);
        const double exactDb = gap ? 0.0 : 10.0 * std::log10(std::max(exactError / tonePower, 1e-30));
        worstFitDb = std::max(worstFitDb, fitDb);
        worstExactDb = std::max(worstExactDb, exactDb);
        ++windows;
        window.clear();
        stepSum = exactError = 0.0;
        gap = false;
    }

    double toneHz;
    std::vector<float> window;
    double stepSum = 0.0;
    double exactError = 0.0;
    bool gap = false;
};

class Simulation;

// The endpoint buffer of the wasapi path: a count of queued frames; what is
// written is handed to the simulation to be measured.
class SimRenderStream final : public RenderStream {
public:
    explicit SimRenderStream(Simulation& sim) : sim(sim) {}
    std::size_t bufferFrames() const override { return kSimStreamBufferFrames; }
    std::size_t periodFrames() const override { return kPeriodFrames; }
    bool queuedFrames(std::size_t& frames) override {
        frames = queued;
        return true;
    }
    bool write(const float* mono, std::size_t frames) override;
    double unplayedFrames() override;

    std::size_t queued = 0;
    // The period taken at the last tick, playing since tickTime.
    std::size_t playing = 0;
    double tickTime = 0.0;

private:
    Simulation& sim;
};

class Simulation {
public:
    explicit Simulation(const DriftSimConfig& c);
    DriftSimResult run();
    void onStreamWrite(const float* mono, std::size_t frames);
    double time() const { return now; }
    double deviceRateHz() const { return devRealHz; }

private:
    double deviceEventTime() const;
    void deliver();
    void deviceEvent();
    void producerWake();
    void streamRefill(bool tick);
    void waveOutRefill();
    void record(const float* out, std::size_t frames, std::size_t made, double posBefore, double posAfter,
                double playStart);
    void silence(std::size_t frames);
    void afterRefill();
    double captureTime(double streamPos) const {
        return (streamPos * micPerStream + 1.0) / micRealHz;
    }

    const DriftSimConfig& cfg;
    std::vector<std::size_t> blocks;
    double micRealHz, devRealHz, micPerStream;
    double openTime;
    Signal signal;
    std::unique_ptr<AudioEngine> engine;
    OutputFeed* feed;
    std::vector<float> packet;

    double now = 0.0;
    bool open = false;
    bool streamStarted = false;  // a sample from the ring has reached the device
    double lastDisturbance = 0.0;
    std::uint64_t seenPads = 0, seenSkips = 0, seenAlignments = 0;
    std::uint64_t underrunSamples = 0;
    std::uint64_t outputSamples = 0;

    // Microphone.
    std::uint64_t micFrames = 0;
    std::uint64_t packetIndex = 0;
    double nextDelivery = 0.0;

    // wasapi
    SimRenderStream stream{*this};
    std::uint64_t ticks = 0;
    double nextTick = 0.0;
    double posBeforeRefill = 0.0;

    // waveout
    std::size_t bufferCount;
    std::deque<double> busyEnds;  // end times of the buffers queued at the device
    double lastEnd = 0.0;

    // Figures.
    Histogram fill{kHistogramTopMs}, latency{kHistogramTopMs};
    std::vector<double> secondLow, secondHigh;  // latency extremes (ms) by second of playing
    double trimMin = kInfinity, trimMax = -kInfinity;
    std::unique_ptr<ToneMeter> tone;
    std::uint64_t exactChecked = 0, exactMismatches = 0;
};

bool SimRenderStream::write(const float* mono, std::size_t frames) {
    sim.onStreamWrite(mono, frames);
    queued += frames;
    return true;
}

double SimRenderStream::unplayedFrames() {
    const double left = static_cast<double>(playing) - (sim.time() - tickTime) * sim.deviceRateHz();
    return static_cast<double>(queued) + std::max(0.0, left);
}

Simulation::Simulation(const DriftSimConfig& c)
    : cfg(c),
      blocks(c.blockFrames.empty() ? std::vector<std::size_t>{std::max(1u, c.micRateHz / 100)} : c.blockFrames),
      micRealHz(c.micRateHz * (1.0 + c.micPpm * 1e-6)),
      devRealHz(kEngineRate * (1.0 + c.outPpm * 1e-6)),
      micPerStream(c.micRateHz / kEngineRate),
      openTime(static_cast<double>(mix64(c.seed ^ 0xD1F7) >> 11) / 9007199254740992.0 * kPeriodFrames / kEngineRate),
      signal(c),
      engine(std::make_unique<AudioEngine>()),
      bufferCount(c.output == SimOutput::Cable ? kCableBufferCount : kMonitorBufferCount),
      secondLow(static_cast<std::size_t>(std::ceil(c.seconds)) + 2, kInfinity),
      secondHigh(secondLow.size(), -kInfinity) {
    ProcessingParams bypass;
    bypass.enabled = false;
    engine->setParams(bypass);
    feed = cfg.output == SimOutput::Cable ? &engine->cable.feed : &engine->monitor.feed;
    packet.resize(*std::max_element(blocks.begin(), blocks.end()));
    if (c.toneHz > 0.0) tone = std::make_unique<ToneMeter>(c.toneHz);
}

double Simulation::deviceEventTime() const {
    if (!open) return openTime;
    if (cfg.path == SimPath::Wasapi) return nextTick;
    return busyEnds.empty() ? kInfinity : busyEnds.front();
}

DriftSimResult Simulation::run() {
    (cfg.output == SimOutput::Cable ? engine->cable.running : engine->monitor.running) = true;
    feed->reset();
    std::uint64_t frames = 0;
    for (std::size_t i = 0; i < cfg.burst; ++i) frames += blocks[i % blocks.size()];
    nextDelivery = static_cast<double>(frames) / micRealHz;

    for (;;) {
        const double tDevice = deviceEventTime();
        const double t = std::min(nextDelivery, tDevice);
        if (t > cfg.seconds) break;
        now = t;
        if (nextDelivery <= tDevice) {
            deliver();
        } else {
            deviceEvent();
        }
    }

    DriftSimResult r;
    r.skips = feed->stats.skips;
    r.pads = feed->stats.pads;
    r.droppedSamples = feed->stats.droppedSamples;
    r.paddedSamples = feed->stats.paddedSamples;
    r.alignments = feed->stats.alignments;
    r.deviceUnderrunSamples = underrunSamples;
    r.outputSamples = outputSamples;
    r.fillMs = fill.spread();
    r.latencyMs = latency.spread();
    r.trimFinalPpm = feed->control.trimPpm();
    if (trimMin <= trimMax) {
        r.trimPpm.measured = true;
        r.trimPpm.min = trimMin;
        r.trimPpm.max = trimMax;
    }
    if (tone && tone->windows > 0) {
        r.toneWindows = tone->windows;
        r.toneErrorDb = tone->worstFitDb;
        r.toneExactErrorDb = tone->worstExactDb;
    }
    r.exactChecked = exactChecked;
    r.exactMismatches = exactMismatches;

    // Settled: after the last disturbance, and from the first second after
    // which every later sample's latency fits in one band of twice the
    // tolerance (the steady-state spread allowed).
    double settle = lastDisturbance;
    if (r.latencyMs.measured) {
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        std::size_t from = secondLow.size();
        for (std::size_t s = secondLow.size(); s-- > 0;) {
            if (secondLow[s] > secondHigh[s]) continue;  // nothing played in that second
            lo = std::min(lo, secondLow[s]);
            hi = std::max(hi, secondHigh[s]);
            if (hi - lo > 2.0 * kSimSettleToleranceMs) break;
            from = s;
        }
        settle = std::max(settle, static_cast<double>(from));
    } else {
        settle = cfg.seconds;
    }
    r.settleSeconds = std::min(settle, cfg.seconds);
    return r;
}

void Simulation::deliver() {
    for (std::size_t i = 0; i < cfg.burst; ++i) {
        const std::size_t n = blocks[packetIndex % blocks.size()];
        for (std::size_t k = 0; k < n; ++k) packet[k] = signal.at(micFrames + k);
        engine->processBlock(packet.data(), n, cfg.micRateHz);
        micFrames += n;
        ++packetIndex;
        producerWake();
    }
    std::uint64_t frames = micFrames;
    for (std::size_t i = 0; i < cfg.burst; ++i) frames += blocks[(packetIndex + i) % blocks.size()];
    nextDelivery = static_cast<double>(frames) / micRealHz;
}

void Simulation::producerWake() {
    if (!open) return;
    if (cfg.path == SimPath::Wasapi) {
        streamRefill(false);
    } else {
        waveOutRefill();
    }
}

void Simulation::deviceEvent() {
    if (!open) {
        open = true;
        lastEnd = now;
        nextTick = openTime + kPeriodFrames / devRealHz;
        if (cfg.path == SimPath::WaveOut) waveOutRefill();
        return;
    }
    if (cfg.path == SimPath::Wasapi) {
        const std::size_t take = std::min(kPeriodFrames, stream.queued);
        stream.queued -= take;
        stream.playing = take;
        stream.tickTime = now;
        // Everything queued was taken: the silence plays after it.
        if (streamStarted && take < kPeriodFrames) silence(kPeriodFrames - take);
        ++ticks;
        nextTick = openTime + static_cast<double>(ticks + 1) * kPeriodFrames / devRealHz;
        streamRefill(true);
    } else {
        busyEnds.pop_front();
        waveOutRefill();
    }
}

void Simulation::silence(std::size_t frames) {
    if (frames == 0) return;  // a gap shorter than half a frame is no gap
    underrunSamples += frames;
    lastDisturbance = now;
    if (tone && now >= kSimMeasureFromSeconds) {
        const std::vector<float> quiet(frames, 0.0f);
        tone->add(quiet.data(), frames, 0, 0.0, 1.0);
    }
}

void Simulation::streamRefill(bool tick) {
    if (now >= kSimMeasureFromSeconds) fill.add((stream.unplayedFrames() + feed->queuedSamples()) / kSamplesPerMs, 1);
    posBeforeRefill = feed->streamPosition();
    refillStream(*feed, stream, tick);
    afterRefill();
}

void Simulation::onStreamWrite(const float* mono, std::size_t frames) {
    // refillStream writes only what the ring could make: every frame is real.
    record(mono, frames, frames, posBeforeRefill, feed->streamPosition(),
           nextTick + static_cast<double>(stream.queued) / devRealHz);
}

void Simulation::waveOutRefill() {
    // What the buffers still have to play: they run back to back until lastEnd.
    const double unplayed = std::max(0.0, lastEnd - now) * devRealHz;
    if (now >= kSimMeasureFromSeconds) fill.add((unplayed + feed->queuedSamples()) / kSamplesPerMs, 1);
    feed->observe(unplayed, cfg.output == SimOutput::Cable ? kCableWaveOutFloorFrames : kMonitorWaveOutFloorFrames);
    float out[kOutputBufferFrames];
    while (busyEnds.size() < bufferCount) {
        const bool more = cfg.output == SimOutput::Cable ? bufferShouldFill(*feed, busyEnds.size())
                                                         : feed->ready() >= kOutputBufferFrames;
        if (!more) break;
        const double before = feed->streamPosition();
        const std::uint64_t paddedBefore = feed->stats.paddedSamples;
        fillBuffer(*feed, out);
        const double after = feed->streamPosition();
        // Nothing consumed: silence before the stream began (not counted as
        // a pad); otherwise the buffer is real but for what was padded.
        const std::size_t made =
            after == before ? 0 : kOutputBufferFrames - static_cast<std::size_t>(feed->stats.paddedSamples - paddedBefore);
        if (busyEnds.empty() && now > lastEnd && streamStarted)
            silence(static_cast<std::size_t>(std::llround((now - lastEnd) * devRealHz)));
        const double start = std::max(now, lastEnd);
        record(out, kOutputBufferFrames, made, before, after, start);
        lastEnd = start + kOutputBufferFrames / devRealHz;
        busyEnds.push_back(lastEnd);
    }
    afterRefill();
}

void Simulation::record(const float* out, std::size_t frames, std::size_t made, double posBefore,
                        double posAfter, double playStart) {
    const double step = feed->control.step();
    const double firstPos = posAfter - static_cast<double>(made) * step;
    if (made > 0 && posAfter > 0.0) streamStarted = true;
    outputSamples += made;
    if (made > 0) {
        // Latency is linear across the refill: the positions advance by
        // `step`, the play times by one device frame.
        const double last = static_cast<double>(made - 1);
        const double lat0 = (playStart - captureTime(firstPos)) * 1e3;
        const double lat1 = (playStart + last / devRealHz - captureTime(firstPos + last * step)) * 1e3;
        const std::size_t second = static_cast<std::size_t>(std::max(0.0, playStart));
        if (second < secondLow.size()) {
            secondLow[second] = std::min({secondLow[second], lat0, lat1});
            secondHigh[second] = std::max({secondHigh[second], lat0, lat1});
        }
        if (playStart >= kSimMeasureFromSeconds) latency.addLine(lat0, lat1, made);
    }
    if (playStart < kSimMeasureFromSeconds) return;
    // Bit-exactness: at a ratio of exactly 1 from a whole position, with no
    // jump inside the refill, sample k is microphone frame posBefore + k.
    if (cfg.micRateHz == kEngineSampleRateHz && step == 1.0 && made > 0 && posBefore >= 0.0 &&
        posBefore == std::floor(posBefore) && posAfter - posBefore == static_cast<double>(made)) {
        const std::uint64_t base = static_cast<std::uint64_t>(posBefore);
        for (std::size_t k = 0; k < made; ++k) {
            const float want = signal.at(base + k);
            exactMismatches += std::memcmp(&want, &out[k], sizeof(float)) != 0 ? 1 : 0;
        }
        exactChecked += made;
    }
    if (tone) tone->add(out, frames, made, firstPos, step);
}

void Simulation::afterRefill() {
    const std::uint64_t pads = feed->stats.pads, skips = feed->stats.skips, alignments = feed->stats.alignments;
    if (pads != seenPads || skips != seenSkips || alignments != seenAlignments) lastDisturbance = now;
    seenPads = pads;
    seenSkips = skips;
    seenAlignments = alignments;
    if (now >= kSimMeasureFromSeconds) {
        trimMin = std::min(trimMin, feed->control.trimPpm());
        trimMax = std::max(trimMax, feed->control.trimPpm());
    }
}

}  // namespace

DriftSimResult runDriftSim(const DriftSimConfig& config) {
    auto sim = std::make_unique<Simulation>(config);
    return sim->run();
}

}  // namespace zalo

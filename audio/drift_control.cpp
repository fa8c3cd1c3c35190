#include "audio/drift_control.h"

#include <algorithm>
#include <cmath>

namespace zalo {

void DriftControl::reset() {
    *this = DriftControl{};
}

void DriftControl::restart() {
    // The trim in force when the queue ran dry becomes the learned drift:
    // the alignment that follows removes the deficit its proportional part
    // was answering, and falling back to the integral alone would drain the
    // queue again. Dry again before the loop has aligned since the last
    // time: the trim itself drains the queue, so it goes.
    if (windowCount < kDriftLearningWindows) trim = 0.0;
    integral = trim;
    recentCount = 0;
    persisted = 0;
    windowOpen = false;
    windowFrames = 0.0;
    windowCount = 0;
    alignment = 0;
}

double DriftControl::step() const {
    const double half = trim * 0.5e-6;
    return trim == 0.0 ? 1.0 : (1.0 + half) / (1.0 - half);
}

double DriftControl::targetSamples() const { return kDriftBaseMarginSamples + jitter / 8.0; }

std::int64_t DriftControl::takeAlignment() {
    const std::int64_t a = alignment;
    alignment = 0;
    return a;
}

void DriftControl::observe(double slackSamples, std::size_t frames, double clockResolutionFrames) {
    resolution = std::max(resolution, clockResolutionFrames);
    if (!windowOpen) {
        lowest = lowest2 = lowest3 = highest = slackSamples;
        arrivals = 0;
        windowOpen = true;
    }
    if (arrivals == 0 || slackSamples < lowest) {
        lowest3 = arrivals == 0 ? slackSamples : lowest2;
        lowest2 = arrivals == 0 ? slackSamples : lowest;
        lowest = slackSamples;
    } else if (slackSamples < lowest2) {
        lowest3 = lowest2;
        lowest2 = slackSamples;
    } else if (slackSamples < lowest3) {
        lowest3 = slackSamples;
    }
    ++arrivals;
    highest = std::max(highest, slackSamples);
    windowFrames += static_cast<double>(frames);
    if (windowFrames >= kDriftWindowSamples) endWindow();
}

void DriftControl::endWindow() {
    // The window's level: its third lowest when it has enough arrivals.
    const double level = arrivals >= kDriftLowSamplesFor ? lowest3 : lowest;
    const double spread = highest - level;
    // Jitter: up at once, down slowly (about 20 s), so that one quiet window
    // does not take away the margin a bursty device needs.
    jitter = spread > jitter ? spread : jitter + (spread - jitter) / 40.0;
    ++windowCount;
    const double target = targetSamples();
    double low = level;
    windowFrames = 0.0;
    windowOpen = false;

    if (windowCount < kDriftLearningWindows) {
        // Carry the level into the next learning window.
        lowest = lowest2 = lowest3 = highest = low;
        arrivals = 1;
        windowOpen = true;
        return;
    }
    if (windowCount == kDriftLearningWindows) {
        // A coarse clock reads up to one of its steps behind, so the queue
        // may hold up to that much more than measured: silence is inserted
        // only when even that would leave it short.
        const double band = kDriftBandSamples + jitter / 16.0 + wander + 2.0 * resolution;
        const double offset = low - target;
        if (offset > band || offset + resolution < -band) {
            alignment = static_cast<std::int64_t>(std::llround(offset < 0.0 ? offset + resolution : offset));
        }
        recentCount = 0;  // the alignment moves every later slack
        return;
    }

    // Wander: up at once, down over about 20 s, like the jitter.
    if (recentCount > 0) {
        const double moved = std::fabs(low - recentLows[recentCount - 1]);
        wander = moved > wander ? moved : wander + (moved - wander) / 40.0;
    }
    if (recentCount == kDriftLowWindows) {
        std::copy(recentLows + 1, recentLows + kDriftLowWindows, recentLows);
        --recentCount;
    }
    recentLows[recentCount++] = low;
    low = *std::min_element(recentLows, recentLows + recentCount);
    const double band = kDriftBandSamples + jitter / 16.0 + wander + 2.0 * resolution;

    double excess = low > target + band ? low - target - band : low < target - band ? low - target + band : 0.0;
    const int sign = excess > 0.0 ? 1 : excess < 0.0 ? -1 : 0;
    persisted = sign == 0 ? 0 : (persisted * sign > 0 ? persisted + sign : sign);
    // Far outside the band (beyond twice its width) the loop acts at once: a
    // queue that drains that fast is a drift still being learned, and
    // waiting would run it dry.
    if (persisted * sign < kDriftPersistWindows && std::fabs(excess) <= band) excess = 0.0;
    integral = std::clamp(integral + kDriftKiPpmPerSample * excess, -kDriftMaxTrimPpm, kDriftMaxTrimPpm);
    if (excess == 0.0 && std::fabs(integral) < kDriftZeroPpm) integral = 0.0;
    double wanted = std::clamp(integral + kDriftKpPpmPerSample * excess, -kDriftMaxTrimPpm, kDriftMaxTrimPpm);
    wanted = std::clamp(wanted, trim - kDriftMaxChangePpm, trim + kDriftMaxChangePpm);
    trim = std::fabs(wanted) < kDriftZeroPpm ? 0.0 : wanted;
}

}  // namespace zalo

// zalo_quality: how much noise three denoisers remove and how much speech
// they keep, on one minute of synthetic speech (espeak-ng) in pink, white and
// babble noise at 10 and 5 dB SNR, 48 kHz mono. The inputs are made at build
// time by make_quality_signals.sh.
//
// Denoisers, each fed the same mix in 10 ms blocks:
//   chain             the voice chain as a noise reducer only: strength 65
//                     (see --strength), voice type 0 ("Original"); high-pass,
//                     gate, de-esser, compressor and limiter off; the DC
//                     blocker always runs
//   clean-voice mode  the same with "Limpeza HD" on
//   SpeexDSP          speex_preprocess with denoising on and everything else
//                     at its defaults, on 16-bit samples
//
// Levels. The clean speech is scaled to an active level of -26 dBFS (RMS over
// speech frames, full scale = 1.0; --speech-dbfs overrides it); each noise is
// scaled so that active speech power / mean noise power is the mix's SNR.
//
// Alignment. Every denoiser has its own delay. It is the lag d in 0..2048
// samples that maximises sum(clean[n] * out[n + d]) over a 4 s stretch of
// speech; out[n + d] is then compared with clean[n] and with the mix's
// input[n].
//
// Metrics, on non-overlapping 20 ms frames (960 samples) of the aligned
// signals; the first second is left out (every denoiser is still learning the
// noise there) and so is the tail that the largest lag could not cover:
//   speech frame   clean energy within 40 dB of the loudest clean frame
//   pause frame    clean energy more than 60 dB below it (the synthesised
//                  pauses are exact zeros; frames in between count as neither)
//   segmental SNR  mean over speech frames of
//                  clamp(10 log10(sum clean^2 / sum (out - clean)^2), -10, 35) dB
//   pause          10 log10(sum out^2 / sum input^2) over all pause frames, dB:
//                  how far the noise alone is lowered (more negative = more)
//   speech         10 log10(sum out^2 / sum clean^2) over all speech frames,
//                  dB: 0 keeps the speech's level; the residual noise in
//                  those frames counts too, so at low SNR a denoiser that
//                  removes little looks closer to 0 than it is
// The row "mean pink/white" is the plain mean of the four steady-noise rows'
// dB figures.
//
// Options: --signals=DIR (default: the build tree's), --strength=0..100,
// --speech-dbfs=X. Exit code 0 when every figure was computed.
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dsp/processing_params.h"
#include "dsp/voice_chain.h"
#include "tools/wave_file.h"

#ifndef ZALO_QUALITY_SIGNAL_DIR
#define ZALO_QUALITY_SIGNAL_DIR "quality"
#endif

namespace {

using Signal = std::vector<float>;

constexpr unsigned kRate = 48000;
constexpr std::size_t kSignalSamples = 60 * kRate;
constexpr std::size_t kBlock = 480;           // 10 ms, one capture packet
constexpr std::size_t kMetricFrame = 960;     // 20 ms
constexpr std::size_t kMaxLag = 2048;         // samples
constexpr std::size_t kSkipSamples = kRate;   // the first second
constexpr std::size_t kLagWindow = 4 * kRate;
constexpr double kSpeechBelowPeakDb = 40.0;
constexpr double kPauseBelowPeakDb = 60.0;
constexpr double kSegSnrMinDb = -10.0, kSegSnrMaxDb = 35.0;

static_assert(kSignalSamples % kBlock == 0, "the signals must be whole blocks");

// The metric frames measured: past the skipped second, and before the tail
// that an output delayed by the largest lag no longer covers.
constexpr std::size_t kFirstFrame = kSkipSamples / kMetricFrame;
constexpr std::size_t kEndFrame = (kSignalSamples - kMaxLag) / kMetricFrame;

double toDb(double ratio) { return 10.0 * std::log10(ratio); }

double energy(const float* x, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * x[i];
    return sum;
}

// Frames of the clean speech: +1 speech, -1 pause, 0 neither.
std::vector<int> classifyFrames(const Signal& clean) {
    const std::size_t frames = clean.size() / kMetricFrame;
    std::vector<double> e(frames);
    double loudest = 0.0;
    for (std::size_t f = 0; f < frames; ++f) {
        e[f] = energy(&clean[f * kMetricFrame], kMetricFrame);
        loudest = std::max(loudest, e[f]);
    }
    std::vector<int> kind(frames, 0);
    for (std::size_t f = 0; f < frames; ++f) {
        if (e[f] >= loudest * std::pow(10.0, -kSpeechBelowPeakDb / 10.0)) kind[f] = 1;
        if (e[f] < loudest * std::pow(10.0, -kPauseBelowPeakDb / 10.0)) kind[f] = -1;
    }
    return kind;
}

// Mean power over speech frames (the active level).
double activePower(const Signal& clean, const std::vector<int>& kind) {
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t f = 0; f < kind.size(); ++f) {
        if (kind[f] != 1) continue;
        sum += energy(&clean[f * kMetricFrame], kMetricFrame);
        n += kMetricFrame;
    }
    return n > 0 ? sum / static_cast<double>(n) : 0.0;
}

// ---------------------------------------------------------------------------
// Denoisers.

Signal runChain(const Signal& in, float strength, bool cleanVoice) {
    zalo::ProcessingParams p;
    p.noiseStrength = strength;
    p.highPass = p.gate = p.deEsser = p.compressor = p.limiter = false;
    p.voiceType = 0;
    p.cleanVoice = cleanVoice;
    auto chain = std::make_unique<zalo::VoiceChain>();  // large: keep it off the stack
    chain->sampleRate = zalo::kChainSampleRateHz;
    chain->params = zalo::clampForChain(p);
    Signal out = in;
    for (std::size_t i = 0; i < out.size(); i += kBlock) chain->process(&out[i], kBlock);
    return out;
}

Signal runSpeex(const Signal& in) {
    std::unique_ptr<SpeexPreprocessState, void (*)(SpeexPreprocessState*)> st(
        speex_preprocess_state_init(static_cast<int>(kBlock), static_cast<int>(kRate)),
        speex_preprocess_state_destroy);
    if (!st) return Signal();
    spx_int32_t on = 1;
    speex_preprocess_ctl(st.get(), SPEEX_PREPROCESS_SET_DENOISE, &on);
    Signal out(in.size());
    std::vector<spx_int16_t> frame(kBlock);
    for (std::size_t i = 0; i < in.size(); i += kBlock) {
        for (std::size_t k = 0; k < kBlock; ++k) {
            const float x = std::min(1.0f, std::max(-1.0f, in[i + k]));
            frame[k] = static_cast<spx_int16_t>(std::lrint(x * 32767.0f));
        }
        speex_preprocess_run(st.get(), frame.data());
        for (std::size_t k = 0; k < kBlock; ++k) out[i + k] = frame[k] / 32767.0f;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Measurement.

struct Figures {
    double segSnrDb = 0.0, pauseDb = 0.0, speechDb = 0.0;
    std::size_t lag = 0;
};

// The lag of `out` behind `clean`, searched over the 4 s window starting at
// `from` (chosen where the speech is dense).
std::size_t findLag(const Signal& clean, const Signal& out, std::size_t from) {
    std::size_t best = 0;
    double bestSum = -1e300;
    for (std::size_t d = 0; d <= kMaxLag; ++d) {
        double sum = 0.0;
        for (std::size_t n = from; n < from + kLagWindow; ++n)
            sum += static_cast<double>(clean[n]) * out[n + d];
        if (sum > bestSum) {
            bestSum = sum;
            best = d;
        }
    }
    return best;
}

Figures measure(const Signal& clean, const Signal& in, const Signal& out,
                const std::vector<int>& kind, std::size_t lag) {
    Figures r;
    r.lag = lag;
    double segSum = 0.0, pauseOut = 0.0, pauseIn = 0.0, speechOut = 0.0, speechClean = 0.0;
    std::size_t segFrames = 0;
    for (std::size_t f = kFirstFrame; f < kEndFrame; ++f) {
        if (kind[f] == 0) continue;
        const std::size_t start = f * kMetricFrame;
        const float* o = &out[start + lag];
        if (kind[f] < 0) {
            pauseOut += energy(o, kMetricFrame);
            pauseIn += energy(&in[start], kMetricFrame);
            continue;
        }
        double c = 0.0, e = 0.0, oe = 0.0;
        for (std::size_t i = 0; i < kMetricFrame; ++i) {
            const double s = clean[start + i], y = o[i];
            c += s * s;
            e += (y - s) * (y - s);
            oe += y * y;
        }
        const double snr = e > 0.0 ? toDb(c / e) : kSegSnrMaxDb;
        segSum += std::min(kSegSnrMaxDb, std::max(kSegSnrMinDb, snr));
        ++segFrames;
        speechOut += oe;
        speechClean += c;
    }
    r.segSnrDb = segFrames > 0 ? segSum / static_cast<double>(segFrames) : NAN;
    r.pauseDb = pauseIn > 0.0 ? toDb(pauseOut / pauseIn) : NAN;
    r.speechDb = speechClean > 0.0 ? toDb(speechOut / speechClean) : NAN;
    return r;
}

// Start of the 4 s window (on a 100 ms grid, past the skipped second) that
// holds the most clean energy: where the correlation peak is sharpest.
std::size_t denseSpeechStart(const Signal& clean) {
    std::size_t best = kSkipSamples;
    double bestEnergy = -1.0;
    for (std::size_t s = kSkipSamples; s + kLagWindow + kMaxLag <= clean.size(); s += kRate / 10) {
        const double e = energy(&clean[s], kLagWindow);
        if (e > bestEnergy) {
            bestEnergy = e;
            best = s;
        }
    }
    return best;
}

bool load(const std::filesystem::path& path, Signal& out) {
    zalo::MonoAudio wav;
    std::string error;
    if (!zalo::readMonoWaveFile(path, wav, error)) {
        std::fprintf(stderr,
                     "zalo_quality: cannot read '%s': %s.\nThe inputs are generated at build "
                     "time (target zalo_quality_signals, script bench/make_quality_signals.sh); "
                     "or pass --signals=DIR.\n",
                     path.u8string().c_str(), error.c_str());
        return false;
    }
    if (wav.sampleRate != kRate || wav.samples.size() != kSignalSamples ||
        energy(wav.samples.data(), wav.samples.size()) <= 0.0) {
        std::fprintf(stderr, "zalo_quality: '%s' must hold %zu non-silent samples at %u Hz\n",
                     path.u8string().c_str(), kSignalSamples, kRate);
        return false;
    }
    out = std::move(wav.samples);
    return true;
}

bool parseNumber(const char* arg, const char* prefix, double lo, double hi, double& value) {
    if (std::strncmp(arg, prefix, std::strlen(prefix)) != 0) return false;
    char* end = nullptr;
    const double v = std::strtod(arg + std::strlen(prefix), &end);
    if (end == arg + std::strlen(prefix) || *end != '\0' || !(v >= lo && v <= hi)) {
        std::fprintf(stderr, "zalo_quality: %s needs a number in %g..%g\n", prefix, lo, hi);
        std::exit(1);
    }
    value = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = ZALO_QUALITY_SIGNAL_DIR;
    double strength = 65.0, speechDbfs = -26.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--signals=", 10) == 0) {
            dir = argv[i] + 10;
        } else if (!parseNumber(argv[i], "--strength=", 0.0, 100.0, strength) &&
                   !parseNumber(argv[i], "--speech-dbfs=", -60.0, -3.0, speechDbfs)) {
            std::fprintf(stderr, "usage: zalo_quality [--signals=DIR] [--strength=0..100] "
                                 "[--speech-dbfs=-60..-3]\n");
            return 1;
        }
    }

    const std::filesystem::path base = std::filesystem::u8path(dir);
    Signal clean, pink, white, babble;
    if (!load(base / "speech.wav", clean) || !load(base / "pink.wav", pink) ||
        !load(base / "white.wav", white) || !load(base / "babble.wav", babble))
        return 2;

    const std::vector<int> kind = classifyFrames(clean);
    const double speechGain =
        std::sqrt(std::pow(10.0, speechDbfs / 10.0) / activePower(clean, kind));
    for (float& x : clean) x = static_cast<float>(x * speechGain);
    const double active = activePower(clean, kind);
    const std::size_t lagFrom = denseSpeechStart(clean);
    const auto speechFrames = std::count(kind.begin() + kFirstFrame, kind.begin() + kEndFrame, 1);
    const auto pauseFrames = std::count(kind.begin() + kFirstFrame, kind.begin() + kEndFrame, -1);

    struct Noise { const char* name; const Signal* samples; };
    const Noise noises[] = {{"pink", &pink}, {"white", &white}, {"babble", &babble}};
    const double snrs[] = {10.0, 5.0};
    const char* names[] = {"chain", "clean-voice mode", "SpeexDSP"};
    constexpr int kDenoisers = 3;

    std::printf("zalo_quality: strength %.0f, speech at %.1f dBFS active level; %ld speech and "
                "%ld pause frames of 20 ms\n\n",
                strength, speechDbfs, static_cast<long>(speechFrames), static_cast<long>(pauseFrames));
    std::printf("%-16s %7s", "", "input");
    for (const char* n : names) std::printf(" | %-22s", n);
    std::printf("\n%-16s %7s", "mix", "segSNR");
    for (int d = 0; d < kDenoisers; ++d) std::printf(" | %7s %7s %6s", "segSNR", "pause", "speech");
    std::printf("\n");

    // Sums over the steady-noise mixes, divided at the end.
    Figures mean[kDenoisers];
    double meanInput = 0.0;
    int steadyMixes = 0;
    std::set<std::size_t> lags[kDenoisers];
    bool complete = true;
    for (const Noise& noise : noises) {
        const double noisePower = energy(noise.samples->data(), kSignalSamples) / kSignalSamples;
        for (const double snr : snrs) {
            const double g = std::sqrt(active / (noisePower * std::pow(10.0, snr / 10.0)));
            Signal in(kSignalSamples);
            for (std::size_t i = 0; i < kSignalSamples; ++i)
                in[i] = clean[i] + static_cast<float>(g * (*noise.samples)[i]);

            const Figures base = measure(clean, in, in, kind, 0);
            const Signal outs[kDenoisers] = {runChain(in, static_cast<float>(strength / 100.0), false),
                                             runChain(in, static_cast<float>(strength / 100.0), true),
                                             runSpeex(in)};
            char label[32];
            std::snprintf(label, sizeof label, "%s %.0f dB", noise.name, snr);
            std::printf("%-16s %7.2f", label, base.segSnrDb);
            const bool steady = noise.samples != &babble;
            if (steady) {
                meanInput += base.segSnrDb;
                ++steadyMixes;
            }
            for (int d = 0; d < kDenoisers; ++d) {
                if (outs[d].size() != kSignalSamples) {
                    std::printf(" | %-22s", "(failed)");
                    complete = false;
                    continue;
                }
                const Figures f = measure(clean, in, outs[d], kind, findLag(clean, outs[d], lagFrom));
                lags[d].insert(f.lag);
                std::printf(" | %7.2f %7.2f %6.2f", f.segSnrDb, f.pauseDb, f.speechDb);
                // A denoiser that leaves exact zeros in the pauses scores -inf
                // there, which is a result; NaN means nothing could be measured.
                complete = complete && !std::isnan(f.segSnrDb) && !std::isnan(f.pauseDb) &&
                           !std::isnan(f.speechDb);
                if (steady) {
                    mean[d].segSnrDb += f.segSnrDb;
                    mean[d].pauseDb += f.pauseDb;
                    mean[d].speechDb += f.speechDb;
                }
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    std::printf("%-16s %7.2f", "mean pink/white", meanInput / steadyMixes);
    for (const Figures& f : mean)
        std::printf(" | %7.2f %7.2f %6.2f", f.segSnrDb / steadyMixes, f.pauseDb / steadyMixes,
                    f.speechDb / steadyMixes);
    std::printf("\n\nsegSNR: higher is better; pause: lower = more noise removed; speech: 0 dB = "
                "level kept.\nDelays found (samples):");
    for (int d = 0; d < kDenoisers; ++d) {
        std::printf(" %s", names[d]);
        // A lag at the limit means the real delay may lie beyond the search.
        for (const std::size_t lag : lags[d])
            std::printf(" %zu%s", lag, lag == kMaxLag ? " (search limit)" : "");
        std::printf(d + 1 < kDenoisers ? ";" : "\n");
    }
    return complete ? 0 : 3;
}

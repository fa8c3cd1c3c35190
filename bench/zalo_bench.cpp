// zalo_bench: CPU cost of the engine per second of audio, measured on one
// fixed minute of synthetic speech plus pink noise (48 kHz mono, made at build
// time by make_signal.sh), in 10 ms blocks, next to two peers on the same
// samples: SpeexDSP's preprocessor denoiser and SoundTouch's pitch shifter.
//
// Every case reports `cpu_ms_per_audio_s`: process CPU milliseconds spent per
// second of audio (the console appends an "s" to it, as to any inverted rate
// counter; read it as ms per audio second). One iteration is one pass over
// the whole 60 s signal.
// After the table the program prints the medians over the repetitions (five
// unless --benchmark_repetitions says otherwise; at least 0.2 s of CPU each
// unless --benchmark_min_time says otherwise), each engine figure divided
// by each peer's, and the cost targets with PASS/FAIL. The exit code reflects
// only whether the benchmark could run, not the targets.
//
// Own options (everything else goes to Google Benchmark):
//   --signal=PATH   input WAV (default: the one generated in the build tree)
//   --all-runs      show every repetition in the table, not just the medians
#include <benchmark/benchmark.h>
#include <speex/speex_preprocess.h>
#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/drift_control.h"
#include "audio/trim_resampler.h"
#include "dsp/processing_params.h"
#include "dsp/voice_chain.h"
#include "dsp/voice_presets.h"
#include "tools/wave_file.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <xmmintrin.h>
#define ZALO_BENCH_HAS_MXCSR 1
#endif

#ifndef ZALO_BENCH_SIGNAL_PATH
#define ZALO_BENCH_SIGNAL_PATH "bench_signal.wav"
#endif

namespace {

using zalo::AudioEngine;
using zalo::ControlState;

constexpr unsigned kRate = 48000;
constexpr std::size_t kBlock = 480;  // 10 ms, one capture packet
constexpr double kSignalSeconds = 60.0;
constexpr std::size_t kSignalSamples = 60 * kRate;
// Before timing, every engine and peer hears 2 s of the signal so that noise
// estimates, delay lines and gains are past their start-up transients.
constexpr std::size_t kWarmupSamples = 2 * kRate;
// Silence cases re-excite the chain with 1 s of speech (untimed) before each
// silent pass: silence that follows speech is what leaves recursive filters
// decaying towards subnormal values.
constexpr std::size_t kExciteSamples = kRate;

constexpr double kStartupLimitVsSpeex = 0.3;
// What an output's drift loop and trim resampler may add to the chain.
constexpr double kDriftTrimLimitVsSpeex = 0.05;
constexpr double kVoiceLimitVsSpeex = 0.5;
constexpr double kCleanStartupLimitVsSpeex = 1.0;
// Silence may cost at most this much more than speech before it counts as
// slower: run-to-run spread on a shared machine is a few per cent.
constexpr double kSilenceTolerance = 0.10;

static_assert(kSignalSamples % kBlock == 0, "the signal must be whole blocks");
static_assert(std::is_same<soundtouch::SAMPLETYPE, float>::value,
              "the SoundTouch peer is measured with float samples");

struct Signals {
    std::vector<float> speech;          // 60 s, +-1 full scale
    std::vector<float> silence;         // 60 s of exact zeros
    std::vector<std::int16_t> speech16; // the same speech for SpeexDSP
    std::size_t exciteOffset = 0;       // start of the loudest 1 s of speech
};
const Signals* gSignals = nullptr;

// ---------------------------------------------------------------------------
// Cases and what the summary does with them.

enum class Role {
    StartupSpeech,
    StartupSilence,
    StartupClean,   // the start-up state with the clean-voice mode on
    NoiseOnly,      // one noise stage and nothing else, either mode
    Voice,          // a voice at its default switches
    AllSwitches,    // a voice with every switch on
    VoiceSilence,   // silence through a pitch voice
    Speex,
    SoundTouch,
    Diagnostic,     // the bare chain, to show what FTZ/DAZ is worth
    DriftTrim,      // an output's consumer side while it trims for clock drift
};

struct CaseInfo {
    std::string name;
    Role role;
    std::string speechTwin;  // silence cases: the same settings on speech
};
std::vector<CaseInfo> gCases;

void setCostCounter(benchmark::State& state) {
    // A rate counter is divided by the measured (process CPU) seconds;
    // inverted it becomes CPU seconds per unit, and with units of
    // 1000 audio seconds that is CPU milliseconds per audio second.
    state.counters["cpu_ms_per_audio_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSignalSeconds / 1000.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

enum class Input { Speech, SilenceAfterSpeech };

#ifdef ZALO_BENCH_HAS_MXCSR
constexpr unsigned kFtzDazBits = 0x8040;  // MXCSR: flush-to-zero (15), denormals-are-zero (6)

// Sets or clears FTZ/DAZ for the current thread, restoring the old mode on exit.
class MxcsrMode {
public:
    explicit MxcsrMode(bool flush) : saved_(_mm_getcsr()) {
        _mm_setcsr(flush ? (saved_ | kFtzDazBits) : (saved_ & ~kFtzDazBits));
    }
    ~MxcsrMode() { _mm_setcsr(saved_); }
    MxcsrMode(const MxcsrMode&) = delete;
    MxcsrMode& operator=(const MxcsrMode&) = delete;

private:
    unsigned saved_;
};
#endif

void feedEngine(AudioEngine& engine, const float* samples, std::size_t count) {
    for (std::size_t i = 0; i + kBlock <= count; i += kBlock)
        engine.processBlock(samples + i, kBlock, kRate);
    benchmark::DoNotOptimize(engine.lastBlock()[0]);
    benchmark::ClobberMemory();
}

void benchEngine(benchmark::State& state, const ControlState& controls, Input input) {
    const Signals& sig = *gSignals;
#ifdef ZALO_BENCH_HAS_MXCSR
    // The engine must bring its own FTZ/DAZ; start from the ordinary mode.
    MxcsrMode ordinary(false);
#endif
    auto engine = std::make_unique<AudioEngine>();
    engine->setParams(zalo::makeProcessingParams(controls));
    feedEngine(*engine, sig.speech.data(), kWarmupSamples);
#ifdef ZALO_BENCH_HAS_MXCSR
    // A leaked FTZ/DAZ would speed up whatever runs next on this thread,
    // the peers included, and make the comparison meaningless.
    if ((_mm_getcsr() & kFtzDazBits) != 0) {
        state.SkipWithError("processBlock left FTZ/DAZ set in the caller's thread");
        return;
    }
#endif
    const std::vector<float>& pass = input == Input::Speech ? sig.speech : sig.silence;
    for (auto _ : state) {
        if (input == Input::SilenceAfterSpeech) {
            state.PauseTiming();
            feedEngine(*engine, sig.speech.data() + sig.exciteOffset, kExciteSamples);
            state.ResumeTiming();
        }
        feedEngine(*engine, pass.data(), pass.size());
    }
    setCostCounter(state);
}

#ifdef ZALO_BENCH_HAS_MXCSR
// The chain without the engine, under an FTZ/DAZ mode chosen here. Not a
// product figure: it shows how much the engine's flush is worth on silence.
void benchBareChain(benchmark::State& state, bool flush, Input input) {
    const Signals& sig = *gSignals;
    MxcsrMode mode(flush);
    auto chain = std::make_unique<zalo::VoiceChain>();
    chain->sampleRate = zalo::kChainSampleRateHz;
    chain->params = zalo::clampForChain(zalo::makeProcessingParams(ControlState{}));
    std::vector<float> block(kBlock);
    const auto feed = [&](const float* samples, std::size_t count) {
        for (std::size_t i = 0; i + kBlock <= count; i += kBlock) {
            std::memcpy(block.data(), samples + i, kBlock * sizeof(float));
            chain->process(block.data(), kBlock);
        }
        benchmark::DoNotOptimize(block[0]);
        benchmark::ClobberMemory();
    };
    feed(sig.speech.data(), kWarmupSamples);
    const std::vector<float>& pass = input == Input::Speech ? sig.speech : sig.silence;
    for (auto _ : state) {
        if (input == Input::SilenceAfterSpeech) {
            state.PauseTiming();
            feed(sig.speech.data() + sig.exciteOffset, kExciteSamples);
            state.ResumeTiming();
        }
        feed(pass.data(), pass.size());
    }
    setCostCounter(state);
}
#endif

// One output's consumer side at a steady trim of 300 ppm, the worst case: the
// resampler interpolates every sample (at no trim it copies). Per 10 ms: the
// producer's ring write, one drift-loop observation, and 480 samples read
// through the resampler, as the output thread does.
void benchDriftTrim(benchmark::State& state) {
    const Signals& sig = *gSignals;
    auto cable = std::make_unique<zalo::CableOutput>();
    auto resampler = std::make_unique<zalo::TrimResampler>();
    zalo::DriftControl loop;
    const double step = 1.0 + 300e-6;
    std::vector<float> in(2 * kBlock), out(kBlock);
    // A head start, so the faster reader never runs dry within a pass.
    cable->write(sig.speech.data(), 4 * kBlock);
    for (auto _ : state) {
        for (std::size_t i = 0; i + kBlock <= sig.speech.size(); i += kBlock) {
            cable->write(sig.speech.data() + i, kBlock);
            loop.observe(static_cast<double>(cable->available()) - kBlock, kBlock);
            const std::size_t need = resampler->inputFor(kBlock, step);
            if (cable->available() < need) cable->write(sig.speech.data(), need);  // keep it fed
            cable->read(in.data(), need);
            resampler->process(in.data(), out.data(), kBlock, step);
        }
        benchmark::DoNotOptimize(out[0]);
        benchmark::ClobberMemory();
    }
    setCostCounter(state);
}

void benchSpeex(benchmark::State& state) {
    const Signals& sig = *gSignals;
    std::unique_ptr<SpeexPreprocessState, void (*)(SpeexPreprocessState*)> st(
        speex_preprocess_state_init(static_cast<int>(kBlock), static_cast<int>(kRate)),
        speex_preprocess_state_destroy);
    if (!st) {
        state.SkipWithError("speex_preprocess_state_init failed");
        return;
    }
    spx_int32_t on = 1;
    speex_preprocess_ctl(st.get(), SPEEX_PREPROCESS_SET_DENOISE, &on);
    std::vector<spx_int16_t> frame(kBlock);
    const auto feed = [&](const std::int16_t* samples, std::size_t count) {
        for (std::size_t i = 0; i + kBlock <= count; i += kBlock) {
            std::memcpy(frame.data(), samples + i, kBlock * sizeof(spx_int16_t));
            speex_preprocess_run(st.get(), frame.data());
        }
        benchmark::DoNotOptimize(frame[0]);
        benchmark::ClobberMemory();
    };
    feed(sig.speech16.data(), kWarmupSamples);
    for (auto _ : state) feed(sig.speech16.data(), sig.speech16.size());
    setCostCounter(state);
}

void benchSoundTouch(benchmark::State& state) {
    const Signals& sig = *gSignals;
    soundtouch::SoundTouch st;
    st.setSampleRate(kRate);
    st.setChannels(1);
    st.setPitchSemiTones(4.0);
    std::vector<float> out(kBlock);
    std::size_t received = 0;
    const auto feed = [&](const float* samples, std::size_t count) {
        for (std::size_t i = 0; i + kBlock <= count; i += kBlock) {
            st.putSamples(samples + i, kBlock);
            received += st.receiveSamples(out.data(), kBlock);
        }
        benchmark::DoNotOptimize(out[0]);
        benchmark::ClobberMemory();
    };
    feed(sig.speech.data(), kWarmupSamples);
    for (auto _ : state) feed(sig.speech.data(), sig.speech.size());
    benchmark::DoNotOptimize(received);
    setCostCounter(state);
}

// ---------------------------------------------------------------------------
// Registration.

benchmark::internal::Benchmark* configure(benchmark::internal::Benchmark* b) {
    return b->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
}

void addEngineCase(const std::string& name, Role role, const ControlState& controls, Input input,
                   const std::string& speechTwin = std::string()) {
    gCases.push_back({name, role, speechTwin});
    configure(benchmark::RegisterBenchmark(
        name.c_str(),
        [controls, input](benchmark::State& s) { benchEngine(s, controls, input); }));
}

std::string two(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

std::string voiceName(int preset, int type) {
    return "engine/voice/preset:" + two(preset) + "/type:" + two(type);
}

void registerCases() {
    const zalo::VoicePresetTable& table = zalo::voicePresetTable();
    const int presetCount = static_cast<int>(table.count);

    const ControlState startup{};
    addEngineCase("engine/startup/speech", Role::StartupSpeech, startup, Input::Speech);
    addEngineCase("engine/startup/silence", Role::StartupSilence, startup,
                  Input::SilenceAfterSpeech, "engine/startup/speech");

    ControlState startupClean;
    startupClean.cleanVoice = true;
    addEngineCase("engine/startup+clean-voice/speech", Role::StartupClean, startupClean, Input::Speech);
    addEngineCase("engine/startup+clean-voice/silence", Role::StartupSilence, startupClean,
                  Input::SilenceAfterSpeech, "engine/startup+clean-voice/speech");
    // Noise reduction alone: voice 0, every switch off, in both modes.
    for (bool clean : {false, true}) {
        ControlState c;
        c.voicePreset = 0;
        c.highPass = c.compressor = c.limiter = c.gate = c.deEsser = false;
        c.cleanVoice = clean;
        addEngineCase(clean ? "engine/noise-only/clean-voice" : "engine/noise-only/design",
                      Role::NoiseOnly, c, Input::Speech);
    }

    // Every preset at the start-up switches; the configurable row with the
    // sliders as in a fresh window (all neutral).
    int configurableRow = -1;
    for (int i = 0; i < presetCount; ++i) {
        ControlState c;
        c.voicePreset = i;
        addEngineCase(voiceName(i, table[i].type), Role::Voice, c, Input::Speech);
        if (table[i].configurable && configurableRow < 0) configurableRow = i;
    }

    // The configurable row with pitch, tone, robot and echo at their maxima:
    // every stage of the custom voice doing work at once.
    ControlState customMax;
    std::string customMaxName;
    if (configurableRow >= 0) {
        customMax.voicePreset = configurableRow;
        customMax.pitch = zalo::kPitchSliderMax;
        customMax.tone = zalo::kToneSliderMax;
        customMax.robot = zalo::kRobotSliderMax;
        customMax.echo = zalo::kEchoSliderMax;
        customMaxName = "engine/voice/preset:" + two(configurableRow) + "-max/type:" +
                        two(table[configurableRow].type);
        addEngineCase(customMaxName, Role::Voice, customMax, Input::Speech);
    }

    // Every switch on (de-esser included) for one representative per effect
    // type; the heaviest is read off the results. Type 13's representative is
    // the maxed configurable row, which does everything its presets do.
    std::vector<int> seenTypes;
    for (int i = 0; i < presetCount; ++i) {
        const int type = table[i].type;
        if (std::find(seenTypes.begin(), seenTypes.end(), type) != seenTypes.end()) continue;
        seenTypes.push_back(type);
        ControlState c;
        c.voicePreset = i;
        std::string label = "preset:" + two(i);
        if (configurableRow >= 0 && type == table[configurableRow].type) {
            c = customMax;
            label = "preset:" + two(configurableRow) + "-max";
        }
        c.highPass = c.compressor = c.limiter = c.gate = c.deEsser = true;
        addEngineCase("engine/all-switches/type:" + two(type) + "/" + label, Role::AllSwitches, c,
                      Input::Speech);
    }

    // Silence through a voice that shifts pitch (and preferably echoes): the
    // shifter's delay line and the echo's feedback decay on silence too.
    int pitchRow = -1;
    for (int pass = 0; pass < 2 && pitchRow < 0; ++pass) {
        for (int i = 0; i < presetCount && pitchRow < 0; ++i) {
            const zalo::VoicePresetDef& row = table[i];
            if (row.configurable || row.pitch == 0) continue;
            if (pass == 0 && row.echo == 0) continue;
            pitchRow = i;
        }
    }
    if (pitchRow >= 0) {
        ControlState c;
        c.voicePreset = pitchRow;
        addEngineCase("engine/silence/preset:" + two(pitchRow) + "/type:" +
                          two(table[pitchRow].type),
                      Role::VoiceSilence, c, Input::SilenceAfterSpeech,
                      voiceName(pitchRow, table[pitchRow].type));
    } else if (configurableRow >= 0) {
        addEngineCase("engine/silence/preset:" + two(configurableRow) + "-max/type:" +
                          two(table[configurableRow].type),
                      Role::VoiceSilence, customMax, Input::SilenceAfterSpeech, customMaxName);
    }

    gCases.push_back({"output/drift-trim-300ppm", Role::DriftTrim, {}});
    configure(benchmark::RegisterBenchmark("output/drift-trim-300ppm", benchDriftTrim));

    gCases.push_back({"peer/speexdsp-denoise", Role::Speex, {}});
    configure(benchmark::RegisterBenchmark("peer/speexdsp-denoise", benchSpeex));
    gCases.push_back({"peer/soundtouch-pitch+4", Role::SoundTouch, {}});
    configure(benchmark::RegisterBenchmark("peer/soundtouch-pitch+4", benchSoundTouch));

#ifdef ZALO_BENCH_HAS_MXCSR
    struct Diag {
        const char* name;
        bool flush;
        Input input;
    };
    const Diag diags[] = {
        {"diag/bare-chain/speech/ftz-daz:clear", false, Input::Speech},
        {"diag/bare-chain/silence/ftz-daz:clear", false, Input::SilenceAfterSpeech},
        {"diag/bare-chain/silence/ftz-daz:set", true, Input::SilenceAfterSpeech},
    };
    for (const Diag& d : diags) {
        gCases.push_back({d.name, Role::Diagnostic, {}});
        const bool flush = d.flush;
        const Input input = d.input;
        configure(benchmark::RegisterBenchmark(
            d.name, [flush, input](benchmark::State& s) { benchBareChain(s, flush, input); }));
    }
#endif
}

// ---------------------------------------------------------------------------
// Reporting: the console table shows one line per case (the median), and
// every figure is kept for the summary.

struct Figures {
    std::vector<double> perRun;  // cpu_ms_per_audio_s of each repetition
    double aggregateMedian = -1.0;
    std::string error;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Plain tabular output: this reporter replaces the library's own, which
    // is where --benchmark_color would otherwise be honoured.
    explicit SummaryReporter(bool showAllRuns)
        : ConsoleReporter(OO_Tabular), showAllRuns_(showAllRuns) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& r : runs) {
            Figures& f = figures_[r.run_name.function_name];
            const auto counter = r.counters.find("cpu_ms_per_audio_s");
            if (r.error_occurred) {
                f.error = r.error_message;
            } else if (counter != r.counters.end()) {
                if (r.run_type == Run::RT_Iteration) {
                    f.perRun.push_back(counter->second.value);
                } else if (r.aggregate_name == "median") {
                    f.aggregateMedian = counter->second.value;
                }
            }
            const bool isMedian = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            if (showAllRuns_ || r.error_occurred || isMedian || single) shown.push_back(r);
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }

    // Median over the repetitions this program saw; -1 when the case did not
    // run (filtered out) or failed.
    double medianOf(const std::string& name) const {
        const auto it = figures_.find(name);
        if (it == figures_.end() || !it->second.error.empty()) return -1.0;
        if (!it->second.perRun.empty()) return median(it->second.perRun);
        return it->second.aggregateMedian;
    }
    std::size_t runsOf(const std::string& name) const {
        const auto it = figures_.find(name);
        return it == figures_.end() ? 0 : it->second.perRun.size();
    }
    std::string errorOf(const std::string& name) const {
        const auto it = figures_.find(name);
        return it == figures_.end() ? std::string() : it->second.error;
    }

private:
    bool showAllRuns_;
    std::map<std::string, Figures> figures_;
};

void printSummary(const SummaryReporter& rep) {
    std::string speexName, touchName;
    for (const CaseInfo& c : gCases) {
        if (c.role == Role::Speex) speexName = c.name;
        if (c.role == Role::SoundTouch) touchName = c.name;
    }
    const double speex = rep.medianOf(speexName);
    const double touch = rep.medianOf(touchName);

    std::size_t runs = 0;
    for (const CaseInfo& c : gCases) runs = std::max(runs, rep.runsOf(c.name));
    std::printf("\nCPU ms per second of audio, median of %zu run(s) per case\n", runs);
    std::printf("%-46s %9s %10s %14s\n", "case", "ms/s", "/ speexdsp", "/ soundtouch");
    const auto ratio = [](double ours, double peer) {
        return (ours >= 0.0 && peer > 0.0) ? ours / peer : -1.0;
    };
    const auto cell = [](double v, int width) {
        if (v < 0.0) return std::string(static_cast<std::size_t>(width - 1), ' ') + "-";
        char text[32];
        std::snprintf(text, sizeof text, "%*.3f", width, v);
        return std::string(text);
    };
    for (const CaseInfo& c : gCases) {
        const double v = rep.medianOf(c.name);
        const std::string error = rep.errorOf(c.name);
        if (v < 0.0 && error.empty()) continue;  // filtered out
        if (!error.empty()) {
            std::printf("%-46s ERROR: %s\n", c.name.c_str(), error.c_str());
            continue;
        }
        const bool peer = c.role == Role::Speex || c.role == Role::SoundTouch;
        std::printf("%-46s %s %s %s\n", c.name.c_str(), cell(v, 9).c_str(),
                    cell(peer ? -1.0 : ratio(v, speex), 10).c_str(),
                    cell(peer ? -1.0 : ratio(v, touch), 14).c_str());
    }

    std::printf("\nTargets\n");
    const auto verdict = [](bool ok) { return ok ? "PASS" : "FAIL"; };
    if (speex <= 0.0) {
        std::printf("  (SpeexDSP figure missing: ratio targets not evaluated)\n");
    }
    std::string worstVoice;
    double worstVoiceCost = -1.0;
    std::vector<std::string> voiceFailures;
    for (const CaseInfo& c : gCases) {
        const double v = rep.medianOf(c.name);
        if (v < 0.0) continue;
        if (speex > 0.0 && c.role == Role::StartupSpeech) {
            std::printf("  %s start-up state: %.3f ms/s = %.3f x SpeexDSP (target <= %.2f)\n",
                        verdict(v <= kStartupLimitVsSpeex * speex), v, v / speex,
                        kStartupLimitVsSpeex);
        }
        if (speex > 0.0 && c.role == Role::StartupClean) {
            std::printf("  %s start-up with clean voice: %.3f ms/s = %.3f x SpeexDSP (target <= %.2f)\n",
                        verdict(v <= kCleanStartupLimitVsSpeex * speex), v, v / speex,
                        kCleanStartupLimitVsSpeex);
        }
        if (speex > 0.0 && c.role == Role::DriftTrim) {
            std::printf("  %s drift loop and trim resampler: %.3f ms/s = %.3f x SpeexDSP (target <= %.2f)\n",
                        verdict(v <= kDriftTrimLimitVsSpeex * speex), v, v / speex, kDriftTrimLimitVsSpeex);
        }
        if (c.role == Role::Voice || c.role == Role::AllSwitches) {
            if (v > worstVoiceCost) {
                worstVoiceCost = v;
                worstVoice = c.name;
            }
            if (speex > 0.0 && v > kVoiceLimitVsSpeex * speex) voiceFailures.push_back(c.name);
        }
    }
    if (speex > 0.0 && worstVoiceCost >= 0.0) {
        std::printf("  %s every voice (presets, custom at maxima, all switches): heaviest %s "
                    "%.3f ms/s = %.3f x SpeexDSP (target <= %.2f)\n",
                    verdict(voiceFailures.empty()), worstVoice.c_str(), worstVoiceCost,
                    worstVoiceCost / speex, kVoiceLimitVsSpeex);
        if (!voiceFailures.empty()) {
            std::size_t voiceCases = 0;
            std::string lightest;
            double lightestCost = -1.0;
            for (const CaseInfo& c : gCases) {
                const double v = rep.medianOf(c.name);
                if (v < 0.0 || (c.role != Role::Voice && c.role != Role::AllSwitches)) continue;
                ++voiceCases;
                if (lightestCost < 0.0 || v < lightestCost) {
                    lightestCost = v;
                    lightest = c.name;
                }
            }
            std::printf("       %zu of %zu voice cases over the limit; lightest %s %.3f ms/s = "
                        "%.3f x SpeexDSP\n",
                        voiceFailures.size(), voiceCases, lightest.c_str(), lightestCost,
                        lightestCost / speex);
        }
    }
    for (const CaseInfo& c : gCases) {
        if (c.role != Role::StartupSilence && c.role != Role::VoiceSilence) continue;
        const double quiet = rep.medianOf(c.name);
        const double spoken = rep.medianOf(c.speechTwin);
        if (quiet < 0.0 || spoken < 0.0) continue;
        std::printf("  %s silence no slower than speech: %s %.3f ms/s vs %s %.3f ms/s "
                    "(silence/speech %.3f, tolerance +%.0f%%)\n",
                    verdict(quiet <= spoken * (1.0 + kSilenceTolerance)), c.name.c_str(), quiet,
                    c.speechTwin.c_str(), spoken, quiet / spoken, kSilenceTolerance * 100.0);
    }

    const double diagSpeech = rep.medianOf("diag/bare-chain/speech/ftz-daz:clear");
    const double diagClear = rep.medianOf("diag/bare-chain/silence/ftz-daz:clear");
    const double diagSet = rep.medianOf("diag/bare-chain/silence/ftz-daz:set");
    if (diagSpeech > 0.0 && diagClear > 0.0 && diagSet > 0.0) {
        std::printf("\nDenormals (bare chain, start-up settings, no engine): silence/speech is "
                    "%.3f with FTZ/DAZ clear and %.3f with FTZ/DAZ set\n",
                    diagClear / diagSpeech, diagSet / diagSpeech);
    }
}

// ---------------------------------------------------------------------------
// Input.

bool loadSignals(const std::string& path, Signals& out) {
    zalo::MonoAudio wav;
    std::string error;
    if (!zalo::readMonoWaveFile(std::filesystem::u8path(path), wav, error)) {
        std::fprintf(stderr,
                     "zalo_bench: cannot use the benchmark signal '%s': %s.\n"
                     "It is generated at build time (target zalo_bench_signal, script "
                     "bench/make_signal.sh); or pass --signal=PATH.\n",
                     path.c_str(), error.c_str());
        return false;
    }
    if (wav.channels != 1 || !wav.isFloat || wav.sampleRate != kRate ||
        wav.samples.size() != kSignalSamples) {
        std::fprintf(stderr,
                     "zalo_bench: '%s' must hold exactly %zu mono float samples at %u Hz, it "
                     "holds %zu at %u Hz\n",
                     path.c_str(), kSignalSamples, kRate, wav.samples.size(),
                     static_cast<unsigned>(wav.sampleRate));
        return false;
    }
    if (wav.nonFiniteSamples != 0) {
        std::fprintf(stderr, "zalo_bench: '%s' contains non-finite samples\n", path.c_str());
        return false;
    }
    float peak = 0.0f;
    for (const float x : wav.samples) peak = std::max(peak, std::fabs(x));
    // Speech normalised near full scale; anything far quieter is not the
    // signal this benchmark was made for.
    if (peak < 0.1f) {
        std::fprintf(stderr, "zalo_bench: '%s' is nearly silent (peak %.4f)\n", path.c_str(),
                     static_cast<double>(peak));
        return false;
    }

    out.speech = std::move(wav.samples);
    out.silence.assign(kSignalSamples, 0.0f);
    out.speech16.resize(kSignalSamples);
    for (std::size_t i = 0; i < kSignalSamples; ++i) {
        const float clamped = std::min(1.0f, std::max(-1.0f, out.speech[i]));
        out.speech16[i] = static_cast<std::int16_t>(std::lrint(clamped * 32767.0f));
    }

    // The loudest second, on a 100 ms grid, excites the silence cases.
    const std::size_t step = kRate / 10;
    double best = -1.0;
    for (std::size_t start = 0; start + kExciteSamples <= kSignalSamples; start += step) {
        double energy = 0.0;
        for (std::size_t i = start; i < start + kExciteSamples; ++i)
            energy += static_cast<double>(out.speech[i]) * out.speech[i];
        if (energy > best) {
            best = energy;
            out.exciteOffset = start;
        }
    }
    return true;
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string signalPath = ZALO_BENCH_SIGNAL_PATH;
    bool showAllRuns = false;
    bool repetitionsGiven = false;
    bool minTimeGiven = false;
    // One iteration is already a minute of audio (0.1 to 0.5 s of CPU), so a
    // repetition needs no more than a pass or two; five repetitions give the
    // median. Both stay overridable from the command line.
    std::string defaultRepetitions = "--benchmark_repetitions=5";
    std::string defaultMinTime = "--benchmark_min_time=0.2";

    std::vector<char*> args;
    args.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        if (startsWith(argv[i], "--signal=")) {
            signalPath = argv[i] + std::strlen("--signal=");
        } else if (std::strcmp(argv[i], "--all-runs") == 0) {
            showAllRuns = true;
        } else {
            if (startsWith(argv[i], "--benchmark_repetitions")) repetitionsGiven = true;
            if (startsWith(argv[i], "--benchmark_min_time")) minTimeGiven = true;
            args.push_back(argv[i]);
        }
    }
    if (!repetitionsGiven) args.insert(args.begin() + 1, &defaultRepetitions[0]);
    if (!minTimeGiven) args.insert(args.begin() + 1, &defaultMinTime[0]);
    int benchArgc = static_cast<int>(args.size());
    args.push_back(nullptr);

    benchmark::Initialize(&benchArgc, args.data());
    if (benchmark::ReportUnrecognizedArguments(benchArgc, args.data())) return 1;

    static Signals signals;
    if (!loadSignals(signalPath, signals)) return 2;
    gSignals = &signals;

    registerCases();
    SummaryReporter reporter(showAllRuns);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSummary(reporter);
    benchmark::Shutdown();
    return 0;
}

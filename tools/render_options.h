// Command line of zalo-render and its translation into engine settings.
//
// The settings go through the same path as the main window: a ControlState
// that starts at its defaults, then the voice preset, the noise preset, the
// strength slider, the four voice sliders, the filter switch and finally the
// five processing switches and the clean-voice switch, and makeProcessingParams()
// on the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dsp/processing_params.h"

namespace zalo {

constexpr int kVoicePresetMin = 0, kVoicePresetMax = 32;
constexpr int kNoisePresetMin = 0, kNoisePresetMax = 10;
// --block upper bound before the rate is known; blockFramesFor() applies the
// real, rate-dependent limit.
constexpr long long kBlockFramesMax = 1LL << 30;

struct RenderOptions {
    std::string inputPath;   // as given (UTF-8 on every platform)
    std::string outputPath;
    bool help = false;       // --help: print usage, nothing else

    int voice = 1;
    std::optional<int> noisePreset;
    std::optional<int> strength;
    std::optional<int> pitch, tone, robot, echo;  // slider positions
    bool filter = true;
    std::optional<bool> highPass, compressor, limiter, gate, deEsser;
    bool cleanVoice = false;  // --clean-voice: the main window's "Limpeza HD"
    std::optional<long long> blockFrames;  // default: rate / 100
};

// Parses the arguments after the program name. On failure returns false with
// a one-line reason in `error`. Options may come before, between or after the
// two file names, as "--name value" or "--name=value"; a later occurrence
// replaces an earlier one; "--" ends the options.
bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& options,
                        std::string& error);

std::string renderUsage();

// The main window's controls after applying the options in their fixed order.
ControlState controlStateFor(const RenderOptions& options);

// What AudioEngine::setParams receives.
ProcessingParams processingParamsFor(const RenderOptions& options);

// Frames per processBlock call at `sampleRate`: --block, or rate / 100 (at
// least 1). The engine converts each block to 48 kHz into a fixed buffer of
// kWorkCapacitySamples and cuts anything longer, which offline would silently
// drop audio; such a block size is refused with a reason in `error`.
bool blockFramesFor(const RenderOptions& options, std::uint32_t sampleRate,
                    std::size_t& frames, std::string& error);

// At most the samples the engine hands on for `totalFrames` at `sampleRate`,
// fed in any blocks that blockFramesFor() allows: ceil(totalFrames * 48000 /
// rate). The conversion runs on across blocks, so the block size does not
// matter; the true count falls short of this by the few positions still
// waiting after the last frame.
std::uint64_t renderOutputSamples(std::uint64_t totalFrames, std::uint32_t sampleRate);

}  // namespace zalo

#include "tools/render_options.h"

#include <algorithm>

#include "audio/audio_engine.h"

namespace zalo {

namespace {

// Whole decimal number with an optional sign; no blanks, no fraction, no
// exponent, nothing after the digits. Values beyond +-10^15 are refused here,
// which is far outside every range checked afterwards.
bool parseInteger(const std::string& text, long long& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 1000000000000000LL) return false;
    }
    value = negative ? -v : v;
    return true;
}

struct IntOption {
    const char* name;
    long long min, max;
};

bool parseIntOption(const IntOption& opt, const std::string& text, long long& value,
                    std::string& error) {
    if (!parseInteger(text, value)) {
        error = std::string("--") + opt.name + ": '" + text + "' is not an integer";
        return false;
    }
    if (value < opt.min || value > opt.max) {
        error = std::string("--") + opt.name + ": " + text + " is out of range " +
                std::to_string(opt.min) + ".." + std::to_string(opt.max);
        return false;
    }
    return true;
}

bool parseSwitch(const std::string& name, const std::string& text, bool& value,
                 std::string& error) {
    if (text == "on") {
        value = true;
    } else if (text == "off") {
        value = false;
    } else {
        error = "--" + name + ": '" + text + "' is not on or off";
        return false;
    }
    return true;
}

}  // namespace

bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& options,
                        std::string& error) {
    options = RenderOptions{};
    std::vector<std::string> positional;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            // A lone "-" is a file name like any other.
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0) {
            error = "unknown option '" + arg + "'";
            return false;
        }

        std::string name = arg.substr(2);
        std::optional<std::string> value;
        const auto eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
        }

        static const IntOption intOptions[] = {
            {"voice", kVoicePresetMin, kVoicePresetMax},
            {"noise-preset", kNoisePresetMin, kNoisePresetMax},
            {"strength", kStrengthMin, kStrengthMax},
            {"pitch", kPitchSliderMin, kPitchSliderMax},
            {"tone", kToneSliderMin, kToneSliderMax},
            {"robot", kRobotSliderMin, kRobotSliderMax},
            {"echo", kEchoSliderMin, kEchoSliderMax},
            {"block", 1, kBlockFramesMax},
        };
        static const char* const switchOptions[] = {"filter", "high-pass", "compressor", "limiter",
                                                    "gate",   "de-esser",  "clean-voice"};

        const IntOption* intOpt = nullptr;
        for (const auto& o : intOptions)
            if (name == o.name) intOpt = &o;
        bool isSwitch = false;
        for (const char* s : switchOptions)
            if (name == s) isSwitch = true;
        if (!intOpt && !isSwitch) {
            error = "unknown option '--" + name + "'";
            return false;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = "--" + name + ": missing value";
                return false;
            }
            value = args[++i];
        }

        if (intOpt) {
            long long v = 0;
            if (!parseIntOption(*intOpt, *value, v, error)) return false;
            const int iv = static_cast<int>(v);  // in range of int except --block
            if (name == "voice") options.voice = iv;
            else if (name == "noise-preset") options.noisePreset = iv;
            else if (name == "strength") options.strength = iv;
            else if (name == "pitch") options.pitch = iv;
            else if (name == "tone") options.tone = iv;
            else if (name == "robot") options.robot = iv;
            else if (name == "echo") options.echo = iv;
            else options.blockFrames = v;
        } else {
            bool on = false;
            if (!parseSwitch(name, *value, on, error)) return false;
            if (name == "filter") options.filter = on;
            else if (name == "high-pass") options.highPass = on;
            else if (name == "compressor") options.compressor = on;
            else if (name == "limiter") options.limiter = on;
            else if (name == "gate") options.gate = on;
            else if (name == "de-esser") options.deEsser = on;
            else options.cleanVoice = on;
        }
    }

    if (options.help) return true;
    if (positional.size() != 2) {
        error = "expected INPUT.wav and OUTPUT.wav, got " + std::to_string(positional.size()) +
                " file name(s)";
        return false;
    }
    options.inputPath = positional[0];
    options.outputPath = positional[1];
    return true;
}

std::string renderUsage() {
    return "usage: zalo-render [options] INPUT.wav OUTPUT.wav\n"
           "Renders INPUT through the voice engine into a 48000 Hz mono float WAVE file.\n"
           "  --voice N            voice preset 0..32 (default 1)\n"
           "  --noise-preset N     noise preset 0..10 as chosen in the main window (10: custom)\n"
           "  --strength N         noise strength 0..100, after the preset (default 65)\n"
           "  --pitch N            -8..8      voice sliders, used by the configurable\n"
           "  --tone N             -100..100  preset only\n"
           "  --robot N            0..100\n"
           "  --echo N             0..60\n"
           "  --filter on|off      run the chain (default on)\n"
           "  --high-pass on|off  --compressor on|off  --limiter on|off\n"
           "  --gate on|off  --de-esser on|off\n"
           "                       applied last, over the noise preset\n"
           "  --clean-voice on|off the clean-voice noise reducer (default off)\n"
           "  --block N            frames per block at the input rate (default rate/100)\n"
           "Prints one JSON line on success. Exit status: 0 success, 2 bad input or\n"
           "usage, 1 output could not be written.\n";
}

ControlState controlStateFor(const RenderOptions& o) {
    ControlState c{};
    c.voicePreset = o.voice;
    if (o.noisePreset) applyNoisePreset(c, *o.noisePreset);
    if (o.strength) c.strength = *o.strength;
    if (o.pitch) c.pitch = *o.pitch;
    if (o.tone) c.tone = *o.tone;
    if (o.robot) c.robot = *o.robot;
    if (o.echo) c.echo = *o.echo;
    c.filterOn = o.filter;
    if (o.highPass) c.highPass = *o.highPass;
    if (o.compressor) c.compressor = *o.compressor;
    if (o.limiter) c.limiter = *o.limiter;
    if (o.gate) c.gate = *o.gate;
    if (o.deEsser) c.deEsser = *o.deEsser;
    c.cleanVoice = o.cleanVoice;
    return c;
}

ProcessingParams processingParamsFor(const RenderOptions& options) {
    return makeProcessingParams(controlStateFor(options));
}

bool blockFramesFor(const RenderOptions& options, std::uint32_t sampleRate,
                    std::size_t& frames, std::string& error) {
    const std::uint64_t rate = sampleRate == 0 ? 1 : sampleRate;
    // Longest block whose 48 kHz image surely fits the engine's work buffer.
    // At 48 kHz the block is copied. Otherwise it yields at most
    // ceil(frames * 48000 / rate) samples, one more where the rounding of the
    // running position lands a sample early; so frames * 48000 / rate may be
    // at most the capacity less one.
    const std::uint64_t maxFrames =
        rate == kEngineSampleRateHz ? kWorkCapacitySamples
                                    : (kWorkCapacitySamples - 1) * rate / kEngineSampleRateHz;
    const std::uint64_t wanted = options.blockFrames
                                     ? static_cast<std::uint64_t>(*options.blockFrames)
                                     : std::max<std::uint64_t>(rate / 100, 1);
    if (wanted > maxFrames) {
        error = "--block " + std::to_string(wanted) + " is too long for " +
                std::to_string(rate) + " Hz input: at most " + std::to_string(maxFrames) +
                " frames (" + std::to_string(kWorkCapacitySamples) + " samples at 48 kHz)";
        return false;
    }
    frames = static_cast<std::size_t>(wanted);
    return true;
}

std::uint64_t renderOutputSamples(std::uint64_t totalFrames, std::uint32_t sampleRate) {
    const std::uint64_t rate = sampleRate == 0 ? 1 : sampleRate;
    return (totalFrames * kEngineSampleRateHz + rate - 1) / rate;
}

}  // namespace zalo

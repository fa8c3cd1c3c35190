// zalo-render: runs a WAVE file through the same engine the live program
// uses, block by block as the capture thread would, and writes what the
// virtual cable would have received as a 48000 Hz mono float WAVE file.
//
// Exit status: 0 success (one JSON line on stdout), 2 bad input or usage,
// 1 the output could not be written. On any failure OUTPUT is left as it was:
// the result goes to a temporary file next to it, renamed over it at the end.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "audio/audio_engine.h"
#include "tools/render_options.h"
#include "tools/wave_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitBadInput = 2;
constexpr int kExitOutputFailed = 1;

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "zalo-render: %s\n", message.c_str());
    return status;
}

// Arguments are UTF-8 on every platform; the filesystem layer converts them
// to the native (wide on Windows) form.
fs::path pathFromUtf8(const std::string& s) {
    return fs::u8path(s);
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string jsonBool(bool v) { return v ? "true" : "false"; }

// Removes the temporary output unless the rename over OUTPUT succeeded.
struct TempFile {
    fs::path path;
    bool keep = false;
    ~TempFile() {
        if (!keep && !path.empty()) {
            std::error_code ec;
            fs::remove(path, ec);
        }
    }
};

fs::path temporaryNameFor(const fs::path& output) {
    std::random_device rd;
    const unsigned long long tag =
        (static_cast<unsigned long long>(rd()) << 16) ^
        static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
    fs::path tmp = output;
    tmp += ".zalo-tmp-" + std::to_string(tag % 1000000000ull);
    return tmp;
}

int run(const std::vector<std::string>& args) {
    zalo::RenderOptions options;
    std::string error;
    if (!zalo::parseRenderOptions(args, options, error)) {
        return fail(kExitBadInput, error + " (see --help)");
    }
    if (options.help) {
        std::fputs(zalo::renderUsage().c_str(), stdout);
        return 0;
    }

    zalo::MonoAudio input;
    if (!zalo::readMonoWaveFile(pathFromUtf8(options.inputPath), input, error)) {
        return fail(kExitBadInput, options.inputPath + ": " + error);
    }

    std::size_t blockFrames = 0;
    if (!zalo::blockFramesFor(options, input.sampleRate, blockFrames, error)) {
        return fail(kExitBadInput, error);
    }
    const std::uint64_t expectedSamples =
        zalo::renderOutputSamples(input.samples.size(), input.sampleRate);
    if (expectedSamples > zalo::kMaxFloatWaveSamples) {
        return fail(kExitBadInput, options.inputPath + ": the 48 kHz output (" +
                                       std::to_string(expectedSamples) +
                                       " samples) would exceed the 4 GiB WAVE size limit");
    }

    const zalo::ControlState controls = zalo::controlStateFor(options);
    auto engine = std::make_unique<zalo::AudioEngine>();
    engine->setParams(zalo::makeProcessingParams(controls));

    const fs::path outputPath = pathFromUtf8(options.outputPath);
    TempFile temp{temporaryNameFor(outputPath)};
    zalo::FloatWaveWriter writer;
    if (!writer.open(temp.path, zalo::kEngineSampleRateHz, error)) {
        return fail(kExitOutputFailed, options.outputPath + ": " + error);
    }

    // Only the engine calls are timed; writing the file is not processing.
    using Clock = std::chrono::steady_clock;
    Clock::duration processing{};
    const float* samples = input.samples.data();
    const std::size_t total = input.samples.size();
    for (std::size_t pos = 0; pos < total; pos += blockFrames) {
        const std::size_t n = std::min(blockFrames, total - pos);
        const auto t0 = Clock::now();
        engine->processBlock(samples + pos, n, input.sampleRate);
        processing += Clock::now() - t0;
        if (!writer.write(engine->lastBlock(), engine->lastBlockSize(), error)) {
            return fail(kExitOutputFailed, options.outputPath + ": " + error);
        }
    }
    if (!writer.finish(error)) {
        return fail(kExitOutputFailed, options.outputPath + ": " + error);
    }
    std::error_code ec;
    fs::rename(temp.path, outputPath, ec);
    if (ec) {
        return fail(kExitOutputFailed, options.outputPath + ": cannot replace: " + ec.message());
    }
    temp.keep = true;

    const double seconds = std::chrono::duration<double>(processing).count();
    std::string json = "{";
    json += "\"samples\":" + std::to_string(writer.samplesWritten());
    json += ",\"inputPeak\":" + jsonNumber(engine->inputPeak.load());
    json += ",\"outputPeak\":" + jsonNumber(engine->outputPeak.load());
    json += ",\"seconds\":" + jsonNumber(seconds);
    json += ",\"voice\":" + std::to_string(controls.voicePreset);
    json += ",\"noisePreset\":" +
            (options.noisePreset ? std::to_string(*options.noisePreset) : std::string("null"));
    json += ",\"strength\":" + std::to_string(controls.strength);
    json += ",\"filter\":" + jsonBool(controls.filterOn);
    json += ",\"highPass\":" + jsonBool(controls.highPass);
    json += ",\"compressor\":" + jsonBool(controls.compressor);
    json += ",\"limiter\":" + jsonBool(controls.limiter);
    json += ",\"gate\":" + jsonBool(controls.gate);
    json += ",\"deEsser\":" + jsonBool(controls.deEsser);
    json += ",\"cleanVoice\":" + jsonBool(controls.cleanVoice);
    json += ",\"pitch\":" + std::to_string(controls.pitch);
    json += ",\"tone\":" + std::to_string(controls.tone);
    json += ",\"robot\":" + std::to_string(controls.robot);
    json += ",\"echo\":" + std::to_string(controls.echo);
    json += ",\"inputRate\":" + std::to_string(input.sampleRate);
    json += ",\"inputChannels\":" + std::to_string(input.channels);
    json += ",\"inputFrames\":" + std::to_string(total);
    json += ",\"block\":" + std::to_string(blockFrames);
    json += ",\"nonFiniteInputSamples\":" + std::to_string(input.nonFiniteSamples);
    json += "}\n";
    std::fputs(json.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

int guardedRun(const std::vector<std::string>& args) {
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        return fail(kExitOutputFailed, "out of memory");
    } catch (const std::exception& e) {
        return fail(kExitOutputFailed, e.what());
    }
}

#ifdef _WIN32
// UTF-16 command line to UTF-8; unpaired surrogates become U+FFFD.
std::string utf8FromWide(const wchar_t* w) {
    std::string out;
    for (; *w; ++w) {
        unsigned long cp = static_cast<unsigned long>(*w) & 0xFFFFu;
        if (cp >= 0xD800 && cp < 0xDC00 && w[1] >= 0xDC00 && w[1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + ((static_cast<unsigned long>(w[1]) & 0xFFFFu) - 0xDC00);
            ++w;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}
#endif

}  // namespace

#ifdef _WIN32
// Wide entry point so that file names outside the ANSI code page survive.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(utf8FromWide(argv[i]));
    return guardedRun(args);
}
#else
int main(int argc, char** argv) {
    return guardedRun(std::vector<std::string>(argv + 1, argv + argc));
}
#endif

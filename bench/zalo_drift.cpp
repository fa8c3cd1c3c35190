// zalo-drift: the outputs under simulated clock drift (drift_sim.h). Prints
// one JSON line; a bad command line is one line on stderr and exit status 2.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/drift_sim.h"

namespace {

using zalo::DriftSimConfig;

constexpr unsigned kMicRateMinHz = 8000, kMicRateMaxHz = 384000;
constexpr double kPpmLimit = 100000.0;
constexpr double kHoursMax = 1000.0;
constexpr std::size_t kBurstMax = 100;

const char kUsage[] =
    "usage: zalo-drift [options]\n"
    "  --path wasapi|waveout     output path (default wasapi)\n"
    "  --output cable|monitor    which output (default cable)\n"
    "  --mic-rate HZ             microphone rate, 8000..384000 (default 48000)\n"
    "  --blocks N[,N...]         frames per captured packet at the microphone rate, used in turn,\n"
    "                            each 1..rate/4 (default rate/100)\n"
    "  --burst K                 packets delivered K at a time, every K packet periods, 1..100\n"
    "                            (default 1: evenly)\n"
    "  --mic-ppm P  --out-ppm Q  each clock's error in ppm, |P| <= 100000 (default 0)\n"
    "  --hours H                 simulated duration, 0 < H <= 1000 (default 1)\n"
    "  --tone HZ                 feed a sine of this frequency instead of speech-like noise\n"
    "                            (below half the microphone rate and below 24000; default none)\n"
    "  --seed S                  (default 1)\n"
    "Prints one JSON line; spreads (fillMs, latencyMs, trimPpm) are taken after the first 60 s.\n";

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "zalo-drift: %s\n", message.c_str());
    std::exit(2);
}

bool parseUnsigned(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return errno != ERANGE;
}

bool parseNumber(const std::string& text, double& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

struct Options {
    DriftSimConfig config;
    double hours = 1.0;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        if (name == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        const std::size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else {
            const bool known = name == "--path" || name == "--output" || name == "--mic-rate" || name == "--blocks" ||
                               name == "--burst" || name == "--mic-ppm" || name == "--out-ppm" || name == "--hours" ||
                               name == "--tone" || name == "--seed";
            if (!known) fail("unknown option '" + name + "' (see --help)");
            if (i + 1 >= argc) fail("option " + name + " needs a value");
            value = argv[++i];
        }
        std::uint64_t u = 0;
        double d = 0.0;
        if (name == "--path") {
            if (value == "wasapi") {
                o.config.path = zalo::SimPath::Wasapi;
            } else if (value == "waveout") {
                o.config.path = zalo::SimPath::WaveOut;
            } else {
                fail("--path must be wasapi or waveout, not '" + value + "'");
            }
        } else if (name == "--output") {
            if (value == "cable") {
                o.config.output = zalo::SimOutput::Cable;
            } else if (value == "monitor") {
                o.config.output = zalo::SimOutput::Monitor;
            } else {
                fail("--output must be cable or monitor, not '" + value + "'");
            }
        } else if (name == "--mic-rate") {
            if (!parseUnsigned(value, u) || u < kMicRateMinHz || u > kMicRateMaxHz)
                fail("--mic-rate must be a whole number of Hz from 8000 to 384000, not '" + value + "'");
            o.config.micRateHz = static_cast<unsigned>(u);
        } else if (name == "--blocks") {
            o.config.blockFrames.clear();
            std::size_t from = 0;
            for (;;) {
                const std::size_t comma = value.find(',', from);
                const std::string item = value.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
                if (!parseUnsigned(item, u) || u == 0 || u > kMicRateMaxHz)
                    fail("--blocks must be positive frame counts separated by commas, not '" + value + "'");
                o.config.blockFrames.push_back(static_cast<std::size_t>(u));
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
        } else if (name == "--burst") {
            if (!parseUnsigned(value, u) || u == 0 || u > kBurstMax)
                fail("--burst must be a whole number from 1 to 100, not '" + value + "'");
            o.config.burst = static_cast<std::size_t>(u);
        } else if (name == "--mic-ppm" || name == "--out-ppm") {
            if (!parseNumber(value, d) || std::fabs(d) > kPpmLimit)
                fail(name + " must be a number of ppm within +-100000, not '" + value + "'");
            (name == "--mic-ppm" ? o.config.micPpm : o.config.outPpm) = d;
        } else if (name == "--hours") {
            if (!parseNumber(value, d) || d <= 0.0 || d > kHoursMax)
                fail("--hours must be a number above 0 and at most 1000, not '" + value + "'");
            o.hours = d;
        } else if (name == "--tone") {
            if (!parseNumber(value, d) || d <= 0.0) fail("--tone must be a frequency above 0 Hz, not '" + value + "'");
            o.config.toneHz = d;
        } else if (name == "--seed") {
            if (!parseUnsigned(value, u)) fail("--seed must be a whole number, not '" + value + "'");
            o.config.seed = u;
        } else {
            fail("unknown option '" + name + "' (see --help)");
        }
    }
    // Checks that depend on the rate, whatever the order of the options.
    const unsigned rate = o.config.micRateHz;
    for (std::size_t frames : o.config.blockFrames)
        if (frames > rate / 4) fail("--blocks: " + std::to_string(frames) + " frames exceed a quarter second at " +
                                    std::to_string(rate) + " Hz");
    if (o.config.toneHz > 0.0 && (o.config.toneHz >= rate / 2.0 || o.config.toneHz >= 24000.0))
        fail("--tone must lie below half the microphone rate and below 24000 Hz");
    o.config.seconds = o.hours * 3600.0;
    return o;
}

std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string spread(const zalo::SimSpread& s, const char* first = "min", bool median = true) {
    const auto value = [&](double v) { return s.measured ? number(v) : std::string("null"); };
    std::string out = std::string("{\"") + first + "\":";
    if (median) {
        out += value(s.min) + ",\"median\":" + value(s.median);
    } else {
        out += value(s.min);
    }
    return out + ",\"max\":" + value(s.max) + "}";
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    const DriftSimConfig& c = o.config;
    const auto begun = std::chrono::steady_clock::now();
    const zalo::DriftSimResult r = zalo::runDriftSim(c);
    const double runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();

    std::string blocks;
    if (c.blockFrames.empty()) {
        blocks = std::to_string(std::max(1u, c.micRateHz / 100));
    } else {
        for (std::size_t i = 0; i < c.blockFrames.size(); ++i) blocks += (i ? "," : "") + std::to_string(c.blockFrames[i]);
    }
    const auto count = [](std::uint64_t v) { return std::to_string(v); };
    std::string json = "{\"path\":\"" + std::string(c.path == zalo::SimPath::Wasapi ? "wasapi" : "waveout") +
                       "\",\"output\":\"" + (c.output == zalo::SimOutput::Cable ? "cable" : "monitor") +
                       "\",\"micRate\":" + count(c.micRateHz) + ",\"blocks\":[" + blocks +
                       "],\"burst\":" + count(c.burst) + ",\"micPpm\":" + number(c.micPpm) +
                       ",\"outPpm\":" + number(c.outPpm) + ",\"hours\":" + number(o.hours) +
                       ",\"seed\":" + count(c.seed);
    if (c.toneHz > 0.0) json += ",\"tone\":" + number(c.toneHz);
    json += ",\"skips\":" + count(r.skips) + ",\"pads\":" + count(r.pads) +
            ",\"droppedSamples\":" + count(r.droppedSamples) + ",\"paddedSamples\":" + count(r.paddedSamples) +
            ",\"deviceUnderrunSamples\":" + count(r.deviceUnderrunSamples) +
            ",\"alignments\":" + count(r.alignments) + ",\"settleSeconds\":" + number(r.settleSeconds) +
            ",\"fillMs\":" + spread(r.fillMs) + ",\"latencyMs\":" + spread(r.latencyMs);
    zalo::SimSpread trim = r.trimPpm;
    json += ",\"trimPpm\":{\"final\":" + number(r.trimFinalPpm) + "," + spread(trim, "min", false).substr(1);
    if (c.toneHz > 0.0) {
        const bool measured = r.toneWindows > 0;
        json += ",\"toneErrorDb\":" + (measured ? number(r.toneErrorDb) : "null") +
                ",\"toneExactErrorDb\":" + (measured ? number(r.toneExactErrorDb) : "null") +
                ",\"toneWindows\":" + count(r.toneWindows);
    }
    json += ",\"exactChecked\":" + count(r.exactChecked) + ",\"exactMismatches\":" + count(r.exactMismatches) +
            ",\"outputSamples\":" + count(r.outputSamples) + ",\"runSeconds\":" + number(runSeconds) + "}";
    std::puts(json.c_str());
    return 0;
}

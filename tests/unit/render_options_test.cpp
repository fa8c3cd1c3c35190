// zalo-render's command line: ranges, malformed values, and the fixed order
// in which options reach the main window's control state.
#include "tools/render_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/audio_engine.h"
#include "dsp/voice_presets.h"

namespace {

using Args = std::vector<std::string>;

zalo::RenderOptions parseOk(Args args) {
    args.push_back("in.wav");
    args.push_back("out.wav");
    zalo::RenderOptions o;
    std::string error;
    EXPECT_TRUE(zalo::parseRenderOptions(args, o, error)) << error;
    return o;
}

std::string parseError(const Args& args) {
    zalo::RenderOptions o;
    std::string error;
    EXPECT_FALSE(zalo::parseRenderOptions(args, o, error));
    EXPECT_FALSE(error.empty());
    return error;
}

TEST(RenderOptions, NoOptionsGiveTheStartUpControls) {
    const auto o = parseOk({});
    EXPECT_EQ(o.inputPath, "in.wav");
    EXPECT_EQ(o.outputPath, "out.wav");
    const zalo::ControlState c = zalo::controlStateFor(o);
    EXPECT_EQ(c.voicePreset, 1);
    EXPECT_EQ(c.strength, 65);
    EXPECT_TRUE(c.filterOn);
    EXPECT_TRUE(c.highPass && c.compressor && c.limiter && c.gate);
    EXPECT_FALSE(c.deEsser);
    const zalo::ProcessingParams p = zalo::processingParamsFor(o);
    EXPECT_TRUE(p.enabled);
    EXPECT_FLOAT_EQ(p.noiseStrength, 0.65f);
    EXPECT_EQ(p.voiceType, zalo::voicePresetRow(1).type);
}

TEST(RenderOptions, IntegerRangesAreInclusiveAndEnforced) {
    struct Range {
        const char* name;
        long long min, max;
    };
    const Range ranges[] = {{"voice", 0, 32},    {"noise-preset", 0, 10}, {"strength", 0, 100},
                            {"pitch", -8, 8},    {"tone", -100, 100},     {"robot", 0, 100},
                            {"echo", 0, 60},     {"block", 1, zalo::kBlockFramesMax}};
    for (const auto& r : ranges) {
        const std::string opt = std::string("--") + r.name;
        parseOk({opt, std::to_string(r.min)});
        parseOk({opt, std::to_string(r.max)});
        for (long long bad : {r.min - 1, r.max + 1}) {
            const std::string e = parseError({opt, std::to_string(bad), "in.wav", "out.wav"});
            EXPECT_NE(e.find(opt), std::string::npos) << e;
            EXPECT_NE(e.find("range"), std::string::npos) << e;
        }
    }
    EXPECT_EQ(parseOk({"--pitch", "-8"}).pitch, -8);
    EXPECT_EQ(parseOk({"--tone", "+100"}).tone, 100);
    EXPECT_EQ(parseOk({"--block=4800"}).blockFrames, 4800);
}

TEST(RenderOptions, MalformedCommandLinesAreRefused) {
    for (const char* v : {"1.5", "", "abc", "3x", " 3", "1e2", "-", "0x10",
                          "99999999999999999999999"}) {
        const std::string e = parseError({"--voice", v, "in.wav", "out.wav"});
        EXPECT_NE(e.find("integer"), std::string::npos) << "'" << v << "': " << e;
    }
    EXPECT_NE(parseError({"in.wav", "out.wav", "--voice"}).find("missing value"),
              std::string::npos);
    EXPECT_NE(parseError({"--volume", "3", "in.wav", "out.wav"}).find("unknown option"),
              std::string::npos);
    EXPECT_NE(parseError({"-v", "in.wav", "out.wav"}).find("unknown option"), std::string::npos);
    EXPECT_NE(parseError({"--gate", "yes", "in.wav", "out.wav"}).find("on or off"),
              std::string::npos);
    EXPECT_NE(parseError({"--filter", "ON", "in.wav", "out.wav"}).find("on or off"),
              std::string::npos);
    for (const Args& files : {Args{}, Args{"in.wav"}, Args{"a.wav", "b.wav", "c.wav"}})
        EXPECT_NE(parseError(files).find("expected INPUT.wav and OUTPUT.wav"), std::string::npos);

    // "--" lets a file name start with a dash; --help needs no file names.
    zalo::RenderOptions o;
    std::string error;
    ASSERT_TRUE(zalo::parseRenderOptions({"--", "-in.wav", "--out.wav"}, o, error)) << error;
    EXPECT_EQ(o.inputPath, "-in.wav");
    EXPECT_EQ(o.outputPath, "--out.wav");
    ASSERT_TRUE(zalo::parseRenderOptions({"--help"}, o, error));
    EXPECT_TRUE(o.help);
}

TEST(RenderOptions, NoisePresetThenStrengthThenSwitchesWhateverTheArgumentOrder) {
    const zalo::NoisePresetDef* table = zalo::noisePresetTable();
    for (int i = 0; i < zalo::kNoisePresetCustom; ++i) {
        const auto c = zalo::controlStateFor(parseOk({"--noise-preset", std::to_string(i)}));
        EXPECT_EQ(c.strength, table[i].strength) << i;
        EXPECT_EQ(c.highPass, table[i].cleanUp) << i;
        EXPECT_EQ(c.compressor, table[i].cleanUp) << i;
        EXPECT_EQ(c.limiter, table[i].cleanUp) << i;
        EXPECT_EQ(c.gate, table[i].gate) << i;
        EXPECT_EQ(c.deEsser, table[i].deEsser) << i;

        // Strength and every switch given before the preset still win.
        const auto o = parseOk({"--strength", "7", "--high-pass", table[i].cleanUp ? "off" : "on",
                                "--gate", table[i].gate ? "off" : "on", "--de-esser",
                                table[i].deEsser ? "off" : "on", "--noise-preset",
                                std::to_string(i)});
        const auto d = zalo::controlStateFor(o);
        EXPECT_EQ(d.strength, 7) << i;
        EXPECT_EQ(d.highPass, !table[i].cleanUp) << i;
        EXPECT_EQ(d.compressor, table[i].cleanUp) << i;  // not overridden
        EXPECT_EQ(d.gate, !table[i].gate) << i;
        EXPECT_EQ(d.deEsser, !table[i].deEsser) << i;
        EXPECT_FLOAT_EQ(zalo::processingParamsFor(o).noiseStrength, 0.07f) << i;
    }
    // CUSTOM keeps the start-up controls.
    const auto custom = zalo::controlStateFor(parseOk({"--noise-preset", "10"}));
    const zalo::ControlState defaults{};
    EXPECT_EQ(custom.strength, defaults.strength);
    EXPECT_EQ(custom.gate, defaults.gate);
    EXPECT_EQ(custom.deEsser, defaults.deEsser);

    // A later occurrence replaces an earlier one.
    EXPECT_EQ(zalo::controlStateFor(parseOk({"--strength", "10", "--strength", "90"})).strength, 90);
    EXPECT_FALSE(zalo::processingParamsFor(parseOk({"--filter", "off"})).enabled);
    EXPECT_TRUE(zalo::processingParamsFor(parseOk({"--de-esser", "on"})).deEsser);
    EXPECT_FALSE(zalo::processingParamsFor(parseOk({"--limiter=off"})).limiter);
}

TEST(RenderOptions, VoiceSlidersReachOnlyTheConfigurablePreset) {
    const auto& table = zalo::voicePresetTable();
    int configurable = -1, fixed = -1;
    for (std::size_t i = 0; i < table.count; ++i) {
        if (table[i].configurable && configurable < 0) configurable = static_cast<int>(i);
        if (!table[i].configurable && table[i].type == 13 && fixed < 0) fixed = static_cast<int>(i);
    }
    ASSERT_GE(configurable, 0);
    const Args sliders = {"--pitch", "-5", "--tone", "40", "--robot", "30", "--echo", "60"};

    Args a = sliders;
    a.insert(a.end(), {"--voice", std::to_string(configurable)});
    const auto p = zalo::processingParamsFor(parseOk(a));
    EXPECT_FLOAT_EQ(p.pitchSemitones, -5.0f);
    EXPECT_FLOAT_EQ(p.tone, 0.40f);
    EXPECT_FLOAT_EQ(p.robot, 0.30f);
    EXPECT_FLOAT_EQ(p.echo, 0.60f);

    if (fixed >= 0) {
        Args b = sliders;
        b.insert(b.end(), {"--voice", std::to_string(fixed)});
        const auto q = zalo::processingParamsFor(parseOk(b));
        EXPECT_FLOAT_EQ(q.pitchSemitones, static_cast<float>(table[fixed].pitch));
        EXPECT_FLOAT_EQ(q.echo, table[fixed].echo / 100.0f);
    }
}

TEST(RenderOptions, BlockSizeDefaultsToTenMillisecondsAndFitsTheEngineBuffer) {
    std::size_t frames = 0;
    std::string error;
    const auto none = parseOk({});
    ASSERT_TRUE(zalo::blockFramesFor(none, 44100, frames, error));
    EXPECT_EQ(frames, 441u);
    ASSERT_TRUE(zalo::blockFramesFor(none, 50, frames, error));
    EXPECT_EQ(frames, 1u);  // rate / 100 rounds to 0: one frame per block

    // 48 kHz: 65536 frames is exactly the work buffer, one more would be cut.
    ASSERT_TRUE(zalo::blockFramesFor(parseOk({"--block", "65536"}), 48000, frames, error));
    EXPECT_FALSE(zalo::blockFramesFor(parseOk({"--block", "65537"}), 48000, frames, error));
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
    // 8 kHz: every input frame becomes six output samples.
    EXPECT_TRUE(zalo::blockFramesFor(parseOk({"--block", "10922"}), 8000, frames, error));
    EXPECT_FALSE(zalo::blockFramesFor(parseOk({"--block", "10923"}), 8000, frames, error));

    EXPECT_EQ(zalo::renderOutputSamples(44100, 441, 44100), 48000u);
    EXPECT_EQ(zalo::renderOutputSamples(1000, 441, 44100), 480u + 480u + 128u);
    EXPECT_EQ(zalo::renderOutputSamples(0, 441, 44100), 0u);
    EXPECT_EQ(zalo::renderOutputSamples(3, 1, 96000), 3u);  // at least one sample per block
}

}  // namespace

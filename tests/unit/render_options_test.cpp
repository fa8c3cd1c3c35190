// zalo-render's command line: defaults, the order in which options reach the
// main window's controls, refused command lines and the block size.
#include "tools/render_options.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Args = std::vector<std::string>;

zalo::RenderOptions parseOk(Args args) {
    args.insert(args.end(), {"in.wav", "out.wav"});
    zalo::RenderOptions o;
    std::string error;
    EXPECT_TRUE(zalo::parseRenderOptions(args, o, error)) << error;
    return o;
}

TEST(RenderOptions, NoisePresetThenStrengthThenSwitchesWhateverTheArgumentOrder) {
    const zalo::NoisePresetDef* table = zalo::noisePresetTable();
    for (int i = 0; i < zalo::kNoisePresetCustom; ++i) {
        // Switches given before the preset still win over it.
        const auto c = zalo::controlStateFor(
            parseOk({"--high-pass", table[i].cleanUp ? "off" : "on", "--de-esser",
                     table[i].deEsser ? "off" : "on", "--noise-preset", std::to_string(i)}));
        // The compressor, not given, is the preset's.
        EXPECT_EQ(std::make_tuple(c.strength, c.compressor, c.highPass, c.deEsser),
                  std::make_tuple(table[i].strength, table[i].cleanUp, !table[i].cleanUp, !table[i].deEsser)) << i;
    }
    // --strength given before the preset still wins over it.
    EXPECT_EQ(zalo::controlStateFor(parseOk({"--strength=7", "--noise-preset=0"})).strength, 7);
    // The clean-voice switch reaches the settings; noise presets leave it alone.
    EXPECT_TRUE(zalo::processingParamsFor(parseOk({"--clean-voice=on", "--noise-preset=3"})).cleanVoice);
}

TEST(RenderOptions, RefusesBadCommandLines) {
    // Range ends are inclusive.
    for (const Args& ok : {Args{"--voice=32"}, Args{"--pitch=-8"}, Args{"--echo=60"}}) parseOk(ok);
    const std::pair<Args, const char*> cases[] = {
        {{"--voice", "33", "a", "b"}, "out of range"},
        {{"--block", "0", "a", "b"}, "out of range"},
        {{"--strength", "1.5", "a", "b"}, "not an integer"},
        {{"--volume", "3", "a", "b"}, "unknown option"},
        {{"--gate", "yes", "a", "b"}, "not on or off"},
        {{"--clean-voice", "1", "a", "b"}, "not on or off"},
        {{"a", "b", "--voice"}, "missing value"},
        {{"a"}, "expected INPUT.wav and OUTPUT.wav"},
        {{"a", "b", "c"}, "expected INPUT.wav and OUTPUT.wav"},
    };
    for (const auto& [args, message] : cases) {
        zalo::RenderOptions o;
        std::string error;
        EXPECT_FALSE(zalo::parseRenderOptions(args, o, error)) << message;
        EXPECT_NE(error.find(message), std::string::npos) << message << ": got " << error;
    }
}

TEST(RenderOptions, DefaultsAreTheStartUpSettingsAndTenMillisecondBlocks) {
    // The main window at start-up: filter on, strength 65, "Voz limpa", every
    // clean-up switch but the de-esser.
    const zalo::ProcessingParams p = zalo::processingParamsFor(parseOk({}));
    EXPECT_EQ(std::make_tuple(p.enabled, p.noiseStrength, p.highPass, p.compressor, p.limiter, p.gate, p.deEsser,
                              p.inputGainDb, p.voiceType, p.cleanVoice),
              std::make_tuple(true, 0.65f, true, true, true, true, false, 0.0f, 1, false));
    std::size_t frames = 0;
    std::string error;
    ASSERT_TRUE(zalo::blockFramesFor(parseOk({}), 44100, frames, error));
    EXPECT_EQ(frames, 441u);
    ASSERT_TRUE(zalo::blockFramesFor(parseOk({}), 50, frames, error));
    EXPECT_EQ(frames, 1u);
    // At 48 kHz 65536 frames fill the work buffer exactly; one more would be cut.
    EXPECT_TRUE(zalo::blockFramesFor(parseOk({"--block", "65536"}), 48000, frames, error));
    EXPECT_FALSE(zalo::blockFramesFor(parseOk({"--block", "65537"}), 48000, frames, error));
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
}

}  // namespace

#include "settings/settings_store.h"
#include "settings/start_with_windows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <string>

namespace {

constexpr int kPresetCount = 33;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(SettingsClamps, StoredValuesMapIntoTheirRanges) {
    using namespace zalo;
    const struct { std::int32_t got, want; } rows[] = {
        {clampNoiseStrength(65), 65},  {clampNoiseStrength(100), 100}, {clampNoiseStrength(250), 100},
        {clampNoiseStrength(-1), 0},  // a stored 0xFFFFFFFF
        {clampNoiseStrength(kMin), 0}, {clampNoisePreset(10), 10},      {clampNoisePreset(15), 10},
        {clampNoisePreset(-3), 0},     {voicePresetIndex(32, kPresetCount), 32},
        {voicePresetIndex(kMax, kPresetCount), 32}, {voicePresetIndex(-5, kPresetCount), 0},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(rows[i].got, rows[i].want) << "row " << i;
}

TEST(StartWithWindows, RunValueIsTheQuotedPathOrNothing) {
    wchar_t buffer[260] = L"C:\\Apps\\Voz\\app.exe";
    EXPECT_EQ(zalo::quotedModulePath(buffer, 19, 260), L"\"C:\\Apps\\Voz\\app.exe\"");
    EXPECT_EQ(zalo::quotedModulePath(buffer, 0, 260), L"") << "the module-name call failed";
    EXPECT_EQ(zalo::quotedModulePath(buffer, 260, 260), L"") << "a cut path filled the buffer";
    EXPECT_EQ(zalo::quotedModulePath(buffer, 259, 260).size(), 261u) << "the longest whole path";
}

}  // namespace

#include "settings/settings_store.h"
#include "settings/start_with_windows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

constexpr int kPresetCount = 33;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(SettingsClamps, StoredValuesMapIntoTheirRanges) {
    struct Row {
        const char* what;
        std::int32_t got;
        std::int32_t want;
    };
    const Row rows[] = {
        {"strength in range", zalo::clampNoiseStrength(65), 65},
        {"strength 0", zalo::clampNoiseStrength(0), 0},
        {"strength 100", zalo::clampNoiseStrength(100), 100},
        {"strength 250", zalo::clampNoiseStrength(250), 100},
        {"strength 0xFFFFFFFF is -1", zalo::clampNoiseStrength(-1), 0},
        {"strength int32 min", zalo::clampNoiseStrength(kMin), 0},
        {"noise preset 10 CUSTOM", zalo::clampNoisePreset(10), 10},
        {"noise preset 15", zalo::clampNoisePreset(15), 10},
        {"noise preset -3", zalo::clampNoisePreset(-3), 0},
        {"voice preset last", zalo::voicePresetIndex(32, kPresetCount), 32},
        {"voice preset 40", zalo::voicePresetIndex(40, kPresetCount), 32},
        {"voice preset int32 max", zalo::voicePresetIndex(kMax, kPresetCount), 32},
        {"voice preset -5", zalo::voicePresetIndex(-5, kPresetCount), 0},
    };
    for (const Row& row : rows) EXPECT_EQ(row.got, row.want) << row.what;
}

TEST(StartWithWindows, RunValueIsTheQuotedPathOrNothing) {
    wchar_t buffer[260] = L"C:\\Apps\\Voz\\app.exe";
    EXPECT_EQ(zalo::quotedModulePath(buffer, 19, 260), L"\"C:\\Apps\\Voz\\app.exe\"");
    EXPECT_EQ(zalo::quotedModulePath(buffer, 0, 260), L"") << "the module-name call failed";
    EXPECT_EQ(zalo::quotedModulePath(buffer, 260, 260), L"") << "a cut path filled the buffer";
    EXPECT_EQ(zalo::quotedModulePath(buffer, 259, 260).size(), 261u) << "the longest whole path";
}

}  // namespace

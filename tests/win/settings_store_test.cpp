// The settings store and the start-up entry against the real registry:
// values are written raw with the registry API and read through the store,
// or written by the store and read raw. The test rewrites HKCU's settings
// and Run value, so it runs only under Wine (the harness's own prefix).
#include "settings/settings_store.h"
#include "settings/start_with_windows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::string_literals;
using Bytes = std::vector<BYTE>;
using Value = std::pair<DWORD, Bytes>;  // type and data; REG_NONE when absent

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"ZaloAudio";

Bytes dword(std::uint32_t v) { return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}; }
Bytes qword(std::uint32_t v) { return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24), 0, 0, 0, 0}; }
Bytes utf16(const std::wstring& text) {  // the code units, NULs included
    const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
    return Bytes(p, p + text.size() * sizeof(wchar_t));
}

// Stores exactly `data`. The registry completes a string whose terminator
// was left out of the count when the next character is NUL; the non-NUL pad
// after the data keeps an unterminated test value unterminated.
void putValue(const wchar_t* keyPath, const wchar_t* name, DWORD type, const Bytes& data) {
    Bytes padded = data;
    padded.insert(padded.end(), {0xFF, 0xFF});
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, padded.data(), DWORD(data.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

Value getValue(const wchar_t* keyPath, const wchar_t* name) {
    Value value{REG_NONE, Bytes(65536)};
    DWORD bytes = DWORD(value.second.size());
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
    if (RegQueryValueExW(key, name, nullptr, &value.first, value.second.data(), &bytes) != ERROR_SUCCESS) {
        value.first = REG_NONE, bytes = 0;
    }
    RegCloseKey(key);
    value.second.resize(bytes);
    return value;
}

class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        underWine_ = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
        if (!underWine_) GTEST_SKIP() << "rewrites the user's settings; runs only under Wine";
        clear();
    }
    void TearDown() override {
        if (underWine_) clear();
    }
    static void clear() {
        RegDeleteTreeW(HKEY_CURRENT_USER, zalo::kSettingsKey);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue);
    }
    bool underWine_ = false;
};

TEST_F(SettingsRegistry, NumbersTakeDefaultsForWrongTypesAndAreClamped) {
    struct Raw { const wchar_t* name; DWORD type; Bytes data; };
    struct Row { const char* what; std::vector<Raw> stored; std::vector<std::int32_t> want; };
    // want: themeRed, filterOn, voicePreset, noiseStrength, noisePreset as loaded.
    const Row rows[] = {
        {"no key", {}, {0, 1, 1, 65, 2}},
        {"above range", {{L"ThemeRed", REG_DWORD, dword(7)}, {L"FilterOn", REG_DWORD, dword(0)},
             {L"VoicePreset", REG_DWORD, dword(40)}, {L"NoiseStrength", REG_DWORD, dword(250)},
             {L"NoisePreset", REG_DWORD, dword(15)}}, {1, 0, 40, 100, 10}},
        {"negative", {{L"VoicePreset", REG_DWORD, dword(-5)}, {L"NoiseStrength", REG_DWORD, dword(0xFFFFFFFF)},
             {L"NoisePreset", REG_DWORD, dword(-1)}}, {0, 1, -5, 0, 0}},
        {"wrong types", {{L"FilterOn", REG_SZ, utf16(L"0\0"s)}, {L"ThemeRed", REG_QWORD, qword(1)},
             {L"VoicePreset", REG_BINARY, dword(3)}, {L"NoiseStrength", REG_DWORD, qword(10)}},
         {0, 1, 1, 65, 2}},
    };
    for (const Row& row : rows) {
        clear();
        for (const Raw& raw : row.stored) putValue(zalo::kSettingsKey, raw.name, raw.type, raw.data);
        const zalo::StoredSettings s = zalo::loadSettings();
        const std::vector<std::int32_t> got{s.themeRed, s.filterOn, s.voicePreset, s.noiseStrength, s.noisePreset};
        EXPECT_EQ(got, row.want) << row.what;
    }
}

TEST_F(SettingsRegistry, DeviceIdIsAWholeStringOrEmpty) {
    struct Row { const char* what; DWORD type; Bytes data; std::wstring want; };
    const std::wstring longest(2047, L'a');  // 4096 bytes with its terminator
    Bytes oddCount = utf16(L"ab\0"s);
    oddCount.push_back('x');
    const Row rows[] = {
        {"terminated", REG_SZ, utf16(L"{0.0.1}.{ab}\0"s), L"{0.0.1}.{ab}"},
        {"unterminated", REG_SZ, utf16(L"ab"), L"ab"},
        {"trailing NULs", REG_SZ, utf16(L"ab\0\0\0"s), L"ab"},
        {"empty", REG_SZ, utf16(L"\0"s), L""},
        {"no bytes", REG_SZ, {}, L""},
        {"expandable", REG_EXPAND_SZ, utf16(L"ab\0"s), L""},
        {"a number", REG_DWORD, dword(5), L""},
        {"odd byte count", REG_SZ, oddCount, L""},
        {"4096 bytes", REG_SZ, utf16(longest + L'\0'), longest},
        {"4098 bytes", REG_SZ, utf16(longest + L"a\0"s), L""},
    };
    EXPECT_EQ(zalo::readDeviceIdSetting(), L"") << "no key";
    for (const Row& row : rows) {
        putValue(zalo::kSettingsKey, L"DeviceId", row.type, row.data);
        EXPECT_TRUE(zalo::readDeviceIdSetting() == row.want) << row.what;
    }
}

TEST_F(SettingsRegistry, WritesCreateTheKeyWithExactByteCounts) {
    zalo::writeDwordSetting(zalo::kNoisePresetValue, 10);
    zalo::writeDwordSetting(zalo::kThemeRedValue, 0);
    zalo::writeDeviceIdSetting(L"{0.0.1.00000000}.{5d3c}");
    EXPECT_EQ(getValue(zalo::kSettingsKey, L"NoisePreset"), Value(REG_DWORD, dword(10)));
    EXPECT_EQ(getValue(zalo::kSettingsKey, L"ThemeRed"), Value(REG_DWORD, dword(0)));
    // (length + 1) * 2 bytes: the text and its terminator.
    EXPECT_EQ(getValue(zalo::kSettingsKey, L"DeviceId"),
              Value(REG_SZ, utf16(L"{0.0.1.00000000}.{5d3c}\0"s)));
}

TEST_F(SettingsRegistry, StartWithWindowsWritesTheQuotedPathAndDeletesIt) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    EXPECT_FALSE(zalo::isStartWithWindowsEnabled());
    zalo::setStartWithWindows(true);
    // (characters + 1) * 2 bytes: quote, path, quote, terminator.
    EXPECT_EQ(getValue(kRunKey, kRunValue), Value(REG_SZ, utf16(L"\"" + std::wstring(path) + L"\"\0"s)));
    EXPECT_TRUE(zalo::isStartWithWindowsEnabled());
    zalo::setStartWithWindows(false);
    EXPECT_EQ(getValue(kRunKey, kRunValue).first, DWORD(REG_NONE));
    EXPECT_FALSE(zalo::isStartWithWindowsEnabled());
    // A hand-made value of any type counts; one too large for the probe does not.
    putValue(kRunKey, kRunValue, REG_DWORD, dword(0));
    EXPECT_TRUE(zalo::isStartWithWindowsEnabled());
    putValue(kRunKey, kRunValue, REG_SZ, Bytes(4098, 'a'));
    EXPECT_FALSE(zalo::isStartWithWindowsEnabled());
}

}  // namespace

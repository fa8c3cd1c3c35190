#include "settings/settings_store.h"

#include <windows.h>

#include "settings/registry_key_win.h"

namespace zalo {

namespace {

// A DeviceId above this is taken as corrupt and read as empty, so that a
// damaged value cannot make every start allocate and copy without bound.
// Endpoint ids are about a hundred characters.
constexpr DWORD kMaxDeviceIdBytes = 4096;

void writeSetting(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    RegistryKey key;
    if (!key.create(HKEY_CURRENT_USER, kSettingsKey, KEY_SET_VALUE)) return;
    // A failed write is dropped: the program keeps the new state in memory.
    RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes);
}

}  // namespace

std::int32_t readDwordSetting(const wchar_t* name, std::int32_t defaultValue) {
    RegistryKey key;
    if (!key.open(HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE)) return defaultValue;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    // A value larger than 4 bytes (REG_QWORD, long REG_BINARY) fails here
    // with ERROR_MORE_DATA; a shorter one has the type check to pass.
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return defaultValue;
    }
    return static_cast<std::int32_t>(value);
}

void writeDwordSetting(const wchar_t* name, std::uint32_t value) {
    const DWORD data = value;
    writeSetting(name, REG_DWORD, &data, sizeof(data));
}

std::wstring readDeviceIdSetting() {
    RegistryKey key;
    if (!key.open(HKEY_CURRENT_USER, kSettingsKey, KEY_QUERY_VALUE)) return {};
    DWORD type = REG_NONE;
    DWORD storedBytes = 0;
    if (RegQueryValueExW(key.get(), kDeviceIdValue, nullptr, &type, nullptr, &storedBytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ || storedBytes < sizeof(wchar_t) || storedBytes > kMaxDeviceIdBytes) {
        return {};
    }
    // The query is given the buffer's own byte size, never the stored one: a
    // value of odd length (or one that grew since the first query) then
    // fails with ERROR_MORE_DATA instead of writing past the buffer.
    std::wstring id(storedBytes / sizeof(wchar_t), L'\0');
    DWORD bytes = static_cast<DWORD>(id.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), kDeviceIdValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(&id[0]), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    // The stored terminator, any further NULs, and the zeroed tail left by a
    // value that shrank between the two queries.
    id.erase(id.find_last_not_of(L'\0') + 1);
    return id;
}

void writeDeviceIdSetting(const std::wstring& deviceId) {
    // The characters and their terminating NUL: (length + 1) * 2 bytes.
    writeSetting(kDeviceIdValue, REG_SZ, deviceId.c_str(),
                 static_cast<DWORD>((deviceId.size() + 1) * sizeof(wchar_t)));
}

StoredSettings loadSettings() {
    const StoredSettings defaults;
    StoredSettings s;
    s.themeRed = readDwordSetting(kThemeRedValue, defaults.themeRed ? 1 : 0) != 0;
    s.filterOn = readDwordSetting(kFilterOnValue, defaults.filterOn ? 1 : 0) != 0;
    s.deviceId = readDeviceIdSetting();
    s.voicePreset = readDwordSetting(kVoicePresetValue, defaults.voicePreset);
    s.noiseStrength =
        clampNoiseStrength(readDwordSetting(kNoiseStrengthValue, defaults.noiseStrength));
    s.noisePreset = clampNoisePreset(readDwordSetting(kNoisePresetValue, defaults.noisePreset));
    // Written as 0 or 1; any other number reads as on, like ThemeRed.
    s.cleanVoice = readDwordSetting(kCleanVoiceValue, defaults.cleanVoice ? 1 : 0) != 0;
    s.lowLatency = readDwordSetting(kLowLatencyValue, defaults.lowLatency ? 1 : 0) != 0;
    return s;
}

}  // namespace zalo

// The user's persistent choices under HKCU\Software\Tecmora\ZaloAudio.
// The store keeps no cache: every read and write opens and closes its own key
// on the user-interface thread, and failures are silent (defaults on read,
// dropped writes).
#pragma once

#include <cstdint>
#include <string>

namespace zalo {

// Registry value names (REG_DWORD unless noted).
inline constexpr wchar_t kSettingsKey[] = L"Software\\Tecmora\\ZaloAudio";
inline constexpr wchar_t kThemeRedValue[] = L"ThemeRed";
inline constexpr wchar_t kFilterOnValue[] = L"FilterOn";
inline constexpr wchar_t kDeviceIdValue[] = L"DeviceId";  // REG_SZ
inline constexpr wchar_t kVoicePresetValue[] = L"VoicePreset";
inline constexpr wchar_t kNoiseStrengthValue[] = L"NoiseStrength";
inline constexpr wchar_t kNoisePresetValue[] = L"NoisePreset";
inline constexpr wchar_t kCleanVoiceValue[] = L"CleanVoice";  // "Limpeza HD", 0 or 1
// The outputs' device path: 1 (or absent) a WASAPI render stream, 0 waveOut.
// Set by hand or by support; the window has no control for it.
inline constexpr wchar_t kLowLatencyValue[] = L"LowLatency";

// The settings as the program starts from them (defaults = first run).
struct StoredSettings {
    bool themeRed = false;
    bool filterOn = true;
    std::wstring deviceId;
    std::int32_t voicePreset = 1;    // as stored; see voicePresetIndex()
    std::int32_t noiseStrength = 65; // clamped to 0..100
    std::int32_t noisePreset = 2;    // clamped to 0..10
    bool cleanVoice = false;
    bool lowLatency = true;
};

// Portable clamps (signed comparisons).
std::int32_t clampNoiseStrength(std::int32_t stored);
std::int32_t clampNoisePreset(std::int32_t stored);
// The preset a stored VoicePreset selects: clamped to 0..presetCount-1.
int voicePresetIndex(std::int32_t stored, int presetCount);

// Windows only (registry).
std::int32_t readDwordSetting(const wchar_t* name, std::int32_t defaultValue);
void writeDwordSetting(const wchar_t* name, std::uint32_t value);
std::wstring readDeviceIdSetting();
void writeDeviceIdSetting(const std::wstring& deviceId);
// Reads the values in their start-up order (ThemeRed, FilterOn, DeviceId,
// VoicePreset, NoiseStrength, NoisePreset, CleanVoice, LowLatency) and applies
// the clamps.
StoredSettings loadSettings();

}  // namespace zalo

// The main window's controls as data: creation order, class, initial text,
// id, client-pixel rectangle, style and font. The first 49 are the original
// layout; controls added later come after them, so that the order and ids of
// the original ones never move. Portable (no Windows header), so the table
// reads the same to the window code and to anyone checking it. Positions are
// device pixels and are never scaled.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ui/strings.h"

namespace zalo {

constexpr int kClientWidth = 748;
constexpr int kClientHeight = 694;
// Owner-drawn combo boxes: the selection field and each drop-down row.
constexpr int kComboFieldHeight = 27;
constexpr int kComboItemHeight = 26;

// The named controls the code refers to later. Labels that never change
// have no field.
enum class Field : int {
    none = -1,
    titleLabel, themeButton, liveLabel, deviceCombo, refreshButton, statusLabel,
    strengthValueLabel, strengthSlider, noisePresetCombo, inputMeter, outputMeter,
    filterButton, soundSettingsButton, startWithWindowsCheckbox, voicePresetCombo,
    activeVoiceButton, monitorCheckbox, volumeSlider, presetHintLabel,
    pitchSlider, pitchValueLabel, toneSlider, toneValueLabel,
    robotSlider, robotValueLabel, echoSlider, echoValueLabel,
    highPassCheckbox, compressorCheckbox, limiterCheckbox, gateCheckbox, deEsserCheckbox,
    recordButton, playOriginalButton, playFilteredButton, testStatusLabel,
    cleanVoiceCheckbox, shortcutsButton,
    count
};
constexpr std::size_t kFieldCount = static_cast<std::size_t>(Field::count);

enum class FontRole { none, body, small, title, bold };

// Control ids (the low word of WM_COMMAND).
enum ControlId : int {
    kIdNone = 0,
    kIdDeviceCombo = 1001, kIdRefresh = 1002, kIdStrengthSlider = 1003,
    kIdNoisePresetCombo = 1004, kIdFilter = 1005, kIdRecord = 1006,
    kIdPlayOriginal = 1007, kIdPlayFiltered = 1008, kIdSoundSettings = 1009,
    kIdHighPass = 1010, kIdCompressor = 1011, kIdLimiter = 1012,
    kIdStartWithWindows = 1013, kIdVoicePresetCombo = 1018, kIdMonitor = 1019,
    kIdVolumeSlider = 1020, kIdPitchSlider = 1021, kIdToneSlider = 1022,
    kIdRobotSlider = 1023, kIdEchoSlider = 1024, kIdGate = 1025, kIdDeEsser = 1026,
    kIdTheme = 1027, kIdActiveVoice = 1028, kIdCleanVoice = 1029, kIdShortcuts = 1032,
};

// Window styles, spelled as numbers so that this header needs no Windows
// header: WS_CHILD | WS_VISIBLE, plus BS_OWNERDRAW, BS_AUTOCHECKBOX,
// TBS_NOTICKS, or WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED |
// CBS_HASSTRINGS. No control takes WS_TABSTOP: there is no keyboard
// navigation between controls.
constexpr std::uint32_t kStyleChildVisible = 0x50000000u;
constexpr std::uint32_t kStyleLabel = kStyleChildVisible;
// The preset hint spans the card's full width and overlaps the volume
// slider created before it; WS_CLIPSIBLINGS keeps its background from
// painting over that slider.
constexpr std::uint32_t kStyleLabelBelowSlider = kStyleLabel | 0x04000000u;
constexpr std::uint32_t kStylePushButton = kStyleChildVisible | 0x0Bu;
constexpr std::uint32_t kStyleCheckBox = kStyleChildVisible | 0x03u;
constexpr std::uint32_t kStyleSlider = kStyleChildVisible | 0x10u;
constexpr std::uint32_t kStyleMeter = kStyleChildVisible;
constexpr std::uint32_t kStyleCombo = kStyleChildVisible | 0x00200213u;

inline constexpr wchar_t kClassStatic[] = L"STATIC";
inline constexpr wchar_t kClassButton[] = L"BUTTON";
inline constexpr wchar_t kClassCombo[] = L"ComboBox";
inline constexpr wchar_t kClassTrackbar[] = L"msctls_trackbar32";
inline constexpr wchar_t kClassProgress[] = L"msctls_progress32";

struct ControlDef {
    Field field;
    const wchar_t* className;
    const wchar_t* text;  // creation text; some are replaced right after
    int id;
    int x, y, w, h;       // for a combo box, h is the height of its drop-down list
    std::uint32_t style;
    FontRole font;
};

// clang-format off
inline constexpr ControlDef kMainControls[] = {
    {Field::titleLabel, kClassStatic, text::kTitle, kIdNone, 24, 14, 260, 36, kStyleLabel, FontRole::title},
    {Field::none, kClassStatic, text::kTagline, kIdNone, 26, 49, 320, 22, kStyleLabel, FontRole::body},
    {Field::themeButton, kClassButton, text::kThemeSymbol, kIdTheme, 442, 18, 41, 28, kStylePushButton, FontRole::body},
    {Field::liveLabel, kClassStatic, text::kLiveOff, kIdNone, 493, 25, 230, 22, kStyleLabel, FontRole::small},
    {Field::none, kClassStatic, text::kAudioInput, kIdNone, 24, 81, 180, 22, kStyleLabel, FontRole::bold},
    {Field::deviceCombo, kClassCombo, L"", kIdDeviceCombo, 24, 105, 548, 240, kStyleCombo, FontRole::body},
    {Field::refreshButton, kClassButton, text::kRefresh, kIdRefresh, 586, 104, 137, 31, kStylePushButton, FontRole::body},
    {Field::statusLabel, kClassStatic, text::kStatusChecking, kIdNone, 24, 141, 699, 22, kStyleLabel, FontRole::small},
    {Field::none, kClassStatic, text::kNoiseReduction, kIdNone, 24, 176, 200, 22, kStyleLabel, FontRole::bold},
    {Field::strengthValueLabel, kClassStatic, L"", kIdNone, 675, 176, 48, 22, kStyleLabel, FontRole::body},
    {Field::strengthSlider, kClassTrackbar, L"", kIdStrengthSlider, 24, 199, 699, 26, kStyleSlider, FontRole::none},
    {Field::none, kClassStatic, text::kPreset, kIdNone, 24, 229, 80, 20, kStyleLabel, FontRole::small},
    {Field::noisePresetCombo, kClassCombo, L"", kIdNoisePresetCombo, 24, 251, 190, 300, kStyleCombo, FontRole::body},
    {Field::none, kClassStatic, text::kInputMeter, kIdNone, 235, 229, 90, 20, kStyleLabel, FontRole::small},
    {Field::inputMeter, kClassProgress, L"", kIdNone, 235, 253, 190, 18, kStyleMeter, FontRole::none},
    {Field::none, kClassStatic, text::kOutputMeter, kIdNone, 447, 229, 145, 20, kStyleLabel, FontRole::small},
    {Field::outputMeter, kClassProgress, L"", kIdNone, 447, 253, 276, 18, kStyleMeter, FontRole::none},
    {Field::filterButton, kClassButton, text::kFilterOn, kIdFilter, 24, 283, 190, 34, kStylePushButton, FontRole::body},
    {Field::soundSettingsButton, kClassButton, text::kDefaultMicrophone, kIdSoundSettings, 235, 283, 190, 34, kStylePushButton, FontRole::body},
    {Field::startWithWindowsCheckbox, kClassButton, text::kStartWithWindows, kIdStartWithWindows, 447, 288, 190, 24, kStyleCheckBox, FontRole::body},
    {Field::none, kClassStatic, text::kVoiceGallery, kIdNone, 24, 337, 220, 22, kStyleLabel, FontRole::bold},
    {Field::voicePresetCombo, kClassCombo, L"", kIdVoicePresetCombo, 24, 362, 1, 1, kStyleCombo, FontRole::body},
    {Field::activeVoiceButton, kClassButton, text::kActiveVoiceInitial, kIdActiveVoice, 24, 362, 455, 34, kStylePushButton, FontRole::body},
    {Field::monitorCheckbox, kClassButton, text::kListenToMe, kIdMonitor, 497, 363, 170, 25, kStyleCheckBox, FontRole::body},
    {Field::none, kClassStatic, text::kVolume, kIdNone, 675, 365, 48, 20, kStyleLabel, FontRole::small},
    {Field::volumeSlider, kClassTrackbar, L"", kIdVolumeSlider, 494, 389, 229, 26, kStyleSlider, FontRole::none},
    {Field::presetHintLabel, kClassStatic, text::kPresetHint, kIdNone, 24, 397, 699, 20, kStyleLabelBelowSlider, FontRole::small},
    {Field::none, kClassStatic, text::kPitch, kIdNone, 24, 422, 55, 18, kStyleLabel, FontRole::small},
    {Field::pitchSlider, kClassTrackbar, L"", kIdPitchSlider, 75, 416, 220, 26, kStyleSlider, FontRole::none},
    {Field::pitchValueLabel, kClassStatic, text::kZeroSemitones, kIdNone, 299, 422, 52, 18, kStyleLabel, FontRole::small},
    {Field::none, kClassStatic, text::kTone, kIdNone, 370, 422, 45, 18, kStyleLabel, FontRole::small},
    {Field::toneSlider, kClassTrackbar, L"", kIdToneSlider, 411, 416, 255, 26, kStyleSlider, FontRole::none},
    {Field::toneValueLabel, kClassStatic, text::kZeroPercent, kIdNone, 672, 422, 51, 18, kStyleLabel, FontRole::small},
    {Field::none, kClassStatic, text::kRobot, kIdNone, 24, 454, 55, 18, kStyleLabel, FontRole::small},
    {Field::robotSlider, kClassTrackbar, L"", kIdRobotSlider, 75, 448, 220, 26, kStyleSlider, FontRole::none},
    {Field::robotValueLabel, kClassStatic, text::kZeroPercent, kIdNone, 299, 454, 52, 18, kStyleLabel, FontRole::small},
    {Field::none, kClassStatic, text::kEcho, kIdNone, 370, 454, 45, 18, kStyleLabel, FontRole::small},
    {Field::echoSlider, kClassTrackbar, L"", kIdEchoSlider, 411, 448, 255, 26, kStyleSlider, FontRole::none},
    {Field::echoValueLabel, kClassStatic, text::kZeroPercent, kIdNone, 672, 454, 51, 18, kStyleLabel, FontRole::small},
    {Field::highPassCheckbox, kClassButton, text::kHighPass, kIdHighPass, 24, 485, 118, 24, kStyleCheckBox, FontRole::body},
    {Field::compressorCheckbox, kClassButton, text::kCompressor, kIdCompressor, 148, 485, 125, 24, kStyleCheckBox, FontRole::body},
    {Field::limiterCheckbox, kClassButton, text::kLimiter, kIdLimiter, 279, 485, 88, 24, kStyleCheckBox, FontRole::body},
    {Field::gateCheckbox, kClassButton, text::kGate, kIdGate, 373, 485, 118, 24, kStyleCheckBox, FontRole::body},
    {Field::deEsserCheckbox, kClassButton, text::kDeEsser, kIdDeEsser, 497, 485, 105, 24, kStyleCheckBox, FontRole::body},
    {Field::none, kClassStatic, text::kVoiceTest, kIdNone, 24, 526, 160, 22, kStyleLabel, FontRole::bold},
    {Field::recordButton, kClassButton, text::kRecord, kIdRecord, 24, 551, 150, 34, kStylePushButton, FontRole::body},
    {Field::playOriginalButton, kClassButton, text::kPlayOriginal, kIdPlayOriginal, 188, 551, 166, 34, kStylePushButton, FontRole::body},
    {Field::playFilteredButton, kClassButton, text::kPlayFiltered, kIdPlayFiltered, 368, 551, 166, 34, kStylePushButton, FontRole::body},
    {Field::testStatusLabel, kClassStatic, text::kTestIdle, kIdNone, 548, 547, 175, 42, kStyleLabel, FontRole::small},
    // Added after the original 49: the clean-voice noise reducer, on the
    // clean-up row right of "De-esser" (which ends at x 602), ending at the
    // card's inner right edge like the labels above it (x 723).
    {Field::cleanVoiceCheckbox, kClassButton, text::kCleanVoice, kIdCleanVoice, 608, 485, 115, 24, kStyleCheckBox, FontRole::body},
    // The shortcuts window's button, left of the theme button and its twin
    // in size and drawing.
    {Field::shortcutsButton, kClassButton, text::kShortcutsSymbol, kIdShortcuts, 396, 18, 41, 28, kStylePushButton, FontRole::body},
};
// clang-format on

static_assert(sizeof(kMainControls) / sizeof(kMainControls[0]) == 51,
              "the original 49 controls, then \"Limpeza HD\" and \"⌨\"");

// Rounded cards painted behind the controls, by top and bottom (client y).
struct CardSpan { int top, bottom; };
inline constexpr CardSpan kCards[] = {{72, 162}, {168, 326}, {332, 515}, {521, 596}};

}  // namespace zalo

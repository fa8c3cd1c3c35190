// What the main window's controls do: WM_COMMAND and WM_HSCROLL, the
// preset refresh sequence, the device list and the hand-over of the whole
// control state to the engine.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>

#include "dsp/voice_presets.h"
#include "settings/settings_store.h"
#include "settings/start_with_windows.h"
#include "ui/app.h"
#include "ui/main_window_logic.h"
#include "ui/strings.h"

namespace zalo {

namespace {

// The five clean-up boxes, in the order a noise preset sets them.
constexpr Field kCleanUpBoxes[] = {Field::highPassCheckbox, Field::compressorCheckbox,
                                   Field::limiterCheckbox, Field::gateCheckbox, Field::deEsserCheckbox};
constexpr Field kVoiceSliders[] = {Field::pitchSlider, Field::toneSlider, Field::robotSlider,
                                   Field::echoSlider};

}  // namespace

void App::onCommand(int id, int code) {
    if (code == CBN_SELCHANGE) {
        switch (id) {
            case kIdDeviceCombo: selectDevice(); break;
            case kIdNoisePresetCombo: noisePresetChosen(); break;
            case kIdVoicePresetCombo: voicePresetChosen(); break;
            default: break;
        }
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
        case kIdRefresh:
            refreshDevices(true);
            applyCaptureChoice(true);
            break;
        case kIdFilter: toggleFilter(); break;
        case kIdRecord: startVoiceTest(); break;
        case kIdPlayOriginal: voiceTest.play(false); break;
        case kIdPlayFiltered: voiceTest.play(true); break;
        case kIdSoundSettings:
            ShellExecuteW(hwnd, L"open", text::kSoundSettingsUri, nullptr, nullptr, SW_SHOWNORMAL);
            break;
        case kIdHighPass:
        case kIdCompressor:
        case kIdLimiter:
        case kIdGate:
        case kIdDeEsser:
        case kIdMonitor:
            pushParamsToEngine();
            break;
        case kIdStartWithWindows: startWithWindowsClicked(); break;
        case kIdCleanVoice: cleanVoiceClicked(); break;
        case kIdTheme:
            themeRed = !themeRed;
            applyTheme();
            break;
        case kIdActiveVoice: openVoiceGallery(); break;
        case kIdShortcuts: openShortcutsWindow(); break;
        default: break;
    }
}

void App::onSlider(HWND slider) {
    if (slider == nullptr) return;
    if (slider == control(Field::strengthSlider)) {
        const int p = sliderPosition(Field::strengthSlider);
        setText(Field::strengthValueLabel, percentLabel(p));
        noiseStrength = p;
        writeDwordSetting(kNoiseStrengthValue, static_cast<std::uint32_t>(p));
        SendMessageW(control(Field::noisePresetCombo), CB_SETCURSEL, kNoisePresetCustom, 0);
        noisePreset = kNoisePresetCustom;
        writeDwordSetting(kNoisePresetValue, kNoisePresetCustom);
    } else if (std::any_of(std::begin(kVoiceSliders), std::end(kVoiceSliders),
                           [&](Field f) { return control(f) == slider; })) {
        refreshVoiceControls();
    } else if (slider != control(Field::volumeSlider)) {
        return;  // not one of ours
    }
    pushParamsToEngine();  // also carries the monitor volume
}

void App::toggleFilter() {
    filterOn = !filterOn;
    writeDwordSetting(kFilterOnValue, filterOn ? 1u : 0u);
    setText(Field::filterButton, filterOn ? text::kFilterOn : text::kFilterOff);
    pushParamsToEngine();
    refreshTrayState();  // the greyed icon follows at once, also when hidden
}

void App::noisePresetChosen() {
    const int index = comboSelection(Field::noisePresetCombo);
    if (index < 0) return;  // no selection: nothing was chosen
    noisePreset = index;
    writeDwordSetting(kNoisePresetValue, static_cast<std::uint32_t>(index));
    ControlState state = readControlState();
    if (!applyNoisePreset(state, index)) return;  // "CUSTOM" keeps everything
    setSliderPosition(Field::strengthSlider, state.strength);
    setText(Field::strengthValueLabel, percentLabel(state.strength));
    const bool boxes[] = {state.highPass, state.compressor, state.limiter, state.gate, state.deEsser};
    for (std::size_t i = 0; i < std::size(kCleanUpBoxes); ++i) setChecked(kCleanUpBoxes[i], boxes[i]);
    noiseStrength = state.strength;
    writeDwordSetting(kNoiseStrengthValue, static_cast<std::uint32_t>(state.strength));
    pushParamsToEngine();
}

void App::voicePresetChosen() {
    voicePreset = comboSelection(Field::voicePresetCombo);
    writeDwordSetting(kVoicePresetValue, static_cast<std::uint32_t>(voicePreset));
    updateActiveVoiceButton();
    presetRefreshSequence();
}

void App::startWithWindowsClicked() {
    setStartWithWindows(isChecked(Field::startWithWindowsCheckbox));
    // Show what the registry really holds: a failed write or delete must not
    // leave the box claiming success.
    setChecked(Field::startWithWindowsCheckbox, isStartWithWindowsEnabled());
}

// "Limpeza HD" is the one switch of the clean-up row that persists; the
// noise presets never touch it.
void App::cleanVoiceClicked() {
    writeDwordSetting(kCleanVoiceValue, isChecked(Field::cleanVoiceCheckbox) ? 1u : 0u);
    pushParamsToEngine();
}

void App::presetRefreshSequence() {
    ControlState state = readControlState();
    syncSlidersToPreset(state);
    setSliderPosition(Field::pitchSlider, state.pitch);
    setSliderPosition(Field::toneSlider, state.tone);
    setSliderPosition(Field::robotSlider, state.robot);
    setSliderPosition(Field::echoSlider, state.echo);
    refreshVoiceControls();
    pushParamsToEngine();
}

void App::refreshVoiceControls() {
    const VoicePresetDef& row = voicePresetRow(comboSelection(Field::voicePresetCombo));
    for (Field f : kVoiceSliders) enable(f, row.configurable);
    setText(Field::presetHintLabel, row.description);
    setText(Field::pitchValueLabel, semitoneLabel(sliderPosition(Field::pitchSlider)));
    setText(Field::toneValueLabel, percentLabel(sliderPosition(Field::toneSlider)));
    setText(Field::robotValueLabel, percentLabel(sliderPosition(Field::robotSlider)));
    setText(Field::echoValueLabel, percentLabel(sliderPosition(Field::echoSlider)));
}

ControlState App::readControlState() const {
    ControlState s;
    s.filterOn = filterOn;
    s.strength = sliderPosition(Field::strengthSlider);
    s.highPass = isChecked(Field::highPassCheckbox);
    s.compressor = isChecked(Field::compressorCheckbox);
    s.limiter = isChecked(Field::limiterCheckbox);
    s.gate = isChecked(Field::gateCheckbox);
    s.deEsser = isChecked(Field::deEsserCheckbox);
    s.voicePreset = comboSelection(Field::voicePresetCombo);
    s.pitch = sliderPosition(Field::pitchSlider);
    s.tone = sliderPosition(Field::toneSlider);
    s.robot = sliderPosition(Field::robotSlider);
    s.echo = sliderPosition(Field::echoSlider);
    s.cleanVoice = isChecked(Field::cleanVoiceCheckbox);
    return s;
}

void App::pushParamsToEngine() {
    engine.setParams(makeProcessingParams(readControlState()));
    const float volume = static_cast<float>(sliderPosition(Field::volumeSlider)) / 100.0f;
    engine.monitor.volume.store(std::min(std::max(volume, 0.0f), 1.0f));
    // A live preview in the gallery keeps the monitor running across the
    // voices it tries: stopping and reopening the output for every click
    // would leave a gap in what the user hears.
    const bool previewing = galleryWindow != nullptr && livePreviewOn;
    if (isChecked(Field::monitorCheckbox) || previewing) {
        engine.monitor.start();
    } else {
        engine.monitor.stop();
    }
}

void App::updateActiveVoiceButton() {
    if (control(Field::activeVoiceButton) == nullptr) return;
    setText(Field::activeVoiceButton,
            activeVoiceCaption(voicePresetRow(comboSelection(Field::voicePresetCombo))));
}

void App::startVoiceTest() {
    engine.recPos.store(0);
    recording = true;
    voiceTest.clear();  // stops any playback before the images go
    enable(Field::recordButton, false);
    enable(Field::playOriginalButton, false);
    enable(Field::playFilteredButton, false);
    setText(Field::testStatusLabel, text::kTestRecording);
}

}  // namespace zalo

// App: construction, the main window's controls, message dispatch and the
// ordered shutdown.
#include "ui/app.h"

#include <algorithm>
#include <cwchar>

#include "dsp/voice_presets.h"
#include "settings/settings_store.h"
#include "settings/start_with_windows.h"
#include "ui/main_window_logic.h"
#include "ui/quit_request.h"
#include "ui/show_request.h"
#include "ui/strings.h"
#include "ui/theme_palette.h"
#include "ui/tray_menu.h"

namespace zalo {

namespace {

constexpr int kVolumeInitial = 72;

struct SliderRange {
    Field field;
    int min, max;
};
constexpr SliderRange kSliderRanges[] = {
    {Field::strengthSlider, kStrengthMin, kStrengthMax},
    {Field::volumeSlider, 0, 100},
    {Field::pitchSlider, kPitchSliderMin, kPitchSliderMax},
    {Field::toneSlider, kToneSliderMin, kToneSliderMax},
    {Field::robotSlider, kRobotSliderMin, kRobotSliderMax},
    {Field::echoSlider, kEchoSliderMin, kEchoSliderMax},
};

HFONT createUiFont(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, text::kFontFace);
}

}  // namespace

const App::Route App::kRoutes[] = {
    {WM_DESTROY, &App::onDestroy},
    {WM_CLOSE, &App::onClose},
    {WM_ERASEBKGND, &App::onEraseBackground},
    {WM_DRAWITEM, &App::onDrawItem},
    {WM_MEASUREITEM, &App::onMeasureItem},
    {WM_NOTIFY, &App::onNotify},
    {WM_COMMAND, &App::onCommandMessage},
    {WM_TIMER, &App::onTimerMessage},
    {WM_HSCROLL, &App::onHScroll},
    {WM_CTLCOLORSTATIC, &App::onColorStatic},
    {WM_CTLCOLORBTN, &App::onColorButton},
    {WM_CTLCOLORLISTBOX, &App::onColorListBox},
    {kTrayCallbackMessage, &App::onTrayMessage},
    {WM_HOTKEY, &App::onHotkeyMessage},
    {kHotkeyCaptureMessage, &App::onHotkeyCaptureMessage},
    {kDeviceChangeMessage, &App::onDeviceChangeMessage},
    {WM_POWERBROADCAST, &App::onPowerBroadcast},
};

App::App(HWND mainWindow)
    : hwnd(mainWindow),
      taskbarCreatedMessage(RegisterWindowMessageW(L"TaskbarCreated")),
      quitRequestMessage(RegisterWindowMessageW(kQuitRequestMessageName)),
      showRequestMessage(RegisterWindowMessageW(kShowRequestMessageName)) {}

App::~App() { shutdown(); }

LRESULT App::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A registered id, so it cannot sit in the fixed route table.
    if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
        onTaskbarCreated();
        return 0;
    }
    // Another process asks us to quit: the tray's "Sair" path.
    if (message == quitRequestMessage && quitRequestMessage != 0) {
        DestroyWindow(hwnd);  // WM_DESTROY runs shutdown
        return 0;
    }
    // A second launch of the program: come forward as "Abrir" does.
    if (message == showRequestMessage && showRequestMessage != 0) {
        restoreFromTray();
        return 0;
    }
    for (const Route& route : kRoutes) {
        if (route.message != message) continue;
        LRESULT result = 0;
        if ((this->*route.handler)(wParam, lParam, result)) return result;
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void App::createControls() {
    const StoredSettings stored = loadSettings();  // clamped where they are read
    themeRed = stored.themeRed;
    filterOn = stored.filterOn;
    deviceId = stored.deviceId;
    voicePreset = stored.voicePreset;
    noiseStrength = stored.noiseStrength;
    noisePreset = stored.noisePreset;
    engine.setLowLatency(stored.lowLatency);  // before the first start

    fontBody.reset(createUiFont(-16, FW_NORMAL));
    fontSmall.reset(createUiFont(-14, FW_NORMAL));
    fontTitle.reset(createUiFont(-29, FW_BOLD));
    fontBold.reset(createUiFont(-16, FW_BOLD));
    createBrushes();

    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
    for (const ControlDef& def : kMainControls) {
        HWND child = CreateWindowExW(0, def.className, def.text, def.style, def.x, def.y, def.w, def.h,
                                     hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)),
                                     instance, nullptr);
        if (def.font != FontRole::none && child != nullptr) {
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(def.font)), TRUE);
        }
        if (def.field != Field::none) controls[static_cast<std::size_t>(def.field)] = child;
    }

    setText(Field::strengthValueLabel, percentLabel(noiseStrength));
    setText(Field::filterButton, filterOn ? text::kFilterOn : text::kFilterOff);

    for (const SliderRange& s : kSliderRanges) {
        // MIN and MAX separately: TBM_SETRANGE packs both into 16-bit words.
        SendMessageW(control(s.field), TBM_SETRANGEMIN, FALSE, s.min);
        SendMessageW(control(s.field), TBM_SETRANGEMAX, TRUE, s.max);
    }
    setSliderPosition(Field::strengthSlider, noiseStrength);
    setSliderPosition(Field::volumeSlider, kVolumeInitial);
    for (Field f : {Field::pitchSlider, Field::toneSlider, Field::robotSlider, Field::echoSlider}) {
        setSliderPosition(f, 0);
    }

    for (Field f : {Field::inputMeter, Field::outputMeter}) {
        SendMessageW(control(f), PBM_SETRANGE32, 0, 100);
        SendMessageW(control(f), PBM_SETPOS, 0, 0);
    }
    applyMeterColours();

    for (const ControlDef& def : kMainControls) {
        if (std::wcscmp(def.className, kClassCombo) != 0) continue;
        HWND combo = control(def.field);
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kComboFieldHeight);
        SendMessageW(combo, CB_SETITEMHEIGHT, 0, kComboItemHeight);
        // A taller selection field eats into the drop-down list; give the
        // list its own height back (the combo keeps the field's height).
        SetWindowPos(combo, nullptr, 0, 0, def.w, def.h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (int i = 0; i < kNoisePresetCount; ++i) {
        SendMessageW(control(Field::noisePresetCombo), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(noisePresetTable()[i].label));
    }
    SendMessageW(control(Field::noisePresetCombo), CB_SETCURSEL, noisePreset, 0);

    const VoicePresetTable& presets = voicePresetTable();
    for (const VoicePresetDef& row : presets) {
        SendMessageW(control(Field::voicePresetCombo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.label));
    }
    // The hidden list is the holder of the live voice choice.
    ShowWindow(control(Field::voicePresetCombo), SW_HIDE);
    SendMessageW(control(Field::voicePresetCombo), CB_SETCURSEL,
                 voicePresetIndex(voicePreset, static_cast<int>(presets.count)), 0);

    setChecked(Field::startWithWindowsCheckbox, isStartWithWindowsEnabled());
    setChecked(Field::monitorCheckbox, false);
    for (Field f : {Field::highPassCheckbox, Field::compressorCheckbox, Field::limiterCheckbox,
                    Field::gateCheckbox}) {
        setChecked(f, true);
    }
    setChecked(Field::deEsserCheckbox, false);
    setChecked(Field::cleanVoiceCheckbox, stored.cleanVoice);  // persisted, unlike the five above
    enable(Field::playOriginalButton, false);
    enable(Field::playFilteredButton, false);

    updateActiveVoiceButton();
    refreshDevices(true);
    applyCaptureChoice(true);
    deviceWatch.start(hwnd, kDeviceChangeMessage);  // none under Wine: the retry covers it
    hotkeys.start(hwnd);  // before the icon, whose tip tells of push-to-talk
    addTrayIcon();
    SetTimer(hwnd, kUiTimerId, kUiTimerShownMs, nullptr);
    presetRefreshSequence();
}

void App::shutdown() {
    if (shuttingDown.exchange(true)) return;
    // A gallery still open (the loop ended without the main window being
    // destroyed) goes first: it must not outlive the App it points to.
    if (galleryWindow != nullptr && IsWindow(galleryWindow)) DestroyWindow(galleryWindow);
    if (shortcutsWindow != nullptr && IsWindow(shortcutsWindow)) DestroyWindow(shortcutsWindow);
    hotkeys.release();
    KillTimer(hwnd, kUiTimerId);
    KillTimer(hwnd, kDeviceSettleTimerId);
    deviceWatch.stop();
    removeTrayIcon();
    // PlaySound may still be reading an image; end it before anything that
    // owns the images can go.
    voiceTest.stop();
    engine.monitor.stop();
    engine.stop();  // joins capture, stops the cable output
    fontBody.reset();
    fontSmall.reset();
    fontTitle.reset();
    fontBold.reset();
    brushBackground.reset();
    brushAccent.reset();
    brushListItem.reset();
    brushListSelected.reset();
}

bool App::onDestroy(WPARAM, LPARAM, LRESULT& result) {
    shutdown();
    PostQuitMessage(0);
    result = 0;
    return true;
}

bool App::onCommandMessage(WPARAM wParam, LPARAM, LRESULT& result) {
    onCommand(LOWORD(wParam), HIWORD(wParam));
    result = 0;
    return true;
}

bool App::onTimerMessage(WPARAM wParam, LPARAM, LRESULT& result) {
    if (wParam == kUiTimerId) onTimer();
    if (wParam == kDeviceSettleTimerId) onDevicesSettled();
    result = 0;
    return true;
}

bool App::onHScroll(WPARAM, LPARAM lParam, LRESULT& result) {
    onSlider(reinterpret_cast<HWND>(lParam));
    result = 0;
    return true;
}

// The class of an owned popup (the gallery, the shortcuts window), once per
// process. No background brush: WM_ERASEBKGND paints the theme's background.
bool App::registerPopupClass(const wchar_t* name, WNDPROC procedure, bool& registered) const {
    if (registered) return true;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconResource));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return registered;
}

// --- control helpers: every one skips a control that was never created ---

void App::setText(Field f, const wchar_t* text) const {
    if (HWND h = control(f)) SetWindowTextW(h, text);
}

bool App::isChecked(Field f) const {
    HWND h = control(f);
    return h != nullptr && SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void App::setChecked(Field f, bool checked) const {
    if (HWND h = control(f)) SendMessageW(h, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int App::sliderPosition(Field f) const {
    HWND h = control(f);
    return h != nullptr ? static_cast<int>(SendMessageW(h, TBM_GETPOS, 0, 0)) : 0;
}

void App::setSliderPosition(Field f, int position) const {
    if (HWND h = control(f)) SendMessageW(h, TBM_SETPOS, TRUE, position);
}

void App::enable(Field f, bool enabled) const {
    if (HWND h = control(f)) EnableWindow(h, enabled ? TRUE : FALSE);
}

int App::comboSelection(Field f) const {
    HWND h = control(f);
    return h != nullptr ? static_cast<int>(SendMessageW(h, CB_GETCURSEL, 0, 0)) : CB_ERR;
}

HFONT App::fontFor(FontRole role) const {
    HFONT chosen = nullptr;
    switch (role) {
        case FontRole::small: chosen = fontSmall.get(); break;
        case FontRole::title: chosen = fontTitle.get(); break;
        case FontRole::bold: chosen = fontBold.get(); break;
        default: break;
    }
    return chosen != nullptr ? chosen : fontBody.get();
}

}  // namespace zalo

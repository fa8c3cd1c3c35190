// App: the one object that owns the running program. It is created after
// the main window exists and deleted after the message loop; it owns every
// control handle, font and theme brush, the settings mirrors, the device
// list, the voice-test images and, by value, the audio engine (about 3 MB,
// so always on the free store).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/capture_devices.h"
#include "audio/device_watch_win.h"
#include "audio/voice_test_playback_win.h"
#include "dsp/processing_params.h"
#include "ui/hotkeys.h"
#include "ui/main_window_controls.h"
#include "ui/scoped_gdi.h"

namespace zalo {

constexpr UINT_PTR kUiTimerId = 1;
constexpr UINT kUiTimerShownMs = 60;
constexpr int kAppIconResource = 101;  // the window class's and the tray's icon
constexpr int kAppIconOffResource = 102;  // the tray's icon while the filter is off: greyed
// Posted by the device watch whenever an audio endpoint changes.
constexpr UINT kDeviceChangeMessage = WM_APP + 13;
// One-shot: a burst of endpoint changes (a headset brings several) settles
// into one look at the device list.
constexpr UINT_PTR kDeviceSettleTimerId = 2;
constexpr UINT kDeviceSettleMs = 300;
// While capture runs on a stand-in for the remembered microphone, the list is
// read this often in case a notification of its return was missed.
constexpr ULONGLONG kStandInCheckMs = 5000;

class App {
public:
    explicit App(HWND mainWindow);
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App();

    // Reads the settings, builds fonts, brushes and the controls, lists
    // the microphones and starts the engine, the timer and the first push.
    void createControls();
    // Every message of the main window once the App is attached. Messages
    // that no handler takes go to DefWindowProcW.
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Stops everything in order; runs its body once (WM_DESTROY, destructor).
    void shutdown();

private:
    // --- message handlers (app.cpp, painting.cpp, commands.cpp, timer.cpp) ---
    // Each returns false to decline, which sends the message on to
    // DefWindowProcW; `result` is the answer otherwise.
    using Handler = bool (App::*)(WPARAM, LPARAM, LRESULT& result);
    struct Route {
        UINT message;
        Handler handler;
    };
    static const Route kRoutes[];

    bool onDestroy(WPARAM, LPARAM, LRESULT& result);
    bool onClose(WPARAM, LPARAM, LRESULT& result);
    bool onEraseBackground(WPARAM, LPARAM, LRESULT& result);
    bool onDrawItem(WPARAM, LPARAM, LRESULT& result);
    bool onMeasureItem(WPARAM, LPARAM, LRESULT& result);
    bool onNotify(WPARAM, LPARAM, LRESULT& result);
    bool onCommandMessage(WPARAM, LPARAM, LRESULT& result);
    bool onTimerMessage(WPARAM, LPARAM, LRESULT& result);
    bool onHScroll(WPARAM, LPARAM, LRESULT& result);
    bool onColorStatic(WPARAM, LPARAM, LRESULT& result);
    bool onColorButton(WPARAM, LPARAM, LRESULT& result);
    bool onColorListBox(WPARAM, LPARAM, LRESULT& result);
    bool onTrayMessage(WPARAM, LPARAM, LRESULT& result);
    bool onHotkeyMessage(WPARAM, LPARAM, LRESULT& result);
    bool onHotkeyCaptureMessage(WPARAM, LPARAM, LRESULT& result);
    bool onDeviceChangeMessage(WPARAM, LPARAM, LRESULT& result);
    bool onPowerBroadcast(WPARAM, LPARAM, LRESULT& result);

    // --- commands (commands.cpp) ---
    void onCommand(int id, int code);
    void onSlider(HWND slider);
    void toggleFilter();
    void noisePresetChosen();
    void voicePresetChosen();
    void startWithWindowsClicked();
    void cleanVoiceClicked();
    void refreshVoiceControls();
    void presetRefreshSequence();
    void pushParamsToEngine();
    // --- microphones (devices.cpp) ---
    // A fresh device list; the combo box is refilled only when the list
    // differs (or `refill`), so a watch or a retry leaves an open list alone.
    void refreshDevices(bool refill);
    // Captures from the chosen device (see chooseCaptureDevice): at start,
    // ATUALIZAR (`restart`: always from scratch) and after a change.
    // Without `restart`, a working capture on the chosen device is left as
    // it is.
    void applyCaptureChoice(bool restart);
    // The user picked a microphone: it becomes the remembered one.
    void selectDevice();
    bool captureLost() const;
    void retryLostCapture();
    void onDevicesSettled();
    void updateActiveVoiceButton();
    ControlState readControlState() const;
    void startVoiceTest();

    // --- timer (timer.cpp) ---
    void onTimer();

    // --- painting and theme (painting.cpp) ---
    void createBrushes();
    void applyTheme();
    void applyMeterColours();
    void paintBackground(HDC dc);
    void drawCard(HDC dc, int top, int bottom, int clientWidth);
    void drawButton(const DRAWITEMSTRUCT& item);
    void drawComboItem(const DRAWITEMSTRUCT& item);
    LRESULT customDrawSlider(const NMCUSTOMDRAW& draw);

    // --- voice gallery (voice_gallery.cpp) ---
    void openVoiceGallery();
    void previewPreset(int index);
    static LRESULT CALLBACK voiceGalleryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleGalleryMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void createGalleryChildren(HWND window);
    bool onGalleryCommand(int id);
    void toggleLivePreview();
    void confirmGallery();
    void cancelGallery();
    void closeGallery();
    void restorePresetAtOpen();
    void onGalleryDestroy();
    void paintGalleryBackground(HWND window, HDC dc);
    bool drawGalleryItem(const DRAWITEMSTRUCT& item);

    // --- shortcuts: the actions (hotkeys.cpp) and the window (shortcuts_window.cpp) ---
    void stepVoice(int direction);
    void openShortcutsWindow();
    void refreshShortcutRows();
    static LRESULT CALLBACK shortcutsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleShortcutsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool onShortcutsCommand(int id);

    // --- tray icon and close-to-tray (tray.cpp) ---
    void addTrayIcon();
    // Greyed icon while the filter is off; the tip says when push-to-talk
    // holds the cable silent. Calls the shell only when either changes.
    void refreshTrayState();
    void fillTrayIconAndTip();
    void removeTrayIcon();
    void onTaskbarCreated();
    void onTrayEvent(unsigned event);
    void showTrayMenu();
    void restoreFromTray();

    bool registerPopupClass(const wchar_t* name, WNDPROC procedure, bool& registered) const;

    // --- control helpers ---
    HWND control(Field f) const { return controls[static_cast<std::size_t>(f)]; }
    void setText(Field f, const wchar_t* text) const;
    void setText(Field f, const std::wstring& text) const { setText(f, text.c_str()); }
    bool isChecked(Field f) const;
    void setChecked(Field f, bool checked) const;
    int sliderPosition(Field f) const;
    void setSliderPosition(Field f, int position) const;
    void enable(Field f, bool enabled) const;
    int comboSelection(Field f) const;
    HFONT fontFor(FontRole role) const;

    HWND hwnd;
    ScopedFont fontBody, fontSmall, fontTitle, fontBold;
    ScopedBrush brushBackground, brushAccent, brushListItem, brushListSelected;
    std::array<HWND, kFieldCount> controls{};

    // Tray state. The shell announces its restart with a registered
    // message, so its id is known only at run time.
    NOTIFYICONDATAW trayData{};
    bool trayIconAdded = false;
    bool trayVersion4 = false;  // NIM_SETVERSION accepted: the menu follows WM_CONTEXTMENU
    bool balloonShown = false;
    bool trayShowsFilterOff = false;  // the icon and tip the shell has now
    bool trayShowsMuted = false;
    UINT taskbarCreatedMessage = 0;
    UINT quitRequestMessage = 0;  // see ui/quit_request.h
    UINT showRequestMessage = 0;  // see ui/show_request.h

    bool live = false;
    bool themeRed = false;
    std::int32_t voicePreset = 1;   // as stored; the hidden combo holds the live choice
    std::int32_t noiseStrength = 65;
    std::int32_t noisePreset = 2;
    std::wstring deviceId;        // the remembered microphone (setting DeviceId)
    std::wstring activeDeviceId;  // the one capture was last started on; may differ for now
    ULONGLONG lastDeviceCheckMs = 0;  // the last capture start or look at the list
    DeviceWatch deviceWatch;

    AudioEngine engine;
    std::vector<CaptureDevice> devices;
    // The voice test's two WAVE images; playback is stopped before either
    // is replaced or freed.
    VoiceTestPlayback voiceTest;
    bool filterOn = true;
    bool recording = false;
    std::atomic<bool> shuttingDown{false};

    // Voice gallery: the values below are those of a closed gallery.
    HWND galleryWindow = nullptr;
    std::int32_t gallerySelection = -1;     // index of the highlighted head
    std::int32_t galleryPresetAtOpen = -1;  // the voice to put back unless confirmed
    bool livePreviewOn = false;
    bool galleryConfirmed = false;          // OK pressed: nothing to put back
    bool monitorWasOn = false;              // "Escutar minha voz" was checked at opening
    // Set only while the gallery closes itself (OK, CANCELAR, close box). A
    // gallery destroyed with its owner or by shutdown restores nothing.
    bool galleryClosing = false;

    // Shortcuts and push-to-talk; the hook writes the engine's gate flag, so
    // this comes after the engine and goes before it.
    Hotkeys hotkeys{engine.cableGateOpen};
    HWND shortcutsWindow = nullptr;
    unsigned shortcutRefusedBits = 0;  // rows whose last combination the system refused
};

}  // namespace zalo

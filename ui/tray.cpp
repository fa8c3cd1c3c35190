// The notification-area icon: closing the main window hides it there while
// the audio goes on, the icon's events bring the window back or open its
// menu, and that menu's "Sair" is the one way to end the program.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "ui/app.h"
#include "ui/hotkey_rules.h"
#include "ui/strings.h"
#include "ui/tray_menu.h"

namespace zalo {

static_assert(tray_event::contextMenu == WM_CONTEXTMENU && tray_event::leftDoubleClick == WM_LBUTTONDBLCLK &&
                  tray_event::rightButtonUp == WM_RBUTTONUP && tray_event::select == NIN_SELECT &&
                  tray_event::keySelect == NIN_KEYSELECT,
              "tray event codes");
static_assert(kTrayCallbackMessage == WM_APP + 11, "tray callback message");

namespace {

constexpr UINT kUiTimerHiddenMs = 500;
// NIF_SHOWTIP on every call that sets the flags: under version 4 the shell
// otherwise suppresses the standard tooltip.
constexpr UINT kTrayIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;

// Cut to the field, always terminated.
template <int N>
void copyText(wchar_t (&field)[N], const wchar_t* text) {
    lstrcpynW(field, text, N);
}

struct PopupMenu {
    HMENU handle = CreatePopupMenu();
    PopupMenu() = default;
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    ~PopupMenu() {
        if (handle != nullptr) DestroyMenu(handle);
    }
};

}  // namespace

void App::addTrayIcon() {
    if (trayIconAdded) return;
    trayData = NOTIFYICONDATAW{};
    trayData.cbSize = sizeof(trayData);
    trayData.hWnd = hwnd;
    trayData.uID = kTrayIconId;
    trayData.uFlags = kTrayIconFlags;
    trayData.uCallbackMessage = kTrayCallbackMessage;
    fillTrayIconAndTip();
    trayIconAdded = Shell_NotifyIconW(NIM_ADD, &trayData) != FALSE;
    trayVersion4 = false;
    if (!trayIconAdded) return;
    trayData.uVersion = NOTIFYICON_VERSION_4;
    trayVersion4 = Shell_NotifyIconW(NIM_SETVERSION, &trayData) != FALSE;
}

// The icon and tip for the state now: the greyed icon while the filter is
// off, and while push-to-talk holds the cable silent a tip that says which
// key opens it.
void App::fillTrayIconAndTip() {
    trayShowsFilterOff = !filterOn;
    trayShowsMuted = hotkeys.pushToTalkOn() && !hotkeys.pushToTalkHeld();
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
    // The notification area shows small icons: load the group's image drawn
    // for that size rather than let the shell shrink the 32 px one. Shared,
    // so the system owns it and nothing is destroyed later.
    trayData.hIcon = static_cast<HICON>(LoadImageW(instance,
                                                   MAKEINTRESOURCEW(filterOn ? kAppIconResource : kAppIconOffResource),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (trayData.hIcon == nullptr) trayData.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    if (trayShowsMuted) {
        const std::wstring tip = std::wstring(text::kTrayTipPushToTalk) +
                                 comboText(hotkeys.binding(HotkeyAction::pushToTalk)) + text::kTrayTipPushToTalkEnd;
        copyText(trayData.szTip, tip.c_str());
    } else {
        copyText(trayData.szTip, text::kTrayTip);
    }
}

void App::refreshTrayState() {
    if (!trayIconAdded) return;
    const bool muted = hotkeys.pushToTalkOn() && !hotkeys.pushToTalkHeld();
    if (trayShowsFilterOff == !filterOn && trayShowsMuted == muted) return;
    fillTrayIconAndTip();
    trayData.uFlags = kTrayIconFlags;
    Shell_NotifyIconW(NIM_MODIFY, &trayData);
}

void App::removeTrayIcon() {
    if (!trayIconAdded) return;
    Shell_NotifyIconW(NIM_DELETE, &trayData);
    trayIconAdded = false;
}

// A restarted shell has forgotten every icon; it says so with the
// "TaskbarCreated" broadcast. If the icon cannot come back, a hidden window
// would be out of reach, so it returns to the taskbar, minimised.
void App::onTaskbarCreated() {
    trayIconAdded = false;
    addTrayIcon();
    if (trayIconAdded || IsWindowVisible(hwnd)) return;
    SetTimer(hwnd, kUiTimerId, kUiTimerShownMs, nullptr);  // a minimised window ticks as a shown one
    ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
}

// The window is never destroyed here: the filter keeps running hidden. The
// balloon says so once per run.
bool App::onClose(WPARAM, LPARAM, LRESULT& result) {
    result = 0;
    addTrayIcon();  // a second chance if the first attempt failed
    if (!trayIconAdded) {
        // With no icon to bring it back, hiding would strand the window.
        ShowWindow(hwnd, SW_MINIMIZE);
        return true;
    }
    SetTimer(hwnd, kUiTimerId, kUiTimerHiddenMs, nullptr);
    ShowWindow(hwnd, SW_HIDE);
    if (!balloonShown) {
        balloonShown = true;
        trayData.uFlags = NIF_INFO | NIF_SHOWTIP;
        copyText(trayData.szInfoTitle, text::kTrayBalloonTitle);
        copyText(trayData.szInfo, text::kTrayBalloonText);
        trayData.dwInfoFlags = NIIF_INFO;
        Shell_NotifyIconW(NIM_MODIFY, &trayData);
        trayData.uFlags = kTrayIconFlags;
    }
    return true;
}

void App::restoreFromTray() {
    SetTimer(hwnd, kUiTimerId, kUiTimerShownMs, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
}

bool App::onTrayMessage(WPARAM, LPARAM lParam, LRESULT& result) {
    onTrayEvent(LOWORD(lParam));
    result = 0;
    return true;
}

void App::onTrayEvent(unsigned event) {
    switch (trayAction(event, trayVersion4)) {
        case TrayAction::restore: restoreFromTray(); break;
        case TrayAction::menu: showTrayMenu(); break;
        case TrayAction::none: break;
    }
}

void App::showTrayMenu() {
    int command = 0;
    {
        PopupMenu menu;
        if (menu.handle == nullptr) return;
        for (const TrayMenuRow& row : trayMenuRows(filterOn)) {
            AppendMenuW(menu.handle, row.id == 0 ? MF_SEPARATOR : MF_STRING, static_cast<UINT_PTR>(row.id),
                        row.text);
        }
        POINT at{};
        GetCursorPos(&at);
        // Foreground first, so that a click elsewhere closes the menu.
        SetForegroundWindow(hwnd);
        command = static_cast<int>(
            TrackPopupMenu(menu.handle, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr));
        // Without a message of its own after the menu, the window can keep
        // the menu's foreground state and swallow the next click on the icon.
        PostMessageW(hwnd, WM_NULL, 0, 0);
    }
    switch (command) {
        case kIdTrayOpen: restoreFromTray(); break;
        case kIdTrayFilter: toggleFilter(); break;
        case kIdTrayShortcuts: openShortcutsWindow(); break;
        case kIdTrayQuit: DestroyWindow(hwnd); break;  // WM_DESTROY runs shutdown
        default: break;                                 // dismissed
    }
}

}  // namespace zalo

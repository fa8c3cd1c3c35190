// The tray icon's decisions that need no window: the rows of its menu and
// what each shell event means. ui/tray.cpp only translates messages into
// these, so the native tests reach them.
#pragma once

#include <array>

#include "ui/strings.h"

namespace zalo {

constexpr unsigned kTrayIconId = 7;
constexpr unsigned kTrayCallbackMessage = 0x8000u + 11;  // WM_APP + 11

constexpr int kIdTrayOpen = 2001;
constexpr int kIdTrayFilter = 2002;
constexpr int kIdTrayQuit = 2003;
constexpr int kIdTrayShortcuts = 2004;

// The shell's event codes as they arrive in the low word of the callback's
// lParam (window-message numbers; ui/tray.cpp checks them against the
// Windows headers).
namespace tray_event {
constexpr unsigned contextMenu = 0x007B;      // WM_CONTEXTMENU
constexpr unsigned leftDoubleClick = 0x0203;  // WM_LBUTTONDBLCLK
constexpr unsigned rightButtonUp = 0x0205;    // WM_RBUTTONUP
constexpr unsigned select = 0x0400;           // NIN_SELECT
constexpr unsigned keySelect = 0x0401;        // NIN_KEYSELECT
}  // namespace tray_event

struct TrayMenuRow {
    int id;  // 0: a separator
    const wchar_t* text;
};

// Built anew for every opening, so the filter row names what choosing it
// will do now.
inline std::array<TrayMenuRow, 5> trayMenuRows(bool filterOn) {
    return {{{kIdTrayOpen, text::kTrayOpen},
             {kIdTrayFilter, filterOn ? text::kTrayFilterOff : text::kTrayFilterOn},
             {kIdTrayShortcuts, text::kTrayShortcuts},
             {0, nullptr},
             {kIdTrayQuit, text::kTrayQuit}}};
}

enum class TrayAction { none, restore, menu };

// Under version 4 the shell sends WM_RBUTTONUP and then WM_CONTEXTMENU for
// one right click (and WM_CONTEXTMENU alone for the menu key), so the menu
// follows WM_CONTEXTMENU only; an icon left on the older protocol gets only
// WM_RBUTTONUP, and that opens it instead.
inline TrayAction trayAction(unsigned event, bool version4) {
    switch (event) {
        case tray_event::leftDoubleClick:
        case tray_event::select:
        case tray_event::keySelect: return TrayAction::restore;
        case tray_event::contextMenu: return version4 ? TrayAction::menu : TrayAction::none;
        case tray_event::rightButtonUp: return version4 ? TrayAction::none : TrayAction::menu;
        default: return TrayAction::none;
    }
}

}  // namespace zalo

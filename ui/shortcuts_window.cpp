// The shortcuts window "ATALHOS": a small popup owned by the main window, in
// the program's theme, built as the voice gallery is. One row per action:
// its name, its combination ("nenhum" when unassigned), a button that waits
// for the next combination pressed, and one that clears it. Every change is
// in effect and stored at once; the window has no OK. It does not disable
// the main window: nothing there conflicts with it.
#include <windows.h>

#include "ui/app.h"
#include "ui/hotkey_rules.h"
#include "ui/strings.h"
#include "ui/theme_palette.h"

namespace zalo {

namespace {

constexpr wchar_t kShortcutsClass[] = L"ZaloAudioShortcuts";
constexpr int kShortcutsClientWidth = 640, kShortcutsClientHeight = 400;

// Row i's controls: 1200 + i the combination, 1300 + i DEFINIR, 1400 + i
// LIMPAR, 1500 + i the refusal note.
enum ShortcutsId : int { kIdComboText = 1200, kIdCapture = 1300, kIdClear = 1400, kIdNote = 1500 };
constexpr int kRowTop = 66, kRowStep = 54;
constexpr int kHintTop = kRowTop + 5 * kRowStep + 4;

constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;

constexpr Rgb kNoteText{255, 92, 112};  // a refusal reads as a warning in both themes

bool shortcutsClassRegistered = false;  // like the gallery's: one registration per process

COLORREF rgb(const Rgb& c) { return RGB(c.r, c.g, c.b); }

int rowOf(int id, int base) {
    const int row = id - base;
    return row >= 0 && row < static_cast<int>(kHotkeyActionCount) ? row : -1;
}

}  // namespace

void App::openShortcutsWindow() {
    if (shortcutsWindow != nullptr && IsWindow(shortcutsWindow)) {
        SetForegroundWindow(shortcutsWindow);
        return;
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
    if (!registerPopupClass(kShortcutsClass, shortcutsProc, shortcutsClassRegistered)) return;
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
    RECT outer{0, 0, kShortcutsClientWidth, kShortcutsClientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info);
    const RECT& work = info.rcWork;
    shortcutRefusedBits = 0;
    shortcutsWindow = CreateWindowExW(exStyle, kShortcutsClass, text::kShortcutsTitle, style,
                                      work.left + (work.right - work.left - width) / 2,
                                      work.top + (work.bottom - work.top - height) / 2, width, height, hwnd,
                                      nullptr, instance, this);
    if (shortcutsWindow == nullptr) return;
    const auto create = [&](const wchar_t* cls, const wchar_t* label, int id, int x, int y, int w, int h,
                            DWORD childStyle, FontRole font) {
        HWND child = CreateWindowExW(0, cls, label, childStyle, x, y, w, h, shortcutsWindow,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(font)), TRUE);
    };
    create(L"STATIC", text::kShortcutsHeader, 0, 24, 18, 592, 34, kLabelStyle, FontRole::title);
    for (std::size_t i = 0; i < kHotkeyActionCount; ++i) {
        const int y = kRowTop + static_cast<int>(i) * kRowStep;
        const int row = static_cast<int>(i);
        create(L"STATIC", kHotkeyActions[i].label, 0, 24, y + 6, 190, 22, kLabelStyle, FontRole::body);
        create(L"STATIC", L"", kIdComboText + row, 218, y + 6, 180, 22, kLabelStyle, FontRole::bold);
        create(L"BUTTON", text::kShortcutCapture, kIdCapture + row, 404, y, 110, 32, kButtonStyle, FontRole::body);
        create(L"BUTTON", text::kShortcutClear, kIdClear + row, 522, y, 94, 32, kButtonStyle, FontRole::body);
        create(L"STATIC", L"", kIdNote + row, 218, y + 30, 180, 18, kLabelStyle, FontRole::small);
    }
    create(L"STATIC", text::kShortcutsHint, 0, 24, kHintTop, 592, 44, kLabelStyle, FontRole::small);
    refreshShortcutRows();
    ShowWindow(shortcutsWindow, SW_SHOW);
    UpdateWindow(shortcutsWindow);
}

void App::refreshShortcutRows() {
    if (shortcutsWindow == nullptr) return;
    HotkeyAction waiting{};
    const bool capturing = hotkeys.capturing(waiting);
    for (const HotkeyActionDef& def : kHotkeyActions) {
        const int row = static_cast<int>(def.action);
        const bool refused = hotkeys.refused(def.action) || (shortcutRefusedBits & (1u << row)) != 0;
        SetDlgItemTextW(shortcutsWindow, kIdComboText + row, comboText(hotkeys.binding(def.action)).c_str());
        SetDlgItemTextW(shortcutsWindow, kIdNote + row, refused ? text::kShortcutTaken : L"");
        SetDlgItemTextW(shortcutsWindow, kIdCapture + row,
                        capturing && waiting == def.action ? text::kShortcutCapturing : text::kShortcutCapture);
    }
}

LRESULT CALLBACK App::shortcutsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* app = reinterpret_cast<App*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (app == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);  // its last message
    return app->handleShortcutsMessage(window, message, wParam, lParam);
}

LRESULT App::handleShortcutsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            paintGalleryBackground(window, reinterpret_cast<HDC>(wParam));  // the same background and frame
            return 1;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            const Palette& p = themePalette(themeRed);
            const Rgb colour = rowOf(id, kIdNote) >= 0        ? kNoteText
                               : rowOf(id, kIdComboText) >= 0 ? p.highlight
                                                              : shared_colours::kLabelText;
            SetTextColor(dc, rgb(colour));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(brushBackground.get());
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item == nullptr || item->CtlType != ODT_BUTTON) break;
            drawButton(*item);
            return TRUE;
        }
        case WM_COMMAND:
            if (onShortcutsCommand(LOWORD(wParam))) return 0;
            break;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            // A capture in progress ends with its window; the shortcuts come
            // back into effect.
            hotkeys.endCapture();
            shortcutsWindow = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool App::onShortcutsCommand(int id) {
    if (const int row = rowOf(id, kIdCapture); row >= 0) {
        const auto action = static_cast<HotkeyAction>(row);
        HotkeyAction waiting{};
        // A second click on the waiting row gives up; on another row, moves the wait there.
        if (hotkeys.capturing(waiting) && waiting == action) {
            hotkeys.endCapture();
        } else {
            hotkeys.beginCapture(action);
        }
        refreshShortcutRows();
        return true;
    }
    if (const int row = rowOf(id, kIdClear); row >= 0) {
        hotkeys.endCapture();
        hotkeys.assign(static_cast<HotkeyAction>(row), 0);
        shortcutRefusedBits &= ~(1u << row);
        refreshShortcutRows();
        refreshTrayState();
        return true;
    }
    return false;
}

// A key pressed while a row waits (posted by the hook, so it arrives
// whichever window has the focus).
bool App::onHotkeyCaptureMessage(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    HotkeyAction action{};
    if (!hotkeys.capturing(action)) return true;  // a press queued behind the end of the wait
    const CaptureStep step =
        captureStep(action, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
    if (step.outcome == CaptureOutcome::keepWaiting) return true;
    hotkeys.endCapture();
    const unsigned rowBit = 1u << static_cast<unsigned>(action);
    if (step.outcome == CaptureOutcome::accept) {
        if (hotkeys.assign(action, step.combo)) {
            shortcutRefusedBits &= ~rowBit;
        } else {
            shortcutRefusedBits |= rowBit;
        }
    }
    refreshShortcutRows();
    refreshTrayState();
    return true;
}

}  // namespace zalo

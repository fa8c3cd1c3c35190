// The voice gallery: a topmost popup owned by the main window, with one
// drawn head per voice preset. It acts as a modal dialog without a modal
// loop of its own: the main window is disabled while it is open. The hidden
// voice combo of the main window stays the holder of the live voice; the
// gallery sets it for a preview and puts the voice of its opening back
// unless OK confirmed the choice.
#include <windows.h>

#include <algorithm>

#include "dsp/voice_presets.h"
#include "settings/settings_store.h"
#include "ui/app.h"
#include "ui/character_heads.h"
#include "ui/strings.h"
#include "ui/theme_palette.h"

namespace zalo {

namespace {

constexpr wchar_t kGalleryClass[] = L"ZaloAudioVoiceGallery";
// Outer size in device pixels, never scaled.
constexpr int kGalleryWidth = 980;
constexpr int kGalleryHeight = 725;

enum GalleryId : int {
    kIdGalleryOk = 1029,
    kIdGalleryCancel = 1030,
    kIdLivePreview = 1031,
    kIdFirstTile = 3000,  // tile i is kIdFirstTile + i, in table order
};

// Tiles run eight to a row: 105 x 100 each, 113 px apart across and 107 down.
constexpr int kTilesPerRow = 8;
constexpr int kTileLeft = 42, kTileTop = 120, kTileStepX = 113, kTileStepY = 107;
constexpr int kTileWidth = 105, kTileHeight = 100;

constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_CENTER;
constexpr DWORD kOwnerDrawnStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;

struct GalleryChild {
    const wchar_t* className;
    const wchar_t* text;
    int id;
    int x, y, w, h;
    DWORD style;
    FontRole font;
};
// In creation order; the tiles come between the toggle and CANCELAR.
constexpr GalleryChild kChildrenBeforeTiles[] = {
    {L"STATIC", text::kGalleryHeader, 0, 24, 18, 880, 30, kLabelStyle, FontRole::title},
    {L"STATIC", text::kGalleryHint, 0, 24, 50, 930, 24, kLabelStyle, FontRole::small},
    {L"BUTTON", text::kLivePreviewOff, kIdLivePreview, 350, 76, 280, 34, kOwnerDrawnStyle, FontRole::body},
};
constexpr GalleryChild kChildrenAfterTiles[] = {
    {L"BUTTON", text::kGalleryCancel, kIdGalleryCancel, 361, 626, 120, 36, kOwnerDrawnStyle, FontRole::body},
    {L"BUTTON", text::kGalleryOk, kIdGalleryOk, 499, 626, 120, 36, kOwnerDrawnStyle, FontRole::body},
};

constexpr Rgb kGalleryLabelText{238, 241, 255};
constexpr int kGalleryFrameInset = 8;
constexpr int kGalleryFramePx = 2;

// Registered on the first opening and kept until the process ends; the one
// process-wide flag of the program.
bool galleryClassRegistered = false;

COLORREF rgb(const Rgb& c) { return RGB(c.r, c.g, c.b); }

int presetCount() { return static_cast<int>(voicePresetTable().count); }

// The preset behind a tile id, or -1 for any other id.
int tileIndex(int id) {
    const int index = id - kIdFirstTile;
    return index >= 0 && index < presetCount() ? index : -1;
}

}  // namespace

void App::openVoiceGallery() {
    if (galleryWindow != nullptr && IsWindow(galleryWindow)) {
        SetForegroundWindow(galleryWindow);
        return;
    }
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
    if (!registerPopupClass(kGalleryClass, voiceGalleryProc, galleryClassRegistered)) return;

    // Centred on the work area of the main window's monitor; on a work area
    // smaller than the gallery the offsets go negative (C++ division
    // truncates toward zero, as intended).
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info);
    const RECT& work = info.rcWork;
    const int x = work.left + (work.right - work.left - kGalleryWidth) / 2;
    const int y = work.top + (work.bottom - work.top - kGalleryHeight) / 2;

    const int active = comboSelection(Field::voicePresetCombo);
    gallerySelection = active;
    galleryPresetAtOpen = active;
    livePreviewOn = false;
    galleryConfirmed = false;
    galleryClosing = false;
    monitorWasOn = isChecked(Field::monitorCheckbox);

    galleryWindow = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kGalleryClass, text::kGalleryTitle,
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, kGalleryWidth, kGalleryHeight,
                                    hwnd, nullptr, instance, this);
    if (galleryWindow == nullptr) {
        // Nothing opened: leave the state of a closed gallery behind.
        gallerySelection = galleryPresetAtOpen = -1;
        monitorWasOn = false;
        return;
    }
    EnableWindow(hwnd, FALSE);
    createGalleryChildren(galleryWindow);
    ShowWindow(galleryWindow, SW_SHOW);
    UpdateWindow(galleryWindow);
}

void App::createGalleryChildren(HWND window) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    const auto create = [&](const GalleryChild& c) {
        HWND child = CreateWindowExW(0, c.className, c.text, c.style, c.x, c.y, c.w, c.h, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
        if (child != nullptr) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(c.font)), TRUE);
    };
    for (const GalleryChild& c : kChildrenBeforeTiles) create(c);
    for (int i = 0; i < presetCount(); ++i) {
        create(GalleryChild{L"BUTTON", L"", kIdFirstTile + i, kTileLeft + kTileStepX * (i % kTilesPerRow),
                            kTileTop + kTileStepY * (i / kTilesPerRow), kTileWidth, kTileHeight,
                            kOwnerDrawnStyle, FontRole::small});
    }
    for (const GalleryChild& c : kChildrenAfterTiles) create(c);
}

void App::previewPreset(int index) {
    if (index < 0 || index >= presetCount()) return;
    SendMessageW(control(Field::voicePresetCombo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    presetRefreshSequence();  // the engine now runs this voice, on the cable too
    if (!livePreviewOn) return;
    // The refresh stopped the monitor if its box is unchecked; the preview
    // wants it running at the box's volume regardless.
    const float volume = static_cast<float>(sliderPosition(Field::volumeSlider)) / 100.0f;
    engine.monitor.volume.store(std::min(std::max(volume, 0.0f), 1.0f));
    engine.monitor.start();
}

LRESULT CALLBACK App::voiceGalleryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* app = reinterpret_cast<App*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (app == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);  // its last message
    return app->handleGalleryMessage(window, message, wParam, lParam);
}

LRESULT App::handleGalleryMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            paintGalleryBackground(window, reinterpret_cast<HDC>(wParam));
            return 1;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, rgb(kGalleryLabelText));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(brushBackground.get());
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item != nullptr && drawGalleryItem(*item)) return TRUE;
            break;
        }
        case WM_COMMAND:
            if (onGalleryCommand(LOWORD(wParam))) return 0;
            break;
        case WM_CLOSE:  // the close box and Alt+F4 leave as CANCELAR does
            cancelGallery();
            return 0;
        case WM_DESTROY:
            onGalleryDestroy();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool App::onGalleryCommand(int id) {
    // A tile acts on any notification: a double click is a second click.
    const int tile = tileIndex(id);
    if (tile >= 0) {
        gallerySelection = tile;
        if (livePreviewOn) previewPreset(tile);
        RedrawWindow(galleryWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return true;
    }
    switch (id) {
        case kIdLivePreview: toggleLivePreview(); return true;
        case kIdGalleryOk: confirmGallery(); return true;
        case kIdGalleryCancel: cancelGallery(); return true;
        default: return false;
    }
}

void App::toggleLivePreview() {
    livePreviewOn = !livePreviewOn;
    if (HWND toggle = GetDlgItem(galleryWindow, kIdLivePreview)) {
        SetWindowTextW(toggle, livePreviewOn ? text::kLivePreviewOn : text::kLivePreviewOff);
        InvalidateRect(toggle, nullptr, TRUE);
    }
    if (livePreviewOn) {
        previewPreset(gallerySelection);
        return;
    }
    engine.monitor.stop();
    // The voice of the opening comes back; its refresh restarts the monitor
    // if "Escutar minha voz" is checked.
    restorePresetAtOpen();
}

void App::restorePresetAtOpen() {
    if (galleryConfirmed || galleryPresetAtOpen < 0) return;
    SendMessageW(control(Field::voicePresetCombo), CB_SETCURSEL, static_cast<WPARAM>(galleryPresetAtOpen), 0);
    presetRefreshSequence();
}

void App::confirmGallery() {
    if (gallerySelection < 0) return;  // nothing selected: stay open
    SendMessageW(control(Field::voicePresetCombo), CB_SETCURSEL, static_cast<WPARAM>(gallerySelection), 0);
    voicePreset = gallerySelection;
    writeDwordSetting(kVoicePresetValue, static_cast<std::uint32_t>(gallerySelection));
    presetRefreshSequence();
    updateActiveVoiceButton();
    galleryConfirmed = true;
    closeGallery();
}

void App::cancelGallery() {
    restorePresetAtOpen();
    closeGallery();
}

void App::closeGallery() {
    galleryClosing = true;
    // The owner is enabled before its dialog goes, so that activation
    // returns to it rather than to some other program's window.
    EnableWindow(hwnd, TRUE);
    DestroyWindow(galleryWindow);
}

void App::onGalleryDestroy() {
    // Only a gallery that closes itself puts the monitor back and hands the
    // focus over. Destroyed with its owner (quit from the tray) or by
    // shutdown, it leaves the voice, the stored preset and the monitor to
    // the shutdown that follows, and touches no window.
    if (galleryClosing && !shuttingDown.load()) {
        if (monitorWasOn) {
            engine.monitor.start();
        } else {
            engine.monitor.stop();
        }
        EnableWindow(hwnd, TRUE);
        SetForegroundWindow(hwnd);
    }
    galleryWindow = nullptr;
    gallerySelection = galleryPresetAtOpen = -1;
    livePreviewOn = galleryConfirmed = galleryClosing = false;
}

void App::paintGalleryBackground(HWND window, HDC dc) {
    const Palette& p = themePalette(themeRed);
    RECT client{};
    GetClientRect(window, &client);
    {
        ScopedBrush fill(CreateSolidBrush(rgb(p.background)));
        if (fill) FillRect(dc, &client, fill.get());
    }
    ScopedPen frame(CreatePen(PS_SOLID, kGalleryFramePx, rgb(p.highlight)));
    if (!frame) return;
    SelectionScope usePen(dc, frame.get());
    SelectionScope hollow(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, kGalleryFrameInset, kGalleryFrameInset, client.right - kGalleryFrameInset,
              client.bottom - kGalleryFrameInset);
}

bool App::drawGalleryItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) return false;
    const int id = static_cast<int>(item.CtlID);
    if (id == kIdLivePreview || id == kIdGalleryOk || id == kIdGalleryCancel) {
        drawButton(item);
        return true;
    }
    const int tile = tileIndex(id);
    if (tile < 0) return false;
    // Pressed and focus states play no part in a tile.
    drawHeadTile(item.hDC, item.rcItem, tile, tile == gallerySelection, themeRed, fontSmall.get());
    return true;
}

}  // namespace zalo

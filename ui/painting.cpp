// The main window's own drawing: background and cards, label colours,
// owner-drawn push buttons and combo items, custom-drawn sliders, and the
// theme switch. Every pen and brush except the four theme brushes lives for
// one drawing call (GdiObject) and is deselected before it is deleted
// (SelectionScope).
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "settings/settings_store.h"
#include "ui/app.h"
#include "ui/strings.h"
#include "ui/theme_palette.h"

namespace zalo {

namespace {

namespace sc = shared_colours;

COLORREF rgb(const Rgb& c) { return RGB(c.r, c.g, c.b); }

constexpr int kCardInset = 12;         // cards run from x 12 to width - 12
constexpr int kCardCorner = 12;        // corner ellipse of a card
constexpr int kAccentStripHeight = 5;  // strip along the top edge
constexpr int kHeaderLineY = 69;
constexpr int kHeaderLineInner = 175;  // header lines end 175 px from either side
constexpr int kHeaderLineOuter = 14;
constexpr int kThumbCorner = 7;
constexpr int kFocusInset = 4;
constexpr int kButtonTextMax = 160;    // 159 characters and the NUL
constexpr int kComboTextLeft = 10;
constexpr int kComboTextRight = 8;

void fillRect(HDC dc, const RECT& r, const Rgb& colour) {
    ScopedBrush brush(CreateSolidBrush(rgb(colour)));
    if (brush) FillRect(dc, &r, brush.get());
}

// A 1-pixel frame over `r`, not filled.
void frameRect(HDC dc, const RECT& r, const Rgb& colour) {
    ScopedPen pen(CreatePen(PS_SOLID, 1, rgb(colour)));
    SelectionScope usePen(dc, pen.get());
    SelectionScope noFill(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

}  // namespace

void App::createBrushes() {
    const Palette& p = themePalette(themeRed);
    brushBackground.reset(CreateSolidBrush(rgb(p.background)));
    brushAccent.reset(CreateSolidBrush(rgb(p.accent)));
    brushListItem.reset(CreateSolidBrush(rgb(p.listItem)));
    brushListSelected.reset(CreateSolidBrush(rgb(p.listSelected)));
}

void App::applyMeterColours() {
    const Palette& p = themePalette(themeRed);
    for (Field f : {Field::inputMeter, Field::outputMeter}) {
        SendMessageW(control(f), PBM_SETBARCOLOR, 0, rgb(p.highlight));
        SendMessageW(control(f), PBM_SETBKCOLOR, 0, rgb(p.meterBackground));
    }
}

void App::applyTheme() {
    createBrushes();
    setText(Field::themeButton, text::kThemeSymbol);
    applyMeterColours();
    // Children too: labels, check boxes and sliders take their colours from
    // the parent while they paint.
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    writeDwordSetting(kThemeRedValue, themeRed ? 1u : 0u);
}

void App::drawCard(HDC dc, int top, int bottom, int clientWidth) {
    const Palette& p = themePalette(themeRed);
    ScopedBrush fill(CreateSolidBrush(rgb(p.card)));
    ScopedPen outline(CreatePen(PS_SOLID, 1, rgb(p.cardBorder)));
    SelectionScope useFill(dc, fill.get());
    SelectionScope useOutline(dc, outline.get());
    RoundRect(dc, kCardInset, top, clientWidth - kCardInset, bottom, kCardCorner, kCardCorner);
}

void App::paintBackground(HDC dc) {
    RECT client{};
    GetClientRect(hwnd, &client);
    const int width = client.right;
    FillRect(dc, &client, brushBackground.get());
    const RECT strip{0, 0, width, kAccentStripHeight};
    FillRect(dc, &strip, brushAccent.get());
    for (const CardSpan& card : kCards) drawCard(dc, card.top, card.bottom, width);

    ScopedPen accent(CreatePen(PS_SOLID, 1, rgb(themePalette(themeRed).accent)));
    SelectionScope useAccent(dc, accent.get());
    MoveToEx(dc, kHeaderLineOuter, kHeaderLineY, nullptr);
    LineTo(dc, kHeaderLineInner, kHeaderLineY);
    MoveToEx(dc, width - kHeaderLineInner, kHeaderLineY, nullptr);
    LineTo(dc, width - kHeaderLineOuter, kHeaderLineY);
}

bool App::onEraseBackground(WPARAM wParam, LPARAM, LRESULT& result) {
    paintBackground(reinterpret_cast<HDC>(wParam));
    result = 1;
    return true;
}

void App::drawButton(const DRAWITEMSTRUCT& item) {
    const Palette& p = themePalette(themeRed);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    HDC dc = item.hDC;
    RECT r = item.rcItem;

    fillRect(dc, r, disabled ? sc::kDisabledFace : pressed ? p.pressedFace : p.accent);
    frameRect(dc, r, disabled ? sc::kDisabledBorder : p.highlight);

    wchar_t caption[kButtonTextMax] = {};
    GetWindowTextW(item.hwndItem, caption, kButtonTextMax);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, rgb(disabled ? sc::kDisabledText : sc::kPushButtonText));
    {
        SelectionScope useFont(dc, fontBody.get());
        DrawTextW(dc, caption, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (item.itemState & ODS_FOCUS) {
        InflateRect(&r, -kFocusInset, -kFocusInset);
        DrawFocusRect(dc, &r);
    }
}

void App::drawComboItem(const DRAWITEMSTRUCT& item) {
    const Palette& p = themePalette(themeRed);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool highlighted = (item.itemState & ODS_SELECTED) != 0;
    HDC dc = item.hDC;

    if (disabled) {
        fillRect(dc, item.rcItem, sc::kComboDisabled);
    } else {
        FillRect(dc, &item.rcItem, highlighted ? brushListSelected.get() : brushListItem.get());
    }
    frameRect(dc, item.rcItem, highlighted ? p.highlight : p.cardBorder);

    // The selection field of an empty selection comes with id -1.
    int index = static_cast<int>(item.itemID);
    if (index < 0) index = static_cast<int>(SendMessageW(item.hwndItem, CB_GETCURSEL, 0, 0));
    std::wstring label;
    if (index >= 0) {
        // Sized from the item itself: a device name can be any length.
        const LRESULT length = SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, index, 0);
        if (length > 0) {
            label.assign(static_cast<std::size_t>(length) + 1, L'\0');
            const LRESULT copied = SendMessageW(item.hwndItem, CB_GETLBTEXT, index,
                                                reinterpret_cast<LPARAM>(&label[0]));
            label.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
        }
    }

    RECT textRect = item.rcItem;
    textRect.left += kComboTextLeft;
    textRect.right -= kComboTextRight;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, rgb(disabled ? sc::kComboDisabledText : sc::kComboText));
    SelectionScope useFont(dc, fontBody.get());
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &textRect,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

bool App::onDrawItem(WPARAM, LPARAM lParam, LRESULT& result) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item == nullptr) return false;
    if (item->CtlType == ODT_BUTTON) {
        drawButton(*item);
    } else if (item->CtlType == ODT_COMBOBOX) {
        drawComboItem(*item);
    } else {
        return false;
    }
    result = TRUE;
    return true;
}

bool App::onMeasureItem(WPARAM, LPARAM lParam, LRESULT& result) {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure == nullptr || measure->CtlType != ODT_COMBOBOX) return false;
    measure->itemHeight = kComboFieldHeight;
    result = TRUE;
    return true;
}

LRESULT App::customDrawSlider(const NMCUSTOMDRAW& draw) {
    const Field sliders[] = {Field::strengthSlider, Field::volumeSlider, Field::pitchSlider,
                             Field::toneSlider, Field::robotSlider, Field::echoSlider};
    bool ours = false;
    for (Field f : sliders) ours = ours || draw.hdr.hwndFrom == control(f);
    if (!ours) return 0;

    const Palette& p = themePalette(themeRed);
    if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw.dwDrawStage != CDDS_ITEMPREPAINT) return 0;
    HDC dc = draw.hdc;
    const RECT& r = draw.rc;
    switch (draw.dwItemSpec) {
        case TBCD_CHANNEL: {
            fillRect(dc, r, sc::kChannel);
            const int middle = (r.top + r.bottom) / 2;
            fillRect(dc, RECT{r.left, middle - 2, r.right, middle + 2}, p.accent);
            return CDRF_SKIPDEFAULT;
        }
        case TBCD_THUMB: {
            ScopedBrush fill(CreateSolidBrush(rgb(p.highlight)));
            ScopedPen outline(CreatePen(PS_SOLID, 1, rgb(p.highlight)));
            SelectionScope useFill(dc, fill.get());
            SelectionScope useOutline(dc, outline.get());
            RoundRect(dc, r.left, r.top, r.right, r.bottom, kThumbCorner, kThumbCorner);
            return CDRF_SKIPDEFAULT;
        }
        case TBCD_TICS:
            return CDRF_SKIPDEFAULT;
        default:
            return 0;
    }
}

bool App::onNotify(WPARAM, LPARAM lParam, LRESULT& result) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header == nullptr || header->code != static_cast<UINT>(NM_CUSTOMDRAW)) return false;
    result = customDrawSlider(*reinterpret_cast<const NMCUSTOMDRAW*>(lParam));
    return result != 0;
}

bool App::onColorStatic(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    HWND label = reinterpret_cast<HWND>(lParam);
    const Palette& p = themePalette(themeRed);
    Rgb colour = sc::kLabelText;
    if (label == control(Field::titleLabel)) {
        colour = p.highlight;
    } else if (label == control(Field::liveLabel)) {
        colour = live ? p.highlight : sc::kLiveOffText;
    }
    SetTextColor(dc, rgb(colour));
    SetBkColor(dc, rgb(p.background));
    SetBkMode(dc, TRANSPARENT);
    result = reinterpret_cast<LRESULT>(brushBackground.get());
    return true;
}

bool App::onColorButton(WPARAM wParam, LPARAM, LRESULT& result) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, rgb(sc::kButtonTextAnswer));
    SetBkColor(dc, rgb(themePalette(themeRed).background));
    SetBkMode(dc, TRANSPARENT);
    result = reinterpret_cast<LRESULT>(brushBackground.get());
    return true;
}

bool App::onColorListBox(WPARAM wParam, LPARAM, LRESULT& result) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    const Palette& p = themePalette(themeRed);
    SetTextColor(dc, rgb(sc::kListText));
    SetBkColor(dc, rgb(p.listTextBackground));
    result = reinterpret_cast<LRESULT>(brushListItem.get());
    return true;
}

}  // namespace zalo

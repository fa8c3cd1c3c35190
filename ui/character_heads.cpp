// Character heads and gallery tiles. Geometry is in pixels relative to the
// tile: cx is the tile's horizontal centre, t its top edge. Every pen and
// brush lives for one call (GdiObject) and is deselected before it is
// deleted (SelectionScope, declared after the object it selects), so
// painting the gallery any number of times holds no GDI object.
#include "ui/character_heads.h"

#include <string>

#include "dsp/voice_presets.h"
#include "ui/head_palette.h"
#include "ui/main_window_logic.h"
#include "ui/scoped_gdi.h"

namespace zalo {

namespace {

COLORREF rgb(const Rgb& c) { return RGB(c.r, c.g, c.b); }

constexpr int kCardCorner = 18;
constexpr int kMouthPenPx = 2;
// The name's line: 5 px in from either side, 68..88 px below the top.
constexpr int kNameInset = 5;
constexpr int kNameTop = 68;
constexpr int kNameBottom = 88;

void filledEllipse(HDC dc, const Rgb& colour, int left, int top, int right, int bottom) {
    ScopedBrush brush(CreateSolidBrush(rgb(colour)));
    if (!brush) return;  // a failed creation leaves that part undrawn
    SelectionScope use(dc, brush.get());
    Ellipse(dc, left, top, right, bottom);
}

}  // namespace

void drawCharacterHead(HDC dc, const RECT& tile, int index, bool selected, COLORREF accent) {
    const int cx = (tile.left + tile.right) / 2;
    const int t = tile.top;

    // Steps without an outline: back disc, head, face, band, eyes.
    SelectionScope noOutline(dc, GetStockObject(NULL_PEN));
    {
        ScopedBrush disc(CreateSolidBrush(selected ? accent : rgb(heads::kBackDisc)));
        SelectionScope use(dc, disc.get());
        if (disc) Ellipse(dc, cx - 32, t + 4, cx + 32, t + 68);
    }
    filledEllipse(dc, heads::headColour(index), cx - 27, t + 9, cx + 27, t + 63);
    filledEllipse(dc, heads::faceColour(index), cx - 18, t + 19, cx + 18, t + 58);
    {
        // Counterclockwise from the left radial to the right one: the lower
        // part of the ellipse, a band across the eyes.
        ScopedBrush band(CreateSolidBrush(rgb(heads::bandColour(index))));
        SelectionScope use(dc, band.get());
        if (band) Pie(dc, cx - 20, t + 12, cx + 20, t + 44, cx - 19, t + 31, cx + 19, t + 32);
    }
    {
        ScopedBrush eyes(CreateSolidBrush(rgb(heads::kEyes)));
        SelectionScope use(dc, eyes.get());
        if (eyes) {
            Ellipse(dc, cx - 9, t + 33, cx - 5, t + 37);
            Ellipse(dc, cx + 5, t + 33, cx + 9, t + 37);
        }
    }

    // The mouth's pen stays selected for the visor and the beard, which are
    // outlined in it. Arc draws no fill: both radials lie above the centre,
    // so the counterclockwise arc is a U open across the top.
    ScopedPen mouth(CreatePen(PS_SOLID, kMouthPenPx, rgb(heads::kMouth)));
    if (!mouth) return;
    SelectionScope useMouth(dc, mouth.get());
    Arc(dc, cx - 8, t + 41, cx + 8, t + 51, cx - 6, t + 43, cx + 6, t + 43);

    if (index == heads::kRobotVisorPreset || index == heads::kAlienVisorPreset) {
        ScopedBrush visor(CreateSolidBrush(
            rgb(index == heads::kRobotVisorPreset ? heads::kRobotVisor : heads::kAlienVisor)));
        SelectionScope use(dc, visor.get());
        if (visor) Rectangle(dc, cx - 13, t + 33, cx + 13, t + 39);
    }
    if (index == heads::kBeardPreset) {
        filledEllipse(dc, heads::kBeard, cx - 16, t + 44, cx + 16, t + 64);
    } else if (index == heads::kCheekLinePresets[0] || index == heads::kCheekLinePresets[1]) {
        // LineTo leaves out its end point, as the lines want.
        ScopedPen cheeks(CreatePen(PS_SOLID, 1, rgb(heads::kCheekLines)));
        SelectionScope use(dc, cheeks.get());
        if (cheeks) {
            MoveToEx(dc, cx - 12, t + 39, nullptr);
            LineTo(dc, cx - 7, t + 40);
            MoveToEx(dc, cx + 7, t + 40, nullptr);
            LineTo(dc, cx + 12, t + 39);
        }
    }
}

void drawHeadTile(HDC dc, const RECT& tile, int index, bool selected, bool themeRed, HFONT font) {
    const VoicePresetTable& presets = voicePresetTable();
    if (index < 0 || static_cast<std::size_t>(index) >= presets.count) return;
    const heads::TilePalette& p = heads::tilePalette(themeRed);

    {
        ScopedBrush fill(CreateSolidBrush(rgb(selected ? p.fillSelected : p.fill)));
        if (fill) FillRect(dc, &tile, fill.get());
    }
    {
        ScopedPen frame(CreatePen(PS_SOLID, selected ? heads::kFrameSelectedPx : heads::kFramePx,
                                  rgb(selected ? p.frameSelected : p.frame)));
        SelectionScope usePen(dc, frame.get());
        SelectionScope hollow(dc, GetStockObject(NULL_BRUSH));
        if (frame) RoundRect(dc, tile.left, tile.top, tile.right, tile.bottom, kCardCorner, kCardCorner);
    }
    drawCharacterHead(dc, tile, index, selected, rgb(p.accent));

    const std::wstring name = shortPresetName(presets[static_cast<std::size_t>(index)].label);
    RECT line{tile.left + kNameInset, tile.top + kNameTop, tile.right - kNameInset, tile.top + kNameBottom};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, rgb(p.name));
    SelectionScope useFont(dc, font);
    DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &line,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

}  // namespace zalo

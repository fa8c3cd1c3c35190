// The gallery's tiles: a rounded card, a cartoon head drawn from plain GDI
// primitives, and the preset's short name. Neither function reads the App,
// so a test program can paint tiles into a memory DC.
#pragma once

#include <windows.h>

namespace zalo {

// The head alone, centred on `tile` (a 105 x 100 gallery button): back disc
// (in `accent` when selected), head, face, band, eyes, mouth, and the extras
// of presets 4/23 (visor), 12 (beard) and 10/11 (cheek lines). The caller's
// pen and brush are selected again, and every object created here is
// deleted, before it returns.
void drawCharacterHead(HDC dc, const RECT& tile, int index, bool selected, COLORREF accent);

// The whole tile for preset `index`: card fill and frame in the theme's
// colours, the head, and the preset's short name in `font` on one line.
// An index outside the preset table draws nothing.
void drawHeadTile(HDC dc, const RECT& tile, int index, bool selected, bool themeRed, HFONT font);

}  // namespace zalo

// Gallery tiles painted in-process into a memory DC (under Wine in the
// cross build): no GDI object outlives a tile, the caller's selection comes
// back, and the selected tile differs from the others only where it should.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ui/character_heads.h"
#include "ui/head_palette.h"

namespace zalo {
namespace {

constexpr int kW = 105, kH = 100;  // a gallery tile
using Image = std::vector<std::uint32_t>;

// A 32-bit top-down DIB in a memory DC; a 14 px font for the names.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    std::uint32_t* bits = nullptr;
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), kW, -kH, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Segoe UI");
    ~Canvas() { SelectObject(dc, oldBitmap); DeleteObject(bitmap); DeleteObject(font); DeleteDC(dc); }
    Image paint(int index, bool selected, bool red = false) {
        drawHeadTile(dc, RECT{0, 0, kW, kH}, index, selected, red, font);
        GdiFlush();
        return Image(bits, bits + kW * kH);
    }
};

std::uint32_t px(const Rgb& c) { return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; }
std::uint32_t at(const Image& image, int x, int y) { return image[y * kW + x] & 0xFFFFFF; }

// Wine refuses new GDI objects after about 65,480 live ones and answers 0
// to GetGuiResources. A tile that kept one pen or brush per call would,
// after 70,000 tiles, draw different pixels and CreatePen would fail.
TEST(HeadTiles, PaintingHoldsNoGdiObjectAndRestoresTheCallersSelection) {
    Canvas c;
    const auto selection = [&] { return std::vector<HGDIOBJ>{GetCurrentObject(c.dc, OBJ_PEN),
                                 GetCurrentObject(c.dc, OBJ_BRUSH), GetCurrentObject(c.dc, OBJ_FONT)}; };
    const std::vector<HGDIOBJ> before = selection();
    const Image first = c.paint(12, true);
    const DWORD start = GetTickCount();
    for (int n = 0; n < 70000; ++n) c.paint(n % 33, n / 33 % 2 == 1, n / 66 % 2 == 1);
    std::printf("70000 tiles in %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_TRUE(selection() == before);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    EXPECT_NE(pen, nullptr);
    DeleteObject(pen);
    EXPECT_TRUE(c.paint(12, true) == first);
}

// Selection changes the card fill, the frame (wider, own colour) and the
// back disc; nothing of the head. The name's line is skipped: its smoothing
// blends with the fill below. Then points that tell palettes and extras apart.
TEST(HeadTiles, SelectionPaletteAndExtras) {
    Canvas c;
    for (bool red : {false, true}) {
        const heads::TilePalette& p = heads::tilePalette(red);
        for (int index : {0, 4, 12, 32}) {
            const Image plain = c.paint(index, false, red), chosen = c.paint(index, true, red);
            int disc = 0, card = 0, head = 0;
            for (int y = 0; y < kH; ++y) {
                for (int x = 0; x < kW && (y < 66 || y >= 90); ++x) {
                    const std::uint32_t u = at(plain, x, y), s = at(chosen, x, y);
                    const bool ok = u == px(heads::kBackDisc) ? (++disc, s == px(p.accent))
                                    : u == px(p.fill)  ? (++card, s == px(p.fillSelected) || s == px(p.frameSelected))
                                    : u == px(p.frame) ? s == px(p.frameSelected)
                                                       : (++head, s == u);
                    ASSERT_TRUE(ok) << red << " preset " << index << " at " << x << "," << y;
                }
            }
            EXPECT_TRUE(disc > 300 && card > 2000 && head > 2000) << disc << " " << card << " " << head;
            // Mid-height at the left edge: 1 px of frame, more when selected.
            EXPECT_EQ(std::vector<std::uint32_t>({at(plain, 0, 50), at(plain, 1, 50), at(chosen, 1, 50)}),
                      std::vector<std::uint32_t>({px(p.frame), px(p.fill), px(p.frameSelected)}));
        }
    }
    // Colours as 0xRRGGBB; cx = 52.
    const struct { int index, x, y; std::uint32_t colour; } points[] = {
        {0, 52, 14, 0x3D86FF}, {30, 52, 14, 0x3D86FF}, {12, 52, 14, 0xE04C48},   // head wraps at 30; Papai Noel
        {0, 52, 55, 0xFFDCBC}, {30, 52, 55, 0xDC9D6F}, {7, 52, 40, 0x4E2E20},    // face by index mod 4; band mod 6
        {12, 52, 60, 0xF5F5F5}, {0, 52, 60, 0x3D86FF}, {0, 52, 36, 0x241B1F},    // beard over the chin; band
        {4, 52, 36, 0xB4F5FF}, {23, 52, 36, 0xFFE86E}, {10, 40, 39, 0x826458},   // visors; cheek lines
        {11, 63, 39, 0x826458}};
    for (const auto& p : points) EXPECT_EQ(at(c.paint(p.index, false), p.x, p.y), p.colour) << p.index;
}

}  // namespace
}  // namespace zalo

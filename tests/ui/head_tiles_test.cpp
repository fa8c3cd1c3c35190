// Gallery tiles painted in-process into a memory DC (under Wine in the
// cross build): no GDI object outlives a tile, the caller's selection comes
// back, and the selected tile differs from the others only where it should.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/character_heads.h"
#include "ui/head_palette.h"

namespace zalo {
namespace {

constexpr int kW = 105, kH = 100;  // a gallery tile
constexpr int kPresets = 33;

// A 32-bit top-down DIB selected into a memory DC, with a 14 px font.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    std::uint32_t* bits = nullptr;
    HBITMAP bitmap;
    HFONT font = CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Segoe UI");
    HGDIOBJ oldBitmap;
    Canvas() {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kW, -kH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        oldBitmap = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteObject(font);
        DeleteDC(dc);
    }
    std::vector<std::uint32_t> paint(int index, bool selected, bool red = false) {
        const RECT tile{0, 0, kW, kH};
        drawHeadTile(dc, tile, index, selected, red, font);
        GdiFlush();
        return std::vector<std::uint32_t>(bits, bits + kW * kH);
    }
};

std::uint32_t px(const Rgb& c) { return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; }
std::uint32_t at(const std::vector<std::uint32_t>& image, int x, int y) { return image[y * kW + x] & 0xFFFFFF; }

// Wine refuses new GDI objects after about 65,480 live ones, and
// GetGuiResources answers 0 there. So a tile that kept even one pen or brush
// per call would, after 70,000 tiles, fail to create its own and draw
// different pixels, and CreatePen would fail.
TEST(HeadTiles, PaintingHoldsNoGdiObjectAndRestoresTheCallersSelection) {
    Canvas canvas;
    const HGDIOBJ pen = GetCurrentObject(canvas.dc, OBJ_PEN);
    const HGDIOBJ brush = GetCurrentObject(canvas.dc, OBJ_BRUSH);
    const HGDIOBJ font = GetCurrentObject(canvas.dc, OBJ_FONT);
    const std::vector<std::uint32_t> first = canvas.paint(12, true);
    const DWORD start = GetTickCount();
    for (int n = 0; n < 70000; ++n) {
        canvas.paint(n % kPresets, (n / kPresets) % 2 == 1, (n / (2 * kPresets)) % 2 == 1);
    }
    std::printf("70000 tiles in %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(canvas.dc, OBJ_FONT), font);
    HPEN probe = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    EXPECT_NE(probe, nullptr);
    DeleteObject(probe);
    EXPECT_TRUE(canvas.paint(12, true) == first);
}

// Selection changes the card fill, the frame (wider, in its own colour) and
// the back disc, nothing of the head. The name's line is left out: its
// smoothing blends with the fill below it.
TEST(HeadTiles, SelectionChangesOnlyCardFrameAndBackDisc) {
    Canvas canvas;
    for (bool red : {false, true}) {
        const heads::TilePalette& p = heads::tilePalette(red);
        for (int index : {0, 4, 12, 32}) {
            const std::vector<std::uint32_t> plain = canvas.paint(index, false, red);
            const std::vector<std::uint32_t> chosen = canvas.paint(index, true, red);
            int disc = 0, card = 0, head = 0;
            for (int y = 0; y < kH; ++y) {
                if (y >= 66 && y < 90) continue;
                for (int x = 0; x < kW; ++x) {
                    const std::uint32_t u = at(plain, x, y), s = at(chosen, x, y);
                    if (u == px(heads::kBackDisc)) {
                        ++disc;
                        ASSERT_EQ(s, px(p.accent)) << red << " " << index << " disc " << x << "," << y;
                    } else if (u == px(p.fill)) {
                        ++card;
                        ASSERT_TRUE(s == px(p.fillSelected) || s == px(p.frameSelected)) << x << "," << y;
                    } else if (u == px(p.frame)) {
                        ASSERT_EQ(s, px(p.frameSelected)) << x << "," << y;
                    } else {
                        ++head;
                        ASSERT_EQ(s, u) << red << " " << index << " head " << x << "," << y;
                    }
                }
            }
            EXPECT_GT(disc, 300);
            EXPECT_GT(card, 2000);
            EXPECT_GT(head, 2000);
            // Mid-height at the left edge: a 1 px frame, and a wider one
            // (a 3 px pen, half of it outside the tile) when selected.
            EXPECT_EQ(at(plain, 0, 50), px(p.frame));
            EXPECT_EQ(at(plain, 1, 50), px(p.fill));
            EXPECT_EQ(at(chosen, 1, 50), px(p.frameSelected));
        }
    }
}

// Points that tell the palettes and the extras apart (cx = 52).
TEST(HeadTiles, PaletteAndExtrasLandOnTheirPresets) {
    const struct {
        int index, x, y;
        Rgb colour;
    } points[] = {
        {0, 52, 14, {61, 134, 255}},  {30, 52, 14, {61, 134, 255}},    // head colour wraps at 30
        {0, 52, 55, {255, 220, 188}}, {30, 52, 55, {220, 157, 111}},   // face by index mod 4
        {7, 52, 40, {78, 46, 32}},    {12, 52, 14, {224, 76, 72}},     // band mod 6; Papai Noel
        {12, 52, 60, {245, 245, 245}}, {0, 52, 60, {61, 134, 255}},    // beard over the chin
        {4, 52, 36, {180, 245, 255}}, {23, 52, 36, {255, 232, 110}},   // visors
        {0, 52, 36, {36, 27, 31}},    {10, 40, 39, {130, 100, 88}},    // band, no visor; cheek lines
        {11, 63, 39, {130, 100, 88}},
    };
    Canvas canvas;
    for (const auto& p : points) {
        EXPECT_EQ(at(canvas.paint(p.index, false), p.x, p.y), px(p.colour)) << p.index << " " << p.x << "," << p.y;
    }
}

}  // namespace
}  // namespace zalo

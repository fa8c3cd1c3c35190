// The two themes' colours (blue, and red on request). Portable data; the
// painting code turns them into COLORREFs.
#pragma once

#include <cstdint>

namespace zalo {

struct Rgb {
    std::uint8_t r, g, b;
};

struct Palette {
    Rgb background;       // client area, label backgrounds
    Rgb card;             // card fill
    Rgb cardBorder;       // card outline; border of a combo item not highlighted
    Rgb accent;           // top strip, header lines, button face, slider channel line
    Rgb highlight;        // title, live text, meter bars, button border, slider thumb
    Rgb pressedFace;      // push button while pressed
    Rgb meterBackground;  // progress bar background
    Rgb listItem;         // combo item background
    Rgb listSelected;     // highlighted combo item background
    Rgb listTextBackground;
};

// Colours the two themes share.
namespace shared_colours {
constexpr Rgb kClassBackground{11, 13, 24};  // before the App is attached
constexpr Rgb kLabelText{238, 231, 234};
constexpr Rgb kLiveOffText{162, 168, 202};
constexpr Rgb kButtonTextAnswer{247, 238, 240};  // WM_CTLCOLORBTN
constexpr Rgb kListText{248, 236, 240};
constexpr Rgb kDisabledFace{53, 58, 77};
constexpr Rgb kDisabledBorder{86, 91, 114};
constexpr Rgb kDisabledText{183, 165, 169};
constexpr Rgb kPushButtonText{255, 255, 255};
constexpr Rgb kChannel{38, 44, 72};
constexpr Rgb kComboDisabled{35, 39, 54};
constexpr Rgb kComboText{250, 238, 242};
constexpr Rgb kComboDisabledText{133, 111, 118};
}  // namespace shared_colours

inline constexpr Palette kBluePalette{
    {8, 13, 25}, {14, 20, 36}, {49, 78, 145}, {72, 132, 255}, {110, 231, 255},
    {42, 76, 170}, {27, 39, 68}, {17, 25, 43}, {42, 75, 166}, {17, 25, 43},
};
inline constexpr Palette kRedPalette{
    {12, 7, 10}, {24, 12, 18}, {108, 31, 49}, {235, 40, 70}, {255, 92, 112},
    {158, 17, 33}, {55, 20, 27}, {27, 14, 20}, {108, 17, 34}, {29, 15, 21},
};

inline const Palette& themePalette(bool red) { return red ? kRedPalette : kBluePalette; }

}  // namespace zalo

// Colours of the gallery's character heads and of the tiles that hold them.
// Portable data: a head's look follows from its preset index alone (head
// colour by index mod 30, face by index mod 4, band by index mod 6), so the
// table can grow without new art.
#pragma once

#include <cstddef>

#include "ui/theme_palette.h"

namespace zalo::heads {

inline constexpr Rgb kHeadColours[] = {
    {61, 134, 255}, {61, 208, 176}, {245, 102, 178}, {93, 120, 255}, {125, 86, 255},
    {62, 180, 214}, {255, 158, 74}, {255, 191, 105}, {82, 202, 149}, {234, 105, 165},
    {112, 130, 150}, {188, 132, 195}, {224, 76, 72},  {155, 92, 220}, {171, 117, 83},
    {79, 151, 255}, {91, 211, 190}, {168, 119, 79}, {238, 128, 61}, {105, 169, 255},
    {92, 93, 203},  {158, 106, 197}, {104, 187, 111}, {72, 196, 201}, {96, 124, 166},
    {255, 147, 72}, {244, 208, 79}, {127, 100, 255}, {87, 201, 148}, {124, 132, 160},
};
inline constexpr Rgb kFaceColours[] = {{255, 220, 188}, {244, 193, 152}, {220, 157, 111}, {153, 98, 72}};
inline constexpr Rgb kBandColours[] = {{36, 27, 31},  {78, 46, 32},  {194, 104, 48},
                                       {234, 199, 85}, {55, 69, 103}, {119, 59, 135}};

inline constexpr Rgb kBackDisc{45, 52, 78};  // behind a head that is not selected
inline constexpr Rgb kEyes{24, 27, 38};
inline constexpr Rgb kMouth{120, 64, 70};    // also outlines the visor and the beard
inline constexpr Rgb kBeard{245, 245, 245};
inline constexpr Rgb kCheekLines{130, 100, 88};

// Presets with an extra: a visor over the eyes, a beard, or cheek lines.
inline constexpr int kRobotVisorPreset = 4;
inline constexpr int kAlienVisorPreset = 23;
inline constexpr int kBeardPreset = 12;
inline constexpr int kCheekLinePresets[] = {10, 11};
inline constexpr Rgb kRobotVisor{180, 245, 255};
inline constexpr Rgb kAlienVisor{255, 232, 110};

template <typename T, std::size_t N>
constexpr const T& cyclic(const T (&table)[N], int index) {
    // Indices are table positions, never negative; the guard keeps a bad
    // caller inside the table.
    return table[static_cast<std::size_t>(index < 0 ? 0 : index) % N];
}

inline constexpr const Rgb& headColour(int index) { return cyclic(kHeadColours, index); }
inline constexpr const Rgb& faceColour(int index) { return cyclic(kFaceColours, index); }
inline constexpr const Rgb& bandColour(int index) { return cyclic(kBandColours, index); }

// A tile's colours in one theme.
struct TilePalette {
    Rgb fillSelected, fill;
    Rgb frameSelected, frame;  // 3 px when selected, 1 px otherwise
    Rgb accent;                // back disc of the selected head
    Rgb name;
};
inline constexpr int kFrameSelectedPx = 3;
inline constexpr int kFramePx = 1;

inline constexpr TilePalette kBlueTiles{{20, 39, 79}, {14, 20, 36}, {110, 231, 255}, {49, 78, 145},
                                        {110, 231, 255}, {245, 247, 255}};
inline constexpr TilePalette kRedTiles{{62, 18, 30}, {24, 13, 19}, {255, 92, 112}, {108, 31, 49},
                                       {255, 92, 112}, {245, 247, 255}};
inline constexpr const TilePalette& tilePalette(bool red) { return red ? kRedTiles : kBlueTiles; }

}  // namespace zalo::heads

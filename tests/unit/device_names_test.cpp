#include "audio/device_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zalo::isCableOutputName;

TEST(CableOutputName, MatchesEitherKeyInAnyLetterCase) {
    EXPECT_TRUE(isCableOutputName(L"CABLE Input (VB-Audio Virtual Cable)"));
    EXPECT_TRUE(isCableOutputName(L"cable input (vb-audio virtual cable)"));
    EXPECT_TRUE(isCableOutputName(L"cAbLe InPuT"));
    EXPECT_TRUE(isCableOutputName(L"VB-Audio Point"));
    EXPECT_TRUE(isCableOutputName(L"Speakers (VB-AUDIO POINT)"));
    // The key may sit anywhere in the name.
    EXPECT_TRUE(isCableOutputName(L"Hi-Fi Cable Input (VB-Audio Hi-Fi Cable)"));
    // Non-ASCII letters around the key do not disturb the match.
    EXPECT_TRUE(isCableOutputName(L"\u00C1udio CABLE Input \u00E7"));
}

TEST(CableOutputName, MatchesNamesCutByWaveOut) {
    // waveOut keeps 31 characters of the 36-character endpoint name.
    const std::wstring full = L"CABLE Input (VB-Audio Virtual Cable)";
    const std::wstring cut = full.substr(0, 31);
    ASSERT_EQ(cut, L"CABLE Input (VB-Audio Virtual C");
    EXPECT_TRUE(isCableOutputName(cut));
    // A cut that falls inside a key loses the match: the rule is a plain
    // substring test, with no fuzzy matching of truncated keys.
    EXPECT_FALSE(isCableOutputName(L"Speakers on CABLE Inp"));
    EXPECT_FALSE(isCableOutputName(L"Output on VB-Audio Poi"));
}

TEST(CableOutputName, RejectsOtherDevices) {
    EXPECT_FALSE(isCableOutputName(L""));
    EXPECT_FALSE(isCableOutputName(L"Speakers (Realtek High Definition Audio)"));
    EXPECT_FALSE(isCableOutputName(L"Alto-falantes (Realtek\u00AE Audio)"));
    // The recording side and the bare product name carry neither key.
    EXPECT_FALSE(isCableOutputName(L"CABLE Output (VB-Audio Virtual Cable)"));
    EXPECT_FALSE(isCableOutputName(L"Monitor of CABLE Output"));
    EXPECT_FALSE(isCableOutputName(L"VB-Audio Virtual Cable"));
    // Near misses: the keys need their exact spacing and hyphen.
    EXPECT_FALSE(isCableOutputName(L"CableInput"));
    EXPECT_FALSE(isCableOutputName(L"Cable  Input"));
    EXPECT_FALSE(isCableOutputName(L"VB Audio Point"));
    EXPECT_FALSE(isCableOutputName(L"Line Input (cable)"));
    // The A/B cables put a letter inside the key, so they are not taken.
    EXPECT_FALSE(isCableOutputName(L"CABLE-A Input (VB-Audio Cable A)"));
}

}  // namespace

#include "audio/capture_devices.h"
#include "audio/device_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zalo::CaptureDevice;
using zalo::CaptureExclusion;
using zalo::captureExclusionOf;
using zalo::chooseCaptureDevice;

TEST(CaptureExclusion, CableRecordingSideUnderAnyOfItsNames) {
    for (const wchar_t* name : {L"CABLE Output (VB-Audio Virtual Cable)",
                                L"cable output", L"Line 1 (CaBlE OuTpUt)",
                                L"ZALO AUDIO MICROPHONE", L"Zalo Audio Virtual Microphone (2)",
                                L"Monitor of CABLE Input (VB-Audio Virtual Cable)",
                                L"VB-AUDIO VIRTUAL CABLE"}) {
        EXPECT_EQ(captureExclusionOf(name), CaptureExclusion::VirtualCable) << name;
    }
    // Both rules hold: the cable wins.
    EXPECT_EQ(captureExclusionOf(L"Stereo Mix (CABLE Output)"), CaptureExclusion::VirtualCable);
}

TEST(CaptureExclusion, LoopbackSourcesInAnyLetterCase) {
    for (const wchar_t* name : {L"Stereo Mix (Realtek(R) Audio)", L"STEREO MIX",
                                L"Mixagem Estereo (Realtek(R) Audio)",
                                L"What U Hear (Sound Blaster)", L"Wave Out Mix",
                                L"Loopback (Focusrite)", L"Analog LOOPBACK 3-4"}) {
        EXPECT_EQ(captureExclusionOf(name), CaptureExclusion::Loopback) << name;
    }
}

TEST(CaptureExclusion, KeepsMicrophonesAndNearMisses) {
    for (const wchar_t* name : {
             L"Microphone (Realtek(R) Audio)",
             L"Microphone",  // the fallback for an unreadable friendly name
             L"",
             // Accented spelling: no folding, so the endpoint stays listed.
             L"Mixagem est\u00E9reo (Realtek(R) Audio)",
             L"MIXAGEM EST\u00C9REO",
             // Keys cut short, as a driver's truncated name might be.
             L"CABLE Outp", L"Stereo Mi", L"VB-Audio Virtual Cab",
             L"StereoMix", L"Loop back mic", L"Zalo Audio Mic"}) {
        EXPECT_EQ(captureExclusionOf(name), CaptureExclusion::None) << name;
    }
}

TEST(ChooseCaptureDevice, FollowsTheRememberedIdExactly) {
    const std::vector<CaptureDevice> devices = {
        {L"{0.0.1.00000000}.{aaaa}", L"Microphone (USB)"},
        {L"{0.0.1.00000000}.{BBBB}", L"Headset"},
        {L"{0.0.1.00000000}.{cccc}", L"Headset"},
    };
    EXPECT_EQ(chooseCaptureDevice(devices, L"{0.0.1.00000000}.{BBBB}"), 1u);
    // Same friendly name twice: the id decides.
    EXPECT_EQ(chooseCaptureDevice(devices, L"{0.0.1.00000000}.{cccc}"), 2u);
    // Differs only in letter case, is a prefix, or is longer: no match, first device.
    EXPECT_EQ(chooseCaptureDevice(devices, L"{0.0.1.00000000}.{bbbb}"), 0u);
    EXPECT_EQ(chooseCaptureDevice(devices, L"{0.0.1.00000000}.{BBB"), 0u);
    EXPECT_EQ(chooseCaptureDevice(devices, L"{0.0.1.00000000}.{BBBB} "), 0u);
    EXPECT_EQ(chooseCaptureDevice(devices, L"Headset"), 0u);
    EXPECT_EQ(chooseCaptureDevice(devices, L""), 0u);
}

TEST(ChooseCaptureDevice, EmptyListSelectsNothing) {
    EXPECT_FALSE(chooseCaptureDevice({}, L"").has_value());
    EXPECT_FALSE(chooseCaptureDevice({}, L"{0.0.1.00000000}.{aaaa}").has_value());
}

TEST(ChooseCaptureDevice, FirstOfDuplicateIdsAndNoEmptyIdMatch) {
    const std::vector<CaptureDevice> devices = {{L"a", L"A"}, {L"x", L"B"}, {L"x", L"C"}, {L"", L"D"}};
    EXPECT_EQ(chooseCaptureDevice(devices, L"x"), 1u);
    // No remembered id (a first start) is not a match for an empty id.
    EXPECT_EQ(chooseCaptureDevice(devices, L""), 0u);
}

}  // namespace

// The device-name rules: which capture endpoints stay out of the microphone
// list and which waveOut device is the cable's playback side; and the
// microphone chosen after a refresh.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "audio/capture_devices.h"
#include "audio/device_names.h"

namespace zalo {
namespace {

TEST(DeviceNames, EachNameGetsItsVerdictUnderBothRules) {
    constexpr auto kNone = CaptureExclusion::None, kCable = CaptureExclusion::VirtualCable,
                   kLoop = CaptureExclusion::Loopback;
    const struct { const wchar_t* name; CaptureExclusion asMicrophone; bool isCablePlayback; } names[] = {
        {L"CABLE Output (VB-Audio Virtual Cable)", kCable, false},
        {L"Line 1 (CaBlE OuTpUt)", kCable, false},
        {L"ZALO AUDIO MICROPHONE", kCable, false},
        {L"Zalo Audio Virtual Microphone (2)", kCable, false},
        {L"VB-AUDIO VIRTUAL CABLE", kCable, false},
        {L"Monitor of CABLE Input (VB-Audio Virtual Cable)", kCable, true},
        {L"Stereo Mix (CABLE Output)", kCable, false},  // both rules: the cable wins
        {L"Stereo Mix (Realtek(R) Audio)", kLoop, false},
        {L"Mixagem Estereo (Realtek(R) Audio)", kLoop, false},
        {L"What U Hear (Sound Blaster)", kLoop, false},
        {L"WAVE OUT MIX", kLoop, false},
        {L"Analog LOOPBACK 3-4", kLoop, false},
        {L"Microphone", kNone, false},  // the name of an endpoint whose name cannot be read
        {L"", kNone, false},
        {L"Mixagem est\u00E9reo (Realtek(R) Audio)", kNone, false},  // accents are not folded
        {L"CABLE Outp", kNone, false},  // keys cut short, as a driver might
        {L"StereoMix", kNone, false},
        {L"Zalo Audio Mic", kNone, false},
        {L"CABLE Input (VB-Audio Virtual C", kNone, true},  // waveOut keeps 31 characters
        {L"cAbLe InPuT", kNone, true},
        {L"Speakers (VB-AUDIO POINT)", kNone, true},
        {L"Hi-Fi Cable Input (VB-Audio Hi-Fi Cable)", kNone, true},
        {L"\u00C1udio CABLE Input \u00E7", kNone, true},
        {L"Speakers on CABLE Inp", kNone, false},  // a cut inside the key loses it
        {L"CableInput", kNone, false},  // the keys need their exact spacing and hyphen
        {L"CABLE-A Input (VB-Audio Cable A)", kNone, false},
    };
    for (const auto& n : names) {
        EXPECT_EQ(captureExclusionOf(n.name), n.asMicrophone) << n.name;
        EXPECT_EQ(isCableOutputName(n.name), n.isCablePlayback) << n.name;
    }
}

TEST(ChooseCaptureDevice, FirstDeviceWithExactlyTheRememberedIdElseTheFirst) {
    const std::vector<CaptureDevice> devices = {
        {L"{aaaa}", L"Microphone (USB)"}, {L"{BBBB}", L"Headset"}, {L"{cccc}", L"Headset"},
        {L"x", L"B"}, {L"x", L"C"}, {L"", L"D"},
    };
    const std::pair<const wchar_t*, std::size_t> cases[] = {
        {L"{BBBB}", 1}, {L"{cccc}", 2},  // the id decides, not the name
        {L"x", 3},                       // the first of duplicate ids
        {L"{bbbb}", 0}, {L"{BBB", 0}, {L"{BBBB} ", 0}, {L"Headset", 0},
        {L"", 0},                        // no remembered id never matches an empty id
    };
    for (const auto& [remembered, index] : cases)
        EXPECT_EQ(chooseCaptureDevice(devices, remembered), index) << remembered;
    EXPECT_FALSE(chooseCaptureDevice({}, L"").has_value());
    EXPECT_FALSE(chooseCaptureDevice({}, L"{aaaa}").has_value());
}

}  // namespace
}  // namespace zalo

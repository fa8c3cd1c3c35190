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

TEST(ChooseCaptureDevice, RememberedElseDefaultElseFirst) {
    const std::vector<CaptureDevice> devices = {
        {L"{null}", L"Null Input"}, {L"{BBBB}", L"Headset"}, {L"{cccc}", L"Headset"},
        {L"x", L"B"}, {L"x", L"C"}, {L"", L"D"},
    };
    struct Case {
        const wchar_t* remembered;
        const wchar_t* defaultId;
        std::size_t index;
        bool remember;
    };
    const Case cases[] = {
        {L"{BBBB}", L"{cccc}", 1, false}, {L"{cccc}", L"", 2, false},  // the id decides, not the name
        {L"x", L"", 3, false},                                         // the first of duplicate ids
        // Absent or mismatched (letter case, length): the default for now,
        // and the remembered id is kept for when its device returns.
        {L"{bbbb}", L"{cccc}", 2, false}, {L"{BBBB} ", L"{cccc}", 2, false}, {L"Headset", L"", 0, false},
        {L"{gone}", L"{gone too}", 0, false},
        // Nothing remembered: the default, not whatever the system lists
        // first, and it becomes the remembered device.
        {L"", L"{cccc}", 2, true}, {L"", L"", 0, true}, {L"", L"{unlisted}", 0, true},
    };
    for (const Case& c : cases) {
        const CaptureChoice choice = chooseCaptureDevice(devices, c.remembered, c.defaultId);
        EXPECT_EQ(choice.index, c.index) << c.remembered << " / " << c.defaultId;
        EXPECT_EQ(choice.remember, c.remember) << c.remembered << " / " << c.defaultId;
    }
    EXPECT_FALSE(chooseCaptureDevice({}, L"", L"").index.has_value());
    EXPECT_FALSE(chooseCaptureDevice({}, L"{aaaa}", L"{aaaa}").index.has_value());
}

}  // namespace
}  // namespace zalo

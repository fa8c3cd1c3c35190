// Why a capture stream stopped delivering, read from the platform's error
// code, and how long a silent stream may go before it counts as lost. The
// status line turns the fault into advice, and the user interface retries a
// lost microphone about once a second. Portable, so the rules are tested
// natively.
#pragma once

#include <cstdint>

namespace zalo {

enum class CaptureFault : std::uint8_t {
    None,          // delivering, or stopped on request
    Lost,          // unplugged, disabled, asleep, or silent past the watchdog
    AccessDenied,  // the system's privacy settings refuse microphone access
    InUse,         // another program holds the device in exclusive mode
    Failed,        // anything else; shown as a lost microphone
};

// An active endpoint delivers a packet every period (about 10 ms), silence
// included. A stream that has delivered nothing for this long is lost: Wine,
// for one, simply stops delivering when its source goes away.
constexpr unsigned kCaptureSilenceLimitMs = 1000;
// A stream's first packet may take longer: a sound server waking a
// suspended source, a Bluetooth headset switching profile. Under Wine the
// first stream of a cold sound server took over a second.
constexpr unsigned kCaptureFirstPacketLimitMs = 5000;

// While capture is lost, the remembered device is opened again this often.
constexpr unsigned kCaptureRetryMs = 1000;

// The fault an HRESULT (as a signed 32-bit value) stands for. Success codes
// and unknown failures both map to Failed: the caller only asks once the
// stream has ended by itself.
CaptureFault captureFaultOf(std::int32_t hresult);

}  // namespace zalo

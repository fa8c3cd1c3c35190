// zalo-devices: prints the audio devices as the engine sees them, to answer
// "which microphones can I pick?" and "why does no audio reach the cable?".
// Windows only. See kUsage for the output format.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "audio/capture_devices.h"
#include "audio/waveout_devices.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitEnumerationFailed = 1;
constexpr int kExitBadOption = 2;

const wchar_t kUsage[] =
    L"usage: zalo-devices [--help]\n"
    L"\n"
    L"Lists the audio devices as ZALO AUDIO sees them. One record per line,\n"
    L"fields separated by a tab, each line starting with its kind:\n"
    L"\n"
    L"  listed    NAME  ID  FORMAT          a microphone the program offers\n"
    L"  excluded  NAME  ID  FORMAT  REASON  a capture endpoint left out;\n"
    L"                                      REASON is virtual-cable or loopback\n"
    L"  waveout   INDEX  NAME               a playback device (names cut to 31\n"
    L"                                      characters by the system)\n"
    L"  cable     INDEX  NAME               the playback device the processed\n"
    L"                                      voice is sent to\n"
    L"  cable     not found                 no such device: the virtual cable is\n"
    L"                                      not installed, and no audio is sent\n"
    L"\n"
    L"Capture endpoints are the active ones, in the system's order; the first\n"
    L"listed one is chosen when no remembered microphone is present. FORMAT is\n"
    L"the endpoint's shared-mode mix format, e.g. \"48000 Hz, 1 ch, 32-bit float\",\n"
    L"or \"unknown\" when it cannot be read. Tabs and line breaks inside names\n"
    L"are printed as spaces. Output is UTF-8.\n"
    L"\n"
    L"Exit status: 0 success, 1 the capture endpoints could not be enumerated,\n"
    L"2 bad option.\n";

// Console: UTF-16 straight to it. File or pipe: UTF-8 bytes, whatever the
// code page, so that scripts and support mails see the names unchanged.
void write(HANDLE out, const std::wstring& text) {
    if (out == nullptr || out == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int wideLength = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0) return;
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, &utf8[0], bytes, nullptr, nullptr);
    WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

// A field may not carry the separators of the format.
std::wstring field(std::wstring text) {
    for (wchar_t& c : text) {
        if (c < L' ' || c == 0x7F) c = L' ';
    }
    return text;
}

std::wstring describe(const zalo::CaptureEndpointInfo& endpoint) {
    if (!endpoint.hasMixFormat) return L"unknown";
    const zalo::CaptureFormat& f = endpoint.mixFormat;
    return std::to_wstring(f.sampleRate) + L" Hz, " + std::to_wstring(f.channels) + L" ch, " +
           std::to_wstring(f.bitsPerSample) + (f.isFloat ? L"-bit float" : L"-bit PCM");
}

const wchar_t* reasonOf(zalo::CaptureExclusion exclusion) {
    switch (exclusion) {
        case zalo::CaptureExclusion::VirtualCable: return L"virtual-cable";
        case zalo::CaptureExclusion::Loopback: return L"loopback";
        case zalo::CaptureExclusion::None: break;
    }
    return L"";
}

int run(int argc, wchar_t** argv) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            write(out, kUsage);
            return kExitOk;
        }
        write(err, L"zalo-devices: unknown option '" + arg + L"' (see --help)\n");
        return kExitBadOption;
    }

    std::wstring text;
    std::vector<zalo::CaptureEndpointInfo> endpoints;
    const bool enumerated = zalo::listCaptureEndpoints(endpoints);
    for (const zalo::CaptureEndpointInfo& e : endpoints) {
        const bool listed = e.exclusion == zalo::CaptureExclusion::None;
        text += listed ? L"listed\t" : L"excluded\t";
        text += field(e.device.name) + L"\t" + field(e.device.id) + L"\t" + describe(e);
        if (!listed) text += std::wstring(L"\t") + reasonOf(e.exclusion);
        text += L"\n";
    }

    const std::vector<std::wstring> outputs = zalo::waveOutDeviceNames();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        text += L"waveout\t" + std::to_wstring(i) + L"\t" + field(outputs[i]) + L"\n";
    }
    unsigned cable = 0;
    if (zalo::findCableDevice(cable)) {
        const std::wstring name = cable < outputs.size() ? outputs[cable] : std::wstring();
        text += L"cable\t" + std::to_wstring(cable) + L"\t" + field(name) + L"\n";
    } else {
        text += L"cable\tnot found\n";
    }
    write(out, text);

    if (!enumerated) {
        write(err, L"zalo-devices: the capture endpoints could not be enumerated\n");
        return kExitEnumerationFailed;
    }
    return kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return run(argc, argv);
}

// zalo::AudioEngine behind a line protocol, for the Wine audio tests
// (tests/wine/wine_audio.py) and the live demo (run.sh). One command per line
// on stdin; every command gets one reply line on stdout, "ok [key=value ...]"
// or "error: <why>". A command is the first word of its line and reads the
// rest of the line; Probe::commands maps the words to their handlers, so a
// new command is one member function and one entry there:
//
//   start <part of a microphone's name>   the first listed microphone that matches, any case
//   params <zalo-render options without "--", e.g. voice=7 filter=off>
//   monitor <volume 0..1>|off              status     stop     quit
//   record      a new voice test; it drops the last one's images, stopping their sound
//   save        write the finished test's images as original.wav and filtered.wav here
//   play original|filtered                 on the default output device
//   threads off|on                         make every std::thread constructor throw / work again
//   vanish      the capture endpoint fails from now on, as an unplugged microphone does
//   lowlatency 1|0                         both outputs' path from their next device open: stream or waveOut
//   refuse on|off                          every render stream open fails (waveOut must take over), or works again
//   drift hold|run                         both outputs' drift loops held (trim stays 0) or running
//   bare <part of a microphone's name>     no engine: capture written at once into a render stream on the
//                                          cable (the harness's latency floor)
#include <windows.h>
#include <tlhelp32.h>
#include <audioclient.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/capture_devices.h"
#include "audio/render_stream_win.h"
#include "audio/thread_names_win.h"
#include "audio/voice_test_playback_win.h"
#include "audio/wav_image.h"
#include "tools/render_options.h"

namespace {

// A name as the protocol matches and prints it: lower case, blanks as '_' (a
// reply field stays one word), letters beyond ASCII as '?'.
std::string key(const std::wstring& name) {
    std::string s;
    for (wchar_t c : name) s += c == L' ' ? '_' : c < 128 ? static_cast<char>(towlower(c)) : '?';
    return s;
}

// Threads of this process named `name` (the engine names its threads).
int threadsNamed(const wchar_t* name) {
    const auto describe = reinterpret_cast<HRESULT(WINAPI*)(HANDLE, PWSTR*)>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = describe != nullptr ? 0 : -1;
    for (BOOL ok = describe != nullptr && Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        PWSTR text = nullptr;
        if (entry.th32OwnerProcessID == GetCurrentProcessId() && thread && SUCCEEDED(describe(thread, &text))) {
            count += text != nullptr && wcscmp(text, name) == 0;
            LocalFree(text);
        }
        if (thread != nullptr) CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return count;
}

// Thread creation failure on demand: std::thread goes through winpthreads to
// msvcrt's _beginthreadex via this program's import table. Pointing that slot
// at a function that fails as the C runtime does when the system refuses a
// thread makes every std::thread constructor throw std::system_error.
std::uintptr_t __cdecl refusingBeginThreadEx(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned,
                                             unsigned*) {
    errno = EAGAIN;
    return 0;
}

void** importSlot(const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                            function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

class Probe {
public:
    using Handler = std::string (Probe::*)(const std::string& rest);
    static const std::map<std::string, Handler> commands;

    Probe() { params(""); }

private:
    std::string start(const std::string& pattern) {
        for (const zalo::CaptureDevice& device : zalo::enumerateCaptureDevices()) {
            if (key(device.name).find(key(std::wstring(pattern.begin(), pattern.end()))) == std::string::npos) continue;
            bool started = false, escaped = false;
            try {
                started = engine.start(device.id);
            } catch (...) {
                escaped = true;
            }
            engine.setParams(settings);
            return "ok started=" + std::to_string(started) + " escaped=" + std::to_string(escaped) +
                   " capture_threads=" + std::to_string(threadsNamed(zalo::kCaptureThreadName)) +
                   " name=" + key(device.name);
        }
        return "error: no listed microphone matches '" + pattern + "'";
    }

    std::string params(const std::string& options) {
        std::vector<std::string> args;
        std::istringstream words(options);
        for (std::string word; words >> word;) args.push_back("--" + word);
        args.insert(args.end(), {"in.wav", "out.wav"});
        zalo::RenderOptions parsed;
        std::string error;
        if (!zalo::parseRenderOptions(args, parsed, error)) return "error: " + error;
        settings = zalo::processingParamsFor(parsed);
        engine.setParams(settings);
        return "ok";
    }

    std::string monitor(const std::string& volume) {
        if (volume == "off") {
            engine.monitor.stop();
            return "ok";
        }
        engine.monitor.volume.store(std::min(1.0f, std::max(0.0f, std::strtof(volume.c_str(), nullptr))));
        return engine.monitor.start() ? "ok" : "error: the monitor thread could not be created";
    }

    // Per output: the device path, the last resorts used (skips, pads), the
    // start-up alignments, the drift trim and the slack at the last refill.
    static std::string outputStatus(const char* name, zalo::OutputPath path, const zalo::OutputStats& s) {
        static const char* const paths[] = {"none", "stream", "waveout"};
        char text[300];
        std::snprintf(text, sizeof text, " %s_path=%s %s_skips=%llu %s_pads=%llu %s_aligns=%llu %s_trim_ppm=%.1f %s_slack=%.0f",
                      name, paths[static_cast<int>(path)], name, static_cast<unsigned long long>(s.skips.load()), name,
                      static_cast<unsigned long long>(s.pads.load()), name,
                      static_cast<unsigned long long>(s.alignments.load()), name, s.trimPpm.load(), name,
                      s.slackSamples.load());
        return text;
    }

    std::string status(const std::string&) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "ok running=%d connected=%d monitor=%d in_peak=%.4f rec_pos=%llu capture_threads=%d "
                      "cable_threads=%d monitor_threads=%d",
                      engine.running.load(), engine.cable.connected.load(), engine.monitor.running.load(),
                      engine.inputPeak.load(), static_cast<unsigned long long>(engine.recPos.load()),
                      threadsNamed(zalo::kCaptureThreadName), threadsNamed(zalo::kCableThreadName),
                      threadsNamed(zalo::kMonitorThreadName));
        return text + outputStatus("cable", engine.cable.path.load(), engine.cable.feed.stats) +
               outputStatus("monitor", engine.monitor.path.load(), engine.monitor.feed.stats);
    }

    std::string lowlatency(const std::string& on) {
        engine.setLowLatency(on != "0");
        return "ok";
    }

    std::string bare(const std::string& pattern) {
        for (const zalo::CaptureDevice& device : zalo::enumerateCaptureDevices()) {
            if (key(device.name).find(key(std::wstring(pattern.begin(), pattern.end()))) == std::string::npos) continue;
            engine.stop();
            bareLoop = std::make_unique<BareLoop>();
            BareLoop* loop = bareLoop.get();
            // The stream is opened, fed and used on the capture thread only.
            engine.startCapture(device.id, [loop](const float* samples, std::size_t frames, unsigned) {
                if (!loop->tried) {
                    loop->tried = true;
                    if (loop->stream.open(zalo::RenderTarget::Cable)) loop->stream.start();
                }
                std::size_t queued = 0;
                if (!loop->stream.isOpen() || !loop->stream.queuedFrames(queued)) return;
                loop->stream.write(samples, std::min(frames, loop->stream.bufferFrames() - queued));
            });
            return "ok name=" + key(device.name);
        }
        return "error: no listed microphone matches '" + pattern + "'";
    }

    std::string drift(const std::string& mode) {
        engine.cable.feed.holdDrift.store(mode == "hold");
        engine.monitor.feed.holdDrift.store(mode == "hold");
        return "ok";
    }

    std::string refuse(const std::string& onOff) {
        engine.cable.refuseStream.store(onOff == "on");
        engine.monitor.refuseStream.store(onOff == "on");
        return "ok";
    }

    std::string stop(const std::string&) {
        engine.stop();
        return "ok";
    }

    // As the main window starts a test: the images go (their sound first),
    // then recording starts.
    std::string record(const std::string&) {
        playback.clear();
        engine.recPos.store(0);
        return "ok";
    }

    // What the main window's timer does once the test is complete.
    std::string save(const std::string&) {
        if (engine.recPos.load() < zalo::kVoiceTestSamples) return "error: the voice test is not complete";
        const zalo::WavImage original = zalo::buildWavImage(engine.recOriginal, zalo::kVoiceTestSamples);
        const zalo::WavImage filtered = zalo::buildWavImage(engine.recFiltered, zalo::kVoiceTestSamples);
        std::ofstream("original.wav", std::ios::binary).write(reinterpret_cast<const char*>(original.data()),
                                                              static_cast<std::streamsize>(original.size()));
        std::ofstream("filtered.wav", std::ios::binary).write(reinterpret_cast<const char*>(filtered.data()),
                                                              static_cast<std::streamsize>(filtered.size()));
        playback.setImages(original, filtered);
        return "ok identical=" + std::to_string(original == filtered);
    }

    std::string play(const std::string& which) {
        return playback.play(which == "filtered") ? "ok" : "error: no recording to play";
    }

    std::string threads(const std::string& onOff) {
        static void** slot = importSlot("msvcrt.dll", "_beginthreadex");
        static void* const original = slot != nullptr ? *slot : nullptr;
        DWORD protection = 0;
        if (slot == nullptr || !VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection))
            return "error: cannot patch _beginthreadex";
        *slot = onOff == "off" ? reinterpret_cast<void*>(&refusingBeginThreadEx) : original;
        VirtualProtect(slot, sizeof(void*), protection, &protection);
        return "ok";
    }

    std::string vanish(const std::string&) {
        engine.simulateDeviceLoss.store(true);
        return "ok";
    }

    struct BareLoop {
        zalo::WasapiRenderStream stream;
        bool tried = false;
    };
    // Declared before the engine, so destroyed after it has joined the
    // capture thread that uses it.
    std::unique_ptr<BareLoop> bareLoop;
    zalo::AudioEngine engine;
    zalo::VoiceTestPlayback playback;
    zalo::ProcessingParams settings;
};

const std::map<std::string, Probe::Handler> Probe::commands = {
    {"start", &Probe::start},   {"params", &Probe::params}, {"monitor", &Probe::monitor},
    {"status", &Probe::status}, {"stop", &Probe::stop},     {"record", &Probe::record},
    {"save", &Probe::save},     {"play", &Probe::play},     {"threads", &Probe::threads},
    {"vanish", &Probe::vanish}, {"lowlatency", &Probe::lowlatency}, {"refuse", &Probe::refuse},
    {"bare", &Probe::bare},     {"drift", &Probe::drift},
};

}  // namespace

int main() {
    // The bare loop's stream is released here, after its capture thread
    // ended: this thread joins the same apartment.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    auto probe = std::make_unique<Probe>();  // the engine's buffers are too large for the stack
    for (std::string line; std::getline(std::cin, line) && line.rfind("quit", 0) != 0;) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t blank = std::min(line.find(' '), line.size());
        const auto command = Probe::commands.find(line.substr(0, blank));
        std::cout << (command == Probe::commands.end() ? "error: unknown command: " + line
                                                       : ((*probe).*(command->second))(line.substr(blank + (blank < line.size()))))
                  << std::endl;
    }
    probe.reset();  // joins every engine thread
    std::cout << "ok" << std::endl;
    return 0;
}

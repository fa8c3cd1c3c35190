// A console driver for zalo::AudioEngine, used by the Wine audio tests
// (tests/wine/*.sh). It holds one engine and reads commands on stdin, one per
// line; every command gets exactly one reply line on stdout, starting with
// "ok" or "error: ".
//
//   start <name-substring>|default   start on the first listed microphone whose
//                                    name contains the substring (any case)
//   params key=value ...             settings, named as zalo-render's options
//   monitor <volume 0..1> | off      start the monitor at a volume / stop it
//   status                           flags, meters, recording position, threads
//   record                           start a five-second voice test (drops the last one's images)
//   record-save <dir> <timeout_ms>   wait for it, write original.wav and filtered.wav
//   play original|filtered           play the last test's image on the default device
//   stress <n> <substrA> <substrB>   n rounds of start A / start B / stop
//   threads off|on                   make start-report's thread creation fail
//   start-report <substr>            start, report whether it worked or threw
//   stop | sleep <ms> | quit
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/capture_devices.h"
#include "audio/thread_names_win.h"
#include "audio/voice_test_playback_win.h"
#include "audio/wav_image.h"
#include "tools/render_options.h"

namespace {

using zalo::AudioEngine;

std::string utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

void reply(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Threads of this process that carry `name` (the engine names its threads).
int countThreadsNamed(const wchar_t* name) {
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    static const auto getDescription = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (getDescription == nullptr) return -1;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != self) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr) continue;
        PWSTR description = nullptr;
        if (SUCCEEDED(getDescription(thread, &description)) && description != nullptr) {
            if (wcscmp(description, name) == 0) ++count;
            LocalFree(description);
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return count;
}

bool findDevice(const std::string& pattern, zalo::CaptureDevice& found) {
    if (pattern == "default") {
        found = zalo::CaptureDevice{L"", L"(default communications microphone)"};
        return true;
    }
    const std::wstring key = lower(wide(pattern));
    for (const zalo::CaptureDevice& d : zalo::enumerateCaptureDevices()) {
        if (lower(d.name).find(key) != std::wstring::npos) {
            found = d;
            return true;
        }
    }
    return false;
}

std::string windowsPath(const std::string& path) {
    return (!path.empty() && path[0] == '/') ? "Z:" + path : path;
}

bool writeFile(const std::string& path, const zalo::WavImage& image) {
    std::ofstream out(windowsPath(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return static_cast<bool>(out);
}

// Words separated by blanks; "double quotes" keep blanks inside a word.
std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::string join(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

// Thread creation failure on demand. std::thread goes through winpthreads,
// which calls msvcrt's _beginthreadex through this program's import table;
// pointing that slot at a function that fails as the C runtime does when the
// system refuses a thread makes every std::thread constructor throw
// std::system_error (resource unavailable), as it would on a starved system.
std::uintptr_t __cdecl refusingBeginThreadEx(void*, unsigned, unsigned(__stdcall*)(void*), void*, unsigned,
                                             unsigned*) {
    errno = EAGAIN;
    return 0;
}

void** importSlot(const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

bool refuseThreads(bool refuse) {
    static void** slot = importSlot("msvcrt.dll", "_beginthreadex");
    static void* original = slot != nullptr ? *slot : nullptr;
    if (slot == nullptr) return false;
    DWORD oldProtect = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtect)) return false;
    *slot = refuse ? reinterpret_cast<void*>(&refusingBeginThreadEx) : original;
    VirtualProtect(slot, sizeof(void*), oldProtect, &oldProtect);
    return true;
}

class Probe {
public:
    Probe() : engine(std::make_unique<AudioEngine>()) { applyParams({}); }

    std::string handle(const std::string& line) {
        std::vector<std::string> args = split(line);
        if (args.empty()) return "error: empty command";
        const std::string command = args.front();
        args.erase(args.begin());

        if (command == "start" && !args.empty()) return start(join(args));
        if (command == "params") return applyParams(args);
        if (command == "monitor" && args.size() == 1) return monitor(args[0]);
        if (command == "status") return status();
        if (command == "record" && args.empty()) {
            // As the main window starts a test: the old images go first
            // (which stops their playback), then recording starts.
            playback.clear();
            engine->recPos.store(0);
            return "ok";
        }
        if (command == "play" && args.size() == 1 && (args[0] == "original" || args[0] == "filtered")) {
            return playback.play(args[0] == "filtered") ? "ok" : "error: no recording to play";
        }
        if (command == "record-save" && args.size() == 2) return recordSave(args[0], std::atoi(args[1].c_str()));
        if (command == "stress" && args.size() == 3) return stress(std::atoi(args[0].c_str()), args[1], args[2]);
        if (command == "threads" && args.size() == 1 && (args[0] == "on" || args[0] == "off")) {
            threadsRefused = args[0] == "off";
            return "ok";
        }
        if (command == "start-report" && !args.empty()) return startReporting(join(args));
        if (command == "stop" && args.empty()) {
            engine->stop();
            return "ok";
        }
        if (command == "sleep" && args.size() == 1) {
            Sleep(static_cast<DWORD>(std::atoi(args[0].c_str())));
            return "ok";
        }
        return "error: unknown command or wrong arguments: " + line;
    }

    void quit() { engine->stop(); }

private:
    std::string start(const std::string& pattern) {
        zalo::CaptureDevice device;
        if (!findDevice(pattern, device)) return "error: no listed microphone matches '" + pattern + "'";
        engine->start(device.id);
        engine->setParams(params);
        return "ok id=" + utf8(device.id) + " name=" + utf8(device.name);
    }

    std::string applyParams(const std::vector<std::string>& args) {
        std::vector<std::string> options;
        for (const std::string& a : args) options.push_back("--" + a);
        options.push_back("in.wav");
        options.push_back("out.wav");
        zalo::RenderOptions parsed;
        std::string error;
        if (!zalo::parseRenderOptions(options, parsed, error)) return "error: " + error;
        params = zalo::processingParamsFor(parsed);
        engine->setParams(params);
        return "ok";
    }

    std::string monitor(const std::string& arg) {
        if (arg == "off") {
            engine->monitor.stop();
            return "ok";
        }
        const float v = std::strtof(arg.c_str(), nullptr);
        engine->monitor.volume.store(std::min(1.0f, std::max(0.0f, v)));
        return engine->monitor.start() ? "ok" : "error: the monitor thread could not be created";
    }

    std::string status() {
        char text[400];
        std::snprintf(text, sizeof text,
                      "ok running=%d connected=%d monitor=%d in_peak=%.5f out_peak=%.5f rec_pos=%llu "
                      "capture_threads=%d cable_threads=%d monitor_threads=%d",
                      engine->running.load() ? 1 : 0, engine->cable.connected.load() ? 1 : 0,
                      engine->monitor.running.load() ? 1 : 0, engine->inputPeak.load(),
                      engine->outputPeak.load(), static_cast<unsigned long long>(engine->recPos.load()),
                      countThreadsNamed(zalo::kCaptureThreadName), countThreadsNamed(zalo::kCableThreadName),
                      countThreadsNamed(zalo::kMonitorThreadName));
        return text;
    }

    std::string recordSave(const std::string& dir, int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (engine->recPos.load() < zalo::kVoiceTestSamples) {
            if (std::chrono::steady_clock::now() > deadline) {
                return "error: the voice test did not complete; rec_pos=" + std::to_string(engine->recPos.load());
            }
            Sleep(20);
        }
        // What the main window's timer does once the test is complete.
        const std::vector<float> original(engine->recOriginal, engine->recOriginal + zalo::kVoiceTestSamples);
        const std::vector<float> filtered(engine->recFiltered, engine->recFiltered + zalo::kVoiceTestSamples);
        const zalo::WavImage a = zalo::buildWavImage(original.data(), original.size());
        const zalo::WavImage b = zalo::buildWavImage(filtered.data(), filtered.size());
        if (!writeFile(dir + "/original.wav", a) || !writeFile(dir + "/filtered.wav", b)) {
            return "error: cannot write into " + dir;
        }
        const std::string result = "ok samples=" + std::to_string(original.size()) + " original_bytes=" +
                                   std::to_string(a.size()) + " filtered_bytes=" + std::to_string(b.size()) +
                                   " identical=" + (a == b ? "1" : "0");
        playback.setImages(a, b);
        return result;
    }

    std::string stress(int rounds, const std::string& a, const std::string& b) {
        zalo::CaptureDevice first, second;
        if (!findDevice(a, first) || !findDevice(b, second)) return "error: a stress microphone is missing";
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> pause(0, 15);
        int maxCapture = 0;
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i) {
            engine->start(first.id);
            maxCapture = std::max(maxCapture, countThreadsNamed(zalo::kCaptureThreadName));
            Sleep(static_cast<DWORD>(pause(random)));
            engine->start(second.id);
            if (i % 4 == 0) engine->monitor.start();
            maxCapture = std::max(maxCapture, countThreadsNamed(zalo::kCaptureThreadName));
            Sleep(static_cast<DWORD>(pause(random)));
            engine->stop();
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
        return "ok rounds=" + std::to_string(rounds) + " elapsed_ms=" + std::to_string(ms.count()) +
               " max_capture_threads=" + std::to_string(maxCapture) +
               " capture_threads_after=" + std::to_string(countThreadsNamed(zalo::kCaptureThreadName));
    }

    // Starts the engine and reports what came of it, with any exception
    // that escaped; the tests run this while the process may not create
    // threads (its address-space limit lowered from outside).
    std::string startReporting(const std::string& pattern) {
        zalo::CaptureDevice device;
        if (!findDevice(pattern, device)) return "error: no listed microphone matches '" + pattern + "'";
        const bool refuse = threadsRefused;
        if (refuse && !refuseThreads(true)) return "error: cannot patch _beginthreadex";
        bool threadsWork = true;  // whether a plain std::thread can start right now
        try {
            std::thread([] {}).join();
        } catch (const std::system_error&) {
            threadsWork = false;
        }
        bool started = false;
        bool escaped = false;
        try {
            started = engine->start(device.id);
        } catch (...) {
            escaped = true;
        }
        if (refuse) refuseThreads(false);
        return "ok started=" + std::string(started ? "1" : "0") + " running=" +
               (engine->running.load() ? "1" : "0") + " escaped_exception=" + (escaped ? "1" : "0") + " threads_work=" + (threadsWork ? "1" : "0");
    }

    std::unique_ptr<AudioEngine> engine;
    zalo::VoiceTestPlayback playback;
    zalo::ProcessingParams params;
    bool threadsRefused = false;
};

}  // namespace

int main() {
    Probe probe;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line == "quit") {
            probe.quit();
            reply("ok");
            return 0;
        }
        reply(probe.handle(line));
    }
    probe.quit();
    return 0;
}

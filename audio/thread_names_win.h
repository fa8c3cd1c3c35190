// Names for the engine's threads, visible in debuggers and crash dumps (and
// countable by the tests, which check that restarts never leak a thread).
#pragma once

namespace zalo {

constexpr const wchar_t* kCaptureThreadName = L"Zalo capture";
constexpr const wchar_t* kCableThreadName = L"Zalo cable output";
constexpr const wchar_t* kMonitorThreadName = L"Zalo monitor";

// Names the calling thread. Does nothing where the system has no thread
// names (before Windows 10 1607).
void nameCurrentThread(const wchar_t* name);

}  // namespace zalo

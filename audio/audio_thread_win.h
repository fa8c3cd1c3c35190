// What every audio thread of the engine sets up for itself and undoes on its
// way out: COM in the multithreaded apartment (WASAPI objects live there) and
// the multimedia class scheduler's "Pro Audio" task, which raises the thread
// above ordinary work so that a busy machine does not make it late. A failed
// registration is tolerated: the thread then runs at normal priority.
#pragma once

namespace zalo {

class AudioThreadScope {
public:
    AudioThreadScope();
    ~AudioThreadScope();
    AudioThreadScope(const AudioThreadScope&) = delete;
    AudioThreadScope& operator=(const AudioThreadScope&) = delete;

private:
    bool comInitialised = false;
    void* mmcss = nullptr;  // HANDLE of the scheduler registration
};

}  // namespace zalo

#include "audio/voice_test_playback_win.h"

#include <windows.h>
#include <mmsystem.h>

#include <utility>

namespace zalo {

VoiceTestPlayback::~VoiceTestPlayback() { stop(); }

void VoiceTestPlayback::setImages(WavImage original, WavImage filtered) {
    stop();
    originalImage = std::move(original);
    filteredImage = std::move(filtered);
}

void VoiceTestPlayback::clear() {
    stop();
    originalImage.clear();
    filteredImage.clear();
}

bool VoiceTestPlayback::play(bool filtered) {
    const WavImage& image = filtered ? filteredImage : originalImage;
    if (image.empty()) return false;
    // Errors are not reported: with SND_NODEFAULT a failure is silent.
    PlaySoundA(reinterpret_cast<LPCSTR>(image.data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
    mayBePlaying = true;
    return true;
}

void VoiceTestPlayback::stop() {
    if (!mayBePlaying) return;
    PlaySoundA(nullptr, nullptr, 0);  // stops the process's sound before returning
    mayBePlaying = false;
}

}  // namespace zalo

// The voice test's two recordings as WAVE images, and their playback on the
// default output device with PlaySoundA from memory.
//
// PlaySoundA(SND_MEMORY | SND_ASYNC) keeps reading the image while it plays,
// so an image is never freed or replaced while a sound may still be playing:
// every operation that drops an image stops the playback first.
#pragma once

#include "audio/wav_image.h"

namespace zalo {

class VoiceTestPlayback {
public:
    VoiceTestPlayback() = default;
    VoiceTestPlayback(const VoiceTestPlayback&) = delete;
    VoiceTestPlayback& operator=(const VoiceTestPlayback&) = delete;
    ~VoiceTestPlayback();

    // Installs the images of a completed test (stopping any playback).
    void setImages(WavImage original, WavImage filtered);
    // Empties both images, as when a new test starts (stopping any playback).
    void clear();

    // Plays one image asynchronously; a later play replaces the sound. False
    // (and nothing happens) when that image is empty.
    bool play(bool filtered);
    // Ends any sound of this process; returns once it no longer plays.
    void stop();

    const WavImage& original() const { return originalImage; }
    const WavImage& filtered() const { return filteredImage; }

private:
    WavImage originalImage;
    WavImage filteredImage;
    bool mayBePlaying = false;
};

}  // namespace zalo

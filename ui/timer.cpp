// The UI timer: the engine never calls the window, so every tick polls its
// meters and flags, and hands a finished voice test over to playback.
#include <windows.h>
#include <commctrl.h>

#include "audio/wav_image.h"
#include "ui/app.h"
#include "ui/main_window_logic.h"
#include "ui/strings.h"

namespace zalo {

void App::onTimer() {
    const float inputPeak = engine.inputPeak.load();
    SendMessageW(control(Field::inputMeter), PBM_SETPOS, meterPosition(inputPeak), 0);
    SendMessageW(control(Field::outputMeter), PBM_SETPOS, meterPosition(engine.outputPeak.load()), 0);

    retryLostCapture();
    const CaptureFault fault = engine.captureFault.load();
    const bool capturing = isCapturing(engine.running.load(), engine.delivering.load(), fault);
    const bool liveNow = isLive(capturing, filterOn, inputPeak);
    if (liveNow != live) {
        live = liveNow;
        setText(Field::liveLabel, live ? text::kLiveOn : text::kLiveOff);
        // Its colour comes from WM_CTLCOLORSTATIC, so it must repaint whole.
        if (HWND label = control(Field::liveLabel)) InvalidateRect(label, nullptr, TRUE);
    }

    setText(Field::statusLabel, statusText(capturing, fault, engine.cable.connected.load()));

    hotkeys.checkHeldKey();
    refreshTrayState();  // push-to-talk's key goes up and down between ticks

    // The capture thread stops writing the recordings once recPos reaches
    // the end, so from then on they are ours to read.
    if (recording && engine.recPos.load() >= kVoiceTestSamples) {
        voiceTest.setImages(buildWavImage(engine.recOriginal, kVoiceTestSamples),
                            buildWavImage(engine.recFiltered, kVoiceTestSamples));
        recording = false;
        enable(Field::recordButton, true);
        enable(Field::playOriginalButton, !voiceTest.original().empty());
        enable(Field::playFilteredButton, !voiceTest.filtered().empty());
        setText(Field::testStatusLabel, text::kTestReady);
    }
}

}  // namespace zalo

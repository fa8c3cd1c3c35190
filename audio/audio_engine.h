// zalo::AudioEngine: the one object that moves sound. It captures the chosen
// microphone on a thread of its own (Windows core audio, shared mode, event
// driven), turns every packet into a mono block, runs the chain, and feeds the
// virtual cable, the live monitor and the voice-test recordings.
//
// The block processing, rings and recordings are portable and tested
// natively; the capture thread and the output threads exist only in the
// Windows build (audio_engine_win.cpp, audio_outputs_win.cpp).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "audio/audio_outputs.h"
#include "audio/push_to_talk_gate.h"
#include "audio/capture_health.h"
#include "audio/rate_converter.h"
#include "dsp/processing_params.h"
#include "dsp/voice_chain.h"

namespace zalo {

// Largest block after conversion to 48 kHz; longer blocks are truncated.
constexpr std::size_t kWorkCapacitySamples = 65536;
// Voice test: five seconds at 48 kHz, recorded before and after the chain.
constexpr std::uint64_t kVoiceTestSamples = 240000;
// The capture thread wakes at least this often to notice a stop.
constexpr unsigned kCaptureWaitMs = 250;

// mono floats at the device rate, frames (never 0), the device's sample rate
using BlockCallback = std::function<void(const float*, std::size_t, unsigned)>;

class AudioEngine {
public:
    AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;
    ~AudioEngine();

#ifdef _WIN32
    // Stops everything, starts the cable output (a missing cable does not
    // stop capture) and then capture from `deviceId` (empty: the default
    // communications microphone). Returns whether the capture thread runs;
    // false leaves the engine stopped, as after a failed device. The monitor
    // is started separately (see `monitor`).
    bool start(const std::wstring& deviceId);
    // Joins the capture thread, stops the monitor and the cable output.
    // Harmless when nothing runs. Blocks for at most one capture wait
    // (250 ms) plus the block being processed.
    void stop();
    // Joins any previous capture thread, installs `callback` and launches
    // the capture thread. Throws std::system_error if the thread cannot be
    // created (running is then false).
    bool startCapture(const std::wstring& deviceId, BlockCallback callback);
    // Capture alone, again or on another device, through the block processor;
    // the outputs keep running (a stopped cable output is started). For a
    // retry after a loss and for a switch of microphone that needs no pause
    // in the cable. Returns whether the capture thread runs.
    bool restartCapture(const std::wstring& deviceId);
#endif

    // The block processor, called on the capture thread once per packet with
    // mono floats at the device rate. In order: settings snapshot, conversion
    // to 48 kHz into `work`, original recording, chain (or bypass) and meters,
    // filtered recording, cable ring, monitor ring. Allocates nothing, takes
    // the mutex only for the snapshot copy.
    void processBlock(const float* samples, std::size_t frames, unsigned sampleRate);

    // UI thread: replaces the whole settings block under the mutex.
    void setParams(const ProcessingParams& p);

    // UI thread: which device path both outputs take from their next device
    // open on: a WASAPI render stream (true, the default) or waveOut.
    void setLowLatency(bool on) {
        cable.preferStream.store(on);
        monitor.preferStream.store(on);
    }

    // The block that processBlock last handed on, valid until the next call;
    // this is what the virtual cable receives, before the push-to-talk gate.
    const float* lastBlock() const { return work; }
    std::size_t lastBlockSize() const { return workSize; }

    // --- State the UI reads or writes (atomics, or an output's own API) ---

    // Capture is active: set before the capture thread is launched, cleared
    // by stop() and by the thread itself whenever it ends.
    std::atomic<bool> running{false};
    // A packet has arrived since the capture thread last started; cleared
    // when the thread ends. With `running` and no fault, the stream is only
    // still opening.
    std::atomic<bool> delivering{false};
    // Why the last capture thread ended by itself (a stop request sets
    // nothing). A new thread keeps it until its first packet, so a retry
    // that is still opening does not pass for a working microphone.
    std::atomic<CaptureFault> captureFault{CaptureFault::None};
#ifdef _WIN32
    // Test seam: a microphone that vanishes while capturing (unplugged,
    // disabled, its format changed). Windows then stops signalling the
    // capture event and fails every call with AUDCLNT_E_DEVICE_INVALIDATED;
    // Wine never does, so tests set this flag instead. From its next wait on,
    // the capture thread sees such an endpoint: it ends within one wait
    // period and `running` turns false. startCapture clears the flag.
    std::atomic<bool> simulateDeviceLoss{false};
#endif
    CableOutput cable;       // the UI reads cable.connected
    MonitorOutput monitor;   // the UI starts/stops it and writes its volume
    // Push-to-talk: whether the cable may carry the voice now. Always true
    // while push-to-talk is off; with it on, the UI thread's keyboard hook
    // stores the key's state here, and processBlock reads it once per block
    // and ramps the cable's gain toward it (PushToTalkGate).
    std::atomic<bool> cableGateOpen{true};
    // Level meters: linear peak of the last block, full scale 1.0.
    std::atomic<float> inputPeak{0.0f};
    std::atomic<float> outputPeak{0.0f};
    // Voice test. The UI starts a test by storing 0 in recPos; processBlock
    // fills both recordings and advances recPos to kVoiceTestSamples, after
    // which it no longer touches them and the UI may copy them out.
    float recOriginal[kVoiceTestSamples] = {};
    float recFiltered[kVoiceTestSamples] = {};
    std::atomic<std::uint64_t> recPos{kVoiceTestSamples};

private:
#ifdef _WIN32
    void captureLoop();
#endif
    // The cable's share of processBlock: work[0..n) through the push-to-talk
    // gate into the cable ring.
    void writeCable(std::size_t n);

    std::thread captureThread;
    BlockCallback onBlock;   // written only while no capture thread runs
    std::wstring deviceId;   // likewise; empty = default communications mic
    // Capture-thread state, like the chain: the conversion to 48 kHz runs on
    // across blocks.
    RateConverter converter;
    VoiceChain chain;
    std::mutex paramsMutex;  // the engine's only lock; guards params
    ProcessingParams params;
    float work[kWorkCapacitySamples] = {};
    std::size_t workSize = 0;
    // The cable's copy of a block while the push-to-talk gate scales it,
    // taken a piece at a time: the monitor still needs `work` unscaled.
    static constexpr std::size_t kGateChunkSamples = 512;
    PushToTalkGate cableGate;
    float gateChunk[kGateChunkSamples] = {};
};


}  // namespace zalo

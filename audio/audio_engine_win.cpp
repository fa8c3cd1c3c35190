// The Windows half of AudioEngine: start/stop and the capture thread
// (WASAPI shared mode, event driven). Every platform object is opened and
// released by the thread that uses it.
#include "audio/audio_engine.h"

#include <windows.h>
#include <audioclient.h>
#include <avrt.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <memory>
#include <new>
#include <system_error>

#include "audio/mix_format_win.h"
#include "audio/mono_convert.h"
#include "audio/thread_names_win.h"

namespace zalo {

namespace {

template <typename T>
void release(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

// AudioClientProperties as the Windows 8.1+ SDK defines it (cbSize 16);
// spelled out so that older headers build too.
struct ClientProperties {
    UINT32 cbSize;
    BOOL bIsOffload;
    AUDIO_STREAM_CATEGORY eCategory;
    UINT32 Options;  // AUDCLNT_STREAMOPTIONS
};
static_assert(sizeof(ClientProperties) == 16, "AudioClientProperties is 16 bytes");

}  // namespace

AudioEngine::~AudioEngine() {
    stop();
    monitor.stop();
    cable.stop();
}

bool AudioEngine::start(const std::wstring& id) {
    stop();
    return restartCapture(id);  // starts the cable output first; a missing cable never stops capture
}

void AudioEngine::stop() {
    running.store(false);
    if (captureThread.joinable()) captureThread.join();
    monitor.stop();
    cable.stop();
}

bool AudioEngine::restartCapture(const std::wstring& id) {
    if (!cable.running.load()) cable.start();
    try {
        return startCapture(id, [this](const float* samples, std::size_t frames, unsigned rate) {
            processBlock(samples, frames, rate);
        });
    } catch (const std::system_error&) {
        // No thread could be created. Nothing above the engine could handle
        // it; come out stopped, which the status line shows as a
        // disconnected microphone.
        running.store(false);
        return false;
    }
}

bool AudioEngine::startCapture(const std::wstring& id, BlockCallback callback) {
    running.store(false);
    if (captureThread.joinable()) captureThread.join();
    deviceId = id;
    onBlock = std::move(callback);
    simulateDeviceLoss.store(false);
    running.store(true);
    try {
        captureThread = std::thread([this] { captureLoop(); });
    } catch (...) {
        running.store(false);
        throw;
    }
    return true;
}

void AudioEngine::captureLoop() {
    const HRESULT comResult = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    nameCurrentThread(kCaptureThreadName);
    DWORD taskIndex = 0;
    HANDLE mmcss = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);

    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioCaptureClient* capture = nullptr;
    WAVEFORMATEX* mixFormat = nullptr;
    HANDLE event = nullptr;
    // The call that ended the stream; its code tells the user what to do.
    HRESULT failure = E_FAIL;
    delivering.store(false);

    // One pass that ends at the first failure; the clean-up below runs in
    // every case.
    do {
        failure = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                   __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator));
        if (FAILED(failure)) break;
        failure = deviceId.empty() ? enumerator->GetDefaultAudioEndpoint(eCapture, eCommunications, &device)
                                   : enumerator->GetDevice(deviceId.c_str(), &device);
        if (FAILED(failure) || device == nullptr) break;
        // A denial by the privacy settings shows here, as E_ACCESSDENIED.
        failure = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(&client));
        if (FAILED(failure)) break;

        IAudioClient2* client2 = nullptr;
        if (SUCCEEDED(client->QueryInterface(__uuidof(IAudioClient2),
                                             reinterpret_cast<void**>(&client2)))) {
            // Raw capture skips the system's own voice processing, which
            // would fight our chain; not every endpoint allows it. The
            // category is Other, not Communications: a communications stream
            // on the default communications microphone makes Windows lower
            // every other program's sound (by 80 % by default) for as long as
            // it runs, and where raw capture is refused it switches on the
            // driver's own echo cancellation and noise suppression.
            ClientProperties props{sizeof(ClientProperties), FALSE, AudioCategory_Other,
                                   1 /* AUDCLNT_STREAMOPTIONS_RAW */};
            if (FAILED(client2->SetClientProperties(
                    reinterpret_cast<const AudioClientProperties*>(&props)))) {
                props.Options = 0;  // AUDCLNT_STREAMOPTIONS_NONE
                client2->SetClientProperties(reinterpret_cast<const AudioClientProperties*>(&props));
            }
            release(client2);
        }

        failure = client->GetMixFormat(&mixFormat);
        if (FAILED(failure) || mixFormat == nullptr) break;
        event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        failure = E_OUTOFMEMORY;
        if (event == nullptr) break;

        bool initialised = false;
        IAudioClient3* client3 = nullptr;
        if (SUCCEEDED(client->QueryInterface(__uuidof(IAudioClient3),
                                             reinterpret_cast<void**>(&client3)))) {
            UINT32 defaultPeriod = 0, fundamental = 0, minimum = 0, maximum = 0;
            if (SUCCEEDED(client3->GetSharedModeEnginePeriod(mixFormat, &defaultPeriod, &fundamental,
                                                             &minimum, &maximum)) &&
                defaultPeriod != 0) {
                initialised = SUCCEEDED(client3->InitializeSharedAudioStream(
                    AUDCLNT_STREAMFLAGS_EVENTCALLBACK, defaultPeriod, mixFormat, nullptr));
            }
            release(client3);
        }
        if (!initialised) {
            // Exclusive use by another program shows here, as
            // AUDCLNT_E_DEVICE_IN_USE.
            failure = client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 0, 0,
                                         mixFormat, nullptr);
            if (FAILED(failure)) break;
        }

        UINT32 bufferFrames = 0;
        if (FAILED(failure = client->SetEventHandle(event)) ||
            FAILED(failure = client->GetService(__uuidof(IAudioCaptureClient),
                                                reinterpret_cast<void**>(&capture))) ||
            FAILED(failure = client->GetBufferSize(&bufferFrames)) || bufferFrames == 0) {
            break;
        }

        const CaptureFormat format = captureFormatOf(mixFormat);
        // Once per start, never per block.
        std::unique_ptr<float[]> mono(new (std::nothrow) float[bufferFrames]());
        failure = mono ? client->Start() : E_OUTOFMEMORY;
        if (FAILED(failure)) break;

        // The watchdog: an endpoint delivers every period, silence included,
        // so a stream quiet for kCaptureSilenceLimitMs is lost even if no
        // call fails (Wine, a source that went away). Before its first
        // packet a stream gets kCaptureFirstPacketLimitMs. A retry after a
        // loss is not held up by that: until its first packet the user
        // interface still counts capture as lost and tries again each second.
        ULONGLONG lastPacketMs = GetTickCount64();
        while (running.load()) {
            // A vanished endpoint (unplugged, disabled, its format changed)
            // never signals again and fails every call from then on. So the
            // device is asked after a timeout too: its failure ends the
            // thread, and the status line reads the microphone as
            // disconnected instead of active while nothing arrives. A packet
            // that is merely late is fetched all the same.
            const bool vanished = simulateDeviceLoss.load(std::memory_order_relaxed);
            if (!vanished) WaitForSingleObject(event, kCaptureWaitMs);
            UINT32 packetFrames = 0;
            failure = vanished ? AUDCLNT_E_DEVICE_INVALIDATED : capture->GetNextPacketSize(&packetFrames);
            if (FAILED(failure)) break;  // device gone
            if (packetFrames != 0) {
                lastPacketMs = GetTickCount64();
                if (!delivering.load(std::memory_order_relaxed)) {
                    captureFault.store(CaptureFault::None);
                    delivering.store(true);
                }
            } else if (GetTickCount64() - lastPacketMs >
                       (delivering.load(std::memory_order_relaxed) ? kCaptureSilenceLimitMs
                                                                   : kCaptureFirstPacketLimitMs)) {
                failure = AUDCLNT_E_DEVICE_INVALIDATED;
                break;
            }
            while (packetFrames != 0) {
                BYTE* data = nullptr;
                UINT32 frames = 0;
                DWORD flags = 0;
                if (FAILED(failure = capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) break;
                const UINT32 count = frames < bufferFrames ? frames : bufferFrames;
                if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0 || data == nullptr) {
                    std::fill(mono.get(), mono.get() + count, 0.0f);
                } else {
                    convertToMono(data, count, format, mono.get());
                }
                if (onBlock && count != 0) onBlock(mono.get(), count, format.sampleRate);
                capture->ReleaseBuffer(frames);  // the whole packet, beyond count too
                if (FAILED(failure = capture->GetNextPacketSize(&packetFrames))) break;
            }
            if (FAILED(failure)) break;
        }
        client->Stop();
    } while (false);

    // Still wanted: the stream ended by itself, so say why. A stop request
    // (running already false) is no fault.
    if (running.exchange(false)) captureFault.store(captureFaultOf(static_cast<std::int32_t>(failure)));
    delivering.store(false);
    if (mixFormat != nullptr) CoTaskMemFree(mixFormat);
    release(capture);
    release(client);
    release(device);
    release(enumerator);
    if (event != nullptr) CloseHandle(event);
    if (mmcss != nullptr) AvRevertMmThreadCharacteristics(mmcss);
    if (SUCCEEDED(comResult)) CoUninitialize();
}

}  // namespace zalo

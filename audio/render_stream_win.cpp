// WasapiRenderStream: the MMDevice and IAudioClient calls behind RenderStream.
//
// The stream is always 48 kHz float32 with the mix format's channel count, so
// write() has one conversion to do. When the endpoint mixes at another rate
// the engine converts (AUTOCONVERTPCM); the caller never sees the mix rate.
#include "audio/render_stream_win.h"

#include <algorithm>

#include <windows.h>
#include <audioclient.h>
#include <ks.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
// Declares PKEY_Device_FriendlyName; capture_devices_win.cpp defines it.
#include <functiondiscoverykeys_devpkey.h>

#include <memory>
#include <string>

#include "audio/device_names.h"
#include "audio/mono_convert.h"

namespace zalo {

namespace {

constexpr LONGLONG kHundredNsPerSecond = 10000000;  // REFERENCE_TIME units per second

struct CoTaskMemDeleter {
    void operator()(void* p) const { CoTaskMemFree(p); }
};
using MixFormat = std::unique_ptr<WAVEFORMATEX, CoTaskMemDeleter>;

bool readFriendlyName(IMMDevice* device, std::wstring& name) {
    ComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, store.put()))) return false;
    PROPVARIANT value;
    PropVariantInit(&value);
    const bool read = SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) &&
                      value.vt == VT_LPWSTR && value.pwszVal != nullptr;
    if (read) name = value.pwszVal;
    PropVariantClear(&value);
    return read;
}

// The first active render endpoint, in the collection's order, whose name is
// the cable's playback side. Render endpoints only: the capture list holds
// "Monitor of CABLE Input ..." too, which the name rule would also accept.
bool findCableEndpoint(IMMDeviceEnumerator* enumerator, ComPtr<IMMDevice>& device) {
    ComPtr<IMMDeviceCollection> collection;
    UINT count = 0;
    if (FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, collection.put())) ||
        FAILED(collection->GetCount(&count))) {
        return false;
    }
    for (UINT i = 0; i < count; ++i) {
        std::wstring name;
        if (SUCCEEDED(collection->Item(i, device.put())) && readFriendlyName(device.get(), name) &&
            isCableOutputName(name)) {
            return true;
        }
    }
    device.reset();
    return false;
}

// Speaker positions of the mix format; a plain WAVEFORMATEX has none, so the
// usual ones for its channel count (0, "no positions", beyond stereo).
DWORD channelMaskOf(const WAVEFORMATEX& mix) {
    if (mix.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
        mix.cbSize >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
        return reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(mix).dwChannelMask;
    }
    if (mix.nChannels == 1) return SPEAKER_FRONT_CENTER;
    if (mix.nChannels == 2) return SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    return 0;
}

WAVEFORMATEXTENSIBLE streamFormatFor(const WAVEFORMATEX& mix) {
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = mix.nChannels;
    f.Format.nSamplesPerSec = WasapiRenderStream::kSampleRateHz;
    f.Format.wBitsPerSample = 32;
    f.Format.nBlockAlign = static_cast<WORD>(mix.nChannels * sizeof(float));
    f.Format.nAvgBytesPerSec = f.Format.nSamplesPerSec * f.Format.nBlockAlign;
    f.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    f.Samples.wValidBitsPerSample = 32;
    f.dwChannelMask = channelMaskOf(mix);
    f.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    return f;
}

// Initialises `client` (activated from `device`, not yet initialised) as an
// event-driven shared stream of `format`, and gives the period in use in
// frames of that format.
bool initialiseStream(IMMDevice* device, ComPtr<IAudioClient>& client, const WAVEFORMATEX& format,
                      bool convertRate, UINT32& periodFrames) {
    // Windows 10 and later: the engine's smallest period. This path cannot
    // convert rates (it takes the event flag only), so it is skipped when
    // the mix rate differs. Wine answers the query but implements neither
    // call, and the classic path below runs.
    if (!convertRate) {
        ComPtr<IAudioClient3> client3;
        UINT32 defaultPeriod = 0, fundamentalPeriod = 0, minimumPeriod = 0, maximumPeriod = 0;
        if (SUCCEEDED(client->QueryInterface(__uuidof(IAudioClient3), client3.putVoid())) &&
            SUCCEEDED(client3->GetSharedModeEnginePeriod(&format, &defaultPeriod, &fundamentalPeriod,
                                                         &minimumPeriod, &maximumPeriod)) &&
            minimumPeriod != 0) {
            if (SUCCEEDED(client3->InitializeSharedAudioStream(AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                                               minimumPeriod, &format, nullptr))) {
                periodFrames = minimumPeriod;
                return true;
            }
            // A client initialises once, and what a failed attempt leaves
            // behind is not documented: the classic path gets a fresh one.
            client3.reset();
            if (FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.putVoid()))) {
                return false;
            }
        }
    }

    DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
    if (convertRate) flags |= AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    // A buffer duration of 0 asks for the smallest buffer the endpoint
    // allows in this mode; the period must be 0 in shared mode.
    REFERENCE_TIME defaultPeriod = 0, minimumPeriod = 0;
    if (FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 0, 0, &format, nullptr)) ||
        FAILED(client->GetDevicePeriod(&defaultPeriod, &minimumPeriod)) || defaultPeriod <= 0) {
        return false;
    }
    // A shared stream is served at the engine's default period:
    // frames = period[100 ns] * rate / 10^7, rounded to nearest.
    periodFrames = static_cast<UINT32>(
        (defaultPeriod * WasapiRenderStream::kSampleRateHz + kHundredNsPerSecond / 2) / kHundredNsPerSecond);
    return periodFrames != 0;
}

}  // namespace

WasapiRenderStream::~WasapiRenderStream() { close(); }

bool WasapiRenderStream::open(RenderTarget target) {
    close();
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator), enumerator.putVoid()))) {
        return false;
    }
    const bool found = target == RenderTarget::Cable
                           ? findCableEndpoint(enumerator.get(), device)
                           : SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.put()));
    if (!found || device.get() == nullptr ||
        FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.putVoid()))) {
        close();
        return false;
    }

    WAVEFORMATEX* mixFormat = nullptr;
    const HRESULT mixResult = client->GetMixFormat(&mixFormat);
    const MixFormat mix(mixFormat);
    if (FAILED(mixResult) || !mix || mix->nChannels == 0) {
        close();
        return false;
    }
    const WAVEFORMATEXTENSIBLE format = streamFormatFor(*mix);

    UINT32 period = 0, buffer = 0;
    eventHandle = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset
    if (eventHandle == nullptr ||
        !initialiseStream(device.get(), client, format.Format, mix->nSamplesPerSec != kSampleRateHz, period) ||
        FAILED(client->SetEventHandle(eventHandle)) ||
        FAILED(client->GetService(__uuidof(IAudioRenderClient), render.putVoid())) ||
        FAILED(client->GetService(__uuidof(IAudioClock), clock.putVoid())) ||
        FAILED(clock->GetFrequency(&clockHz)) || clockHz == 0 ||
        FAILED(client->GetBufferSize(&buffer)) || buffer == 0) {
        close();
        return false;
    }
    channelCount = format.Format.nChannels;
    bufferFrameCount = buffer;
    periodFrameCount = period;
    return true;
}

bool WasapiRenderStream::start() { return client.get() != nullptr && SUCCEEDED(client->Start()); }

void WasapiRenderStream::close() {
    if (client.get() != nullptr) client->Stop();  // S_FALSE when never started
    render.reset();
    client.reset();
    clock.reset();
    framesWritten = 0;
    clockHz = 0;
    steps.reset();
    if (eventHandle != nullptr) CloseHandle(eventHandle);
    eventHandle = nullptr;
    channelCount = 0;
    bufferFrameCount = 0;
    periodFrameCount = 0;
}

bool WasapiRenderStream::queuedFrames(std::size_t& frames) {
    UINT32 padding = 0;
    if (client.get() == nullptr || FAILED(client->GetCurrentPadding(&padding))) return false;
    frames = padding;
    return true;
}

bool WasapiRenderStream::write(const float* mono, std::size_t frames) {
    if (frames == 0) return true;
    // The bound also keeps the UINT32 below exact.
    if (render.get() == nullptr || mono == nullptr || frames > bufferFrameCount) return false;
    const UINT32 count = static_cast<UINT32>(frames);
    BYTE* data = nullptr;
    if (FAILED(render->GetBuffer(count, &data))) return false;  // AUDCLNT_E_DEVICE_INVALIDATED among others
    if (data == nullptr) {
        render->ReleaseBuffer(0, 0);
        return false;
    }
    // The engine's buffer is aligned for the format; the stream is float32.
    spreadMonoToFloat(mono, frames, channelCount, reinterpret_cast<float*>(data));
    if (FAILED(render->ReleaseBuffer(count, 0))) return false;
    framesWritten += frames;
    return true;
}

double WasapiRenderStream::unplayedFrames() {
    // Frames written less the device clock's position: what is still to be
    // heard, the endpoint's buffer and whatever the engine holds beyond it.
    // The padding alone falls a whole period at a time, which read at the
    // packets' arrivals beats against their phase. Unreadable, the padding
    // stands in.
    std::size_t queued = 0;
    if (!queuedFrames(queued)) return 0.0;
    UINT64 position = 0;
    if (clock.get() == nullptr || FAILED(clock->GetPosition(&position, nullptr))) return static_cast<double>(queued);
    const double played = static_cast<double>(position) * kSampleRateHz / static_cast<double>(clockHz);
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    steps.read(played, static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart));
    return std::max(0.0, static_cast<double>(framesWritten) - played);
}

}  // namespace zalo

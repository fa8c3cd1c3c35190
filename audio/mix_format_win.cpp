#include "audio/mix_format_win.h"

#include <ks.h>
#include <ksmedia.h>

namespace zalo {

CaptureFormat captureFormatOf(const WAVEFORMATEX* format) {
    CaptureFormat f;
    if (format == nullptr) return f;
    f.channels = format->nChannels;
    f.bitsPerSample = format->wBitsPerSample;
    f.blockAlign = format->nBlockAlign;
    f.sampleRate = format->nSamplesPerSec;
    if (format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        f.isFloat = true;
    } else if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
               format->cbSize >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
        const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
        f.isFloat = IsEqualGUID(ext->SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT) != FALSE;
    }
    return f;
}

}  // namespace zalo

// Describes a WASAPI mix format (WAVEFORMATEX / WAVEFORMATEXTENSIBLE) in the
// portable terms of audio/mono_convert.h.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include "audio/mono_convert.h"

namespace zalo {

// Float when the tag is WAVE_FORMAT_IEEE_FLOAT, or WAVE_FORMAT_EXTENSIBLE
// with the IEEE-float subtype; everything else (extensible PCM included) is
// read by its bit width. A null format gives an all-zero description.
CaptureFormat captureFormatOf(const WAVEFORMATEX* format);

}  // namespace zalo

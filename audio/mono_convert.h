// Turns one captured packet (interleaved frames in the endpoint's shared-mode
// mix format) into one mono float per frame: the plain mean of the channels;
// and, for the float render stream, mono back to interleaved channels.
// Portable on purpose; the Win32 capture and render files only describe the
// format and hand over the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zalo {

struct CaptureFormat {
    bool isFloat = false;          // IEEE float samples (tag 3, or extensible with the float subtype)
    unsigned channels = 0;         // nChannels
    unsigned bitsPerSample = 0;    // wBitsPerSample: width of one channel's slot
    unsigned blockAlign = 0;       // nBlockAlign: bytes from one frame to the next
    unsigned sampleRate = 0;       // nSamplesPerSec, handed on unchanged
};

// Writes `frames` mono values to `out`. Float formats read a 32-bit float per
// channel whatever the width says; PCM reads 16-, 24- (packed) or 32-bit
// signed little-endian integers scaled to full scale 1.0 (2^-15, 2^-23,
// 2^-31); any other width reads as 0. The sum is divided by the channel count
// (by 1 when it is 0). No clamping: the chain guards its own input. Reads are
// byte-wise, so packets need no alignment. The caller guarantees that
// `frames` frames of `format.blockAlign` bytes are readable; a channel whose
// slot would end past its frame's block is read as 0 instead of past it.
void convertToMono(const unsigned char* packet, std::size_t frames, const CaptureFormat& format,
                   float* out);

// Writes `frames` interleaved float frames of `channels` channels to `out`,
// every channel of frame i holding mono[i]. A non-finite sample becomes 0 and
// values are clamped to -1..+1, the rule toPcm16 applies before rounding, so
// the float and 16-bit outputs play the same signal.
void spreadMonoToFloat(const float* mono, std::size_t frames, unsigned channels, float* out);

}  // namespace zalo

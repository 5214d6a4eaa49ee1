// What the decoder knows about its stream. The decoder never sees an ADX
// header: everything arrives in the 34-byte format block (AdxWaveFormat) of
// the input media type that the parser builds.
#pragma once

#include "adx/AdxDecoder.h"

#include <windows.h>
#include <strmif.h>

#include <cstdint>

struct DecoderFormatInfo {
    // These six, in this order, are what IDecoderInfo::GetStreamInfo reports.
    std::int32_t version;
    std::int32_t blockSize;
    std::int32_t bitsPerSample;
    std::int32_t samplesPerBlock;
    std::int32_t channelCount;
    std::int32_t sampleRate;
    // The stream's starting prediction state: channel 0, then channel 1.
    AdxChannelHistory initialHistory[2];
    std::int16_t coef1;
    std::int16_t coef2;
};

// The ADX input type: audio, the ADX subtype, a wave format block. Checks
// the type and, when it is acceptable, fills `info` from its format block.
// E_POINTER for a null type; VFW_E_TYPE_NOT_ACCEPTED for any type the
// decoding routines cannot handle (info is then left unchanged).
HRESULT ReadDecoderFormat(const AM_MEDIA_TYPE* type, DecoderFormatInfo* info);

#include "decoder/DecoderFormatInfo.h"

#include "adx/AdxWaveFormat.h"

#include <corvina.h>

#include <uuids.h>
#include <vfwmsgs.h>

#include <optional>

HRESULT ReadDecoderFormat(const AM_MEDIA_TYPE* type, DecoderFormatInfo* info) {
    if (type == nullptr) {
        return E_POINTER;
    }
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Audio) ||
        !IsEqualGUID(type->subtype, MEDIASUBTYPE_Adx) ||
        !IsEqualGUID(type->formattype, FORMAT_WaveFormatEx)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // Every field used lies in the whole block; a shorter one is refused.
    const std::optional<AdxWaveFormat> format = AdxWaveFormat::Read(type->pbFormat, type->cbFormat);
    if (!format) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const std::int32_t channelCount = format->channelCount;
    if (format->formatTag != AdxWaveFormat::kFormatTag || format->bitsPerSample != 4 ||
        format->samplesPerBlock != kAdxBlockSamples || format->sampleRate == 0 ||
        (channelCount != 1 && channelCount != 2)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // The routines always consume 18-byte blocks, while sample lengths and
    // frame positions are measured with the block alignment: the two must agree.
    if (format->frameBytes != kAdxBlockBytes * channelCount) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }

    if (info != nullptr) {
        info->version = format->version;
        info->blockSize = format->frameBytes / channelCount;
        info->bitsPerSample = format->bitsPerSample;
        info->samplesPerBlock = format->samplesPerBlock;
        info->channelCount = channelCount;
        info->sampleRate = static_cast<std::int32_t>(format->sampleRate);
        info->coef1 = format->coef1;
        info->coef2 = format->coef2;
        for (int channel = 0; channel < 2; ++channel) {
            info->initialHistory[channel].prev1 = format->history[2 * channel];
            info->initialHistory[channel].prev2 = format->history[2 * channel + 1];
        }
    }
    return S_OK;
}

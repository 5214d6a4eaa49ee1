#include "decoder/DecoderFormatInfo.h"

#include <uuids.h>
#include <vfwmsgs.h>

namespace {

// {00008003-0000-0010-8000-00AA00389B71}: the wave-format-tag subtype of tag 0x8003.
constexpr GUID kAdxSubtype = {
    0x00008003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr std::uint16_t kAdxFormatTag = 0x8003;

// Little-endian readers over the format block; the caller has checked that
// the block holds kAdxWaveFormatBytes.
std::uint16_t ReadU16(const BYTE* bytes, std::uint32_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}
std::int16_t ReadS16(const BYTE* bytes, std::uint32_t offset) {
    return static_cast<std::int16_t>(ReadU16(bytes, offset));
}
std::uint32_t ReadU32(const BYTE* bytes, std::uint32_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

} // namespace

HRESULT ReadDecoderFormat(const AM_MEDIA_TYPE* type, DecoderFormatInfo* info) {
    if (type == nullptr) {
        return E_POINTER;
    }
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Audio) ||
        !IsEqualGUID(type->subtype, kAdxSubtype) ||
        !IsEqualGUID(type->formattype, FORMAT_WaveFormatEx)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // Every field read lies in the first 34 bytes; a shorter block would be
    // read past its end.
    const BYTE* format = type->pbFormat;
    if (format == nullptr || type->cbFormat < kAdxWaveFormatBytes) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }

    const std::uint16_t formatTag = ReadU16(format, 0);
    const std::int32_t channelCount = ReadU16(format, 2);
    const std::uint32_t samplesPerSecond = ReadU32(format, 4);
    const std::int32_t blockAlign = ReadU16(format, 12);
    const std::int32_t bitsPerSample = ReadU16(format, 14);
    const std::int32_t samplesPerBlock = ReadU16(format, 20);
    if (formatTag != kAdxFormatTag || bitsPerSample != 4 || samplesPerBlock != 32 ||
        samplesPerSecond == 0 || (channelCount != 1 && channelCount != 2)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // The routines always consume 18-byte blocks, while sample lengths and
    // frame positions are measured with the block alignment: the two must agree.
    if (blockAlign != kAdxBlockBytes * channelCount) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }

    if (info != nullptr) {
        info->version = ReadU16(format, 18);
        info->blockSize = blockAlign / channelCount;
        info->bitsPerSample = bitsPerSample;
        info->samplesPerBlock = samplesPerBlock;
        info->channelCount = channelCount;
        info->sampleRate = static_cast<std::int32_t>(samplesPerSecond);
        info->coef1 = ReadS16(format, 22);
        info->coef2 = ReadS16(format, 24);
        info->initialHistory[0].prev1 = ReadS16(format, 26);
        info->initialHistory[0].prev2 = ReadS16(format, 28);
        info->initialHistory[1].prev1 = ReadS16(format, 30);
        info->initialHistory[1].prev2 = ReadS16(format, 32);
    }
    return S_OK;
}

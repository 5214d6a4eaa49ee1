// The ADX media type that the parser offers and the decoder accepts: audio,
// wave-format tag 0x8003, fixed-size samples, and a 34-byte format block
// (AdxWaveFormat) that carries everything the decoder needs.
#pragma once

#include "adx/AdxHeader.h"
#include "framework/MediaTypeRecord.h"

#include <array>
#include <cstdint>

// {00008003-0000-0010-8000-00AA00389B71}: the wave-format-tag subtype for 0x8003.
inline constexpr GUID kAdxMediaSubtype = {
    0x00008003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The format block, little-endian: an 18-byte wave format header (tag,
// channels, rate, average bytes per second, frame size, bits per sample,
// extra size 16) and 16 bytes of ADX fields (version, samples per block, the
// two prediction coefficients, the four version-4 history words).
class AdxWaveFormat {
public:
    static constexpr std::uint32_t kSizeBytes = 34;
    static constexpr std::uint16_t kFormatTag = 0x8003;

    explicit AdxWaveFormat(const AdxHeader& header);

    const std::uint8_t* Bytes() const { return bytes_.data(); }

    // The whole media type for `header` in `type` (reset first).
    // E_OUTOFMEMORY when the format block cannot be stored.
    static HRESULT BuildMediaType(const AdxHeader& header, MediaTypeRecord& type);

private:
    void Put16(std::size_t offset, std::uint32_t value);
    void Put32(std::size_t offset, std::uint32_t value);

    std::array<std::uint8_t, kSizeBytes> bytes_{};
};

#include "parser/AdxWaveFormat.h"

#include <mmreg.h>
#include <uuids.h>

AdxWaveFormat::AdxWaveFormat(const AdxHeader& header) {
    const std::uint32_t frameBytes =
        static_cast<std::uint32_t>(header.blockSize * header.channelCount) & 0xFFFF;
    const std::uint32_t samplesPerBlock =
        static_cast<std::uint32_t>(header.samplesPerBlock) & 0xFFFF;
    const std::uint32_t sampleRate = static_cast<std::uint32_t>(header.sampleRate);
    // Unsigned 32-bit, as the decoder and players read it; no stream, no rate.
    const std::uint32_t averageBytesPerSecond =
        samplesPerBlock == 0 ? 0 : (frameBytes * sampleRate) / samplesPerBlock;

    Put16(0, kFormatTag);
    Put16(2, static_cast<std::uint32_t>(header.channelCount));
    Put32(4, sampleRate);
    Put32(8, averageBytesPerSecond);
    Put16(12, frameBytes);
    Put16(14, static_cast<std::uint32_t>(header.bitsPerSample));
    Put16(16, kSizeBytes - 18); // extra bytes after the wave format header
    Put16(18, static_cast<std::uint32_t>(header.version));
    Put16(20, samplesPerBlock);
    Put16(22, static_cast<std::uint32_t>(header.coef1));
    Put16(24, static_cast<std::uint32_t>(header.coef2));
    for (std::size_t i = 0; i < header.extraWords.size(); ++i) {
        Put16(26 + 2 * i, header.extraWords[i]);
    }
}

void AdxWaveFormat::Put16(std::size_t offset, std::uint32_t value) {
    bytes_[offset] = static_cast<std::uint8_t>(value);
    bytes_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void AdxWaveFormat::Put32(std::size_t offset, std::uint32_t value) {
    Put16(offset, value & 0xFFFF);
    Put16(offset + 2, value >> 16);
}

HRESULT AdxWaveFormat::BuildMediaType(const AdxHeader& header, MediaTypeRecord& type) {
    ReleaseContents(&type);
    type.Reset();
    type.SetMajorType(MEDIATYPE_Audio);
    type.SetSubtype(kAdxMediaSubtype);
    type.SetSampleSize(static_cast<ULONG>(header.blockSize) * 512);
    type.bTemporalCompression = FALSE;
    type.SetFormatType(FORMAT_WaveFormatEx);
    const AdxWaveFormat format(header);
    return type.SetFormat(format.Bytes(), kSizeBytes) ? S_OK : E_OUTOFMEMORY;
}

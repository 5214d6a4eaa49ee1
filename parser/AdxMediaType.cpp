#include "parser/AdxMediaType.h"

#include "adx/AdxWaveFormat.h"

#include <corvina.h>

#include <mmreg.h>
#include <uuids.h>

#include <array>

HRESULT AdxMediaType::Build(const AdxHeader& header, MediaTypeRecord& type) {
    ReleaseContents(&type);
    type.Reset();
    type.SetMajorType(MEDIATYPE_Audio);
    type.SetSubtype(MEDIASUBTYPE_Adx);
    type.SetSampleSize(static_cast<ULONG>(header.blockSize) * kAdxMaxBlocksPerSample);
    type.bTemporalCompression = FALSE;
    type.SetFormatType(FORMAT_WaveFormatEx);
    std::array<std::uint8_t, AdxWaveFormat::kSizeBytes> block{};
    AdxWaveFormat::FromHeader(header).Write(block.data(), block.size());
    return type.SetFormat(block.data(), static_cast<ULONG>(block.size())) ? S_OK : E_OUTOFMEMORY;
}

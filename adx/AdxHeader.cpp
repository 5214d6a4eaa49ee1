#include "adx/AdxHeader.h"

#include "adx/AdxCoefficients.h"

#include <cassert>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

constexpr std::uint8_t kAdxPrefixByte = 0x80;
constexpr std::uint8_t kAdxEncodingType = 3;
constexpr char kAdxMarker[] = "(c)CRI";
constexpr std::size_t kAdxMarkerBytes = sizeof(kAdxMarker) - 1;

// Every header needs its fixed fields, bytes 0x00 to 0x13; a version 4 header
// also needs its four history words up to 0x1F.
constexpr std::size_t kFixedFieldsEnd = 0x14;
constexpr std::size_t kVersion4WordsEnd = 0x20;

constexpr std::size_t kVersion3TableStart = 0x14;
constexpr std::size_t kVersion4TableStart = 0x20;
constexpr std::size_t kLoopRecordBytes = 24;

// A read-only view of the header bytes; every read checks that the field lies
// wholly inside the view.
struct HeaderBytes {
    const std::uint8_t* bytes;
    std::size_t bytesTotal;

    bool Has(std::size_t offset, std::size_t fieldBytes) const {
        return offset <= bytesTotal && fieldBytes <= bytesTotal - offset;
    }
    bool ReadU8(std::size_t offset, std::uint32_t& value) const {
        if (!Has(offset, 1)) {
            return false;
        }
        value = bytes[offset];
        return true;
    }
    bool ReadU16BE(std::size_t offset, std::uint32_t& value) const {
        if (!Has(offset, 2)) {
            return false;
        }
        value = (std::uint32_t{bytes[offset]} << 8) | bytes[offset + 1];
        return true;
    }
    bool ReadU32BE(std::size_t offset, std::uint32_t& value) const {
        if (!Has(offset, 4)) {
            return false;
        }
        value = (std::uint32_t{bytes[offset]} << 24) | (std::uint32_t{bytes[offset + 1]} << 16) |
                (std::uint32_t{bytes[offset + 2]} << 8) | bytes[offset + 3];
        return true;
    }
};

// Two's-complement reinterpretation without relying on the conversion rules.
std::int32_t ToSigned32(std::uint32_t value) {
    if (value <= 0x7FFFFFFFu) {
        return static_cast<std::int32_t>(value);
    }
    return -static_cast<std::int32_t>(~value) - 1;
}

bool ReadLoopPoint(const HeaderBytes& header, std::size_t recordOffset, AdxLoopPoint& loop) {
    std::uint32_t startTrim = 0, endTrim = 0, startSample = 0, startByte = 0, endSample = 0,
                  endByte = 0;
    if (!header.ReadU8(recordOffset + 1, startTrim) || !header.ReadU8(recordOffset + 5, endTrim) ||
        !header.ReadU32BE(recordOffset + 8, startSample) ||
        !header.ReadU32BE(recordOffset + 12, startByte) ||
        !header.ReadU32BE(recordOffset + 16, endSample) ||
        !header.ReadU32BE(recordOffset + 20, endByte)) {
        return false;
    }
    loop.startSample = ToSigned32(startSample);
    loop.startByte = ToSigned32(startByte);
    loop.startTrim = static_cast<std::int32_t>(startTrim);
    loop.endSample = ToSigned32(endSample);
    loop.endByte = ToSigned32(endByte);
    loop.endTrim = static_cast<std::int32_t>(endTrim);
    return true;
}

// The number of records in the table at tableStart: it ends at the first
// record that would run into the marker or whose presence word is zero. The
// fit is checked first, so the presence word is only read where a whole
// record lies before the marker.
std::size_t CountLoopRecords(const HeaderBytes& header, std::size_t tableStart,
                             std::size_t markerStart) {
    std::size_t recordCount = 0;
    for (;;) {
        const std::size_t recordOffset = tableStart + kLoopRecordBytes * recordCount;
        if (recordOffset + kLoopRecordBytes > markerStart) {
            return recordCount;
        }
        std::uint32_t presence = 0;
        if (!header.ReadU32BE(recordOffset, presence) || presence == 0) {
            return recordCount;
        }
        ++recordCount;
    }
}

} // namespace

std::optional<std::int32_t> AdxHeaderLength(const std::uint8_t* prefixBytes) {
    assert(prefixBytes != nullptr);
    if (prefixBytes[0] != kAdxPrefixByte) {
        return std::nullopt;
    }
    const std::int32_t markerOffset =
        (std::int32_t{prefixBytes[1]} << 16) | (std::int32_t{prefixBytes[2]} << 8) | prefixBytes[3];
    return markerOffset + kAdxPrefixBytes;
}

int ParseAdxHeader(std::int32_t headerLength, const std::uint8_t* headerBytes, AdxHeader& out) {
    // The old loop records go first, whatever the outcome.
    std::vector<AdxLoopPoint>().swap(out.loops);

    if (headerLength < static_cast<std::int32_t>(kFixedFieldsEnd)) {
        return kAdxHeaderRejected;
    }
    assert(headerBytes != nullptr);
    const HeaderBytes header{headerBytes, static_cast<std::size_t>(headerLength)};
    const std::size_t markerStart = header.bytesTotal - kAdxMarkerBytes;
    if (std::memcmp(headerBytes + markerStart, kAdxMarker, kAdxMarkerBytes) != 0) {
        return kAdxHeaderRejected;
    }

    std::uint32_t encodingType = 0, blockSize = 0, bitsPerSample = 0, channelCount = 0,
                  sampleRate = 0, totalSamples = 0, cutoffFrequency = 0, versionByte = 0,
                  flagsByte = 0;
    if (!header.ReadU8(0x04, encodingType) || encodingType != kAdxEncodingType) {
        return kAdxHeaderRejected;
    }
    if (!header.ReadU8(0x05, blockSize) || !header.ReadU8(0x06, bitsPerSample) ||
        !header.ReadU8(0x07, channelCount) || !header.ReadU32BE(0x08, sampleRate) ||
        !header.ReadU32BE(0x0C, totalSamples) || !header.ReadU16BE(0x10, cutoffFrequency) ||
        !header.ReadU8(0x12, versionByte) || !header.ReadU8(0x13, flagsByte)) {
        return kAdxHeaderRejected;
    }

    // Later stages divide by the bits per sample, the samples per block, the
    // frame size and the sample rate: a header that makes any of them zero
    // (or negative) is refused here.
    const std::int32_t blockBits = static_cast<std::int32_t>(blockSize) * 8 - 16;
    if (bitsPerSample == 0 || channelCount == 0 || blockSize <= 2 || ToSigned32(sampleRate) <= 0) {
        return kAdxHeaderRejected;
    }
    const std::int32_t samplesPerBlock = blockBits / static_cast<std::int32_t>(bitsPerSample);
    if (samplesPerBlock <= 0) {
        return kAdxHeaderRejected;
    }

    std::int32_t version = static_cast<std::int32_t>(versionByte);
    std::array<std::uint16_t, 4> extraWords{};
    std::size_t tableStart = 0;
    bool hasLoopTable = false;
    const std::uint32_t versionWord = (versionByte << 8) | flagsByte;
    if (versionWord == 0x0300) {
        hasLoopTable = true;
        tableStart = kVersion3TableStart;
    } else if (versionWord == 0x0400) {
        if (!header.Has(0, kVersion4WordsEnd)) {
            return kAdxHeaderRejected;
        }
        for (std::size_t i = 0; i < extraWords.size(); ++i) {
            std::uint32_t word = 0;
            if (!header.ReadU16BE(0x18 + 2 * i, word)) {
                return kAdxHeaderRejected;
            }
            extraWords[i] = static_cast<std::uint16_t>(word);
        }
        hasLoopTable = true;
        tableStart = kVersion4TableStart;
    }

    std::vector<AdxLoopPoint> loops;
    if (hasLoopTable) {
        const std::size_t recordCount = CountLoopRecords(header, tableStart, markerStart);
        // The table can hold hundreds of thousands of records; running out of
        // memory for it refuses the header rather than throwing.
        try {
            loops.resize(recordCount);
        } catch (const std::bad_alloc&) {
            return kAdxHeaderRejected;
        }
        for (std::size_t i = 0; i < recordCount; ++i) {
            if (!ReadLoopPoint(header, tableStart + kLoopRecordBytes * i, loops[i])) {
                return kAdxHeaderRejected;
            }
        }
    }

    const AdxCoefficients coefficients =
        ComputeAdxCoefficients(ToSigned32(sampleRate), static_cast<std::int32_t>(cutoffFrequency));

    out.version = version;
    out.blockSize = static_cast<std::int32_t>(blockSize);
    out.bitsPerSample = static_cast<std::int32_t>(bitsPerSample);
    out.samplesPerBlock = samplesPerBlock;
    out.channelCount = static_cast<std::int32_t>(channelCount);
    out.sampleRate = ToSigned32(sampleRate);
    out.dataOffset = headerLength;
    out.totalSamples = ToSigned32(totalSamples);
    out.extraWords = extraWords;
    out.coef1 = coefficients.coef1;
    out.coef2 = coefficients.coef2;
    out.loops.swap(loops);
    return kAdxHeaderAccepted;
}

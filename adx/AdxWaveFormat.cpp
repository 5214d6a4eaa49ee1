#include "adx/AdxWaveFormat.h"

namespace {

// Byte offsets of the fields in the block.
constexpr std::size_t kFormatTagAt = 0;
constexpr std::size_t kChannelCountAt = 2;
constexpr std::size_t kSampleRateAt = 4;
constexpr std::size_t kAverageBytesAt = 8;
constexpr std::size_t kFrameBytesAt = 12;
constexpr std::size_t kBitsPerSampleAt = 14;
constexpr std::size_t kExtraBytesAt = 16;
constexpr std::size_t kVersionAt = 18;
constexpr std::size_t kSamplesPerBlockAt = 20;
constexpr std::size_t kCoef1At = 22;
constexpr std::size_t kCoef2At = 24;
constexpr std::size_t kHistoryAt = 26;

std::uint16_t Low16(std::int32_t value) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFF);
}

// Two's-complement reinterpretation without relying on the conversion rules.
std::int16_t ToSigned16(std::uint16_t value) {
    return value <= 0x7FFF ? static_cast<std::int16_t>(value)
                           : static_cast<std::int16_t>(static_cast<std::int32_t>(value) - 0x10000);
}

void Put16(std::uint8_t* bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
    Put16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

// The caller has checked that the block holds kSizeBytes.
std::uint16_t Get16(const std::uint8_t* bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t Get32(const std::uint8_t* bytes, std::size_t offset) {
    return std::uint32_t{Get16(bytes, offset)} | (std::uint32_t{Get16(bytes, offset + 2)} << 16);
}

} // namespace

AdxWaveFormat AdxWaveFormat::FromHeader(const AdxHeader& header) {
    AdxWaveFormat format;
    format.channelCount = Low16(header.channelCount);
    format.sampleRate = static_cast<std::uint32_t>(header.sampleRate);
    format.frameBytes = Low16(header.blockSize * header.channelCount);
    format.samplesPerBlock = Low16(header.samplesPerBlock);
    // Unsigned 32-bit, as the decoder and players read it.
    format.averageBytesPerSecond =
        format.samplesPerBlock == 0
            ? 0
            : (std::uint32_t{format.frameBytes} * format.sampleRate) / format.samplesPerBlock;
    format.bitsPerSample = Low16(header.bitsPerSample);
    format.version = Low16(header.version);
    format.coef1 = ToSigned16(Low16(header.coef1));
    format.coef2 = ToSigned16(Low16(header.coef2));
    for (std::size_t i = 0; i < format.history.size(); ++i) {
        format.history[i] = ToSigned16(header.extraWords[i]);
    }
    return format;
}

bool AdxWaveFormat::Write(std::uint8_t* bytes, std::size_t bytesAvailable) const {
    if (bytes == nullptr || bytesAvailable < kSizeBytes) {
        return false;
    }
    Put16(bytes, kFormatTagAt, formatTag);
    Put16(bytes, kChannelCountAt, channelCount);
    Put32(bytes, kSampleRateAt, sampleRate);
    Put32(bytes, kAverageBytesAt, averageBytesPerSecond);
    Put16(bytes, kFrameBytesAt, frameBytes);
    Put16(bytes, kBitsPerSampleAt, bitsPerSample);
    Put16(bytes, kExtraBytesAt, extraBytes);
    Put16(bytes, kVersionAt, version);
    Put16(bytes, kSamplesPerBlockAt, samplesPerBlock);
    Put16(bytes, kCoef1At, static_cast<std::uint16_t>(coef1));
    Put16(bytes, kCoef2At, static_cast<std::uint16_t>(coef2));
    for (std::size_t i = 0; i < history.size(); ++i) {
        Put16(bytes, kHistoryAt + 2 * i, static_cast<std::uint16_t>(history[i]));
    }
    return true;
}

std::optional<AdxWaveFormat> AdxWaveFormat::Read(const std::uint8_t* bytes,
                                                 std::size_t bytesAvailable) {
    if (bytes == nullptr || bytesAvailable < kSizeBytes) {
        return std::nullopt;
    }
    AdxWaveFormat format;
    format.formatTag = Get16(bytes, kFormatTagAt);
    format.channelCount = Get16(bytes, kChannelCountAt);
    format.sampleRate = Get32(bytes, kSampleRateAt);
    format.averageBytesPerSecond = Get32(bytes, kAverageBytesAt);
    format.frameBytes = Get16(bytes, kFrameBytesAt);
    format.bitsPerSample = Get16(bytes, kBitsPerSampleAt);
    format.extraBytes = Get16(bytes, kExtraBytesAt);
    format.version = Get16(bytes, kVersionAt);
    format.samplesPerBlock = Get16(bytes, kSamplesPerBlockAt);
    format.coef1 = ToSigned16(Get16(bytes, kCoef1At));
    format.coef2 = ToSigned16(Get16(bytes, kCoef2At));
    for (std::size_t i = 0; i < format.history.size(); ++i) {
        format.history[i] = ToSigned16(Get16(bytes, kHistoryAt + 2 * i));
    }
    return format;
}

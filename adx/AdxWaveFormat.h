// The 34-byte format block of the ADX media type, which carries everything
// the decoder needs from the parser, little-endian: an 18-byte wave format
// header (tag, channels, rate, average bytes per second, frame size, bits per
// sample, extra size 16) and 16 bytes of ADX fields (version, samples per
// block, the two prediction coefficients, the four version-4 history words).
// The parser writes it and the decoder reads it, both through this record.
#pragma once

#include "adx/AdxHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The largest media sample the parser sends, in blocks of one channel (512
// mono or 256 stereo frames): its decoded size is this many blocks of
// samplesPerBlock 16-bit samples.
constexpr std::int32_t kAdxMaxBlocksPerSample = 512;

struct AdxWaveFormat {
    static constexpr std::size_t kSizeBytes = 34;
    static constexpr std::uint16_t kFormatTag = 0x8003;
    // Bytes after the 18-byte wave format header.
    static constexpr std::uint16_t kExtraBytes = 16;

    std::uint16_t formatTag = kFormatTag;
    std::uint16_t channelCount = 0;
    std::uint32_t sampleRate = 0; // per channel, in Hz
    std::uint32_t averageBytesPerSecond = 0;
    std::uint16_t frameBytes = 0; // the block alignment: one block of every channel
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraBytes = kExtraBytes;
    std::uint16_t version = 0;
    std::uint16_t samplesPerBlock = 0;
    std::int16_t coef1 = 0;
    std::int16_t coef2 = 0;
    // The initial prediction history: channel 0 prev1, prev2, channel 1
    // prev1, prev2.
    std::array<std::int16_t, 4> history{};

    // The block for a parsed header. Fields wider than the block keep their
    // low bits; a header without samples per block gets no byte rate.
    static AdxWaveFormat FromHeader(const AdxHeader& header);

    // Writes the kSizeBytes of the block at `bytes`. False, and nothing
    // written, when fewer than kSizeBytes are available.
    bool Write(std::uint8_t* bytes, std::size_t bytesAvailable) const;

    // The block's fields from its first kSizeBytes; nothing when fewer are
    // available. The values are not judged: that is the reader's business.
    static std::optional<AdxWaveFormat> Read(const std::uint8_t* bytes, std::size_t bytesAvailable);
};

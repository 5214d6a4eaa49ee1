// The ADX ADPCM decoder: 18-byte blocks of 32 four-bit codes to 16-bit PCM.
// Plain functions; the only state is the per-channel history, which the
// caller owns. Nothing here allocates, locks or keeps a static.
#pragma once

#include <cstdint>

// The two most recently decoded samples of one channel.
struct AdxChannelHistory {
    std::int16_t prev1 = 0; // the most recent sample
    std::int16_t prev2 = 0; // the sample before prev1
};

// The result of every decoding routine.
enum AdxDecodeStatus : std::int32_t {
    kAdxDecodeOk = 0,
    kAdxDecodeScaleBit15 = 1,       // a block's scale word has bit 15 set
    kAdxDecodeRangeOutOfBounds = 2, // a partial-frame sample range is not inside the frame
};

constexpr std::int32_t kAdxBlockBytes = 18;   // one channel's block
constexpr std::int32_t kAdxBlockSamples = 32; // samples in one block

// The decoding routines share one pattern: output (native-order 16-bit
// samples, two channels interleaved channel 0 first; the caller makes it
// large enough), input (at the first frame; one block per channel, channel 0
// first), what to decode, one history per channel, the coefficients, and
// bytesProduced, which receives the number of output bytes written.
//
// On success every history holds its channel's last two decoded samples, so
// consecutive calls over consecutive data decode seamlessly. On failure the
// histories are exactly as they were; the output may hold samples of the
// failing frame, and bytesProduced covers only the whole frames decoded
// before it (a partial-frame routine reports 0).

// frameCount whole frames of one channel: 64 bytes of output per frame.
// frameCount <= 0 decodes nothing and succeeds.
AdxDecodeStatus DecodeFramesMono(std::int16_t* output, const std::uint8_t* input,
                                 std::int32_t frameCount, AdxChannelHistory& history,
                                 std::int16_t coef1, std::int16_t coef2,
                                 std::int32_t& bytesProduced);

// frameCount whole frames of two channels: 128 bytes of output per frame.
AdxDecodeStatus DecodeFramesStereo(std::int16_t* output, const std::uint8_t* input,
                                   std::int32_t frameCount, AdxChannelHistory& history0,
                                   AdxChannelHistory& history1, std::int16_t coef1,
                                   std::int16_t coef2, std::int32_t& bytesProduced);

// Samples start .. end - 1 of one frame of one channel, to output[0] on; the
// history stands for the two samples before start. start == end (any values)
// decodes nothing and succeeds; a range outside 0..32 or with start > end
// gives AdxDecodeRangeOutOfBounds and writes nothing.
AdxDecodeStatus DecodePartialFrameMono(std::int16_t* output, const std::uint8_t* input,
                                       std::int32_t start, std::int32_t end,
                                       AdxChannelHistory& history, std::int16_t coef1,
                                       std::int16_t coef2, std::int32_t& bytesProduced);

// As DecodePartialFrameMono, for a frame of two channels, interleaved.
AdxDecodeStatus DecodePartialFrameStereo(std::int16_t* output, const std::uint8_t* input,
                                         std::int32_t start, std::int32_t end,
                                         AdxChannelHistory& history0, AdxChannelHistory& history1,
                                         std::int16_t coef1, std::int16_t coef2,
                                         std::int32_t& bytesProduced);

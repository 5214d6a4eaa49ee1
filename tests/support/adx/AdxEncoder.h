// A small ADX encoder for test fixtures and demo files: 4-bit ADPCM in
// 18-byte blocks, mono or stereo, version 3 (loop table at 0x14) or
// version 4 (initial history words and loop table at 0x20).
#pragma once

#include "adx/AdxHeader.h"

#include <array>
#include <cstdint>
#include <vector>

struct AdxEncoderOptions {
    std::int32_t channelCount = 1; // 1 or 2
    std::int32_t sampleRate = 44100;
    std::int32_t cutoffFrequency = 500; // written to the header; sets the coefficients
    std::int32_t version = 3;           // 3 or 4
    // Version 4: the initial history, in header order (channel 0 prev1,
    // prev2, channel 1 prev1, prev2). Version 3 streams start from zero.
    std::array<std::int16_t, 4> initialHistory{};
    std::vector<AdxLoopPoint> loops; // written as given, in order
    // The whole header length L (the first frame starts there); 0 takes the
    // smallest length that holds the fields, the loop table and the marker.
    std::int32_t headerLength = 0;
};

struct AdxEncodedStream {
    std::vector<std::uint8_t> bytes; // the whole stream: header and frames
    // What a correct decoder produces from the stream: totalSamples samples
    // per channel, interleaved (the padding of the last frame left out).
    std::vector<std::int16_t> decoded;
    std::int32_t headerLength = 0;
    std::int32_t totalSamples = 0; // per channel
    std::int32_t frameCount = 0;
    std::int32_t coef1 = 0;
    std::int32_t coef2 = 0;
};

class AdxEncoder {
public:
    explicit AdxEncoder(const AdxEncoderOptions& options);

    // The header length that the options give (the smallest one when
    // options.headerLength is 0), or 0 when the options are invalid.
    std::int32_t HeaderLength() const;

    // Encodes interleaved samples (channel 0 first); the last frame is padded
    // with silence. Returns false (and leaves out alone) for invalid options
    // or a sample count that is not a whole number of channel frames.
    bool Encode(const std::vector<std::int16_t>& interleavedSamples, AdxEncodedStream& out) const;

    // A loop record for the samples startSample .. endSample of a stream
    // with this header length and channel count: startByte and endByte are
    // the offsets of the frames that hold startSample and endSample,
    // startTrim is startSample's index within its frame, endTrim is 0.
    static AdxLoopPoint MakeLoopPoint(std::int32_t startSample, std::int32_t endSample,
                                      std::int32_t headerLength, std::int32_t channelCount);

private:
    AdxEncoderOptions options_;
};

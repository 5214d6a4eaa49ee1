// The ADX encoder: 16-bit PCM to an ADX stream of 4-bit ADPCM in 18-byte
// blocks of 32 samples, mono or stereo, version 3 (loop table at 0x14) or
// version 4 (initial history words and loop table at 0x20).
//
// Every block is chosen closed loop through the decoder's own arithmetic
// (AdxDecoder.h), so `decoded` is exactly what a player produces.
//
// Loops (AdxEncoderOptions::sampleLoop). For a loop [startSample, endSample)
// the encoder writes one record that makes the parser play [0, endSample)
// and then [startSample, endSample) for every further pass, sample-exact:
//   startByte   the frame that holds startSample,
//   startTrim   startSample's index within that frame (startSample % 32),
//   endSample   the LAST sample of the loop, inclusive: loop end - 1,
//   endByte     the frame that holds that last sample,
//   endTrim     31, so that a pass ends at endSample + 32 - endTrim, one
//               past the last sample.
// startSample in the record is the loop start itself. The header's total
// sample count stays the input's length, so a player without loops ends
// there. The frames around the loop are encoded so that the jump does not
// click: after a jump the loop start is decoded from the history the loop
// end leaves, and the encoder steers the loop end's last samples so that
// this history plays the loop start as well as the first pass does.
#pragma once

#include "adx/AdxHeader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// A loop to play seamlessly, in per-channel sample indices.
struct AdxSampleLoop {
    std::int64_t startSample = 0; // first sample of the loop body
    std::int64_t endSample = 0;   // one past the last sample of the loop body
};

struct AdxEncoderOptions {
    std::int32_t channelCount = 1; // 1 or 2
    std::int32_t sampleRate = 44100;
    std::int32_t cutoffFrequency = 500; // written to the header; sets the coefficients
    std::int32_t version = 3;           // 3 or 4
    // Version 4: the initial history, in header order (channel 0 prev1,
    // prev2, channel 1 prev1, prev2), written and used as given unless
    // chooseInitialHistory is set. Version 3 streams start from zero.
    std::array<std::int16_t, 4> initialHistory{};
    // Version 4: the encoder picks the history words that best predict the
    // first samples (initialHistory is then ignored).
    bool chooseInitialHistory = false;
    // Raw records written as given, in order (test fixtures); empty normally.
    std::vector<AdxLoopPoint> loops;
    // The product's loop: the encoder plans the frames around it and writes
    // its record (after any raw records).
    std::optional<AdxSampleLoop> sampleLoop;
    // The whole header length L (the first frame starts there); 0 takes the
    // smallest length that holds the fields, the loop table and the marker.
    std::int32_t headerLength = 0;
    // Threads that encode side by side; 0 takes every core.
    std::int32_t threadCount = 1;
    // Whether Encode fills AdxEncodedStream::decoded.
    bool fillDecoded = true;
    // A wider, denser multiplier search: about twice the time for about
    // 0.05 dB.
    bool thorough = false;
};

enum class AdxEncodeStatus {
    kOk,
    kInvalidOptions,      // channel count, rate, cutoff, version or header length
    kEmptyInput,          // no samples, or not a whole number of channel frames
    kTooLong,             // more than 0x7FFFFFFF samples per channel
    kLoopOutsideStream,   // the loop starts before 0 or ends past the input
    kLoopEndNotAfterStart // the loop is empty or reversed
};

struct AdxEncodedStream {
    std::vector<std::uint8_t> bytes; // the whole stream: header and frames
    // What the project's decoder produces from the stream played straight
    // through: totalSamples samples per channel, interleaved (the padding of
    // the last frame left out). Empty when options.fillDecoded is false.
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
    // with silence. On any status but kOk `out` is left alone.
    AdxEncodeStatus Encode(const std::vector<std::int16_t>& interleavedSamples,
                           AdxEncodedStream& out) const;

    // A raw loop record for the samples startSample .. endSample of a stream
    // with this header length and channel count: startByte and endByte are
    // the offsets of the frames that hold startSample and endSample,
    // startTrim is startSample's index within its frame, endTrim is 0.
    static AdxLoopPoint MakeLoopPoint(std::int32_t startSample, std::int32_t endSample,
                                      std::int32_t headerLength, std::int32_t channelCount);

    // The record written for a sample loop (see the top of this file).
    static AdxLoopPoint MakeSampleLoopPoint(const AdxSampleLoop& loop, std::int32_t headerLength,
                                            std::int32_t channelCount);

    // A short English description, e.g. "loop end not after its start".
    static const char* StatusText(AdxEncodeStatus status);

private:
    AdxEncoderOptions options_;
};

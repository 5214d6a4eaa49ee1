// The arithmetic of one ADX stream's data area as the parser sees it: frames,
// stream byte positions, sample indices and 100-ns times. Every divisor comes
// from the header, so a StreamGeometry that is not IsUsable() answers nothing
// that needs one and callers refuse early.
#pragma once

#include "adx/AdxHeader.h"

#include <cstdint>

class StreamGeometry {
public:
    // 100-ns units in one second.
    static constexpr std::int64_t kUnitsPerSecond = 10000000;
    // The pull model's positions: a byte position times this. Converted only
    // where positions meet the platform (IAsyncReader sample times).
    static constexpr std::int64_t kUnitsPerByte = kUnitsPerSecond;
    // Stream byte positions are kept below this so that a position times
    // kUnitsPerSecond, plus a frame and a file offset, fits 64 bits.
    static constexpr std::int64_t kMaxStreamBytes = std::int64_t{1} << 38;

    StreamGeometry() = default; // no stream: not usable
    explicit StreamGeometry(const AdxHeader& header);

    // Every quantity below has a non-zero divisor: a frame of at least one
    // byte holding at least one sample, and a positive sample rate.
    bool IsUsable() const;

    std::int32_t FrameBytes() const { return frameBytes_; }           // F
    std::int32_t SamplesPerFrame() const { return samplesPerFrame_; } // S, per channel
    std::int32_t DataOffset() const { return dataOffset_; }           // H
    std::int32_t TotalSamples() const { return totalSamples_; }       // N
    std::int32_t SampleRate() const { return sampleRate_; }

    // The stream's length in 100-ns units.
    std::int64_t Duration() const;
    // Output buffer size when the downstream pin asks for none: about 1/187 s
    // of blocks, at most kAdxMaxBlocksPerSample, and never less than one frame.
    std::int32_t DefaultBufferBytes() const;
    // About 1/32 s of whole frames: how far before a requested start the
    // reader begins, so that the decoder's prediction settles.
    std::int64_t PrerollBytes() const;
    // The stream byte position of the frame that holds time t (clamped to the
    // first frame and below kMaxStreamBytes).
    std::int64_t StreamByteForTime(std::int64_t timeUnits) const;
    // The end of the range that a stop at time t reads: the frame that holds
    // t is the last one.
    std::int64_t StopByteForTime(std::int64_t timeUnits) const {
        return StreamByteForTime(timeUnits) + frameBytes_;
    }
    // Per-channel index of the first sample at stream byte `streamByte` (a
    // frame boundary of the data area).
    std::int64_t SampleIndexAt(std::int64_t streamByte) const;
    // Presentation length of `samples` media samples played at `rate`, in
    // 100-ns units, truncated: exact integer arithmetic at rate 1, so that
    // every build computes the same time for the same samples.
    std::int64_t PlayedUnits(std::int64_t samples, double rate) const;
    // How many of a sample's `frameCount` frames, the first starting at
    // sample index `firstSample`, are needed to play every sample before
    // `endSample`: the frame that holds sample endSample - 1 is the last one
    // kept. 0 when endSample does not lie after firstSample.
    std::int64_t FramesBefore(std::int64_t firstSample, std::int64_t endSample,
                              std::int64_t frameCount) const;

private:
    std::int32_t blockSize_ = 0;
    std::int32_t channelCount_ = 0;
    std::int32_t frameBytes_ = 0;
    std::int32_t samplesPerFrame_ = 0;
    std::int32_t dataOffset_ = 0;
    std::int32_t totalSamples_ = 0;
    std::int32_t sampleRate_ = 0;
};

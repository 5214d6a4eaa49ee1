#include "parser/StreamGeometry.h"

#include "adx/AdxWaveFormat.h"
#include "framework/filters/MulDiv64.h"

#include <algorithm>

StreamGeometry::StreamGeometry(const AdxHeader& header)
    : blockSize_(header.blockSize), channelCount_(header.channelCount),
      frameBytes_(header.blockSize * header.channelCount), samplesPerFrame_(header.samplesPerBlock),
      dataOffset_(header.dataOffset), totalSamples_(header.totalSamples),
      sampleRate_(header.sampleRate) {}

bool StreamGeometry::IsUsable() const {
    return blockSize_ > 0 && channelCount_ > 0 && frameBytes_ > 0 && samplesPerFrame_ > 0 &&
           sampleRate_ > 0 && dataOffset_ >= 0;
}

std::int64_t StreamGeometry::Duration() const {
    return MulDiv64(kUnitsPerSecond, totalSamples_, sampleRate_, 0);
}

std::int32_t StreamGeometry::DefaultBufferBytes() const {
    // 64-bit: rates above 4 MHz would overflow the product.
    std::int64_t blocks = channelCount_ * ((std::int64_t{sampleRate_} * 512) / 96000);
    blocks = std::min<std::int64_t>(blocks, kAdxMaxBlocksPerSample);
    // Below about 188 Hz the rule gives no block at all.
    return static_cast<std::int32_t>(std::max<std::int64_t>(blockSize_ * blocks, frameBytes_));
}

std::int64_t StreamGeometry::PrerollBytes() const {
    const std::int64_t frames = (sampleRate_ / samplesPerFrame_) >> 5;
    return frames * frameBytes_;
}

std::int64_t StreamGeometry::StreamByteForTime(std::int64_t timeUnits) const {
    const double blocks = (static_cast<double>(sampleRate_) * static_cast<double>(timeUnits)) /
                          (static_cast<double>(samplesPerFrame_) * kUnitsPerSecond);
    // Times before the start name the first frame; "no end" and other huge
    // times name a frame past any real stream instead of overflowing.
    const std::int64_t lastFrame = (kMaxStreamBytes - dataOffset_) / frameBytes_;
    const std::int64_t frame = blocks <= 0.0 ? 0
                                             : (blocks >= static_cast<double>(lastFrame)
                                                    ? lastFrame
                                                    : static_cast<std::int64_t>(blocks));
    return frame * frameBytes_ + dataOffset_;
}

std::int64_t StreamGeometry::SampleIndexAt(std::int64_t streamByte) const {
    return MulDiv64(streamByte - dataOffset_, samplesPerFrame_, frameBytes_, 0);
}

std::int64_t StreamGeometry::PlayedUnits(std::int64_t samples, double rate) const {
    // Saturating: counted far ahead, products leave 64 bits.
    const std::int64_t units = MulDiv64(samples, kUnitsPerSecond, sampleRate_, 0);
    if (rate == 1.0) {
        return units;
    }
    // Far beyond any stream, the quotient saturates instead of overflowing.
    constexpr double kMaxUnits = 4.0e18;
    return static_cast<std::int64_t>(std::min(static_cast<double>(units) / rate, kMaxUnits));
}

std::int64_t StreamGeometry::FramesBefore(std::int64_t firstSample, std::int64_t endSample,
                                          std::int64_t frameCount) const {
    if (endSample <= firstSample) {
        return 0;
    }
    const std::int64_t needed = (endSample - firstSample + samplesPerFrame_ - 1) / samplesPerFrame_;
    return std::min(needed, frameCount);
}

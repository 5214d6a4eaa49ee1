#include "adx/AdxEncoder.h"

#include "adx/AdxBlockEncoder.h"
#include "adx/AdxCoefficients.h"
#include "adx/AdxLoopSeam.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace {

constexpr std::int32_t kLoopRecordBytes = 24;
constexpr char kMarker[] = "(c)CRI";
constexpr std::int32_t kMarkerBytes = 6;
constexpr std::int64_t kMaxTotalSamples = 0x7FFFFFFF;
constexpr std::int64_t kMaxHeaderLength = 0xFFFFFF + 4;
// A stretch boundary is moved to the quietest frame within this distance,
// where the decoded histories of the two sides meet soonest.
constexpr std::int64_t kBoundarySearchFrames = 256;
// Frames from the loop start on whose codes serve both the first pass and
// the passes after a jump; by then the two decodings have mostly met.
constexpr std::int64_t kSharedFrames = 4;
// How far apart the loop end's history and the first pass's history at the
// loop start lie before the loop start's frames are shared.
constexpr std::int32_t kShareDistance = 1024;

void PutU16BE(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

void PutU32BE(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    PutU16BE(bytes, offset, value >> 16);
    PutU16BE(bytes, offset + 2, value & 0xFFFF);
}

// One channel's samples and decoded output, padded to whole blocks, and
// where its blocks go in the stream.
struct ChannelWork {
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> decoded;
    std::uint8_t* firstBlock = nullptr; // this channel's block of frame 0
    std::size_t frameBytes = 0;
    std::int64_t totalSamples = 0;
    AdxChannelHistory initialHistory;
    // With a sample loop: the frame that holds its start, the start's index
    // there, and the history a jump will bring, guessed from the input at
    // the loop end (the decoder's output there will be close to it).
    bool looped = false;
    std::int64_t loopStartFrame = 0;
    std::int32_t loopStartTrim = 0;
    AdxChannelHistory loopEndGuess;
};

bool SameHistory(const AdxChannelHistory& a, const AdxChannelHistory& b) {
    return a.prev1 == b.prev1 && a.prev2 == b.prev2;
}

// Encodes frames [firstFrame, endFrame) of a channel from `history`. When
// `stopWhenSame` is set it stops after the first frame whose decoded end
// matches what the channel already holds there (the rest then follows
// unchanged) and returns true.
bool EncodeFrames(const AdxBlockEncoder& encoder, ChannelWork& work, std::int64_t firstFrame,
                  std::int64_t endFrame, AdxChannelHistory history, bool stopWhenSame) {
    AdxEncodedBlock block;
    // The loop pass's history while the frames at the loop start are shared.
    AdxChannelHistory loopHistory;
    bool sharing = false;
    for (std::int64_t frame = firstFrame; frame < endFrame; ++frame) {
        const std::int64_t first = frame * kAdxBlockSamples;
        const std::int32_t count = static_cast<std::int32_t>(
            std::min<std::int64_t>(kAdxBlockSamples, work.totalSamples - first));
        if (work.looped && frame == work.loopStartFrame) {
            // Where the loop end can steer its history to the first pass's
            // (the usual case), both passes play the same codes alike. Only
            // where the two lie far apart (a loop from the stream's silent
            // start) are the first frames shared between them.
            loopHistory = work.loopEndGuess;
            sharing = std::abs(loopHistory.prev1 - history.prev1) +
                          std::abs(loopHistory.prev2 - history.prev2) >
                      kShareDistance;
        }
        sharing = sharing && frame < work.loopStartFrame + kSharedFrames &&
                  !SameHistory(history, loopHistory);
        if (sharing) {
            const std::int32_t from = frame == work.loopStartFrame ? work.loopStartTrim : 0;
            encoder.EncodeShared(work.samples.data() + first, count, history, loopHistory, from,
                                 block, loopHistory);
        } else {
            encoder.Encode(work.samples.data() + first, count, history, block);
        }
        AdxBlockEncoder::Write(block, work.firstBlock + work.frameBytes * frame);
        const AdxChannelHistory end{block.decoded[kAdxBlockSamples - 1],
                                    block.decoded[kAdxBlockSamples - 2]};
        std::int16_t* decoded = work.decoded.data() + first;
        const bool same = stopWhenSame && decoded[kAdxBlockSamples - 1] == end.prev1 &&
                          decoded[kAdxBlockSamples - 2] == end.prev2 && !sharing;
        std::copy(block.decoded.begin(), block.decoded.end(), decoded);
        if (same) {
            return true;
        }
        history = end;
    }
    return false;
}

// The frame near `frame` where the input is quietest: a boundary there lets
// the two stretches' histories meet within a frame or two.
std::int64_t QuietBoundary(const ChannelWork& work, std::int64_t frame, std::int64_t lowest,
                           std::int64_t highest) {
    std::int64_t best = frame;
    std::int64_t bestLevel = -1;
    for (std::int64_t candidate = std::max(lowest, frame - kBoundarySearchFrames);
         candidate <= std::min(highest, frame + kBoundarySearchFrames); ++candidate) {
        const std::int16_t* samples = work.samples.data() + candidate * kAdxBlockSamples;
        std::int64_t level = 0;
        for (std::int32_t i = -2; i < kAdxBlockSamples; ++i) {
            level += std::abs(samples[i]);
        }
        if (bestLevel < 0 || level < bestLevel) {
            best = candidate;
            bestLevel = level;
        }
    }
    return best;
}

// The version 4 history words for a channel: of a few candidates, the one
// whose first block decodes best.
AdxChannelHistory ChooseInitialHistory(const AdxBlockEncoder& encoder, const ChannelWork& work,
                                       std::int32_t coef1, std::int32_t coef2) {
    const double a = coef1 / 4096.0;
    const double b = coef2 / 4096.0;
    const double x0 = work.samples[0];
    const double x1 = work.totalSamples > 1 ? work.samples[1] : x0;
    auto clamp16 = [](double value) {
        return static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    };
    // The history that predicts the first two samples exactly, when the
    // words can hold it; holding the first sample; silence.
    std::array<AdxChannelHistory, 3> candidates{};
    if (b != 0.0) {
        const double prev1 = (x1 - a * x0) / b;
        candidates[0] = {clamp16(prev1), clamp16((x0 - a * prev1) / b)};
    }
    candidates[1] = {clamp16(x0), clamp16(x0)};
    const std::int32_t count =
        static_cast<std::int32_t>(std::min<std::int64_t>(kAdxBlockSamples, work.totalSamples));
    AdxChannelHistory best;
    AdxEncodedBlock block;
    std::int64_t bestError = -1;
    for (const AdxChannelHistory& candidate : candidates) {
        encoder.Encode(work.samples.data(), count, candidate, block);
        if (bestError < 0 || block.squaredError < bestError) {
            best = candidate;
            bestError = block.squaredError;
        }
    }
    return best;
}

} // namespace

AdxEncoder::AdxEncoder(const AdxEncoderOptions& options) : options_(options) {}

std::int32_t AdxEncoder::HeaderLength() const {
    if ((options_.channelCount != 1 && options_.channelCount != 2) || options_.sampleRate <= 0 ||
        options_.cutoffFrequency < 0 || options_.cutoffFrequency > 0xFFFF ||
        (options_.version != 3 && options_.version != 4) || options_.threadCount < 0) {
        return 0;
    }
    const std::int64_t tableStart = options_.version == 4 ? 0x20 : 0x14;
    const std::int64_t recordCount = static_cast<std::int64_t>(options_.loops.size()) +
                                     (options_.sampleLoop.has_value() ? 1 : 0);
    const std::int64_t smallest = tableStart + kLoopRecordBytes * recordCount + kMarkerBytes;
    if (options_.headerLength == 0) {
        return smallest <= kMaxHeaderLength ? static_cast<std::int32_t>(smallest) : 0;
    }
    if (options_.headerLength < smallest || options_.headerLength > kMaxHeaderLength) {
        return 0;
    }
    return options_.headerLength;
}

AdxEncodeStatus AdxEncoder::Encode(const std::vector<std::int16_t>& interleavedSamples,
                                   AdxEncodedStream& out) const {
    const std::int32_t headerLength = HeaderLength();
    if (headerLength == 0) {
        return AdxEncodeStatus::kInvalidOptions;
    }
    const std::size_t channelCount = static_cast<std::size_t>(options_.channelCount);
    if (interleavedSamples.empty() || interleavedSamples.size() % channelCount != 0) {
        return AdxEncodeStatus::kEmptyInput;
    }
    if (interleavedSamples.size() / channelCount > static_cast<std::size_t>(kMaxTotalSamples)) {
        return AdxEncodeStatus::kTooLong;
    }
    const std::int64_t totalSamples =
        static_cast<std::int64_t>(interleavedSamples.size() / channelCount);
    const std::int64_t frameCount = (totalSamples + kAdxBlockSamples - 1) / kAdxBlockSamples;
    const std::size_t frameBytes = kAdxBlockBytes * channelCount;
    AdxLoopPoint loopRecord;
    if (options_.sampleLoop) {
        const AdxSampleLoop& loop = *options_.sampleLoop;
        if (loop.startSample < 0 || loop.endSample > totalSamples) {
            return AdxEncodeStatus::kLoopOutsideStream;
        }
        if (loop.endSample <= loop.startSample) {
            return AdxEncodeStatus::kLoopEndNotAfterStart;
        }
        // The record's byte offsets are 32-bit.
        if (headerLength + static_cast<std::int64_t>(frameBytes) * frameCount > 0x7FFFFFFF) {
            return AdxEncodeStatus::kTooLong;
        }
        loopRecord = MakeSampleLoopPoint(loop, headerLength, options_.channelCount);
    }
    const AdxCoefficients coefficients =
        ComputeAdxCoefficients(options_.sampleRate, options_.cutoffFrequency);
    const AdxBlockEncoder encoder(coefficients.coef1, coefficients.coef2, options_.thorough);

    AdxEncodedStream stream;
    stream.headerLength = headerLength;
    stream.totalSamples = static_cast<std::int32_t>(totalSamples);
    stream.frameCount = static_cast<std::int32_t>(frameCount);
    stream.coef1 = coefficients.coef1;
    stream.coef2 = coefficients.coef2;
    stream.bytes.assign(static_cast<std::size_t>(headerLength) +
                            frameBytes * static_cast<std::size_t>(frameCount),
                        0);
    std::vector<std::uint8_t>& bytes = stream.bytes;

    // Each channel on its own, padded with silence to whole blocks.
    std::vector<ChannelWork> channels(channelCount);
    const std::size_t paddedSamples = static_cast<std::size_t>(frameCount) * kAdxBlockSamples;
    for (std::size_t channel = 0; channel < channelCount; ++channel) {
        ChannelWork& work = channels[channel];
        work.samples.assign(paddedSamples, 0);
        for (std::size_t i = 0; i < static_cast<std::size_t>(totalSamples); ++i) {
            work.samples[i] = interleavedSamples[i * channelCount + channel];
        }
        work.decoded.assign(paddedSamples, 0);
        work.firstBlock = bytes.data() + headerLength + kAdxBlockBytes * channel;
        work.frameBytes = frameBytes;
        work.totalSamples = totalSamples;
        if (options_.sampleLoop) {
            const AdxSampleLoop& loop = *options_.sampleLoop;
            work.looped = true;
            work.loopStartFrame = loop.startSample / kAdxBlockSamples;
            work.loopStartTrim = static_cast<std::int32_t>(loop.startSample % kAdxBlockSamples);
            const std::int16_t* end = work.samples.data() + loop.endSample;
            work.loopEndGuess = {end[-1], loop.endSample >= 2 ? end[-2] : std::int16_t{0}};
        }
        if (options_.version == 4 && options_.chooseInitialHistory && work.looped &&
            work.loopStartFrame == 0 && work.loopStartTrim == 0) {
            // A loop from the very start: the history words can be the loop
            // end's, so that every pass starts alike.
            work.initialHistory = work.loopEndGuess;
        } else if (options_.version == 4) {
            work.initialHistory =
                options_.chooseInitialHistory
                    ? ChooseInitialHistory(encoder, work, coefficients.coef1, coefficients.coef2)
                    : AdxChannelHistory{options_.initialHistory[2 * channel],
                                        options_.initialHistory[2 * channel + 1]};
        }
    }

    // Stretches: every channel is cut into as many as there are threads per
    // channel. A stretch after the first starts from a guessed history (the
    // input before it); once the stretch before it is done, its start is
    // encoded again from the true history until the two meet.
    const std::int64_t threads =
        options_.threadCount == 0 ? std::max<std::int64_t>(1, std::thread::hardware_concurrency())
                                  : options_.threadCount;
    const std::int64_t stretchesPerChannel = std::clamp<std::int64_t>(
        (threads + static_cast<std::int64_t>(channelCount) - 1) /
            static_cast<std::int64_t>(channelCount),
        1, std::max<std::int64_t>(1, frameCount / (4 * kBoundarySearchFrames)));
    struct Stretch {
        std::size_t channel;
        std::int64_t firstFrame;
        std::int64_t endFrame;
    };
    std::vector<Stretch> stretches;
    for (std::size_t channel = 0; channel < channelCount; ++channel) {
        std::int64_t first = 0;
        for (std::int64_t s = 1; s <= stretchesPerChannel; ++s) {
            std::int64_t end = frameCount * s / stretchesPerChannel;
            if (s < stretchesPerChannel) {
                end = QuietBoundary(channels[channel], end, first + 1, frameCount - 1);
            }
            stretches.push_back({channel, first, end});
            first = end;
        }
    }
    auto runStretch = [&](const Stretch& stretch) {
        ChannelWork& work = channels[stretch.channel];
        AdxChannelHistory history = work.initialHistory;
        if (stretch.firstFrame > 0) {
            const std::int16_t* before =
                work.samples.data() + stretch.firstFrame * kAdxBlockSamples;
            history = {before[-1], before[-2]};
        }
        EncodeFrames(encoder, work, stretch.firstFrame, stretch.endFrame, history, false);
    };
    if (stretches.size() == 1) {
        runStretch(stretches[0]);
    } else {
        std::vector<std::thread> workers;
        workers.reserve(stretches.size() - 1);
        for (std::size_t i = 1; i < stretches.size(); ++i) {
            workers.emplace_back(runStretch, stretches[i]);
        }
        runStretch(stretches[0]);
        for (std::thread& worker : workers) {
            worker.join();
        }
    }
    // Hand the true history over every boundary, in order.
    auto finishChannel = [&](std::size_t channel) {
        ChannelWork& work = channels[channel];
        for (const Stretch& stretch : stretches) {
            if (stretch.channel != channel || stretch.firstFrame == 0) {
                continue;
            }
            const std::int16_t* before =
                work.decoded.data() + stretch.firstFrame * kAdxBlockSamples;
            EncodeFrames(encoder, work, stretch.firstFrame, frameCount, {before[-1], before[-2]},
                         true);
        }
        if (options_.sampleLoop) {
            const AdxLoopSeam seam(encoder, *options_.sampleLoop);
            const std::int64_t resumeFrame =
                seam.Refine(work.samples.data(), totalSamples, work.initialHistory,
                            work.decoded.data(), work.firstBlock, work.frameBytes);
            if (resumeFrame < frameCount) {
                const std::int16_t* before = work.decoded.data() + resumeFrame * kAdxBlockSamples;
                EncodeFrames(encoder, work, resumeFrame, frameCount, {before[-1], before[-2]},
                             true);
            }
        }
    };
    if (channelCount == 2 && threads > 1) {
        std::thread second(finishChannel, 1);
        finishChannel(0);
        second.join();
    } else {
        for (std::size_t channel = 0; channel < channelCount; ++channel) {
            finishChannel(channel);
        }
    }

    // Header.
    bytes[0] = 0x80;
    const std::uint32_t markerOffset = static_cast<std::uint32_t>(headerLength - 4);
    bytes[1] = static_cast<std::uint8_t>(markerOffset >> 16);
    PutU16BE(bytes, 2, markerOffset & 0xFFFF);
    bytes[0x04] = 3; // encoding type
    bytes[0x05] = kAdxBlockBytes;
    bytes[0x06] = 4; // bits per sample
    bytes[0x07] = static_cast<std::uint8_t>(channelCount);
    PutU32BE(bytes, 0x08, static_cast<std::uint32_t>(options_.sampleRate));
    PutU32BE(bytes, 0x0C, static_cast<std::uint32_t>(totalSamples));
    PutU16BE(bytes, 0x10, static_cast<std::uint32_t>(options_.cutoffFrequency));
    bytes[0x12] = static_cast<std::uint8_t>(options_.version);
    bytes[0x13] = 0; // flags: a loop table follows
    std::size_t tableStart = 0x14;
    if (options_.version == 4) {
        for (std::size_t channel = 0; channel < channelCount; ++channel) {
            const AdxChannelHistory& history = channels[channel].initialHistory;
            PutU16BE(bytes, 0x18 + 4 * channel, static_cast<std::uint16_t>(history.prev1));
            PutU16BE(bytes, 0x1A + 4 * channel, static_cast<std::uint16_t>(history.prev2));
        }
        tableStart = 0x20;
    }
    std::vector<AdxLoopPoint> records = options_.loops;
    if (options_.sampleLoop) {
        records.push_back(loopRecord);
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        const AdxLoopPoint& loop = records[i];
        const std::size_t record = tableStart + kLoopRecordBytes * i;
        // The presence word's second byte is the start trim; its last byte
        // keeps the word non-zero whatever the trim.
        bytes[record + 1] = static_cast<std::uint8_t>(loop.startTrim);
        bytes[record + 3] = 1;
        bytes[record + 5] = static_cast<std::uint8_t>(loop.endTrim);
        PutU32BE(bytes, record + 8, static_cast<std::uint32_t>(loop.startSample));
        PutU32BE(bytes, record + 12, static_cast<std::uint32_t>(loop.startByte));
        PutU32BE(bytes, record + 16, static_cast<std::uint32_t>(loop.endSample));
        PutU32BE(bytes, record + 20, static_cast<std::uint32_t>(loop.endByte));
    }
    std::copy(kMarker, kMarker + kMarkerBytes, bytes.begin() + (headerLength - kMarkerBytes));

    if (options_.fillDecoded) {
        stream.decoded.resize(static_cast<std::size_t>(totalSamples) * channelCount);
        for (std::size_t channel = 0; channel < channelCount; ++channel) {
            const std::vector<std::int16_t>& decoded = channels[channel].decoded;
            for (std::size_t i = 0; i < static_cast<std::size_t>(totalSamples); ++i) {
                stream.decoded[i * channelCount + channel] = decoded[i];
            }
        }
    }
    out = std::move(stream);
    return AdxEncodeStatus::kOk;
}

AdxLoopPoint AdxEncoder::MakeLoopPoint(std::int32_t startSample, std::int32_t endSample,
                                       std::int32_t headerLength, std::int32_t channelCount) {
    const std::int32_t frameBytes = kAdxBlockBytes * channelCount;
    AdxLoopPoint loop;
    loop.startSample = startSample;
    loop.startByte = headerLength + (startSample / kAdxBlockSamples) * frameBytes;
    loop.startTrim = startSample % kAdxBlockSamples;
    loop.endSample = endSample;
    loop.endByte = headerLength + (endSample / kAdxBlockSamples) * frameBytes;
    loop.endTrim = 0;
    return loop;
}

AdxLoopPoint AdxEncoder::MakeSampleLoopPoint(const AdxSampleLoop& loop, std::int32_t headerLength,
                                             std::int32_t channelCount) {
    const std::int32_t last = static_cast<std::int32_t>(loop.endSample - 1);
    AdxLoopPoint record = MakeLoopPoint(static_cast<std::int32_t>(loop.startSample), last,
                                        headerLength, channelCount);
    // A pass ends at endSample + 32 - endTrim: one past the last sample.
    record.endTrim = kAdxBlockSamples - 1;
    return record;
}

const char* AdxEncoder::StatusText(AdxEncodeStatus status) {
    switch (status) {
    case AdxEncodeStatus::kOk:
        return "ok";
    case AdxEncodeStatus::kInvalidOptions:
        return "invalid encoder options";
    case AdxEncodeStatus::kEmptyInput:
        return "no whole sample frames to encode";
    case AdxEncodeStatus::kTooLong:
        return "too long for an ADX stream";
    case AdxEncodeStatus::kLoopOutsideStream:
        return "loop outside the stream";
    case AdxEncodeStatus::kLoopEndNotAfterStart:
        return "loop end not after its start";
    }
    return "unknown status";
}

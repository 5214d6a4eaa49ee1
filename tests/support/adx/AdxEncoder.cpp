#include "AdxEncoder.h"

#include "adx/AdxCoefficients.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

constexpr std::int32_t kBlockBytes = 18;
constexpr std::int32_t kBlockSamples = 32;
constexpr std::int32_t kMaxMultiplier = 0x1FFF;
constexpr std::int32_t kLoopRecordBytes = 24;
constexpr char kMarker[] = "(c)CRI";
constexpr std::int32_t kMarkerBytes = 6;

void PutU16BE(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

void PutU32BE(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    PutU16BE(bytes, offset, value >> 16);
    PutU16BE(bytes, offset + 2, value & 0xFFFF);
}

std::int32_t Saturate16(std::int32_t value) {
    return std::clamp(value, -32768, 32767);
}

// One channel's encoder state: the decoder's history as the decoder will
// see it, so that the quantiser works on what will really be decoded.
struct ChannelState {
    std::int32_t prev1 = 0;
    std::int32_t prev2 = 0;
};

struct BlockChoice {
    std::int32_t multiplier = 1;
    std::int64_t squaredError = std::numeric_limits<std::int64_t>::max();
    std::array<std::int32_t, kBlockSamples> codes{};
    std::array<std::int16_t, kBlockSamples> decoded{};
    ChannelState end;
};

// Quantises one block with one multiplier, closed loop: every code is chosen
// against the prediction from the samples already reconstructed.
BlockChoice TryMultiplier(const std::int32_t* samples, std::int32_t multiplier, ChannelState state,
                          std::int32_t coef1, std::int32_t coef2) {
    BlockChoice choice;
    choice.multiplier = multiplier;
    choice.squaredError = 0;
    for (std::int32_t i = 0; i < kBlockSamples; ++i) {
        const std::int32_t prediction = (coef1 * state.prev1 + coef2 * state.prev2) >> 12;
        const std::int32_t residual = samples[i] - prediction;
        // Round to nearest.
        std::int32_t code =
            (2 * residual + (residual >= 0 ? multiplier : -multiplier)) / (2 * multiplier);
        code = std::clamp(code, -8, 7);
        const std::int32_t value = Saturate16(code * multiplier + prediction);
        const std::int64_t error = samples[i] - value;
        choice.squaredError += error * error;
        choice.codes[i] = code;
        choice.decoded[i] = static_cast<std::int16_t>(value);
        state.prev2 = state.prev1;
        state.prev1 = value;
    }
    choice.end = state;
    return choice;
}

BlockChoice EncodeBlock(const std::int32_t* samples, ChannelState state, std::int32_t coef1,
                        std::int32_t coef2) {
    // Start from the largest open-loop residual over 7 and search around it.
    std::int32_t peak = 0;
    ChannelState openLoop = state;
    for (std::int32_t i = 0; i < kBlockSamples; ++i) {
        const std::int32_t prediction = (coef1 * openLoop.prev1 + coef2 * openLoop.prev2) >> 12;
        peak = std::max(peak, std::abs(samples[i] - prediction));
        openLoop.prev2 = openLoop.prev1;
        openLoop.prev1 = samples[i];
    }
    const std::int32_t estimate = std::clamp((peak + 6) / 7, 1, kMaxMultiplier);
    static constexpr std::int32_t kEighths[] = {4, 6, 7, 8, 9, 10, 12, 16, 24};
    BlockChoice best;
    for (const std::int32_t eighths : kEighths) {
        const std::int32_t multiplier = std::clamp(estimate * eighths / 8, 1, kMaxMultiplier);
        BlockChoice choice = TryMultiplier(samples, multiplier, state, coef1, coef2);
        if (choice.squaredError < best.squaredError) {
            best = choice;
        }
    }
    return best;
}

void WriteBlock(const BlockChoice& choice, std::uint8_t* block) {
    // The decoder's multiplier is the scale word plus one.
    const std::uint32_t scaleWord = static_cast<std::uint32_t>(choice.multiplier - 1);
    block[0] = static_cast<std::uint8_t>(scaleWord >> 8);
    block[1] = static_cast<std::uint8_t>(scaleWord);
    for (std::int32_t i = 0; i < kBlockSamples; i += 2) {
        const std::uint32_t high = static_cast<std::uint32_t>(choice.codes[i]) & 0xF;
        const std::uint32_t low = static_cast<std::uint32_t>(choice.codes[i + 1]) & 0xF;
        block[2 + i / 2] = static_cast<std::uint8_t>((high << 4) | low);
    }
}

} // namespace

AdxEncoder::AdxEncoder(const AdxEncoderOptions& options) : options_(options) {}

std::int32_t AdxEncoder::HeaderLength() const {
    if ((options_.channelCount != 1 && options_.channelCount != 2) || options_.sampleRate <= 0 ||
        options_.cutoffFrequency < 0 || options_.cutoffFrequency > 0xFFFF ||
        (options_.version != 3 && options_.version != 4)) {
        return 0;
    }
    const std::int64_t tableStart = options_.version == 4 ? 0x20 : 0x14;
    const std::int64_t smallest =
        tableStart + kLoopRecordBytes * static_cast<std::int64_t>(options_.loops.size()) +
        kMarkerBytes;
    if (options_.headerLength == 0) {
        return smallest <= 0xFFFFFF + 4 ? static_cast<std::int32_t>(smallest) : 0;
    }
    if (options_.headerLength < smallest || options_.headerLength > 0xFFFFFF + 4) {
        return 0;
    }
    return options_.headerLength;
}

bool AdxEncoder::Encode(const std::vector<std::int16_t>& interleavedSamples,
                        AdxEncodedStream& out) const {
    const std::int32_t headerLength = HeaderLength();
    const std::size_t channelCount = static_cast<std::size_t>(options_.channelCount);
    if (headerLength == 0 || interleavedSamples.size() % channelCount != 0 ||
        interleavedSamples.size() / channelCount > 0x7FFFFFFF) {
        return false;
    }
    const std::int32_t totalSamples =
        static_cast<std::int32_t>(interleavedSamples.size() / channelCount);
    const std::int32_t frameCount = (totalSamples + kBlockSamples - 1) / kBlockSamples;
    const AdxCoefficients coefficients =
        ComputeAdxCoefficients(options_.sampleRate, options_.cutoffFrequency);

    AdxEncodedStream stream;
    stream.headerLength = headerLength;
    stream.totalSamples = totalSamples;
    stream.frameCount = frameCount;
    stream.coef1 = coefficients.coef1;
    stream.coef2 = coefficients.coef2;
    const std::size_t frameBytes = kBlockBytes * channelCount;
    stream.bytes.assign(static_cast<std::size_t>(headerLength) + frameBytes * frameCount, 0);

    // Header.
    std::vector<std::uint8_t>& bytes = stream.bytes;
    bytes[0] = 0x80;
    const std::uint32_t markerOffset = static_cast<std::uint32_t>(headerLength - 4);
    bytes[1] = static_cast<std::uint8_t>(markerOffset >> 16);
    PutU16BE(bytes, 2, markerOffset & 0xFFFF);
    bytes[0x04] = 3; // encoding type
    bytes[0x05] = kBlockBytes;
    bytes[0x06] = 4; // bits per sample
    bytes[0x07] = static_cast<std::uint8_t>(channelCount);
    PutU32BE(bytes, 0x08, static_cast<std::uint32_t>(options_.sampleRate));
    PutU32BE(bytes, 0x0C, static_cast<std::uint32_t>(totalSamples));
    PutU16BE(bytes, 0x10, static_cast<std::uint32_t>(options_.cutoffFrequency));
    bytes[0x12] = static_cast<std::uint8_t>(options_.version);
    bytes[0x13] = 0; // flags: a loop table follows
    std::array<ChannelState, 2> states{};
    std::size_t tableStart = 0x14;
    if (options_.version == 4) {
        for (std::size_t i = 0; i < 4; ++i) {
            PutU16BE(bytes, 0x18 + 2 * i, static_cast<std::uint16_t>(options_.initialHistory[i]));
        }
        states[0] = {options_.initialHistory[0], options_.initialHistory[1]};
        states[1] = {options_.initialHistory[2], options_.initialHistory[3]};
        tableStart = 0x20;
    }
    for (std::size_t i = 0; i < options_.loops.size(); ++i) {
        const AdxLoopPoint& loop = options_.loops[i];
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

    // Frames.
    stream.decoded.assign(static_cast<std::size_t>(totalSamples) * channelCount, 0);
    std::array<std::int32_t, kBlockSamples> blockSamples{};
    for (std::int32_t frame = 0; frame < frameCount; ++frame) {
        std::uint8_t* frameStart = bytes.data() + headerLength + frameBytes * frame;
        const std::int32_t firstSample = frame * kBlockSamples;
        const std::int32_t samplesInFrame = std::min(kBlockSamples, totalSamples - firstSample);
        for (std::size_t channel = 0; channel < channelCount; ++channel) {
            blockSamples.fill(0);
            for (std::int32_t i = 0; i < samplesInFrame; ++i) {
                blockSamples[i] = interleavedSamples[(firstSample + i) * channelCount + channel];
            }
            const BlockChoice choice = EncodeBlock(blockSamples.data(), states[channel],
                                                   coefficients.coef1, coefficients.coef2);
            WriteBlock(choice, frameStart + kBlockBytes * channel);
            states[channel] = choice.end;
            for (std::int32_t i = 0; i < samplesInFrame; ++i) {
                stream.decoded[(firstSample + i) * channelCount + channel] = choice.decoded[i];
            }
        }
    }
    out = std::move(stream);
    return true;
}

AdxLoopPoint AdxEncoder::MakeLoopPoint(std::int32_t startSample, std::int32_t endSample,
                                       std::int32_t headerLength, std::int32_t channelCount) {
    const std::int32_t frameBytes = kBlockBytes * channelCount;
    AdxLoopPoint loop;
    loop.startSample = startSample;
    loop.startByte = headerLength + (startSample / kBlockSamples) * frameBytes;
    loop.startTrim = startSample % kBlockSamples;
    loop.endSample = endSample;
    loop.endByte = headerLength + (endSample / kBlockSamples) * frameBytes;
    loop.endTrim = 0;
    return loop;
}

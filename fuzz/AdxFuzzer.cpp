// libFuzzer target over the ADX core: the header parser (with the input as
// a whole header and with the length its prefix gives) and the four decoding
// routines, with property checks between them. Output buffers are sized
// exactly, so AddressSanitizer sees any write past what a call may produce.
#include "FuzzCheck.h"
#include "adx/AdxCoefficients.h"
#include "adx/AdxDecoder.h"
#include "adx/AdxHeader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace {

void CheckParse(std::int32_t headerLength, const std::uint8_t* bytes) {
    AdxHeader header;
    header.loops.resize(2); // must be gone whatever the outcome
    header.sampleRate = -7;
    const int result = ParseAdxHeader(headerLength, bytes, header);
    FUZZ_CHECK(result == kAdxHeaderAccepted || result == kAdxHeaderRejected);
    if (result == kAdxHeaderRejected) {
        FUZZ_CHECK(header.loops.empty());
        FUZZ_CHECK(header.sampleRate == -7);
        return;
    }
    // What the rest of the system divides by is never zero.
    FUZZ_CHECK(header.bitsPerSample > 0 && header.channelCount > 0 && header.blockSize > 2);
    FUZZ_CHECK(header.samplesPerBlock > 0 && header.sampleRate > 0);
    FUZZ_CHECK(header.dataOffset == headerLength);
    FUZZ_CHECK(header.coef1 >= 0 && header.coef1 <= 8192);
    FUZZ_CHECK(header.coef2 >= -4096 && header.coef2 <= 0);
    FUZZ_CHECK(header.loops.size() * 24 <= static_cast<std::size_t>(headerLength));
    for (const AdxLoopPoint& loop : header.loops) {
        FUZZ_CHECK(loop.startTrim >= 0 && loop.startTrim <= 255);
        FUZZ_CHECK(loop.endTrim >= 0 && loop.endTrim <= 255);
    }
}

void FuzzHeader(const std::uint8_t* data, std::size_t size) {
    if (size <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        CheckParse(static_cast<std::int32_t>(size), data);
    }
    if (size >= static_cast<std::size_t>(kAdxPrefixBytes)) {
        const std::optional<std::int32_t> headerLength = AdxHeaderLength(data);
        FUZZ_CHECK(headerLength.has_value() == (data[0] == 0x80));
        if (headerLength && static_cast<std::size_t>(*headerLength) <= size) {
            CheckParse(*headerLength, data);
        }
    }
}

// The parameters of the decoding calls come from the first bytes.
struct DecodeParameters {
    std::int16_t coef1;
    std::int16_t coef2;
    AdxChannelHistory histories[2];
    std::int32_t start;
    std::int32_t end;
};
constexpr std::size_t kParameterBytes = 14;

std::int16_t ReadI16(const std::uint8_t* bytes) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]));
}

// Mostly just around the frame's 0..32, sometimes anywhere.
std::int32_t ReadIndex(std::uint8_t byte) {
    return byte >= 0xF0 ? static_cast<std::int8_t>(byte) * 1000 : byte % 40 - 4;
}

std::unique_ptr<std::int16_t[]> Samples(std::size_t count) {
    return std::unique_ptr<std::int16_t[]>(new std::int16_t[count]);
}

bool SameHistory(const AdxChannelHistory& a, const AdxChannelHistory& b) {
    return a.prev1 == b.prev1 && a.prev2 == b.prev2;
}

void FuzzWholeFrames(const DecodeParameters& p, const std::uint8_t* frames, std::size_t bytes) {
    const std::int32_t monoFrames = static_cast<std::int32_t>(bytes / kAdxBlockBytes);
    auto mono = Samples(static_cast<std::size_t>(monoFrames) * 32);
    AdxChannelHistory history = p.histories[0];
    std::int32_t bytesProduced = -1;
    AdxDecodeStatus status =
        DecodeFramesMono(mono.get(), frames, monoFrames, history, p.coef1, p.coef2, bytesProduced);
    FUZZ_CHECK(status == kAdxDecodeOk || status == kAdxDecodeScaleBit15);
    FUZZ_CHECK(bytesProduced % 64 == 0 && bytesProduced <= monoFrames * 64);
    FUZZ_CHECK(status != kAdxDecodeOk || bytesProduced == monoFrames * 64);
    FUZZ_CHECK(status == kAdxDecodeOk || SameHistory(history, p.histories[0]));

    const std::int32_t stereoFrames = static_cast<std::int32_t>(bytes / (2 * kAdxBlockBytes));
    auto stereo = Samples(static_cast<std::size_t>(stereoFrames) * 64);
    AdxChannelHistory left = p.histories[0], right = p.histories[1];
    bytesProduced = -1;
    status = DecodeFramesStereo(stereo.get(), frames, stereoFrames, left, right, p.coef1, p.coef2,
                                bytesProduced);
    FUZZ_CHECK(status == kAdxDecodeOk || status == kAdxDecodeScaleBit15);
    FUZZ_CHECK(bytesProduced % 128 == 0 && bytesProduced <= stereoFrames * 128);
    FUZZ_CHECK(status != kAdxDecodeOk || bytesProduced == stereoFrames * 128);
    FUZZ_CHECK(status == kAdxDecodeOk ||
               (SameHistory(left, p.histories[0]) && SameHistory(right, p.histories[1])));
}

// One frame as given by the parameters' range, and the whole frame compared
// with two partial calls split at the range's start.
void FuzzPartialFrame(const DecodeParameters& p, const std::uint8_t* frame,
                      std::int32_t channelCount) {
    const bool valid = p.start == p.end || (p.start >= 0 && p.start <= 31 && p.end >= 1 &&
                                            p.end <= 32 && p.start <= p.end);
    const std::size_t expectedSamples =
        p.start < p.end && valid ? static_cast<std::size_t>(p.end - p.start) * channelCount : 0;
    auto output = Samples(expectedSamples);
    AdxChannelHistory histories[2] = {p.histories[0], p.histories[1]};
    std::int32_t bytesProduced = -1;
    AdxDecodeStatus status =
        channelCount == 1
            ? DecodePartialFrameMono(output.get(), frame, p.start, p.end, histories[0], p.coef1,
                                     p.coef2, bytesProduced)
            : DecodePartialFrameStereo(output.get(), frame, p.start, p.end, histories[0],
                                       histories[1], p.coef1, p.coef2, bytesProduced);
    FUZZ_CHECK(valid ? status != kAdxDecodeRangeOutOfBounds : status == kAdxDecodeRangeOutOfBounds);
    FUZZ_CHECK(bytesProduced ==
               (status == kAdxDecodeOk ? static_cast<std::int32_t>(expectedSamples * 2) : 0));

    const std::int32_t split = p.start < 0 ? 0 : (p.start > 32 ? 32 : p.start);
    auto whole = Samples(32u * channelCount);
    auto pieces = Samples(32u * channelCount);
    AdxChannelHistory wholeHistories[2] = {p.histories[0], p.histories[1]};
    AdxChannelHistory pieceHistories[2] = {p.histories[0], p.histories[1]};
    std::int32_t wholeBytes = 0, firstBytes = 0, secondBytes = 0;
    AdxDecodeStatus wholeStatus, firstStatus, secondStatus;
    if (channelCount == 1) {
        wholeStatus = DecodeFramesMono(whole.get(), frame, 1, wholeHistories[0], p.coef1, p.coef2,
                                       wholeBytes);
        firstStatus = DecodePartialFrameMono(pieces.get(), frame, 0, split, pieceHistories[0],
                                             p.coef1, p.coef2, firstBytes);
        secondStatus = DecodePartialFrameMono(pieces.get() + split, frame, split, 32,
                                              pieceHistories[0], p.coef1, p.coef2, secondBytes);
    } else {
        wholeStatus = DecodeFramesStereo(whole.get(), frame, 1, wholeHistories[0],
                                         wholeHistories[1], p.coef1, p.coef2, wholeBytes);
        firstStatus = DecodePartialFrameStereo(pieces.get(), frame, 0, split, pieceHistories[0],
                                               pieceHistories[1], p.coef1, p.coef2, firstBytes);
        secondStatus =
            DecodePartialFrameStereo(pieces.get() + 2 * split, frame, split, 32, pieceHistories[0],
                                     pieceHistories[1], p.coef1, p.coef2, secondBytes);
    }
    if (wholeStatus != kAdxDecodeOk) {
        FUZZ_CHECK(firstStatus == wholeStatus || secondStatus == wholeStatus);
        return;
    }
    FUZZ_CHECK(firstStatus == kAdxDecodeOk && secondStatus == kAdxDecodeOk);
    FUZZ_CHECK(firstBytes + secondBytes == wholeBytes);
    FUZZ_CHECK(std::memcmp(whole.get(), pieces.get(), 64u * channelCount) == 0);
    for (int channel = 0; channel < channelCount; ++channel) {
        FUZZ_CHECK(SameHistory(wholeHistories[channel], pieceHistories[channel]));
    }
}

void FuzzDecoder(const std::uint8_t* data, std::size_t size) {
    if (size < kParameterBytes) {
        return;
    }
    DecodeParameters p;
    p.coef1 = ReadI16(data);
    p.coef2 = ReadI16(data + 2);
    p.histories[0] = {ReadI16(data + 4), ReadI16(data + 6)};
    p.histories[1] = {ReadI16(data + 8), ReadI16(data + 10)};
    p.start = ReadIndex(data[12]);
    p.end = ReadIndex(data[13]);
    const std::uint8_t* frames = data + kParameterBytes;
    const std::size_t frameBytes = size - kParameterBytes;

    FuzzWholeFrames(p, frames, frameBytes);
    if (frameBytes >= static_cast<std::size_t>(kAdxBlockBytes)) {
        FuzzPartialFrame(p, frames, 1);
    }
    if (frameBytes >= 2 * static_cast<std::size_t>(kAdxBlockBytes)) {
        FuzzPartialFrame(p, frames, 2);
    }
    // Every coefficient pair the header parser can produce stays in range.
    const std::uint32_t rateBits = (static_cast<std::uint32_t>(data[4]) << 24) |
                                   (static_cast<std::uint32_t>(data[5]) << 16) |
                                   (static_cast<std::uint32_t>(data[0]) << 8) | data[1];
    const AdxCoefficients coefficients = ComputeAdxCoefficients(
        static_cast<std::int32_t>(rateBits & 0x7FFFFFFF), static_cast<std::uint16_t>(p.coef2));
    FUZZ_CHECK(coefficients.coef1 >= 0 && coefficients.coef1 <= 8192);
    FUZZ_CHECK(coefficients.coef2 >= -4096 && coefficients.coef2 <= 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzHeader(data, size);
    FuzzDecoder(data, size);
    return 0;
}

#include "ChainFixtures.h"

#include "TestSignal.h"

#include <algorithm>

namespace chaintest {

AdxEncodedStream EncodeStream(const StreamParams& params) {
    AdxEncoderOptions options;
    options.channelCount = params.channelCount;
    options.sampleRate = params.sampleRate;
    options.version = params.version;
    options.initialHistory = params.history;
    options.loops = params.loops;
    options.headerLength = params.headerLength;
    std::vector<std::int16_t> signal;
    switch (params.signal) {
    case Signal::kTone:
        signal = MakeToneSignal(params.channelCount, params.sampleRate, params.totalSamples, 440.0,
                                12000);
        break;
    case Signal::kSweep:
        signal = MakeSweepSignal(params.channelCount, params.sampleRate, params.totalSamples, 40.0,
                                 15000.0, 30000);
        break;
    case Signal::kNoise:
        signal = MakeNoiseSignal(params.channelCount, params.totalSamples, 20000, 7);
        break;
    }
    AdxEncodedStream encoded;
    EXPECT_TRUE(AdxEncoder(options).Encode(signal, encoded) == AdxEncodeStatus::kOk);
    return encoded;
}

bool CoreDecoder::Load(const std::vector<std::uint8_t>& stream) {
    if (stream.size() < static_cast<size_t>(kAdxPrefixBytes)) {
        return false;
    }
    const std::optional<std::int32_t> headerLength = AdxHeaderLength(stream.data());
    if (!headerLength || static_cast<size_t>(*headerLength) > stream.size() ||
        ParseAdxHeader(*headerLength, stream.data(), header_) != kAdxHeaderAccepted) {
        return false;
    }
    const size_t frameBytes = static_cast<size_t>(kAdxBlockBytes) * header_.channelCount;
    frames_ = stream.data() + header_.dataOffset;
    frameCount_ = static_cast<std::int32_t>((stream.size() - header_.dataOffset) / frameBytes);
    Reset();
    return true;
}

void CoreDecoder::Reset() {
    for (int channel = 0; channel < 2; ++channel) {
        history_[channel].prev1 = static_cast<std::int16_t>(header_.extraWords[2 * channel]);
        history_[channel].prev2 = static_cast<std::int16_t>(header_.extraWords[2 * channel + 1]);
    }
}

bool CoreDecoder::Decode(std::int64_t first, std::int64_t end, std::vector<std::int16_t>& pcm) {
    const std::int32_t channels = header_.channelCount;
    const std::int64_t frameBytes = std::int64_t{kAdxBlockBytes} * channels;
    if (first < 0 || end > std::int64_t{frameCount_} * kAdxBlockSamples) {
        return false;
    }
    std::int16_t out[kAdxBlockSamples * 2];
    const auto c1 = static_cast<std::int16_t>(header_.coef1);
    const auto c2 = static_cast<std::int16_t>(header_.coef2);
    for (std::int64_t sample = first; sample < end;) {
        const std::int64_t frame = sample / kAdxBlockSamples;
        const auto start = static_cast<std::int32_t>(sample % kAdxBlockSamples);
        const auto stop =
            static_cast<std::int32_t>(std::min<std::int64_t>(end - frame * kAdxBlockSamples, 32));
        const std::uint8_t* input = frames_ + frame * frameBytes;
        std::int32_t bytes = 0;
        AdxDecodeStatus status = kAdxDecodeOk;
        if (start == 0 && stop == kAdxBlockSamples) {
            status = channels == 2 ? DecodeFramesStereo(out, input, 1, history_[0], history_[1], c1,
                                                        c2, bytes)
                                   : DecodeFramesMono(out, input, 1, history_[0], c1, c2, bytes);
        } else {
            status = channels == 2 ? DecodePartialFrameStereo(out, input, start, stop, history_[0],
                                                              history_[1], c1, c2, bytes)
                                   : DecodePartialFrameMono(out, input, start, stop, history_[0],
                                                            c1, c2, bytes);
        }
        if (status != kAdxDecodeOk) {
            return false;
        }
        pcm.insert(pcm.end(), out, out + bytes / 2);
        sample = frame * kAdxBlockSamples + stop;
    }
    return true;
}

std::vector<std::int16_t> DecodeDirect(const std::vector<std::uint8_t>& stream) {
    std::vector<std::int16_t> pcm;
    CoreDecoder decoder;
    if (decoder.Load(stream)) {
        const std::int64_t end = std::min<std::int64_t>(
            decoder.Header().totalSamples, std::int64_t{decoder.FrameCount()} * kAdxBlockSamples);
        EXPECT_TRUE(decoder.Decode(0, end, pcm));
    }
    return pcm;
}

} // namespace chaintest

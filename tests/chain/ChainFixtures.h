// The playback chain's fixtures: ADX streams from the fixture encoder, and
// what the ADX core itself decodes from them, as the golden PCM that the
// graph (file source -> parser -> decoder -> sink) must deliver.
#pragma once

#include "adx/AdxEncoder.h"
#include "CaptureSink.h"
#include "ComTest.h"
#include "GraphHelpers.h"
#include "GraphFixture.h"
#include "TempFile.h"

#include "adx/AdxDecoder.h"
#include "adx/AdxHeader.h"

#include <array>
#include <cstdint>
#include <vector>

namespace chaintest {

using testgraph::CapturedSample;
using testgraph::CaptureOptions;
using testgraph::CapturePin;
using testgraph::ComTest;
using testgraph::Concatenate;
using testgraph::FirstMismatch;
using testgraph::GraphFixture;
using testgraph::PlaybackOptions;
using testgraph::TempFile;
using testgraph::ToPcm;

constexpr DWORD kWaitMs = 10000;

enum class Signal { kTone, kSweep, kNoise };

struct StreamParams {
    std::int32_t channelCount = 2;
    std::int32_t sampleRate = 44100;
    std::int32_t version = 3;
    std::array<std::int16_t, 4> history{}; // version 4 only
    std::int32_t totalSamples = 44100;
    Signal signal = Signal::kSweep;
    std::vector<AdxLoopPoint> loops;
    std::int32_t headerLength = 0; // 0: the encoder's own choice
};

// The stream the fixture encoder makes for `params`.
AdxEncodedStream EncodeStream(const StreamParams& params);

// The ADX core's decoder over the frames of one stream, with the running
// prediction history that the decoder filter keeps between samples.
class CoreDecoder {
public:
    // `stream` holds the header and the frames (possibly fewer than the
    // header counts); false when the header does not parse.
    bool Load(const std::vector<std::uint8_t>& stream);

    const AdxHeader& Header() const { return header_; }
    // Whole frames present in the stream.
    std::int32_t FrameCount() const { return frameCount_; }
    // Back to the stream's initial history.
    void Reset();
    // Appends samples [first, end) per channel (interleaved) to `pcm`,
    // starting from the current history and leaving it after sample end - 1;
    // false when a routine fails or the range leaves the frames present.
    bool Decode(std::int64_t first, std::int64_t end, std::vector<std::int16_t>& pcm);

private:
    AdxHeader header_;
    const std::uint8_t* frames_ = nullptr;
    std::int32_t frameCount_ = 0;
    AdxChannelHistory history_[2];
};

// The stream as the ADX core decodes it from the start: every sample up to
// the total, or up to the last whole frame present when the data is short.
std::vector<std::int16_t> DecodeDirect(const std::vector<std::uint8_t>& stream);

// The PCM that arrived at the sink.
inline std::vector<std::int16_t> CapturedPcm(const std::vector<CapturedSample>& samples,
                                             size_t first = 0) {
    return ToPcm(Concatenate(samples, first));
}

// The options for a file source -> parser -> decoder -> CaptureSink graph.
inline PlaybackOptions ChainToSink() {
    PlaybackOptions options;
    options.decoder = true;
    return options;
}

} // namespace chaintest

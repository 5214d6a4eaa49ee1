// The parser suite's fixtures: tone streams from the fixture encoder, played
// through the shared playback graph (the runtime's file source -> ParserFilter
// -> CaptureSink, without a clock).
#pragma once

#include "adx/AdxEncoder.h"
#include "CaptureSink.h"
#include "ComTest.h"
#include "GraphHelpers.h"
#include "GraphFixture.h"
#include "TempFile.h"

#include "framework/com/ComPtr.h"
#include "parser/ParserFilter.h"

#include <cstdint>
#include <vector>

namespace parsertest {

using testgraph::CapturedSample;
using testgraph::CaptureOptions;
using testgraph::CapturePin;
using testgraph::ComTest;
using testgraph::Concatenate;
using testgraph::CreateFilter;
using testgraph::FirstMismatch;
using testgraph::GraphFixture;
using testgraph::PlaybackOptions;
using testgraph::TempFile;

struct StreamParams {
    std::int32_t channelCount = 2;
    std::int32_t sampleRate = 44100;
    std::int32_t version = 3;
    std::int32_t totalSamples = 20011;
    std::vector<AdxLoopPoint> loops;
};

// An encoded stream (a tone) as the fixture encoder makes it.
AdxEncodedStream EncodeStream(const StreamParams& params);
// The header length of such a stream with a table of one loop record (the
// length depends on the table's size, not its contents).
std::int32_t OneLoopHeaderLength(const StreamParams& params);

// Options for a graph whose sink is set up as `capture` says.
inline PlaybackOptions WithCapture(const CaptureOptions& capture) {
    PlaybackOptions options;
    options.capture = capture;
    return options;
}

// A sink that asks for two small buffers (ten frames each) and keeps every
// sample until it stops: the parser soon waits for a third buffer.
inline CaptureOptions HoldingBothBuffers() {
    CaptureOptions capture;
    capture.bufferBytes = 360;
    capture.bufferCount = 2;
    capture.holdSamples = true;
    return capture;
}

} // namespace parsertest

// The module's playback graph in the runtime's own filter graph: the
// runtime's file source (CLSID_AsyncReader) holding a fixture file, a
// ParserFilter, optionally a DecoderFilter, and at the end a CaptureSink or
// one of the runtime's renderers. Without a clock unless asked for one.
// corvina-play's one PlaybackGraph builds it; this fixture lays its pins
// and faces open for the tests to drive.
#pragma once

#include "CaptureSink.h"

#include "framework/com/ComPtr.h"
#include "tools/corvina-play/playback/PlaybackGraph.h"

#include <corvina.h>

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <string>

namespace testgraph {

struct PlaybackOptions {
    bool decoder = false; // a DecoderFilter between the parser and the end
    // A runtime renderer at the end instead of the CaptureSink (GUID_NULL).
    CLSID renderer = GUID_NULL;
    bool clock = false; // keep the graph's reference clock; none otherwise
    CaptureOptions capture;
};

// Not copyable, as the graph it holds is not.
class GraphFixture {
public:
    // Stops the graph (bounded) when a test ends early while it runs.
    ~GraphFixture();

    // Adds the file source (loaded with `path`), the parser, the decoder
    // when asked for, and the end filter. The parser's pins exist
    // afterwards; nothing is connected yet.
    void Build(const std::wstring& path, const PlaybackOptions& options = {});
    // Connects file source -> parser, then the rest.
    void ConnectAll();
    HRESULT ConnectInput();
    // parser -> [decoder ->] end filter.
    HRESULT ConnectOutput();

    // Stops within a bounded time; abandons the test program otherwise.
    void StopBounded();

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaSeeking> graphSeeking; // the graph's own
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> parser;
    ComPtr<IBaseFilter> decoder; // when asked for
    ComPtr<IBaseFilter> sinkFilter;
    ComPtr<IAdxParserControl> parserControl;
    ComPtr<IPin> sourceOut;
    ComPtr<IPin> parserIn;
    ComPtr<IPin> parserOut; // after ConnectInput
    ComPtr<IPin> decoderIn;
    ComPtr<IPin> decoderOut;
    ComPtr<IPin> sinkIn;
    ComPtr<IMediaSeeking> seeking; // the parser's output pin, after ConnectInput
    // The decoder's output pin (its pass-through to the parser), when the
    // decoder is there.
    ComPtr<IMediaSeeking> decoderSeeking;
    CaptureSink* sink = nullptr; // owned through sinkFilter; null with a runtime renderer

private:
    ::PlaybackGraph shared_; // holds its own references to the same graph and filters
    bool withDecoder_ = false;
};

} // namespace testgraph

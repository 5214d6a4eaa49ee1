// The parser test graphs: an ADX fixture written to a file, the runtime's own
// filter graph and file source (CLSID_AsyncReader) feeding a ParserFilter,
// and a CaptureSink behind it, without a reference clock.
#pragma once

#include "CaptureSink.h"

#include "AdxEncoder.h"
#include "framework/ComPtr.h"
#include "parser/ParserFilter.h"

#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace parsertest {

// Every test runs in a multithreaded apartment of its own.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    }
    void TearDown() override { CoUninitialize(); }
};

// A file in the temporary directory, removed again at destruction.
class TempFile {
public:
    explicit TempFile(const std::vector<std::uint8_t>& bytes);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

struct StreamParams {
    std::int32_t channelCount = 2;
    std::int32_t sampleRate = 44100;
    std::int32_t version = 3;
    std::int32_t totalSamples = 20011;
    std::vector<AdxLoopPoint> loops;
};

// An encoded stream (a tone) as the fixture encoder makes it.
AdxEncodedStream EncodeStream(const StreamParams& params);

// A ParserFilter as the module's factory hands it out: one reference.
ComPtr<IBaseFilter> MakeParser();

class ParserGraph {
public:
    ParserGraph() = default;
    // Stops the graph (bounded) when a test ends early while it runs.
    ~ParserGraph();
    ParserGraph(const ParserGraph&) = delete;
    ParserGraph& operator=(const ParserGraph&) = delete;

    // Adds the file source (loaded with `path`), the parser and the sink.
    // The parser's pins exist afterwards; nothing is connected yet.
    void Build(const std::wstring& path, const CaptureOptions& options = {});
    // Connects file source -> parser, then parser -> sink.
    void ConnectAll();
    HRESULT ConnectInput();
    HRESULT ConnectOutput();

    // Stops within a bounded time; abandons the test program otherwise.
    void StopBounded();

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> parser;
    ComPtr<IBaseFilter> sinkFilter;
    ComPtr<IAdxParserControl> parserControl;
    ComPtr<IPin> sourceOut;
    ComPtr<IPin> parserIn;
    ComPtr<IPin> parserOut; // after ConnectInput
    ComPtr<IPin> sinkIn;
    ComPtr<IMediaSeeking> seeking; // the parser's output pin, after ConnectInput
    CaptureSink* sink = nullptr;   // owned through sinkFilter
};

// Every sample's bytes, concatenated.
std::vector<std::uint8_t> Concatenate(const std::vector<CapturedSample>& samples, size_t first = 0,
                                      size_t end = SIZE_MAX);
// The index of the first byte where `actual` differs from `expected`
// (-1 when they are equal, the shorter length when one is a prefix).
long long FirstMismatch(const std::vector<std::uint8_t>& actual,
                        const std::vector<std::uint8_t>& expected);

} // namespace parsertest

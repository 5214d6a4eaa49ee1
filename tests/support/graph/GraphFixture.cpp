#include "GraphFixture.h"

#include "GraphHelpers.h"
#include "LinkedFilters.h"

#include "tests/support/BoundedWait.h"

namespace testgraph {

void GraphFixture::Build(const std::wstring& path, const PlaybackOptions& options) {
    ASSERT_HRESULT_SUCCEEDED(shared_.Create(false));
    graph = ComPtr<IGraphBuilder>(shared_.Graph());
    control = ComPtr<IMediaControl>(shared_.Control());
    events = ComPtr<IMediaEventEx>(shared_.Events());
    graphSeeking = ComPtr<IMediaSeeking>(shared_.GraphSeeking());

    ASSERT_HRESULT_SUCCEEDED(shared_.AddFileSource(path, false, L"source"));
    source = ComPtr<IBaseFilter>(shared_.Source());
    sourceOut = ComPtr<IPin>(shared_.Tail());

    const LinkedFilters filters;
    ASSERT_HRESULT_SUCCEEDED(shared_.CreateParser(filters, L"parser"));
    parser = ComPtr<IBaseFilter>(shared_.Parser());
    parserControl = ComPtr<IAdxParserControl>(shared_.ParserControl());
    ASSERT_HRESULT_SUCCEEDED(parser->FindPin(L"In", parserIn.put()));

    withDecoder_ = options.decoder;
    if (withDecoder_) {
        ASSERT_HRESULT_SUCCEEDED(shared_.CreateDecoder(filters, L"decoder"));
        decoder = ComPtr<IBaseFilter>(shared_.Decoder());
        ASSERT_HRESULT_SUCCEEDED(decoder->FindPin(L"In", decoderIn.put()));
        ASSERT_HRESULT_SUCCEEDED(decoder->FindPin(L"Out", decoderOut.put()));
        ASSERT_HRESULT_SUCCEEDED(decoderOut.query_to(decoderSeeking));
    }

    if (IsEqualGUID(options.renderer, GUID_NULL)) {
        sink = new CaptureSink(options.capture);
        sinkFilter = ComPtr<IBaseFilter>(sink->AsBaseFilter());
        sinkIn = ComPtr<IPin>(sink->Pin()->AsPin());
    } else {
        sinkFilter = CreateRuntimeFilter(options.renderer);
        ASSERT_TRUE(sinkFilter);
        sinkIn = FirstPin(sinkFilter.get(), PINDIR_INPUT);
        ASSERT_TRUE(sinkIn);
    }
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(sinkFilter.get(), L"sink"));

    if (!options.clock) {
        ASSERT_HRESULT_SUCCEEDED(shared_.RemoveClock()); // as fast as possible
    }
}

HRESULT GraphFixture::ConnectInput() {
    const HRESULT result = shared_.Connect(sourceOut.get(), parserIn.get());
    if (SUCCEEDED(result)) {
        EXPECT_HRESULT_SUCCEEDED(shared_.TakeParserOutput());
        parserOut = ComPtr<IPin>(shared_.Tail());
        seeking = ComPtr<IMediaSeeking>(shared_.ParserSeeking());
    }
    return result;
}

HRESULT GraphFixture::ConnectOutput() {
    if (!withDecoder_) {
        return shared_.Connect(parserOut.get(), sinkIn.get());
    }
    const HRESULT result = shared_.Connect(parserOut.get(), decoderIn.get());
    if (FAILED(result)) {
        return result;
    }
    return shared_.Connect(decoderOut.get(), sinkIn.get());
}

void GraphFixture::ConnectAll() {
    ASSERT_HRESULT_SUCCEEDED(ConnectInput());
    ASSERT_HRESULT_SUCCEEDED(ConnectOutput());
}

GraphFixture::~GraphFixture() {
    if (control) {
        StopBounded();
    }
}

void GraphFixture::StopBounded() {
    ::PlaybackGraph* graphToStop = &shared_;
    bounded::Within("graph Stop", [graphToStop] { (void)graphToStop->Stop(); });
}

} // namespace testgraph

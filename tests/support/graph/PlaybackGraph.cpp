#include "PlaybackGraph.h"

#include "GraphHelpers.h"

#include "decoder/DecoderFilter.h"
#include "parser/ParserFilter.h"
#include "tests/framework/BoundedWait.h"

namespace testgraph {

void PlaybackGraph::Build(const std::wstring& path, const PlaybackOptions& options) {
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IGraphBuilder, graph.put_void()));
    ASSERT_HRESULT_SUCCEEDED(graph.query_to(control));
    ASSERT_HRESULT_SUCCEEDED(graph->QueryInterface(IID_IMediaEventEx, events.put_void()));
    ASSERT_HRESULT_SUCCEEDED(graph.query_to(graphSeeking));

    source = CreateRuntimeFilter(CLSID_AsyncReader);
    ASSERT_TRUE(source);
    ComPtr<IFileSourceFilter> fileSource;
    ASSERT_HRESULT_SUCCEEDED(source.query_to(fileSource));
    ASSERT_HRESULT_SUCCEEDED(fileSource->Load(path.c_str(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(source.get(), L"source"));
    sourceOut = FirstPin(source.get(), PINDIR_OUTPUT);
    ASSERT_TRUE(sourceOut);

    parser = CreateFilter<ParserFilter>();
    ASSERT_TRUE(parser);
    ASSERT_HRESULT_SUCCEEDED(parser.query_to(parserControl));
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(parser.get(), L"parser"));
    ASSERT_HRESULT_SUCCEEDED(parser->FindPin(L"In", parserIn.put()));

    withDecoder_ = options.decoder;
    if (withDecoder_) {
        decoder = CreateFilter<DecoderFilter>();
        ASSERT_TRUE(decoder);
        ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(decoder.get(), L"decoder"));
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
        ComPtr<IMediaFilter> graphFilter;
        ASSERT_HRESULT_SUCCEEDED(graph.query_to(graphFilter));
        ASSERT_HRESULT_SUCCEEDED(graphFilter->SetSyncSource(nullptr)); // as fast as possible
    }
}

HRESULT PlaybackGraph::ConnectInput() {
    const HRESULT result = graph->ConnectDirect(sourceOut.get(), parserIn.get(), nullptr);
    if (SUCCEEDED(result)) {
        EXPECT_HRESULT_SUCCEEDED(parser->FindPin(L"Out", parserOut.put()));
        EXPECT_HRESULT_SUCCEEDED(parserOut.query_to(seeking));
    }
    return result;
}

HRESULT PlaybackGraph::ConnectOutput() {
    if (!withDecoder_) {
        return graph->ConnectDirect(parserOut.get(), sinkIn.get(), nullptr);
    }
    const HRESULT result = graph->ConnectDirect(parserOut.get(), decoderIn.get(), nullptr);
    if (FAILED(result)) {
        return result;
    }
    return graph->ConnectDirect(decoderOut.get(), sinkIn.get(), nullptr);
}

void PlaybackGraph::ConnectAll() {
    ASSERT_HRESULT_SUCCEEDED(ConnectInput());
    ASSERT_HRESULT_SUCCEEDED(ConnectOutput());
}

PlaybackGraph::~PlaybackGraph() {
    if (control) {
        StopBounded();
    }
}

void PlaybackGraph::StopBounded() {
    IMediaControl* graphControl = control.get();
    bounded::Within("graph Stop", [graphControl] { graphControl->Stop(); });
}

} // namespace testgraph

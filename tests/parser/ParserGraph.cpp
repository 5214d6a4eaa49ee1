#include "ParserGraph.h"

#include "tests/framework/BoundedWait.h"
#include "TestSignal.h"

#include <cstdio>

namespace parsertest {

TempFile::TempFile(const std::vector<std::uint8_t>& bytes) {
    WCHAR directory[MAX_PATH] = {};
    WCHAR name[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, L"adx", 0, name);
    path_ = name;
    FILE* file = _wfopen(path_.c_str(), L"wb");
    if (file != nullptr) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
}

TempFile::~TempFile() {
    DeleteFileW(path_.c_str());
}

AdxEncodedStream EncodeStream(const StreamParams& params) {
    AdxEncoderOptions options;
    options.channelCount = params.channelCount;
    options.sampleRate = params.sampleRate;
    options.version = params.version;
    options.loops = params.loops;
    options.initialHistory = {100, -50, 30, -20};
    const std::vector<std::int16_t> signal =
        MakeToneSignal(params.channelCount, params.sampleRate, params.totalSamples, 440.0, 12000);
    AdxEncodedStream encoded;
    EXPECT_TRUE(AdxEncoder(options).Encode(signal, encoded));
    return encoded;
}

ComPtr<IBaseFilter> MakeParser() {
    HRESULT result = S_OK;
    UnknownBase* object = ParserFilter::CreateInstance(nullptr, &result);
    ComPtr<IBaseFilter> filter;
    if (object == nullptr || FAILED(result)) {
        return filter;
    }
    object->InnerAddRef();
    object->InnerQueryInterface(IID_IBaseFilter, filter.put_void());
    object->InnerRelease();
    return filter;
}

void ParserGraph::Build(const std::wstring& path, const CaptureOptions& options) {
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IGraphBuilder, graph.put_void()));
    ASSERT_HRESULT_SUCCEEDED(graph.query_to(control));
    ComPtr<IMediaFilter> graphFilter;
    ASSERT_HRESULT_SUCCEEDED(graph.query_to(graphFilter));
    ASSERT_HRESULT_SUCCEEDED(graphFilter->SetSyncSource(nullptr)); // run as fast as possible

    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IBaseFilter, source.put_void()));
    ComPtr<IFileSourceFilter> fileSource;
    ASSERT_HRESULT_SUCCEEDED(source.query_to(fileSource));
    ASSERT_HRESULT_SUCCEEDED(fileSource->Load(path.c_str(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(source.get(), L"source"));
    ComPtr<IEnumPins> sourcePins;
    ASSERT_HRESULT_SUCCEEDED(source->EnumPins(sourcePins.put()));
    ASSERT_EQ(S_OK, sourcePins->Next(1, sourceOut.put(), nullptr));

    parser = MakeParser();
    ASSERT_TRUE(parser);
    ASSERT_HRESULT_SUCCEEDED(parser.query_to(parserControl));
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(parser.get(), L"parser"));
    ASSERT_HRESULT_SUCCEEDED(parser->FindPin(L"In", parserIn.put()));

    sink = new CaptureSink(options);
    sink->InnerAddRef();
    sink->InnerQueryInterface(IID_IBaseFilter, sinkFilter.put_void());
    sink->InnerRelease();
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(sinkFilter.get(), L"sink"));
    sinkIn = ComPtr<IPin>(sink->Pin()->AsPin());
}

HRESULT ParserGraph::ConnectInput() {
    const HRESULT result = graph->ConnectDirect(sourceOut.get(), parserIn.get(), nullptr);
    if (SUCCEEDED(result)) {
        EXPECT_HRESULT_SUCCEEDED(parser->FindPin(L"Out", parserOut.put()));
        EXPECT_HRESULT_SUCCEEDED(parserOut.query_to(seeking));
    }
    return result;
}

HRESULT ParserGraph::ConnectOutput() {
    return graph->ConnectDirect(parserOut.get(), sinkIn.get(), nullptr);
}

void ParserGraph::ConnectAll() {
    ASSERT_HRESULT_SUCCEEDED(ConnectInput());
    ASSERT_HRESULT_SUCCEEDED(ConnectOutput());
}

ParserGraph::~ParserGraph() {
    if (control) {
        StopBounded();
    }
}

void ParserGraph::StopBounded() {
    IMediaControl* graphControl = control.get();
    bounded::Within("graph Stop", [graphControl] { graphControl->Stop(); });
}

std::vector<std::uint8_t> Concatenate(const std::vector<CapturedSample>& samples, size_t first,
                                      size_t end) {
    std::vector<std::uint8_t> bytes;
    for (size_t i = first; i < samples.size() && i < end; ++i) {
        bytes.insert(bytes.end(), samples[i].bytes.begin(), samples[i].bytes.end());
    }
    return bytes;
}

long long FirstMismatch(const std::vector<std::uint8_t>& actual,
                        const std::vector<std::uint8_t>& expected) {
    const size_t common = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < common; ++i) {
        if (actual[i] != expected[i]) {
            return static_cast<long long>(i);
        }
    }
    return actual.size() == expected.size() ? -1 : static_cast<long long>(common);
}

} // namespace parsertest

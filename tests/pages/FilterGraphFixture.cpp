#include "tests/pages/FilterGraphFixture.h"

#include "adx/AdxEncoder.h"
#include "TestSignal.h"

#include <cstdio>

namespace {

constexpr std::int32_t kSampleRate = 44100;
constexpr std::int32_t kChannelCount = 2;

template <typename T> void ReleaseAndClear(T*& pointer) {
    if (pointer != nullptr) {
        pointer->Release();
        pointer = nullptr;
    }
}

// The first pin of `filter` in `direction`, with a reference; null if none.
IPin* FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins))) {
        return nullptr;
    }
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
            break;
        }
        ReleaseAndClear(pin);
    }
    pins->Release();
    return pin;
}

HRESULT ConnectFilters(IGraphBuilder* graph, IBaseFilter* upstream, IBaseFilter* downstream) {
    IPin* out = FirstPin(upstream, PINDIR_OUTPUT);
    IPin* in = FirstPin(downstream, PINDIR_INPUT);
    const HRESULT result =
        out != nullptr && in != nullptr ? graph->ConnectDirect(out, in, nullptr) : E_FAIL;
    ReleaseAndClear(out);
    ReleaseAndClear(in);
    return result;
}

} // namespace

bool WriteAdxFixture(const std::wstring& path, std::int32_t seconds) {
    const std::int32_t samplesPerChannel = kSampleRate * seconds;
    AdxEncoderOptions options;
    options.channelCount = kChannelCount;
    options.sampleRate = kSampleRate;
    options.loops.resize(2); // sizes the header before the loops are known
    const std::int32_t headerLength = AdxEncoder(options).HeaderLength();
    options.loops = {
        AdxEncoder::MakeLoopPoint(samplesPerChannel / 4, samplesPerChannel * 3 / 4, headerLength,
                                  kChannelCount),
        AdxEncoder::MakeLoopPoint(0, samplesPerChannel - 1, headerLength, kChannelCount)};
    AdxEncodedStream stream;
    if (AdxEncoder(options).Encode(
            MakeToneSignal(kChannelCount, kSampleRate, samplesPerChannel, 440.0, 8000), stream) !=
        AdxEncodeStatus::kOk) {
        return false;
    }
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    const bool written =
        std::fwrite(stream.bytes.data(), 1, stream.bytes.size(), file) == stream.bytes.size();
    return std::fclose(file) == 0 && written;
}

std::string FilterGraphFixture::Build(const LoadedModule& module, const std::wstring& path) {
    if (!WriteAdxFixture(path, 4)) {
        return "cannot write the fixture file";
    }
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph)))) {
        return "no filter graph";
    }
    if (FAILED(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&source)))) {
        return "no file source";
    }
    IFileSourceFilter* file = nullptr;
    source->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&file));
    const HRESULT loaded = file != nullptr ? file->Load(path.c_str(), nullptr) : E_NOINTERFACE;
    ReleaseAndClear(file);
    if (FAILED(loaded)) {
        return "the file source cannot open the fixture";
    }
    if (FAILED(module.Create(CLSID_AdxParserFilter, IID_IBaseFilter,
                             reinterpret_cast<void**>(&parser)))) {
        return "no parser";
    }
    if (FAILED(graph->AddFilter(source, L"source")) ||
        FAILED(graph->AddFilter(parser, L"parser"))) {
        return "cannot add the filters";
    }
    if (FAILED(ConnectFilters(graph, source, parser))) {
        return "source -> parser does not connect";
    }
    return {};
}

std::string FilterGraphFixture::AddDecoder(const LoadedModule& module) {
    if (FAILED(module.Create(CLSID_AdxDecoderFilter, IID_IBaseFilter,
                             reinterpret_cast<void**>(&decoder)))) {
        return "no decoder";
    }
    if (FAILED(graph->AddFilter(decoder, L"decoder"))) {
        return "cannot add the decoder";
    }
    if (FAILED(ConnectFilters(graph, parser, decoder))) {
        return "parser -> decoder does not connect";
    }
    return {};
}

void FilterGraphFixture::Release() {
    if (graph != nullptr) {
        IMediaControl* control = nullptr;
        if (SUCCEEDED(
                graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)))) {
            control->Stop();
            control->Release();
        }
    }
    ReleaseAndClear(decoder);
    ReleaseAndClear(parser);
    ReleaseAndClear(source);
    ReleaseAndClear(graph);
}

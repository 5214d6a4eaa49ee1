#include "playback/PlaybackGraph.h"

#include "graph/FileReaderSource.h"
#include "playback/FilterFactory.h"
#include "graph/LoopPassTap.h"
#include "graph/WavSink.h"

#include "framework/com/ResultMacros.h"

#include <vfwmsgs.h>

namespace {

// The first pin of `filter` in `direction`.
HRESULT FirstPin(IBaseFilter* filter, PIN_DIRECTION direction, ComPtr<IPin>& out) {
    ComPtr<IEnumPins> pins; // +1 on the filter's pin enumerator
    RETURN_IF_FAILED(filter->EnumPins(pins.put()));
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
            out = std::move(pin);
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

} // namespace

PlaybackGraph::~PlaybackGraph() {
    if (running_) {
        (void)Stop();
    }
    // The members go in reverse order: every filter before the graph.
}

HRESULT PlaybackGraph::Create(bool clockless) {
    RETURN_IF_FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IGraphBuilder, graph_.put_void()));
    RETURN_IF_FAILED(graph_.query_to(control_));
    // The toolchain's headers give IMediaEventEx no __uuidof.
    RETURN_IF_FAILED(graph_->QueryInterface(IID_IMediaEventEx, events_.put_void()));
    RETURN_IF_FAILED(graph_.query_to(graphSeeking_));
    return clockless ? RemoveClock() : S_OK;
}

HRESULT PlaybackGraph::RemoveClock() {
    ComPtr<IMediaFilter> graphFilter; // +1 on the graph's IMediaFilter face
    RETURN_IF_FAILED(graph_.query_to(graphFilter));
    return graphFilter->SetSyncSource(nullptr);
}

HRESULT PlaybackGraph::AddFileSource(const std::wstring& path, bool ownReader, const wchar_t* name,
                                     long long endBytes) {
    if (ownReader) {
        RETURN_IF_FAILED(FileReaderSource::Create(path, endBytes, source_));
        RETURN_IF_FAILED(graph_->AddFilter(source_.get(), name ? name : L"File Reader"));
        return FirstPin(source_.get(), PINDIR_OUTPUT, tail_);
    }
    RETURN_IF_FAILED(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IBaseFilter, source_.put_void()));
    ComPtr<IFileSourceFilter> file; // +1 on the source's IFileSourceFilter face
    RETURN_IF_FAILED(source_.query_to(file));
    RETURN_IF_FAILED(file->Load(path.c_str(), nullptr));
    RETURN_IF_FAILED(graph_->AddFilter(source_.get(), name ? name : L"File Source"));
    return FirstPin(source_.get(), PINDIR_OUTPUT, tail_);
}

HRESULT PlaybackGraph::CreateParser(const FilterFactory& filters, const wchar_t* name) {
    RETURN_IF_FAILED(filters.CreateFilter(CLSID_AdxParserFilter, parser_.put()));
    RETURN_IF_FAILED(parser_.query_to(parserControl_));
    RETURN_IF_FAILED(graph_->AddFilter(parser_.get(), name));
    ComPtr<IPin> input; // makes the parser's pins
    return parser_->FindPin(L"In", input.put());
}

HRESULT PlaybackGraph::CreateDecoder(const FilterFactory& filters, const wchar_t* name) {
    RETURN_IF_FAILED(filters.CreateFilter(CLSID_AdxDecoderFilter, decoder_.put()));
    return graph_->AddFilter(decoder_.get(), name);
}

HRESULT PlaybackGraph::Connect(IPin* output, IPin* input) {
    return graph_->ConnectDirect(output, input, nullptr);
}

HRESULT PlaybackGraph::TakeParserOutput() {
    RETURN_IF_FAILED(parser_->FindPin(L"Out", tail_.put()));
    return tail_.query_to(parserSeeking_);
}

HRESULT PlaybackGraph::AddParser(const FilterFactory& filters, LONG fileOffset) {
    RETURN_IF_FAILED(CreateParser(filters, L"VAZ Iraz Ozadiz"));
    // The offset needs the parser's pins, which CreateParser made.
    if (fileOffset != 0) {
        RETURN_IF_FAILED(parserControl_->SetFileOffset(fileOffset));
    }
    RETURN_IF_FAILED(ConnectTail(parser_.get(), L"In"));
    return TakeParserOutput();
}

HRESULT PlaybackGraph::AddDecoder(const FilterFactory& filters) {
    RETURN_IF_FAILED(CreateDecoder(filters, L"Quellvane"));
    RETURN_IF_FAILED(ConnectTail(decoder_.get(), L"In"));
    return decoder_->FindPin(L"Out", tail_.put());
}

HRESULT PlaybackGraph::AddSpeaker() {
    RETURN_IF_FAILED(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IBaseFilter, renderer_.put_void()));
    RETURN_IF_FAILED(graph_->AddFilter(renderer_.get(), L"DirectSound Renderer"));
    return ConnectTail(renderer_.get(), nullptr);
}

HRESULT PlaybackGraph::AddWavSink(WavWriter* writer, bool connect) {
    RETURN_IF_FAILED(WavSink::Create(writer, renderer_, &sink_));
    RETURN_IF_FAILED(graph_->AddFilter(renderer_.get(), L"WAV Sink"));
    return connect ? ConnectTail(renderer_.get(), nullptr) : S_OK;
}

HRESULT PlaybackGraph::ConnectTail(IBaseFilter* filter, const wchar_t* inputName) {
    ComPtr<IPin> input;
    if (inputName != nullptr) {
        RETURN_IF_FAILED(filter->FindPin(inputName, input.put()));
    } else {
        RETURN_IF_FAILED(FirstPin(filter, PINDIR_INPUT, input));
    }
    return Connect(tail_.get(), input.get());
}

HRESULT PlaybackGraph::RenderFile(const std::wstring& path) {
    RETURN_IF_FAILED(graph_->RenderFile(path.c_str(), nullptr));
    return FindParser();
}

HRESULT PlaybackGraph::RenderFileToSink(const std::wstring& path) {
    RETURN_IF_FAILED(graph_->AddSourceFilter(path.c_str(), L"File Source", source_.put()));
    ComPtr<IPin> output;
    RETURN_IF_FAILED(FirstPin(source_.get(), PINDIR_OUTPUT, output));
    // The graph builder finds the filters between source and sink.
    RETURN_IF_FAILED(graph_->Connect(output.get(), sink_->Pin()->AsPin()));
    return FindParser();
}

HRESULT PlaybackGraph::FindParser() {
    ComPtr<IEnumFilters> filters; // +1 on the graph's filter enumerator
    RETURN_IF_FAILED(graph_->EnumFilters(filters.put()));
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.put(), nullptr) == S_OK) {
        ComPtr<IAdxParserControl> control;
        if (SUCCEEDED(filter.query_to(control)) && control) {
            parser_ = std::move(filter);
            parserControl_ = std::move(control);
            return TakeParserOutput();
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT PlaybackGraph::InsertLoopPassTap(int loopIndex, REFERENCE_TIME endTime) {
    RETURN_IF_FAILED(
        LoopPassTap::Create(parserControl_.get(), loopIndex, endTime, tapFilter_, &tap_));
    RETURN_IF_FAILED(graph_->AddFilter(tapFilter_.get(), L"Loop Pass Tap"));
    ComPtr<IPin> parserOutput;
    RETURN_IF_FAILED(parser_->FindPin(L"Out", parserOutput.put()));
    ComPtr<IPin> tapInput;
    ComPtr<IPin> tapOutput;
    RETURN_IF_FAILED(tapFilter_->FindPin(L"In", tapInput.put()));
    RETURN_IF_FAILED(tapFilter_->FindPin(L"Out", tapOutput.put()));
    ComPtr<IPin> downstream; // the decoder's input, when the graph builder connected it
    if (FAILED(parserOutput->ConnectedTo(downstream.put()))) {
        downstream = nullptr;
    }
    if (downstream) {
        RETURN_IF_FAILED(graph_->Disconnect(parserOutput.get()));
        RETURN_IF_FAILED(graph_->Disconnect(downstream.get()));
    }
    RETURN_IF_FAILED(graph_->ConnectDirect(parserOutput.get(), tapInput.get(), nullptr));
    if (downstream) {
        return graph_->ConnectDirect(tapOutput.get(), downstream.get(), nullptr);
    }
    tail_ = std::move(tapOutput);
    return S_OK;
}

HRESULT PlaybackGraph::Run() {
    const HRESULT hr = control_->Run();
    if (SUCCEEDED(hr)) {
        running_ = true;
    }
    return hr;
}

HRESULT PlaybackGraph::Stop() {
    running_ = false;
    return control_ ? control_->Stop() : S_OK;
}

HANDLE PlaybackGraph::EventHandle() {
    OAEVENT handle = 0;
    if (!events_ || FAILED(events_->GetEventHandle(&handle))) {
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(handle);
}

bool PlaybackGraph::NextEvent(long& code, LONG_PTR& param1, LONG_PTR& param2) {
    if (!events_ || events_->GetEvent(&code, &param1, &param2, 0) != S_OK) {
        return false;
    }
    // The parameters are plain numbers for the events this program reads.
    (void)events_->FreeEventParams(code, param1, param2);
    return true;
}

HRESULT PlaybackGraph::PlayedTime(REFERENCE_TIME& time) {
    RETURN_HR_IF_NULL(E_UNEXPECTED, graphSeeking_.get());
    return graphSeeking_->GetCurrentPosition(&time);
}

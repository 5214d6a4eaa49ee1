// The DirectShow graph that plays or converts one ADX file: a file source,
// corvina's parser, the loop pass tap (with loop playback), corvina's decoder
// and the DirectSound renderer, the WAV sink or a test's own end filter.
// Built filter by filter, with the ADX filters from a FilterFactory and pins
// connected directly; or by the runtime's graph builder from the registered
// module. Each step is a call of its own, so that the caller can say which
// one failed.
#pragma once

#include "framework/com/ComPtr.h"

#include <corvina.h>

#include <windows.h>
#include <dshow.h>

#include <string>

class FilterFactory;
class LoopPassTap;
class WavSink;
class WavWriter;

class PlaybackGraph {
public:
    PlaybackGraph() = default;
    // Stops the graph if it runs, then releases every filter and the graph.
    ~PlaybackGraph();
    PlaybackGraph(const PlaybackGraph&) = delete;
    PlaybackGraph& operator=(const PlaybackGraph&) = delete;

    // The graph manager; without a reference clock when `clockless`, so the
    // data flows as fast as the filters take it.
    HRESULT Create(bool clockless);
    // Takes the reference clock away later, from the filters added so far too.
    HRESULT RemoveClock();

    // Building filter by filter; each filter is connected to the one before.
    // The file source reading `path`: the runtime's asynchronous one, or
    // this program's synchronous FileReaderSource when `ownReader` (for
    // conversion, where nothing waits on a clock and every call counts).
    // Named `name` in the graph, or after its kind when null. The own reader
    // ends the file at `endBytes` (an archive member's end; negative: none).
    HRESULT AddFileSource(const std::wstring& path, bool ownReader, const wchar_t* name = nullptr,
                          long long endBytes = -1);
    // The parser from `filters`, reading its stream at `fileOffset` bytes;
    // the connection reads and checks the ADX header.
    HRESULT AddParser(const FilterFactory& filters, LONG fileOffset);
    HRESULT AddDecoder(const FilterFactory& filters);
    // The runtime's DirectSound renderer.
    HRESULT AddSpeaker();

    // Building by hand, for callers that connect the pins themselves: the
    // parser or the decoder added under `name` and not connected; the
    // parser's pins exist afterwards.
    HRESULT CreateParser(const FilterFactory& filters, const wchar_t* name);
    HRESULT CreateDecoder(const FilterFactory& filters, const wchar_t* name);
    HRESULT Connect(IPin* output, IPin* input);
    // After the parser's input is connected: its output becomes the tail.
    HRESULT TakeParserOutput();

    // Building with the graph builder and the registered module: the whole
    // playback graph for `path`, or source, parser and decoder into a WAV
    // sink (AddWavSink first). Then finds the parser.
    HRESULT RenderFile(const std::wstring& path);
    HRESULT RenderFileToSink(const std::wstring& path);

    // Either way:
    // The WAV sink, writing through `writer`; connected at once when the
    // graph is built filter by filter (after AddDecoder).
    HRESULT AddWavSink(WavWriter* writer, bool connect);
    // The loop pass tap behind the parser: spliced in before the decoder
    // that the graph builder connected, or else connected to the parser's
    // output for AddDecoder to follow.
    // It ends the stream at presentation time `endTime` (LoopPassTap's
    // kNoEnd: never).
    HRESULT InsertLoopPassTap(int loopIndex, REFERENCE_TIME endTime);

    // Streaming.
    HRESULT Run();
    HRESULT Stop();
    // Signalled while graph events wait to be read.
    HANDLE EventHandle();
    // The next graph event, if one waits (false otherwise).
    bool NextEvent(long& code, LONG_PTR& param1, LONG_PTR& param2);
    // The graph's stream time of what plays now (100-ns units, since Run).
    HRESULT PlayedTime(REFERENCE_TIME& time);

    IGraphBuilder* Graph() const { return graph_.get(); }
    IMediaControl* Control() const { return control_.get(); }
    IMediaEventEx* Events() const { return events_.get(); }
    // The graph's own seeking interface.
    IMediaSeeking* GraphSeeking() const { return graphSeeking_.get(); }
    IBaseFilter* Source() const { return source_.get(); }
    IBaseFilter* Parser() const { return parser_.get(); }
    IBaseFilter* Decoder() const { return decoder_.get(); }
    // The last output pin connected or to be connected next.
    IPin* Tail() const { return tail_.get(); }
    IAdxParserControl* ParserControl() const { return parserControl_.get(); }
    // The parser output pin's seeking interface.
    IMediaSeeking* ParserSeeking() const { return parserSeeking_.get(); }
    LoopPassTap* Tap() const { return tap_; }
    WavSink* Sink() const { return sink_; }

private:
    // Finds the parser among the graph's filters (after the graph builder).
    HRESULT FindParser();
    HRESULT ConnectTail(IBaseFilter* filter, const wchar_t* inputName);

    ComPtr<IGraphBuilder> graph_;             // +1 on the graph manager
    ComPtr<IMediaControl> control_;           // +1 on the graph's control face
    ComPtr<IMediaEventEx> events_;            // +1 on the graph's event face
    ComPtr<IMediaSeeking> graphSeeking_;      // +1 on the graph's seeking face
    ComPtr<IBaseFilter> source_;              // +1 on the file source
    ComPtr<IBaseFilter> parser_;              // +1 on the parser
    ComPtr<IAdxParserControl> parserControl_; // +1 on the parser's control face
    ComPtr<IMediaSeeking> parserSeeking_;     // +1, counted on the parser
    ComPtr<IBaseFilter> tapFilter_;           // +1 on the loop pass tap
    ComPtr<IBaseFilter> decoder_;             // +1 on the decoder
    ComPtr<IBaseFilter> renderer_;            // +1 on the DirectSound renderer or the WAV sink
    ComPtr<IPin> tail_;                       // +1 on the last connected output pin
    LoopPassTap* tap_ = nullptr;              // owned through tapFilter_
    WavSink* sink_ = nullptr;                 // owned through renderer_
    bool running_ = false;
};

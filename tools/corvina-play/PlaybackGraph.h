// The DirectShow graph that plays or converts one ADX file: the runtime's
// file source, corvina's parser, the loop pass tap (with loop playback),
// corvina's decoder and the DirectSound renderer or the WAV sink. Built
// filter by filter from a loaded module, pins connected directly; or by the
// runtime's graph builder from the registered module. Each step is a call of
// its own, so that the caller can say which one failed.
#pragma once

#include "framework/ComPtr.h"

#include <corvina.h>

#include <windows.h>
#include <dshow.h>

#include <string>

class FilterModule;
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

    // Building filter by filter; each filter is connected to the one before.
    // The file source reading `path`: the runtime's asynchronous one, or
    // this program's synchronous FileReaderSource when `ownReader` (for
    // conversion, where nothing waits on a clock and every call counts).
    HRESULT AddFileSource(const std::wstring& path, bool ownReader);
    // The parser from `module`, reading its stream at `fileOffset` bytes; the
    // connection reads and checks the ADX header.
    HRESULT AddParser(const FilterModule& module, LONG fileOffset);
    HRESULT AddDecoder(const FilterModule& module);
    // The runtime's DirectSound renderer.
    HRESULT AddSpeaker();

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
    HRESULT InsertLoopPassTap(int loopIndex, int passLimit);

    // Streaming.
    HRESULT Run();
    HRESULT Stop();
    // Signalled while graph events wait to be read.
    HANDLE EventHandle();
    // The next graph event, if one waits (false otherwise).
    bool NextEvent(long& code, LONG_PTR& param1, LONG_PTR& param2);
    // The graph's stream time of what plays now (100-ns units, since Run).
    HRESULT PlayedTime(REFERENCE_TIME& time);

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

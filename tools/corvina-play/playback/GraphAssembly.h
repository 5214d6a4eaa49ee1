// Builds the graph of one input in its GraphSession: corvina's filters from
// corvina.ax (beside the program, or --module) filter by filter, or the
// graph builder's graph from the registered module (--render); then the
// loop pass tap, the decoder and the end (the DirectSound renderer or the
// WAV sink). Says why the file, the module or the stream was refused.
#pragma once

#include "ExitStatus.h"
#include "commandline/Options.h"
#include "playback/GraphSession.h"
#include "playback/PlayerVoice.h"

#include <corvina.h>

#include <windows.h>

#include <string>

class WavWriter;

class GraphAssembly {
public:
    // The graph for `input` in `session`; a conversion writes through `writer`.
    GraphAssembly(const Options& options, const std::wstring& input, GraphSession& session,
                  WavWriter& writer, const PlayerVoice& voice)
        : options_(options), input_(input), session_(session), writer_(writer), voice_(voice) {}
    GraphAssembly(const GraphAssembly&) = delete;
    GraphAssembly& operator=(const GraphAssembly&) = delete;

    // The file source and the parser, reading the stream at `fileOffset`
    // and no further than `dataEnd`; with --render, the graph builder's
    // whole graph.
    ExitStatus BuildFront(long long fileOffset, long long dataEnd);
    // After the stream is known (`format`): the loop pass tap with --loop,
    // ending the stream at `tapEnd`, then the decoder and the end.
    ExitStatus BuildBack(const AdxFormatInfo& format, REFERENCE_TIME tapEnd);

private:
    ExitStatus BuildFilterByFilter();
    ExitStatus LoadModule();
    ExitStatus BuildWithGraphBuilder();
    ExitStatus ExplainRefusal(HRESULT hr);
    // The header's total sample count (unsigned, big-endian at byte 0x0C of
    // the stream); 0 when the input holds no ADX header start there.
    unsigned long HeaderTotalSamples() const;
    ExitStatus ExplainDecoderRefusal(HRESULT hr, const AdxFormatInfo& format);

    const Options& options_;
    const std::wstring& input_;
    GraphSession& session_;
    WavWriter& writer_;
    const PlayerVoice& voice_;
    std::wstring modulePath_;
    long long fileOffset_ = 0;
    long long dataEnd_ = 0;
};

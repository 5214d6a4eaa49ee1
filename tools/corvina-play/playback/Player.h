// One input of corvina-play: checks the input and the output, has the graph
// built (GraphAssembly) and the stream planned (StreamPlan), then describes
// the stream, or runs the graph with a progress line and says what came out
// short.
#pragma once

#include "ExitStatus.h"
#include "commandline/Options.h"
#include "files/WavWriter.h"
#include "playback/GraphAssembly.h"
#include "playback/GraphSession.h"
#include "playback/PlayerVoice.h"
#include "playback/ProgressLine.h"
#include "playback/StreamPlan.h"

#include <corvina.h>

#include <windows.h>

#include <string>

class Player {
public:
    // `input` is played, or converted into `output` (a path, or "-" for
    // standard output), both UTF-8; `stopEvent` is signalled on Ctrl+C.
    Player(const Options& options, const std::string& input, const std::string& output,
           HANDLE stopEvent);
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Does what the options ask; the exit status.
    ExitStatus Run();

    // After Run: the media time converted or played (100-ns units).
    REFERENCE_TIME DeliveredTime() const { return delivered_; }

private:
    ExitStatus CheckInput();
    ExitStatus CheckOutput();
    // The graph, and the stream checked against the options in between.
    ExitStatus Build();
    ExitStatus Describe();
    ExitStatus Play();
    ExitStatus Convert();
    // Runs the graph with the progress line; kDone, kInterrupted or kFailed.
    ExitStatus RunGraph();
    void ShowProgress(bool last);
    // The media position (100-ns units from the stream start) and the loop
    // pass at the graph's stream time `played`.
    void PositionAt(REFERENCE_TIME played, REFERENCE_TIME& position, int& pass);
    // The same where the stream ended, after what was delivered.
    void EndPosition(REFERENCE_TIME& position, int& pass);
    // How far the stream was delivered in presentation time: as the tap saw
    // it, or as planned without a tap; false when nothing was.
    bool DeliveredEnd(REFERENCE_TIME& time);
    // kShort with a warning when less came out than was asked; else kDone.
    ExitStatus ReportShortfall();

    const Options& options_;
    // The paths as the system takes them.
    const std::wstring input_;
    const std::wstring output_;
    const bool toStandardOutput_;
    ProgressLine progress_;
    const PlayerVoice voice_;
    long long fileOffset_ = 0; // where the stream starts: --offset, or the member's
    long long dataEnd_ = 0;    // where the input's bytes for the stream end
    // Declared in the order of their lifetimes: the writer outlives the
    // graph's sink.
    WavWriter writer_;
    GraphSession session_;
    GraphAssembly assembly_;
    StreamPlan stream_;
    REFERENCE_TIME delivered_ = 0;
};

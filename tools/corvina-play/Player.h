// One run of corvina-play: builds the graph for the chosen mode, applies the
// loop and seeking options, runs it to its end (or until stopped) with a
// progress display, and reports what went wrong in words on stderr.
#pragma once

#include "FilterModule.h"
#include "Options.h"
#include "PlaybackGraph.h"
#include "SampleAllocatorFactory.h"
#include "WavWriter.h"

#include <corvina.h>

#include <windows.h>

#include <string>

class Player {
public:
    // Exit statuses.
    enum Status : int { kDone = 0, kUsage = 1, kRefused = 2, kFailed = 3 };

    // `stopEvent` is signalled when the user asks to stop (Ctrl+C).
    Player(const Options& options, HANDLE stopEvent);
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Does what the options ask; the exit status.
    int Run();

private:
    int CheckInputFile();
    int Build();
    int BuildFilterByFilter();
    int BuildWithGraphBuilder();
    // Says why the parser's input did not connect; kRefused or kFailed.
    int ExplainRefusal(HRESULT hr);
    int ReadStream();
    int ApplyLoopAndSeeking();
    int Describe();
    int Play();
    int Convert();
    // Runs the graph until it completes or the user stops it; kDone or
    // kFailed. Calls ShowProgress in between.
    int RunToEnd();
    void ShowProgress(bool last);
    // The media position (100-ns units from the stream start) and the loop
    // pass at the graph's stream time `played`.
    void PositionAt(REFERENCE_TIME played, REFERENCE_TIME& position, int& pass);
    // The same where the stream ended by itself.
    void EndPosition(REFERENCE_TIME& position, int& pass);
    // How many PCM bytes the conversion should bring, for the progress bar.
    unsigned long long ExpectedBytes() const;
    void ReportLoopShortfall();

    // Messages on stderr: "corvina-play: FILE: what" and "corvina-play: what".
    void FileError(const std::wstring& file, const std::string& what);
    void Error(const std::string& what);

    const Options& options_;
    const HANDLE stopEvent_;
    const bool showProgress_;
    bool progressShown_ = false; // a progress line waits for its line end
    bool stoppedByUser_ = false;
    // Declared in the order of their lifetimes: the module outlives the
    // graph that holds its filters; the writer outlives the graph's sink.
    SampleAllocatorFactory allocators_; // registered for conversion; outlives the graph
    FilterModule module_;
    WavWriter writer_;
    PlaybackGraph graph_;
    AdxFormatInfo format_ = {};
    INT32 totalSamples_ = 0;
    REFERENCE_TIME duration_ = 0;
    REFERENCE_TIME start_ = 0; // the requested start, 0 without --start
    AdxLoopPoint loop_ = {};   // the chosen loop, with --loop
};

// One input of corvina-play: checks the input and the output, builds the
// graph for the chosen mode through a GraphSession, applies the loop and
// seeking options, runs it with a progress line and says in words what went
// wrong, or what came out short, on stderr.
#pragma once

#include "ExitStatus.h"
#include "Reporter.h"
#include "playback/GraphSession.h"
#include "commandline/Options.h"
#include "playback/PassSchedule.h"
#include "playback/ProgressLine.h"
#include "files/WavWriter.h"

#include <corvina.h>

#include <windows.h>

#include <optional>
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
    ExitStatus Build();
    ExitStatus BuildFilterByFilter();
    ExitStatus BuildWithGraphBuilder();
    ExitStatus ExplainRefusal(HRESULT hr);
    // The header's total sample count (unsigned, big-endian at byte 0x0C of
    // the stream); 0 when the input holds no ADX header start there.
    unsigned long HeaderTotalSamples() const;
    ExitStatus ExplainDecoderRefusal(HRESULT hr);
    ExitStatus ReadStream();
    // Reads the header the parser accepted and how much data follows it.
    ExitStatus LoadHeader();
    ExitStatus CheckTimes();
    // Refuses a conversion whose PCM a WAV file cannot hold, before it starts.
    ExitStatus CheckWavSize();
    // The stop the player sets, before the stream's end; -1 for none.
    LONGLONG StopPosition() const;
    // The schedules of the run: as the data allows and as asked.
    void PlanPasses();
    ExitStatus ApplyLoopAndSeeking();
    ExitStatus Describe();
    ExitStatus Play();
    ExitStatus Convert();
    // A conversion of the whole stream once from its start keeps the first
    // loop record that plays as a loop in the WAV file's smpl chunk.
    void KeepFirstLoop();
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
    // The passes whose samples the options ask for.
    int AskedPasses() const { return options_.passes > 0 ? options_.passes : 1; }
    // The media time the options ask to play, passes included.
    REFERENCE_TIME PlannedTime() const;
    // kShort with a warning when less came out than was asked; else kDone.
    ExitStatus ReportShortfall();

    // The one way failures are worded: "corvina-play: FILE: what: reason",
    // the reason being `hr` in words (none for S_OK). Returns `status`.
    ExitStatus Fail(ExitStatus status, HRESULT hr, const std::wstring& file,
                    const std::string& what);
    ExitStatus Fail(ExitStatus status, HRESULT hr, const std::string& what);
    void Warn(const std::string& what);

    const Options& options_;
    const Reporter reporter_{kToolName};
    // The paths as the system takes them.
    const std::wstring input_;
    const std::wstring output_;
    const bool toStandardOutput_;
    ProgressLine progress_;
    std::wstring modulePath_;
    long long fileOffset_ = 0; // where the stream starts: --offset, or the member's
    long long dataEnd_ = 0;    // where the input's bytes for the stream end
    // Declared in the order of their lifetimes: the writer outlives the
    // graph's sink.
    WavWriter writer_;
    GraphSession session_;
    AdxFormatInfo format_ = {};
    AdxHeader header_; // as the parser has it
    INT32 totalSamples_ = 0;
    LONGLONG availableSamples_ = 0; // whole blocks the data holds
    REFERENCE_TIME duration_ = 0;
    REFERENCE_TIME start_ = 0; // the requested start, 0 without --start
    // The parser's passes over the input's data, and over a whole stream.
    std::optional<PassSchedule> schedule_;
    std::optional<PassSchedule> asked_;
    REFERENCE_TIME delivered_ = 0;
};

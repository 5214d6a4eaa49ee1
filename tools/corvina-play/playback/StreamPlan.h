// What the stream of one input holds and what of it the options ask for:
// the format the parser reports and the header it accepted, the loop and
// the times checked against them, and the parser's passes over the data as
// it is and as asked; then the loop, the times and the rate applied to the
// parser.
#pragma once

#include "ExitStatus.h"
#include "commandline/Options.h"
#include "playback/PassSchedule.h"
#include "playback/PlayerVoice.h"

#include <corvina.h>

#include <windows.h>
#include <strmif.h>

#include <optional>
#include <string>

class PlaybackGraph;

class StreamPlan {
public:
    // The stream of `input` (whose messages name it) as `options` ask for it.
    StreamPlan(const Options& options, const std::wstring& input, const PlayerVoice& voice)
        : options_(options), input_(input), voice_(voice) {}
    StreamPlan(const StreamPlan&) = delete;
    StreamPlan& operator=(const StreamPlan&) = delete;

    // Reads the stream from the parser of `graph` and its header again from
    // the input at `fileOffset`, whose data ends at `dataEnd`; checks the
    // loop and the times and plans the passes.
    ExitStatus Read(PlaybackGraph& graph, long long fileOffset, long long dataEnd);
    // Refuses a conversion whose PCM a WAV file cannot hold, before it starts.
    ExitStatus CheckWavSize() const;
    // Sets the loop (or none), the start and stop and the rate on the parser.
    ExitStatus Apply(PlaybackGraph& graph) const;
    // The first loop that plays as a loop, [startFrame, endFrame) as the
    // parser plays its second pass; false when none does.
    bool FirstPlayedLoop(unsigned long long& startFrame, unsigned long long& endFrame) const;

    const AdxFormatInfo& Format() const { return format_; }
    INT32 TotalSamples() const { return totalSamples_; }
    // Whole blocks of every channel that the data holds, in samples.
    LONGLONG AvailableSamples() const { return availableSamples_; }
    REFERENCE_TIME Duration() const { return duration_; }
    // The requested start, 0 without --start.
    REFERENCE_TIME Start() const { return start_; }
    // The parser's passes over the input's data, and over a whole stream.
    const PassSchedule& Schedule() const { return *schedule_; }
    const PassSchedule& Asked() const { return *asked_; }
    // The passes whose samples the options ask for.
    int AskedPasses() const { return options_.passes > 0 ? options_.passes : 1; }
    // The media time the options ask to play, passes included.
    REFERENCE_TIME PlannedTime() const;
    // The time of sample `sample` at the stream's rate, truncated.
    REFERENCE_TIME TimeOf(LONGLONG sample) const;

private:
    ExitStatus CheckLoopIndex(IAdxParserControl* parser) const;
    // Reads the header the parser accepted and how much data follows it.
    ExitStatus LoadHeader();
    ExitStatus CheckTimes();
    // The stop the player sets, before the stream's end; -1 for none.
    LONGLONG StopPosition() const;
    void PlanPasses();

    const Options& options_;
    const std::wstring& input_;
    const PlayerVoice& voice_;
    long long fileOffset_ = 0;
    long long dataEnd_ = 0;
    AdxFormatInfo format_ = {};
    AdxHeader header_; // as the parser has it
    INT32 totalSamples_ = 0;
    LONGLONG availableSamples_ = 0;
    REFERENCE_TIME duration_ = 0;
    REFERENCE_TIME start_ = 0;
    std::optional<PassSchedule> schedule_;
    std::optional<PassSchedule> asked_;
};

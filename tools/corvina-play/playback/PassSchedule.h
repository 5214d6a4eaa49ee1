// The passes of one corvina-play run, from the parser's own planner: it plans
// the stream's header with the settings the player gives the parser (start,
// stop, rate, loop, the bytes the input holds) without reading a byte, and
// records where each pass begins and ends in presentation time, exactly as
// the parser stamps its samples, and which media samples it plays.
//
// Every loop pass after the first plays the same samples from the same bytes,
// so up to three passes are planned and later ones are counted from the
// third: a pass count in the billions costs nothing. No platform code.
#pragma once

#include "adx/AdxHeader.h"
#include "parser/StreamGeometry.h"
#include "parser/StreamPlanner.h"

#include <cstdint>
#include <vector>

class PassSchedule {
public:
    struct Settings {
        std::int64_t startUnits = -1; // the requested start (100-ns); negative: none
        std::int64_t stopUnits = -1;  // the requested stop before the end; negative: none
        double rate = 1.0;
        bool rateGiven = false;      // the player sets the rate
        std::int32_t loopIndex = -1; // the loop played; negative: loop playback off
        std::int64_t dataBytes = StreamGeometry::kMaxStreamBytes; // readable stream bytes
    };
    struct Pass {
        std::int64_t startTime = 0;   // presentation time of its first sample (100-ns)
        std::int64_t endTime = 0;     // presentation time where its last sample ends
        std::int64_t startSample = 0; // its first media sample
        std::int64_t endSample = 0;   // one past its last media sample
    };
    // Pass numbers go no further.
    static constexpr std::int64_t kMaxPasses = 0x7FFFFFFF;

    PassSchedule(const AdxHeader& header, const Settings& settings);

    // Pass `number` (from 1); false when the stream ends before it.
    bool PassNumber(std::int64_t number, Pass& pass) const;
    // The media samples that passes 1 to `count` play (all there are when
    // the stream ends sooner).
    std::int64_t SamplesIn(std::int64_t count) const;
    // How many passes begin before `time`: a run that delivered up to `time`
    // has begun them.
    std::int64_t PassesBefore(std::int64_t time) const;
    // The media position (100-ns from the stream's first sample) at `time`,
    // within the pass under way then (the last that begins before it, else
    // the first) and never past its end; that pass's number in `pass`, 0
    // when no pass plays.
    std::int64_t PositionAt(std::int64_t time, std::int64_t& pass) const;

private:
    static constexpr std::size_t kPlannedPasses = 3;

    // Whether passes past the planned ones repeat the last of them.
    bool Repeats() const;
    // The presentation time `count` repeated passes after the planned ones.
    std::int64_t TimeAfterRepeats(std::int64_t count) const;
    std::int64_t SampleUnits(std::int64_t sample) const;

    StreamPlanner planner_; // left where the planned passes end
    std::vector<Pass> passes_;
    std::int64_t lastPassSamples_ = 0; // media samples of the last planned pass
    bool ended_ = false;               // the stream ends after passes_
    double rate_ = 1.0;
};

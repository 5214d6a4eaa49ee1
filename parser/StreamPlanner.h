// The parser's streaming decisions, free of any platform code: which whole
// frames of a pulled chunk go out as output samples, with which media and
// presentation times and flags, and what the reader does next (read on, read
// the unconsumed tail again, jump to the loop start, end the stream).
//
// The pass state (preroll after a new start, playing, a loop jump pending, a
// loop pass, ended) is one value that changes only through Advance(). Byte
// positions are stream positions (from the byte holding 0x80).
//
// Loop changes: a pass from a start is bounded by the loop chosen while it
// plays. A loop pass keeps the record it jumped with (its start trim and its
// cut point), so a new choice takes effect at the next jump; switching loop
// playback off lets any pass play on to the stream's end.
//
// Not thread-safe: the filter plans and commits a chunk under one lock.
#pragma once

#include "adx/AdxHeader.h"
#include "parser/StreamGeometry.h"

#include <cstdint>
#include <vector>

class StreamPlanner {
public:
    enum class PassState {
        kPreroll,     // a new start: data before the start goes out as preroll
        kPlaying,     // the pass that a start began, from the start on
        kJumpPending, // a pass ended at the loop end; the next chunk is the jump's
        kLoopStart,   // a pass from the loop start that has delivered nothing yet
        kLoopPass,    // a pass from the loop start under way
        kEnded,       // end of stream planned; nothing more goes out
    };
    enum class PassEvent {
        kNewStart,     // a start position was set (also after Stop)
        kRestart,      // the reader reads again from the last start
        kStartReached, // the first sample from the requested start went out
        kLoopEnd,      // a pass ended and the loop plays again
        kJumpData,     // the first chunk of the loop jump arrived
        kDelivered,    // a sample with data went out
        kStreamEnd,    // a pass ended and the stream with it
    };
    // The one transition function of the pass state.
    static PassState Advance(PassState state, PassEvent event);

    enum class Action {
        kContinue,    // read on from chunk position + consumedBytes
        kJump,        // read [jumpStartByte, jumpStopByte) next, as a new run
        kReadOn,      // read on from chunk position + consumedBytes up to jumpStopByte
        kEndOfStream, // the run ends with end of stream
        kError,       // the output buffers cannot hold one frame
    };

    struct Chunk {
        std::int64_t streamByte = 0;  // position of the chunk's first byte
        std::int64_t lengthBytes = 0; // bytes actually read
        bool discontinuity = false;   // the first chunk of a read run
        bool endOfRange = false;      // the range being read ends with it
        bool endOfData = false;       // a short read: nothing can be read after it
    };

    struct Sample {
        std::int64_t chunkOffsetBytes = 0; // where its data starts in the chunk
        std::int64_t sizeBytes = 0;        // whole frames
        std::int64_t mediaStart = 0;       // sample indices, per channel
        std::int64_t mediaEnd = 0;
        // Presentation times, 100-ns units: the time of the media samples
        // it carries (mediaEnd - mediaStart), counted on from the last.
        std::int64_t timeStart = 0;
        std::int64_t timeStop = 0;
        bool discontinuity = false;
        bool preroll = false;
    };

    // What the reader does after the chunk.
    struct Outcome {
        std::int64_t consumedBytes = 0; // the rest of the chunk is read again
        Action action = Action::kContinue;
        std::int64_t jumpStartByte = 0; // for kJump
        std::int64_t jumpStopByte = 0;  // for kJump and kReadOn
    };

    struct Plan {
        std::vector<Sample> samples; // kept between chunks for its capacity
        Outcome outcome;
    };

    StreamPlanner() = default; // no stream: every chunk ends the stream

    // A newly loaded stream: loop playback off, record 0 chosen, rate 1,
    // start at the first frame, no stop.
    void SetStream(const AdxHeader& header);
    const StreamGeometry& Geometry() const { return geometry_; }
    const std::vector<AdxLoopPoint>& Loops() const { return loops_; }
    // Whether the record can be looped: its start lies on the frame grid of
    // the data area and the pass from it ends after its first sample.
    bool IsLoopUsable(std::int32_t index) const;

    // false, and nothing changes, for an index outside the loop table.
    bool SetLoop(std::int32_t index, bool enabled);
    std::int32_t LoopIndex() const { return loopIndex_; }
    bool LoopEnabled() const { return loopEnabled_; }

    // A new start (presentation times restart at 0) at `startByte`, a frame
    // boundary; the reader begins before it.
    void SetStart(std::int64_t startByte);
    // The end of the range a start reads: data past it is never asked for,
    // and reaching it ends the stream even while looping. A stop in the
    // frame that holds the loop's cut point, or before it, wins over the
    // loop. A loop pass ends at its loop, or at the stop once looping is off.
    void SetStopByte(std::int64_t stopByte) { stopByte_ = stopByte; }
    // Presentation times run on at the new rate from the next sample.
    void SetRate(double rate);
    // The reader reads again from the last start (a new stop or rate):
    // preroll and passes as after that start, presentation times running on.
    void RestartPass();
    // Back to the state after SetStream's start, keeping the loop choice.
    void Rewind();

    PassState State() const { return state_; }
    // The presentation time once `samples` more media samples are planned at
    // the current rate, as PlanChunk would stamp it: for counting ahead
    // without planning.
    std::int64_t TimeAfterSamples(std::int64_t samples) const;

    // Plans `chunk` (whose bytes are not needed) for output buffers of
    // `bufferBytes` each and commits the pass state and times as if every
    // planned sample were delivered.
    void PlanChunk(const Chunk& chunk, std::int64_t bufferBytes, Plan& plan);

private:
    // Where one planned sample lies and what it carries; see PlanSample.
    struct SampleSpan {
        std::int64_t chunkByte = 0; // stream position of the chunk
        std::int64_t chunkBytes = 0;
        std::int64_t capacityBytes = 0; // whole frames of one output buffer
        std::int64_t endSample = 0;     // one past the last sample of the pass
        bool markDiscontinuity = false; // the first sample of a run
    };

    // The chosen loop when loop playback is on and it can be looped, or null.
    const AdxLoopPoint* ActiveLoop() const;
    bool InLoopPass() const;
    // The loop that bounds the pass under way, or null when it plays on.
    const AdxLoopPoint* BoundingLoop() const;
    // One past the last sample a pass may deliver.
    std::int64_t PassEndSample(const AdxLoopPoint* loop) const;
    // Where a chunk's first frame lies: the frame grid after a discontinuity
    // or a jump, never inside the header.
    std::int64_t FirstFrameOffset(const Chunk& chunk, bool realign) const;
    // Plans the sample at chunk offset `pos`; returns its size in bytes and
    // sets `cut` when the pass ends with it.
    std::int64_t PlanSample(const SampleSpan& span, std::int64_t pos, bool& cut, Plan& plan);
    // What follows a chunk whose data ran out before the pass's end.
    void EndOfChunk(const Chunk& chunk, std::int64_t pos, const AdxLoopPoint* loop, Plan& plan);
    // Ends the pass: a jump to the loop start when the loop plays on, else
    // the end of the stream.
    void EndPass(const AdxLoopPoint* loop, Plan& plan);
    // Presentation times count on from `timeBase` with no samples planned.
    void RebaseTime(std::int64_t timeBase);

    StreamGeometry geometry_;
    std::vector<AdxLoopPoint> loops_;
    std::vector<bool> loopUsable_;
    bool loopEnabled_ = false;
    std::int32_t loopIndex_ = 0;
    std::int64_t startByte_ = 0;
    std::int64_t stopByte_ = StreamGeometry::kMaxStreamBytes;
    double rate_ = 1.0;
    PassState state_ = PassState::kPreroll;
    AdxLoopPoint passLoop_{}; // the record the loop pass under way jumped with
    // A sample's times come from all the media samples planned since the
    // last start, restart or rate change, never from a running sum of
    // truncated sample lengths: where chunks and buffers split the data
    // changes no time.
    std::int64_t timeBase_ = 0;      // the presentation time at that point
    std::int64_t samplesPlayed_ = 0; // media samples planned since
};

// The pull reader's loop, free of platform code: reads the stream in chunks
// over a range, has the planner plan each chunk, hands the plan to the port
// to deliver, and then reads on, reads the unconsumed tail again, jumps to
// the loop start or ends, as the plan says. The parser filter's pull thread
// and the in-memory PlannedReader run this same loop; only the I/O behind
// Port differs. Positions are stream byte positions (from the byte holding
// 0x80).
//
// Used by one thread at a time; the planner is touched only inside
// ChunkPlan::Make, which the port calls under the lock that guards it.
#pragma once

#include "parser/StreamPlanner.h"

#include <cstdint>

class PullSequencer {
public:
    // A port's answer: kDone, kQuiet (the run ends without end of stream,
    // e.g. the output is stopping), or a negative failure code of the port's
    // own (an HRESULT in the filter), passed back unchanged.
    using Result = std::int32_t;
    static constexpr Result kDone = 0;
    static constexpr Result kQuiet = 1;
    // The port delivered without planning, or the output buffers cannot hold
    // a frame and the port did not say so.
    static constexpr Result kPlanFailed = -1;

    struct ReadChunk {
        const std::uint8_t* data = nullptr; // valid until the next Read
        std::int64_t bytesRead = 0;         // fewer than asked: the data ends after them
    };

    // The planning step of the chunk in delivery.
    class ChunkPlan {
    public:
        // Plans the chunk for output buffers of `bufferBytes` each, once.
        const StreamPlanner::Plan& Make(StreamPlanner& planner, std::int64_t bufferBytes);
        bool Made() const { return made_; }

    private:
        friend class PullSequencer;
        ChunkPlan(const StreamPlanner::Chunk& chunk, StreamPlanner::Plan& plan)
            : chunk_(chunk), plan_(plan) {}
        const StreamPlanner::Chunk& chunk_;
        StreamPlanner::Plan& plan_;
        bool made_ = false;
    };

    class Port {
    public:
        virtual ~Port() = default;
        // Whether a control command waits: the run returns at once, quietly.
        virtual bool Interrupted() = 0;
        // Reads up to `lengthBytes` at `streamByte` into `chunk`.
        virtual Result Read(std::int64_t streamByte, std::int64_t lengthBytes,
                            ReadChunk& chunk) = 0;
        // Plans the chunk through `plan` (once) and delivers its samples
        // from `data`.
        virtual Result Deliver(const StreamPlanner::Chunk& chunk, const std::uint8_t* data,
                               ChunkPlan& plan) = 0;
        virtual void EndOfStream() = 0;
    };

    enum class Status {
        kMore,   // read on
        kEnded,  // end of stream, sent to the port
        kQuiet,  // the run ended without end of stream
        kFailed, // a failure; Error() says which
    };

    // The frame size of the stream: chunks hold at least two frames, so that
    // every chunk holds a whole frame after the one it starts in.
    void SetFrameBytes(std::int64_t frameBytes) { frameBytes_ = frameBytes; }
    // Chunk size asked for (a reader buffer).
    void SetChunkBytes(std::int64_t chunkBytes) { chunkBytes_ = chunkBytes; }
    // Where the readable data ends (the file's length), whatever the range.
    void SetDataEnd(std::int64_t dataEndByte) { dataEnd_ = dataEndByte; }
    // Reads [startByte, stopByte) next as a new run: its first chunk is
    // discontinuous.
    void SetRange(std::int64_t startByte, std::int64_t stopByte);

    // One chunk: read, plan, deliver, then follow the plan.
    Status Step(Port& port);
    // Steps until the run ends or the port is interrupted (kQuiet).
    Status Run(Port& port);

    Result Error() const { return error_; }
    int Jumps() const { return jumps_; }
    const StreamPlanner::Plan& LastPlan() const { return plan_; }

private:
    Status Fail(Result error);
    // Follows the plan's outcome for a chunk of `chunkBytes` read.
    Status Follow(const StreamPlanner::Chunk& chunk, Port& port);

    std::int64_t frameBytes_ = 1;
    std::int64_t chunkBytes_ = 65536;
    std::int64_t dataEnd_ = StreamGeometry::kMaxStreamBytes;
    std::int64_t currentByte_ = 0;
    std::int64_t endByte_ = 0; // the range's end, within the data
    bool discontinuity_ = true;
    bool ended_ = false;
    // Added to the next read's length while reads consume nothing.
    std::int64_t growBytes_ = 0;
    Result error_ = kDone;
    int jumps_ = 0;
    StreamPlanner::Plan plan_; // kept between chunks for its capacity
};

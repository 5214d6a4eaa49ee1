// The pull reader's part of streaming, over a stream held in memory: reads
// chunks in order over a range and carries out each of the planner's plans
// (read on, read the tail again, jump to the loop start, end). For tests, the
// fuzzer and tools that need the parser's own sequencing without a graph;
// no platform code.
#pragma once

#include "parser/StreamPlanner.h"

#include <algorithm>
#include <cstdint>
#include <functional>

class PlannedReader {
public:
    // Called for every planned sample with the stream position of its data.
    using SampleSink = std::function<void(const StreamPlanner::Sample&, std::int64_t streamByte)>;

    // The readable stream ends at `dataEndBytes`; chunks are `chunkBytes`
    // long and output buffers `bufferBytes`.
    PlannedReader(StreamPlanner& planner, std::int64_t dataEndBytes, std::int64_t chunkBytes,
                  std::int64_t bufferBytes)
        : planner_(planner), dataEnd_(dataEndBytes), chunkBytes_(chunkBytes),
          bufferBytes_(bufferBytes) {}

    // A start as the parser sets it: the reader begins 1/32 s of frames
    // earlier, and reads up to the stop.
    void Seek(std::int64_t startByte) {
        planner_.SetStart(startByte);
        readStart_ = std::max<std::int64_t>(startByte - planner_.Geometry().PrerollBytes(), 0);
        Range(readStart_, stop_);
    }
    // A new stop or rate: the parser reads again from the last start.
    void Restart() {
        planner_.RestartPass();
        Range(readStart_, stop_);
    }
    void SetStop(std::int64_t stopByte) {
        stop_ = stopByte;
        planner_.SetStopByte(stopByte);
        end_ = std::min(stop_, dataEnd_);
    }
    // Reads [start, stop) next, as at the start of a run.
    void Range(std::int64_t startByte, std::int64_t stopByte) {
        current_ = startByte;
        end_ = std::min(stopByte, dataEnd_);
        first_ = true;
    }
    void SetChunkBytes(std::int64_t chunkBytes) { chunkBytes_ = chunkBytes; }

    // Reads and plans one chunk; false once the stream has ended.
    bool Step(const SampleSink& sink) {
        if (current_ >= end_ || chunkBytes_ <= 0) {
            return false; // the reader's own end of stream
        }
        const std::int64_t length = std::min(chunkBytes_, end_ - current_);
        const StreamPlanner::Chunk chunk{current_, length, first_, current_ + length >= end_};
        first_ = false;
        planner_.PlanChunk(chunk, bufferBytes_, plan_);
        for (const StreamPlanner::Sample& sample : plan_.samples) {
            sink(sample, current_ + sample.chunkOffsetBytes);
        }
        const StreamPlanner::Outcome& outcome = plan_.outcome;
        current_ += outcome.consumedBytes > 0 ? outcome.consumedBytes : length;
        switch (outcome.action) {
        case StreamPlanner::Action::kContinue:
            return true;
        case StreamPlanner::Action::kJump:
            ++jumps_;
            Range(outcome.jumpStartByte, outcome.jumpStopByte);
            return true;
        default:
            current_ = end_;
            return false;
        }
    }
    // Steps until the end or `maxChunks`; true when the stream ended.
    bool Pull(int maxChunks, const SampleSink& sink) {
        for (int chunk = 0; chunk < maxChunks; ++chunk) {
            if (!Step(sink)) {
                return true;
            }
        }
        return false;
    }

    int Jumps() const { return jumps_; }
    const StreamPlanner::Plan& LastPlan() const { return plan_; }

private:
    StreamPlanner& planner_;
    std::int64_t dataEnd_;
    std::int64_t chunkBytes_;
    std::int64_t bufferBytes_;
    std::int64_t current_ = 0;
    std::int64_t end_ = 0;
    std::int64_t stop_ = StreamGeometry::kMaxStreamBytes;
    std::int64_t readStart_ = 0; // where the last start began reading
    bool first_ = true;
    int jumps_ = 0;
    StreamPlanner::Plan plan_;
};

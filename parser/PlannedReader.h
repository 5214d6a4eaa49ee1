// The parser's pull loop (PullSequencer) over a stream held in memory: the
// same sequencing as the filter's pull thread (read on, read the tail again,
// jump to the loop start, end), with reads that cost nothing. For tests, the
// fuzzer and tools that need the parser's own sequencing without a graph; no
// platform code.
#pragma once

#include "parser/PullSequencer.h"
#include "parser/StreamPlanner.h"

#include <algorithm>
#include <cstdint>
#include <functional>

class PlannedReader : private PullSequencer::Port {
public:
    // Called for every planned sample with the stream position of its data.
    using SampleSink = std::function<void(const StreamPlanner::Sample&, std::int64_t streamByte)>;

    // The readable stream ends at `dataEndBytes`; chunks are `chunkBytes`
    // long and output buffers `bufferBytes`.
    PlannedReader(StreamPlanner& planner, std::int64_t dataEndBytes, std::int64_t chunkBytes,
                  std::int64_t bufferBytes)
        : planner_(planner), bufferBytes_(bufferBytes), readableEnd_(dataEndBytes) {
        sequencer_.SetFrameBytes(std::max<std::int64_t>(planner.Geometry().FrameBytes(), 1));
        sequencer_.SetChunkBytes(chunkBytes);
        sequencer_.SetDataEnd(dataEndBytes);
    }

    // A start as the parser sets it: the reader begins 1/32 s of frames
    // earlier, and reads up to the stop.
    void Seek(std::int64_t startByte) {
        planner_.SetStart(startByte);
        readStart_ = std::max<std::int64_t>(startByte - planner_.Geometry().PrerollBytes(), 0);
        Range(readStart_, stopByte_);
    }
    // A new stop or rate: the parser reads again from the last start.
    void Restart() {
        planner_.RestartPass();
        Range(readStart_, stopByte_);
    }
    // The stop for the next Seek or Restart.
    void SetStop(std::int64_t stopByte) {
        stopByte_ = stopByte;
        planner_.SetStopByte(stopByte);
    }
    // Reads [start, stop) next, as at the start of a run.
    void Range(std::int64_t startByte, std::int64_t stopByte) {
        sequencer_.SetRange(startByte, stopByte);
    }
    void SetChunkBytes(std::int64_t chunkBytes) { sequencer_.SetChunkBytes(chunkBytes); }
    // Reads past this come back short, as from a reader whose length still
    // counts the bytes that are gone.
    void SetReadableEnd(std::int64_t readableEndByte) { readableEnd_ = readableEndByte; }

    // Reads and plans one chunk; false once the stream has ended (or failed).
    bool Step(const SampleSink& sink) {
        sink_ = &sink;
        status_ = sequencer_.Step(*this);
        sink_ = nullptr;
        return status_ == PullSequencer::Status::kMore;
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

    PullSequencer::Status LastStatus() const { return status_; }
    int Jumps() const { return sequencer_.Jumps(); }
    const StreamPlanner::Plan& LastPlan() const { return sequencer_.LastPlan(); }

private:
    bool Interrupted() override { return false; }
    PullSequencer::Result Read(std::int64_t streamByte, std::int64_t lengthBytes,
                               PullSequencer::ReadChunk& chunk) override {
        chunk.data = nullptr; // the planner needs no bytes
        chunk.bytesRead = std::clamp<std::int64_t>(readableEnd_ - streamByte, 0, lengthBytes);
        return PullSequencer::kDone;
    }
    PullSequencer::Result Deliver(const StreamPlanner::Chunk& chunk, const std::uint8_t*,
                                  PullSequencer::ChunkPlan& plan) override {
        for (const StreamPlanner::Sample& sample : plan.Make(planner_, bufferBytes_).samples) {
            (*sink_)(sample, chunk.streamByte + sample.chunkOffsetBytes);
        }
        return PullSequencer::kDone;
    }
    void EndOfStream() override {}

    StreamPlanner& planner_;
    PullSequencer sequencer_;
    std::int64_t bufferBytes_;
    std::int64_t readableEnd_;
    std::int64_t stopByte_ = StreamGeometry::kMaxStreamBytes;
    std::int64_t readStart_ = 0; // where the last start began reading
    const SampleSink* sink_ = nullptr;
    PullSequencer::Status status_ = PullSequencer::Status::kMore;
};

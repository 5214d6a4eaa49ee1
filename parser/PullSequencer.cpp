#include "parser/PullSequencer.h"

#include <algorithm>

const StreamPlanner::Plan& PullSequencer::ChunkPlan::Make(StreamPlanner& planner,
                                                          std::int64_t bufferBytes) {
    if (!made_) {
        planner.PlanChunk(chunk_, bufferBytes, plan_);
        made_ = true;
    }
    return plan_;
}

void PullSequencer::SetRange(std::int64_t startByte, std::int64_t stopByte) {
    currentByte_ = startByte;
    endByte_ = std::min(stopByte, dataEnd_);
    discontinuity_ = true;
    ended_ = false;
    growBytes_ = 0;
}

PullSequencer::Status PullSequencer::Fail(Result error) {
    error_ = error;
    return Status::kFailed;
}

PullSequencer::Status PullSequencer::Run(Port& port) {
    for (;;) {
        if (port.Interrupted()) {
            return Status::kQuiet; // a new command: no end of stream
        }
        const Status status = Step(port);
        if (status != Status::kMore) {
            return status;
        }
    }
}

PullSequencer::Status PullSequencer::Step(Port& port) {
    if (ended_) {
        return Status::kEnded;
    }
    if (currentByte_ >= endByte_) {
        ended_ = true; // the range is read: the reader's own end of stream
        port.EndOfStream();
        return Status::kEnded;
    }
    const std::int64_t wantedBytes = std::max(chunkBytes_, 2 * frameBytes_) + growBytes_;
    const std::int64_t lengthBytes = std::min(wantedBytes, endByte_ - currentByte_);
    ReadChunk read;
    const Result readResult = port.Read(currentByte_, lengthBytes, read);
    if (readResult < 0) {
        return Fail(readResult);
    }
    StreamPlanner::Chunk chunk;
    chunk.streamByte = currentByte_;
    chunk.lengthBytes = std::clamp<std::int64_t>(read.bytesRead, 0, lengthBytes);
    chunk.discontinuity = discontinuity_;
    chunk.endOfData = chunk.lengthBytes < lengthBytes || currentByte_ + lengthBytes >= dataEnd_;
    chunk.endOfRange = currentByte_ + lengthBytes >= endByte_;
    ChunkPlan plan(chunk, plan_);
    const Result delivered = port.Deliver(chunk, read.data, plan);
    if (delivered < 0) {
        return Fail(delivered);
    }
    if (delivered != kDone) {
        return Status::kQuiet;
    }
    if (!plan.Made() || plan_.outcome.action == StreamPlanner::Action::kError) {
        return Fail(kPlanFailed);
    }
    return Follow(chunk, port);
}

PullSequencer::Status PullSequencer::Follow(const StreamPlanner::Chunk& chunk, Port& port) {
    const StreamPlanner::Outcome& outcome = plan_.outcome;
    // A run's discontinuity goes to its first sample, however many chunks
    // (inside the header, say) go by before it.
    discontinuity_ = discontinuity_ && plan_.samples.empty();
    switch (outcome.action) {
    case StreamPlanner::Action::kJump:
        ++jumps_;
        SetRange(outcome.jumpStartByte, outcome.jumpStopByte);
        return Status::kMore;
    case StreamPlanner::Action::kReadOn:
        endByte_ = std::min(outcome.jumpStopByte, dataEnd_);
        break;
    case StreamPlanner::Action::kContinue:
        break;
    default:
        ended_ = true;
        port.EndOfStream();
        return Status::kEnded;
    }
    const std::int64_t consumedBytes =
        std::clamp<std::int64_t>(outcome.consumedBytes, 0, chunk.lengthBytes);
    if (consumedBytes == 0 && outcome.action == StreamPlanner::Action::kContinue) {
        // No whole frame in the chunk: read more next time, never skip.
        growBytes_ += std::max(chunk.lengthBytes, frameBytes_);
        if (chunk.endOfData) {
            ended_ = true;
            port.EndOfStream();
            return Status::kEnded;
        }
        return Status::kMore;
    }
    growBytes_ = 0;
    currentByte_ += consumedBytes;
    return Status::kMore;
}

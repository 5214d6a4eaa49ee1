#include "parser/StreamPlanner.h"

#include <algorithm>
#include <cassert>
#include <limits>

StreamPlanner::PassState StreamPlanner::Advance(PassState state, PassEvent event) {
    switch (event) {
    case PassEvent::kNewStart:
    case PassEvent::kRestart:
        return PassState::kPreroll;
    case PassEvent::kStartReached:
        return state == PassState::kPreroll ? PassState::kPlaying : state;
    case PassEvent::kLoopEnd:
        return state == PassState::kEnded ? state : PassState::kJumpPending;
    case PassEvent::kJumpData:
        return state == PassState::kJumpPending ? PassState::kLoopStart : state;
    case PassEvent::kDelivered:
        return state == PassState::kLoopStart ? PassState::kLoopPass : state;
    case PassEvent::kStreamEnd:
        return PassState::kEnded;
    }
    return state;
}

void StreamPlanner::SetStream(const AdxHeader& header) {
    geometry_ = StreamGeometry(header);
    loops_ = header.loops;
    loopUsable_.assign(loops_.size(), false);
    if (geometry_.IsUsable()) {
        const std::int64_t frameBytes = geometry_.FrameBytes();
        const std::int64_t dataOffset = geometry_.DataOffset();
        for (std::size_t index = 0; index < loops_.size(); ++index) {
            const AdxLoopPoint& loop = loops_[index];
            if (loop.startByte < dataOffset || (loop.startByte - dataOffset) % frameBytes != 0 ||
                loop.endByte < loop.startByte) {
                continue; // a pass from there would be misaligned or read nothing
            }
            const std::int64_t firstSample =
                geometry_.SampleIndexAt(loop.startByte) + loop.startTrim;
            const std::int64_t loopEnd =
                std::int64_t{loop.endSample} + geometry_.SamplesPerFrame() - loop.endTrim;
            // A pass must deliver at least one sample, or looping would spin.
            loopUsable_[index] =
                firstSample < std::min<std::int64_t>(loopEnd, geometry_.TotalSamples());
        }
    }
    loopEnabled_ = false;
    loopIndex_ = 0;
    rate_ = 1.0;
    stopByte_ = StreamGeometry::kMaxStreamBytes;
    Rewind();
}

bool StreamPlanner::IsLoopUsable(std::int32_t index) const {
    return index >= 0 && static_cast<std::size_t>(index) < loopUsable_.size() &&
           loopUsable_[static_cast<std::size_t>(index)];
}

bool StreamPlanner::SetLoop(std::int32_t index, bool enabled) {
    if (index < 0 || static_cast<std::size_t>(index) >= loops_.size()) {
        return false;
    }
    loopIndex_ = index;
    loopEnabled_ = enabled;
    return true;
}

void StreamPlanner::SetStart(std::int64_t startByte) {
    startByte_ = startByte;
    RebaseTime(0);
    state_ = Advance(state_, PassEvent::kNewStart);
}

void StreamPlanner::SetRate(double rate) {
    RebaseTime(TimeAfterBytes(0));
    rate_ = rate;
}

void StreamPlanner::RestartPass() {
    RebaseTime(TimeAfterBytes(0));
    state_ = Advance(state_, PassEvent::kRestart);
}

std::int64_t StreamPlanner::TimeAfterBytes(std::int64_t bytes) const {
    const std::int64_t played = bytesPlayed_ + bytes;
    if (played <= 0) {
        return timeBase_; // also without a usable stream
    }
    const std::int64_t units = geometry_.PlayedUnits(played, rate_);
    const std::int64_t latest = std::numeric_limits<std::int64_t>::max();
    return units > latest - timeBase_ ? latest : timeBase_ + units;
}

void StreamPlanner::RebaseTime(std::int64_t timeBase) {
    timeBase_ = timeBase;
    bytesPlayed_ = 0;
}

void StreamPlanner::Rewind() {
    // Start 0 lies before the data: the first frame is not preroll.
    SetStart(0);
}

const AdxLoopPoint* StreamPlanner::ActiveLoop() const {
    return loopEnabled_ && IsLoopUsable(loopIndex_) ? &loops_[static_cast<std::size_t>(loopIndex_)]
                                                    : nullptr;
}

std::int64_t StreamPlanner::PassEndSample(const AdxLoopPoint* loop) const {
    const std::int64_t totalSamples = geometry_.TotalSamples();
    if (loop == nullptr) {
        return totalSamples;
    }
    const std::int64_t loopEnd =
        std::int64_t{loop->endSample} + geometry_.SamplesPerFrame() - loop->endTrim;
    return std::min(loopEnd, totalSamples);
}

void StreamPlanner::EndPass(const AdxLoopPoint* loop, Plan& plan) {
    // A loop pass that delivered nothing would repeat as it is for ever.
    const bool progressed = state_ != PassState::kLoopStart;
    if (loop != nullptr && progressed) {
        plan.outcome.action = Action::kJump;
        plan.outcome.jumpStartByte = loop->startByte;
        plan.outcome.jumpStopByte = std::int64_t{loop->endByte} + geometry_.FrameBytes();
        state_ = Advance(state_, PassEvent::kLoopEnd);
    } else {
        plan.outcome.action = Action::kEndOfStream;
        state_ = Advance(state_, PassEvent::kStreamEnd);
    }
}

void StreamPlanner::PlanChunk(const Chunk& chunk, std::int64_t bufferBytes, Plan& plan) {
    plan.samples.clear();
    plan.outcome.consumedBytes = std::max<std::int64_t>(chunk.lengthBytes, 0);
    plan.outcome.action = Action::kContinue;
    if (!geometry_.IsUsable() || state_ == PassState::kEnded) {
        plan.outcome.action = Action::kEndOfStream;
        state_ = Advance(state_, PassEvent::kStreamEnd);
        return;
    }
    const std::int64_t frameBytes = geometry_.FrameBytes();
    const std::int64_t dataOffset = geometry_.DataOffset();
    const std::int64_t chunkByte = chunk.streamByte;
    const std::int64_t chunkBytes = plan.outcome.consumedBytes;
    const std::int64_t capacityBytes = bufferBytes - bufferBytes % frameBytes;
    if (capacityBytes <= 0) {
        plan.outcome.action = Action::kError;
        return;
    }

    const bool jumpData = state_ == PassState::kJumpPending;
    if (jumpData) {
        state_ = Advance(state_, PassEvent::kJumpData);
    }
    // A run starts on the frame grid of the data area, never inside the
    // header; a loop jump is seamless, so it marks no discontinuity.
    std::int64_t pos = 0;
    bool markDiscontinuity = false;
    if (chunk.discontinuity || jumpData) {
        const std::int64_t remainder = (chunkByte - dataOffset) % frameBytes;
        pos = remainder == 0 ? 0 : frameBytes - remainder;
        markDiscontinuity = !jumpData;
    }
    if (chunkByte < dataOffset) {
        pos = dataOffset - chunkByte; // the first frame follows the header directly
    }

    const AdxLoopPoint* loop = ActiveLoop();
    const std::int64_t endSample = PassEndSample(loop);
    bool passEnded = false;
    while (chunkBytes - pos >= frameBytes) {
        const std::int64_t absolute = chunkByte + pos;
        std::int64_t size = capacityBytes;
        bool preroll = false;
        bool discontinuity = markDiscontinuity;
        if (state_ == PassState::kPreroll) {
            // Data before the start goes out as preroll samples that end at
            // or before it; a start at the very first frame of a run gets one
            // empty preroll sample, which resets the decoder's prediction.
            const std::int64_t relative = absolute - startByte_;
            if (relative <= -frameBytes) {
                size = std::min(size, -relative);
                preroll = true;
            } else if (relative == 0 && markDiscontinuity) {
                size = 0;
                preroll = true;
            } else {
                discontinuity = discontinuity || relative <= 0;
                state_ = Advance(state_, PassEvent::kStartReached);
            }
        }
        const std::int64_t remaining = chunkBytes - pos;
        size = std::min(size - size % frameBytes, remaining - remaining % frameBytes);

        const std::int64_t firstSample = geometry_.SampleIndexAt(absolute);
        std::int64_t mediaEnd = geometry_.SampleIndexAt(absolute + size);
        bool cut = false;
        if (mediaEnd >= endSample) {
            // Keep the frame that holds the pass's last sample, nothing after.
            mediaEnd = endSample;
            size = geometry_.FramesBefore(firstSample, endSample, size / frameBytes) * frameBytes;
            cut = true;
        }
        if (size > 0 || (preroll && !cut)) {
            Sample sample;
            sample.chunkOffsetBytes = pos;
            sample.sizeBytes = size;
            sample.mediaStart = firstSample;
            if (state_ == PassState::kLoopStart && loop != nullptr) {
                sample.mediaStart += loop->startTrim; // the first sample of a loop pass
            }
            sample.mediaEnd = std::max(mediaEnd, sample.mediaStart);
            sample.timeStart = TimeAfterBytes(0);
            bytesPlayed_ += size;
            sample.timeStop = TimeAfterBytes(0);
            sample.discontinuity = discontinuity;
            sample.preroll = preroll;
            plan.samples.push_back(sample);
            if (size > 0) {
                state_ = Advance(state_, PassEvent::kDelivered);
            }
        }
        pos += size;
        markDiscontinuity = false;
        if (cut) {
            passEnded = true;
            break;
        }
    }
    if (!passEnded && chunk.endOfData && chunkBytes - pos < frameBytes) {
        passEnded = true;
        // The range a start reads ends at its stop: the stream ends there
        // even while looping. Other ends of the data end the pass.
        const bool pastStop = (state_ == PassState::kPreroll || state_ == PassState::kPlaying) &&
                              chunkByte + chunkBytes >= stopByte_;
        if (pastStop) {
            loop = nullptr;
        }
    }
    if (passEnded) {
        plan.outcome.consumedBytes = chunkBytes; // the rest is not played
        EndPass(loop, plan);
        return;
    }
    plan.outcome.consumedBytes = std::min(pos, chunkBytes);
    assert(plan.outcome.consumedBytes >= 0);
}

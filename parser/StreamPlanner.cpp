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
    RebaseTime(TimeAfterSamples(0));
    rate_ = rate;
}

void StreamPlanner::RestartPass() {
    RebaseTime(TimeAfterSamples(0));
    state_ = Advance(state_, PassEvent::kRestart);
}

std::int64_t StreamPlanner::TimeAfterSamples(std::int64_t samples) const {
    const std::int64_t played = samplesPlayed_ + samples;
    if (played <= 0 || !geometry_.IsUsable()) {
        return timeBase_;
    }
    const std::int64_t units = geometry_.PlayedUnits(played, rate_);
    const std::int64_t latest = std::numeric_limits<std::int64_t>::max();
    return units > latest - timeBase_ ? latest : timeBase_ + units;
}

void StreamPlanner::RebaseTime(std::int64_t timeBase) {
    timeBase_ = timeBase;
    samplesPlayed_ = 0;
}

void StreamPlanner::Rewind() {
    // Start 0 lies before the data: the first frame is not preroll.
    SetStart(0);
}

const AdxLoopPoint* StreamPlanner::ActiveLoop() const {
    return loopEnabled_ && IsLoopUsable(loopIndex_) ? &loops_[static_cast<std::size_t>(loopIndex_)]
                                                    : nullptr;
}

bool StreamPlanner::InLoopPass() const {
    return state_ == PassState::kJumpPending || state_ == PassState::kLoopStart ||
           state_ == PassState::kLoopPass;
}

const AdxLoopPoint* StreamPlanner::BoundingLoop() const {
    const AdxLoopPoint* chosen = ActiveLoop();
    if (chosen == nullptr) {
        return nullptr; // loop playback off: every pass plays on
    }
    if (InLoopPass()) {
        return &passLoop_; // never cut by another record than the one it jumped with
    }
    // A stop in the frame of the cut point or before it ends the stream
    // there, as a stop inside any pass does.
    const std::int64_t samplesPerFrame = geometry_.SamplesPerFrame();
    const std::int64_t cutFrameEnd =
        (PassEndSample(chosen) + samplesPerFrame - 1) / samplesPerFrame * samplesPerFrame;
    return geometry_.SampleIndexAt(stopByte_) <= cutFrameEnd ? nullptr : chosen;
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
    // The next pass loops the record chosen now.
    const AdxLoopPoint* next = loop != nullptr ? ActiveLoop() : nullptr;
    if (next != nullptr && progressed) {
        passLoop_ = *next;
        plan.outcome.action = Action::kJump;
        plan.outcome.jumpStartByte = passLoop_.startByte;
        plan.outcome.jumpStopByte = std::int64_t{passLoop_.endByte} + geometry_.FrameBytes();
        state_ = Advance(state_, PassEvent::kLoopEnd);
    } else {
        plan.outcome.action = Action::kEndOfStream;
        state_ = Advance(state_, PassEvent::kStreamEnd);
    }
}

std::int64_t StreamPlanner::FirstFrameOffset(const Chunk& chunk, bool realign) const {
    const std::int64_t frameBytes = geometry_.FrameBytes();
    const std::int64_t dataOffset = geometry_.DataOffset();
    if (chunk.streamByte < dataOffset) {
        return dataOffset - chunk.streamByte; // the first frame follows the header directly
    }
    if (!realign) {
        return 0;
    }
    const std::int64_t remainder = (chunk.streamByte - dataOffset) % frameBytes;
    return remainder == 0 ? 0 : frameBytes - remainder;
}

std::int64_t StreamPlanner::PlanSample(const SampleSpan& span, std::int64_t pos, bool& cut,
                                       Plan& plan) {
    const std::int64_t frameBytes = geometry_.FrameBytes();
    const std::int64_t absolute = span.chunkByte + pos;
    std::int64_t size = span.capacityBytes;
    bool preroll = false;
    bool discontinuity = span.markDiscontinuity;
    if (state_ == PassState::kPreroll) {
        // Data before the start goes out as preroll samples that end at or
        // before it; a start at the very first frame of a run gets one empty
        // preroll sample, which resets the decoder's prediction.
        const std::int64_t relative = absolute - startByte_;
        if (relative <= -frameBytes) {
            size = std::min(size, -relative);
            preroll = true;
        } else if (relative == 0 && span.markDiscontinuity) {
            size = 0;
            preroll = true;
        } else {
            discontinuity = discontinuity || relative <= 0;
            state_ = Advance(state_, PassEvent::kStartReached);
        }
    }
    const std::int64_t remaining = span.chunkBytes - pos;
    size = std::min(size - size % frameBytes, remaining - remaining % frameBytes);

    const std::int64_t firstSample = geometry_.SampleIndexAt(absolute);
    std::int64_t mediaEnd = geometry_.SampleIndexAt(absolute + size);
    cut = mediaEnd >= span.endSample;
    if (cut) {
        // Keep the frame that holds the pass's last sample, nothing after.
        mediaEnd = span.endSample;
        size = geometry_.FramesBefore(firstSample, span.endSample, size / frameBytes) * frameBytes;
    }
    if (size <= 0 && !(preroll && !cut)) {
        return size;
    }
    Sample sample;
    sample.chunkOffsetBytes = pos;
    sample.sizeBytes = size;
    sample.mediaStart = firstSample;
    if (state_ == PassState::kLoopStart) {
        sample.mediaStart += passLoop_.startTrim; // the first sample of a loop pass
    }
    sample.mediaEnd = std::max(mediaEnd, sample.mediaStart);
    // Stamped by the samples it carries, so that trims and cuts leave no gap
    // and no overlap in the decoded stream's times.
    sample.timeStart = TimeAfterSamples(0);
    samplesPlayed_ += sample.mediaEnd - sample.mediaStart;
    sample.timeStop = TimeAfterSamples(0);
    sample.discontinuity = discontinuity;
    sample.preroll = preroll;
    plan.samples.push_back(sample);
    if (size > 0) {
        state_ = Advance(state_, PassEvent::kDelivered);
    }
    return size;
}

void StreamPlanner::EndOfChunk(const Chunk& chunk, std::int64_t pos, const AdxLoopPoint* loop,
                               Plan& plan) {
    const std::int64_t chunkBytes = plan.outcome.consumedBytes;
    const bool dataEnds = chunk.endOfData || chunk.endOfRange;
    if (!dataEnds || chunkBytes - pos >= geometry_.FrameBytes()) {
        plan.outcome.consumedBytes = std::min(pos, chunkBytes); // the tail is read again
        return;
    }
    const std::int64_t chunkEnd = chunk.streamByte + chunkBytes;
    if (loop == nullptr && InLoopPass() && !chunk.endOfData && chunkEnd < stopByte_) {
        // Loop playback went off in a loop pass: it plays on to the stop.
        plan.outcome.consumedBytes = std::min(pos, chunkBytes);
        plan.outcome.action = Action::kReadOn;
        plan.outcome.jumpStopByte = stopByte_;
        return;
    }
    // The range a start reads ends at its stop: the stream ends there even
    // while looping. Other ends of the data end the pass.
    const bool pastStop =
        (state_ == PassState::kPreroll || state_ == PassState::kPlaying) && chunkEnd >= stopByte_;
    EndPass(pastStop ? nullptr : loop, plan);
}

void StreamPlanner::PlanChunk(const Chunk& chunk, std::int64_t bufferBytes, Plan& plan) {
    plan.samples.clear();
    plan.outcome = Outcome{};
    plan.outcome.consumedBytes = std::max<std::int64_t>(chunk.lengthBytes, 0);
    if (!geometry_.IsUsable() || state_ == PassState::kEnded) {
        plan.outcome.action = Action::kEndOfStream;
        state_ = Advance(state_, PassEvent::kStreamEnd);
        return;
    }
    const std::int64_t frameBytes = geometry_.FrameBytes();
    SampleSpan span;
    span.chunkByte = chunk.streamByte;
    span.chunkBytes = plan.outcome.consumedBytes;
    span.capacityBytes = bufferBytes - bufferBytes % frameBytes;
    if (span.capacityBytes <= 0) {
        plan.outcome.action = Action::kError;
        return;
    }
    const bool jumpData = state_ == PassState::kJumpPending;
    if (jumpData) {
        state_ = Advance(state_, PassEvent::kJumpData);
    }
    // A run starts on the frame grid of the data area; a loop jump is
    // seamless, so it marks no discontinuity.
    std::int64_t pos = FirstFrameOffset(chunk, chunk.discontinuity || jumpData);
    span.markDiscontinuity = chunk.discontinuity && !jumpData;
    const AdxLoopPoint* loop = BoundingLoop();
    span.endSample = PassEndSample(loop);
    while (span.chunkBytes - pos >= frameBytes) {
        bool cut = false;
        pos += std::max<std::int64_t>(PlanSample(span, pos, cut, plan), 0);
        span.markDiscontinuity = false;
        if (cut) {
            EndPass(loop, plan); // the rest of the chunk is not played
            return;
        }
    }
    EndOfChunk(chunk, pos, loop, plan);
    assert(plan.outcome.consumedBytes >= 0);
}

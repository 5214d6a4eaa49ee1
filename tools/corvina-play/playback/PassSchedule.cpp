#include "playback/PassSchedule.h"

#include "parser/PlannedReader.h"

#include <algorithm>
#include <limits>

namespace {

// Chunk sizes change no time or sample of the plan; large ones plan quickly.
constexpr std::int64_t kChunkBytes = 1 << 20;

} // namespace

PassSchedule::PassSchedule(const AdxHeader& header, const Settings& settings)
    : rate_(settings.rateGiven ? settings.rate : 1.0) {
    planner_.SetStream(header);
    if (settings.loopIndex >= 0) {
        (void)planner_.SetLoop(settings.loopIndex, true);
    }
    const StreamGeometry& geometry = planner_.Geometry();
    PlannedReader reader(planner_, settings.dataBytes, kChunkBytes, geometry.DefaultBufferBytes());
    // As the parser applies the player's seeking calls: any of them sets the
    // stop (the stream's end when none is asked), a start reads from before
    // it, and times run from 0 at the new rate.
    const bool start = settings.startUnits >= 0;
    if (start || settings.stopUnits >= 0 || settings.rateGiven) {
        reader.SetStop(geometry.StopByteForTime(settings.stopUnits >= 0 ? settings.stopUnits
                                                                        : geometry.Duration()));
    }
    planner_.SetRate(rate_);
    if (start) {
        reader.Seek(geometry.StreamByteForTime(settings.startUnits));
    } else {
        reader.Restart();
    }

    bool passOpen = false;
    std::int64_t passSamples = 0;
    const auto record = [&](const StreamPlanner::Sample& sample, std::int64_t) {
        if (sample.preroll || sample.sizeBytes <= 0) {
            return; // preroll settles the decoder and belongs to no pass
        }
        if (!passOpen) {
            passes_.push_back(
                {sample.timeStart, sample.timeStop, sample.mediaStart, sample.mediaEnd});
            passOpen = true;
            passSamples = 0;
        }
        passes_.back().endTime = sample.timeStop;
        passes_.back().endSample = sample.mediaEnd;
        passSamples += sample.mediaEnd - sample.mediaStart;
    };
    // Planned up to the end of the third pass and no further: the planner's
    // times then run on from there.
    std::size_t passesEnded = 0;
    while (passesEnded < kPlannedPasses) {
        const int jumps = reader.Jumps();
        if (!reader.Step(record)) {
            ended_ = true;
            break;
        }
        if (reader.Jumps() != jumps && passOpen) {
            passOpen = false; // a pass that played nothing does not count
            lastPassSamples_ = passSamples;
            ++passesEnded;
        }
    }
}

bool PassSchedule::Repeats() const {
    return !ended_ && passes_.size() == kPlannedPasses;
}

std::int64_t PassSchedule::TimeAfterRepeats(std::int64_t count) const {
    const std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 4;
    const std::int64_t samples =
        lastPassSamples_ > 0 && count > limit / lastPassSamples_ ? limit : count * lastPassSamples_;
    return planner_.TimeAfterSamples(samples);
}

std::int64_t PassSchedule::SampleUnits(std::int64_t sample) const {
    const std::int64_t sampleRate = planner_.Geometry().SampleRate();
    return sampleRate > 0 ? sample * StreamGeometry::kUnitsPerSecond / sampleRate : 0;
}

bool PassSchedule::PassNumber(std::int64_t number, Pass& pass) const {
    const auto planned = static_cast<std::int64_t>(passes_.size());
    if (number < 1 || number > kMaxPasses) {
        return false;
    }
    if (number <= planned) {
        pass = passes_[static_cast<std::size_t>(number - 1)];
        return true;
    }
    if (!Repeats()) {
        return false;
    }
    pass = passes_.back();
    pass.startTime = TimeAfterRepeats(number - planned - 1);
    pass.endTime = TimeAfterRepeats(number - planned);
    return true;
}

std::int64_t PassSchedule::SamplesIn(std::int64_t count) const {
    std::int64_t samples = 0;
    for (std::size_t index = 0; index < passes_.size() && static_cast<std::int64_t>(index) < count;
         ++index) {
        samples += passes_[index].endSample - passes_[index].startSample;
    }
    const auto planned = static_cast<std::int64_t>(passes_.size());
    if (Repeats() && count > planned) {
        const Pass& last = passes_.back();
        samples += (std::min(count, kMaxPasses) - planned) * (last.endSample - last.startSample);
    }
    return samples;
}

std::int64_t PassSchedule::PassesBefore(std::int64_t time) const {
    const auto planned = static_cast<std::int64_t>(passes_.size());
    std::int64_t begun = 0;
    while (begun < planned && passes_[static_cast<std::size_t>(begun)].startTime < time) {
        ++begun;
    }
    if (begun < planned || !Repeats()) {
        return begun;
    }
    // Repeated pass n begins when pass n - 1 ends: the largest n whose
    // start lies before `time`, by bisection.
    std::int64_t low = planned;         // begins before `time`
    std::int64_t high = kMaxPasses + 1; // does not, or lies past the count
    while (high - low > 1) {
        const std::int64_t middle = low + (high - low) / 2;
        if (TimeAfterRepeats(middle - planned - 1) < time) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return low;
}

std::int64_t PassSchedule::PositionAt(std::int64_t time, std::int64_t& pass) const {
    pass = std::max<std::int64_t>(PassesBefore(time), 1);
    Pass under;
    if (!PassNumber(pass, under)) {
        pass = 0;
        return 0;
    }
    if (time >= under.endTime) {
        return SampleUnits(under.endSample); // a pass played out ends where its samples do
    }
    const std::int64_t since = std::max<std::int64_t>(time - under.startTime, 0);
    const auto played = static_cast<std::int64_t>(static_cast<double>(since) * rate_);
    return std::min(SampleUnits(under.startSample) + played, SampleUnits(under.endSample));
}

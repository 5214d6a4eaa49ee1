#include "playback/StreamPlan.h"

#include "commandline/ConsoleText.h"
#include "files/FilePaths.h"
#include "files/WavWriter.h"
#include "playback/PlaybackGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;

LONGLONG SecondsToUnits(double seconds) {
    return std::llround(seconds * kUnitsPerSecond);
}

} // namespace

REFERENCE_TIME StreamPlan::TimeOf(LONGLONG sample) const {
    return format_.sampleRate > 0 ? sample * kUnitsPerSecond / format_.sampleRate : 0;
}

ExitStatus StreamPlan::Read(PlaybackGraph& graph, long long fileOffset, long long dataEnd) {
    fileOffset_ = fileOffset;
    dataEnd_ = dataEnd;
    IAdxParserControl* parser = graph.ParserControl();
    HRESULT hr = parser->GetFormatInfo(&format_);
    if (SUCCEEDED(hr)) {
        totalSamples_ = parser->GetTotalSamples();
        hr = graph.ParserSeeking()->GetDuration(&duration_);
    }
    if (FAILED(hr)) {
        return voice_.Fail(ExitStatus::kFailed, hr, "the parser reports no stream");
    }
    if (totalSamples_ <= 0 || duration_ <= 0) {
        return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                           "not a playable ADX stream: its header gives a total length of " +
                               std::to_string(static_cast<unsigned long>(totalSamples_)) +
                               " samples");
    }
    ExitStatus status = CheckLoopIndex(parser);
    if (status == ExitStatus::kDone) {
        status = LoadHeader();
    }
    if (status == ExitStatus::kDone) {
        status = CheckTimes();
    }
    if (status == ExitStatus::kDone) {
        PlanPasses();
    }
    return status;
}

ExitStatus StreamPlan::CheckLoopIndex(IAdxParserControl* parser) const {
    if (options_.loopIndex < 0) {
        return ExitStatus::kDone;
    }
    INT32 count = 0;
    HRESULT hr = parser->GetLoopPoints(nullptr, &count);
    std::vector<AdxLoopPoint> loops(static_cast<size_t>(std::max<INT32>(count, 0)));
    if (SUCCEEDED(hr) && options_.loopIndex < count) {
        hr = parser->GetLoopPoints(loops.data(), &count);
    }
    if (FAILED(hr)) {
        return voice_.Fail(ExitStatus::kFailed, hr, "the parser reports no loop table");
    }
    if (options_.loopIndex >= count) {
        return voice_.Fail(ExitStatus::kUsage, S_OK, input_,
                           "no loop " + std::to_string(options_.loopIndex) +
                               ": the loop table holds " + Plural(count, "loop"));
    }
    return ExitStatus::kDone;
}

ExitStatus StreamPlan::LoadHeader() {
    // The parser accepted these bytes: the pass schedules plan from them.
    unsigned char prefix[kAdxPrefixBytes] = {};
    DWORD got = 0;
    std::optional<std::int32_t> headerLength;
    if (ReadBytesAt(input_, fileOffset_, prefix, sizeof(prefix), got) && got == sizeof(prefix)) {
        headerLength = AdxHeaderLength(prefix);
    }
    std::vector<unsigned char> headerBytes(headerLength ? static_cast<size_t>(*headerLength) : 0);
    if (!headerLength ||
        !ReadBytesAt(input_, fileOffset_, headerBytes.data(), static_cast<DWORD>(*headerLength),
                     got) ||
        got != static_cast<DWORD>(*headerLength) ||
        ParseAdxHeader(*headerLength, headerBytes.data(), header_) != kAdxHeaderAccepted) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, input_, "cannot read the ADX header again");
    }
    // Whole blocks of every channel that the input holds after the header.
    const LONGLONG frameBytes = LONGLONG{header_.blockSize} * header_.channelCount;
    const LONGLONG dataBytes = std::max<LONGLONG>(dataEnd_ - fileOffset_ - header_.dataOffset, 0);
    availableSamples_ =
        frameBytes > 0
            ? std::min<LONGLONG>(dataBytes / frameBytes * header_.samplesPerBlock, totalSamples_)
            : totalSamples_;
    return ExitStatus::kDone;
}
ExitStatus StreamPlan::CheckTimes() {
    const std::string loopName = "loop " + std::to_string(options_.loopIndex);
    if (options_.startSeconds >= 0.0) {
        start_ = SecondsToUnits(options_.startSeconds);
        if (start_ >= duration_) {
            return voice_.Fail(ExitStatus::kUsage, S_OK, input_,
                               "--start " + ClockText(start_, 3) +
                                   " lies past the end of the stream (" + ClockText(duration_, 3) +
                                   ")");
        }
    }
    const LONGLONG stop = options_.stopSeconds >= 0.0 ? SecondsToUnits(options_.stopSeconds) : -1;
    if (stop > duration_) {
        return voice_.Fail(ExitStatus::kUsage, S_OK, input_,
                           "--stop " + ClockText(stop, 3) + " lies past the end of the stream (" +
                               ClockText(duration_, 3) + ")");
    }
    if (options_.loopIndex < 0) {
        return ExitStatus::kDone;
    }
    // Where the loop's passes end: the first pass of the loop alone.
    PassSchedule::Settings loopAlone;
    loopAlone.loopIndex = options_.loopIndex;
    PassSchedule::Pass pass;
    const LONGLONG loopEnd =
        PassSchedule(header_, loopAlone).PassNumber(1, pass) ? TimeOf(pass.endSample) : duration_;
    if (start_ >= loopEnd) {
        return voice_.Fail(ExitStatus::kUsage, S_OK, input_,
                           "--start " + ClockText(start_, 3) + " lies after the end of " +
                               loopName + " (" + ClockText(loopEnd, 3) + "): no pass would play");
    }
    if (stop >= loopEnd) {
        return voice_.Fail(ExitStatus::kUsage, S_OK, input_,
                           "--stop " + ClockText(stop, 3) + " lies after the end of " + loopName +
                               " (" + ClockText(loopEnd, 3) + "): the pass ends the stream first");
    }
    return ExitStatus::kDone;
}
ExitStatus StreamPlan::CheckWavSize() const {
    // 16-bit samples of every channel, as the decoder delivers them.
    const unsigned long long frameBytes =
        2ull * static_cast<unsigned long long>(std::max<INT32>(format_.channelCount, 1));
    const unsigned long long pcmBytes =
        static_cast<unsigned long long>(schedule_->SamplesIn(AskedPasses())) * frameBytes;
    if (pcmBytes <= WavWriter::kMaxPcmBytes) {
        return ExitStatus::kDone;
    }
    return voice_.Fail(ExitStatus::kUsage, S_OK, input_,
                       "the conversion would write " + std::to_string(pcmBytes) +
                           " bytes of PCM, more than a WAV file holds (" +
                           std::to_string(WavWriter::kMaxPcmBytes) +
                           "); ask for less with --passes, --start or --stop");
}
LONGLONG StreamPlan::StopPosition() const {
    const LONGLONG stop = options_.stopSeconds >= 0.0 ? SecondsToUnits(options_.stopSeconds) : -1;
    return stop < duration_ ? stop : -1; // a stop at the end is the end itself
}
void StreamPlan::PlanPasses() {
    PassSchedule::Settings settings;
    settings.startUnits = options_.startSeconds >= 0.0 ? start_ : -1;
    settings.stopUnits = StopPosition();
    settings.rate = options_.rate;
    settings.rateGiven = options_.rateGiven;
    settings.loopIndex = options_.loopIndex;
    asked_.emplace(header_, settings);
    settings.dataBytes = std::max<long long>(dataEnd_ - fileOffset_, 0);
    schedule_.emplace(header_, settings);
}
REFERENCE_TIME StreamPlan::PlannedTime() const {
    return TimeOf(asked_->SamplesIn(AskedPasses()));
}
ExitStatus StreamPlan::Apply(PlaybackGraph& graph) const {
    IAdxParserControl* parser = graph.ParserControl();
    IMediaSeeking* seeking = graph.ParserSeeking();
    if (options_.loopIndex >= 0) {
        const HRESULT hr = parser->SetLoop(options_.loopIndex, 1);
        if (hr != S_OK) {
            return voice_.Fail(ExitStatus::kFailed, hr,
                               "the parser refused loop " + std::to_string(options_.loopIndex));
        }
    } else {
        // Played once, whatever the user's "loop by default" setting made
        // of the stream (a stream without loops refuses: nothing to undo).
        (void)parser->SetLoop(0, 0);
    }
    const bool start = options_.startSeconds >= 0.0;
    LONGLONG stop = StopPosition();
    if (start || stop >= 0) {
        LONGLONG current = start_;
        const HRESULT hr = seeking->SetPositions(
            start ? &current : nullptr,
            start ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning,
            stop >= 0 ? &stop : nullptr,
            stop >= 0 ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
        if (FAILED(hr)) {
            return voice_.Fail(ExitStatus::kFailed, hr, "cannot seek in the stream");
        }
    }
    if (options_.rateGiven) {
        const HRESULT hr = seeking->SetRate(options_.rate);
        if (FAILED(hr)) {
            return voice_.Fail(ExitStatus::kFailed, hr, "cannot set the rate");
        }
    }
    return ExitStatus::kDone;
}
bool StreamPlan::FirstPlayedLoop(unsigned long long& startFrame,
                                 unsigned long long& endFrame) const {
    // The samples the parser plays on a loop's second pass are the loop:
    // from its start (with the start trim) to its end, as a player of the
    // WAV file should repeat them.
    PassSchedule::Settings settings;
    settings.dataBytes = std::max<long long>(dataEnd_ - fileOffset_, 0);
    PassSchedule::Pass pass;
    for (std::size_t i = 0; i < header_.loops.size(); ++i) {
        settings.loopIndex = static_cast<std::int32_t>(i);
        if (PassSchedule(header_, settings).PassNumber(2, pass) &&
            pass.startSample < pass.endSample) {
            startFrame = static_cast<unsigned long long>(pass.startSample);
            endFrame = static_cast<unsigned long long>(pass.endSample);
            return true;
        }
    }
    return false;
}

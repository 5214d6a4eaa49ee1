#include "playback/Player.h"

#include "commandline/ConsoleText.h"
#include "files/ArchiveMember.h"
#include "files/FilePaths.h"
#include "graph/LoopPassTap.h"
#include "graph/WavSink.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;
constexpr int kBarWidth = 30;
// The parser takes the stream's byte offset as a signed 32-bit number.
constexpr long long kMaxFileOffset = 0x7FFFFFFF;

} // namespace

Player::Player(const Options& options, const std::string& input, const std::string& output,
               HANDLE stopEvent)
    : options_(options), input_(Widen(input)), output_(Widen(output)),
      toStandardOutput_(output == "-"), progress_(!options.quiet), voice_(progress_),
      fileOffset_(options.fileOffset), session_(stopEvent),
      assembly_(options, input_, session_, writer_, voice_), stream_(options, input_, voice_) {}

ExitStatus Player::Run() {
    ExitStatus status = CheckInput();
    if (status == ExitStatus::kDone && options_.Converting()) {
        status = CheckOutput();
    }
    if (status == ExitStatus::kDone) {
        status = Build();
    }
    if (status != ExitStatus::kDone) {
        return status;
    }
    switch (options_.mode) {
    case Options::Mode::kInfo:
        return Describe();
    case Options::Mode::kWav:
    case Options::Mode::kWavDir:
        return Convert();
    case Options::Mode::kPlay:
    default:
        return Play();
    }
}

ExitStatus Player::CheckInput() {
    long long sizeBytes = 0;
    const std::string problem = InputProblem(input_, sizeBytes);
    if (!problem.empty()) {
        return voice_.Fail(ExitStatus::kRefused, S_OK, input_, problem);
    }
    dataEnd_ = sizeBytes;
    if (!options_.member.empty()) {
        ArchiveMember member;
        std::string error;
        if (!FindArchiveMember(input_, options_.member, member, error)) {
            return voice_.Fail(ExitStatus::kRefused, S_OK, input_, error);
        }
        const std::string which = "member " + std::to_string(member.index);
        if (member.offsetBytes > static_cast<unsigned long long>(kMaxFileOffset)) {
            return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                               which + " starts at byte " + std::to_string(member.offsetBytes) +
                                   ", past the 2 GiB the parser can address");
        }
        const auto archiveBytes = static_cast<unsigned long long>(sizeBytes);
        if (member.sizeBytes == 0 || member.offsetBytes >= archiveBytes) {
            return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                               which + " (bytes " + std::to_string(member.offsetBytes) + "+" +
                                   std::to_string(member.sizeBytes) +
                                   ") is empty or starts past the " + "end of the archive (" +
                                   std::to_string(sizeBytes) + " bytes)");
        }
        // An archive cut short still holds the member's start: it plays as
        // far as it goes, and comes out short, as a stream cut short does.
        fileOffset_ = static_cast<long long>(member.offsetBytes);
        dataEnd_ =
            static_cast<long long>(std::min(member.offsetBytes + member.sizeBytes, archiveBytes));
    }
    if (sizeBytes <= fileOffset_) {
        return voice_.Fail(ExitStatus::kRefused, S_OK, input_,
                           "file too short: " + std::to_string(sizeBytes) +
                               " bytes, no stream can start at byte offset " +
                               std::to_string(fileOffset_));
    }
    return ExitStatus::kDone;
}

ExitStatus Player::CheckOutput() {
    if (toStandardOutput_) {
        // Binary data would garble the terminal, as zstd refuses too.
        DWORD mode = 0;
        return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE
                   ? voice_.Fail(ExitStatus::kUsage, S_OK,
                                 "standard output is a terminal; redirect the WAV data (> out.wav) "
                                 "or pipe it into a program")
                   : ExitStatus::kDone;
    }
    if (SameFile(output_, input_)) {
        return voice_.Fail(ExitStatus::kUsage, S_OK, output_,
                           "is the input file; it would be overwritten");
    }
    switch (KindOf(output_)) {
    case PathKind::kDirectory:
        return voice_.Fail(
            ExitStatus::kUsage, S_OK, output_,
            "is a directory (--wav takes a file name; --wav-dir writes into a directory)");
    case PathKind::kDiskFile:
        if (!options_.overwrite) {
            return voice_.Fail(ExitStatus::kUsage, S_OK, output_,
                               "already exists (-y or --overwrite replaces it)");
        }
        return ExitStatus::kDone;
    case PathKind::kMissing:
    case PathKind::kOther:
    default:
        return ExitStatus::kDone;
    }
}

ExitStatus Player::Build() {
    ExitStatus status = assembly_.BuildFront(fileOffset_, dataEnd_);
    if (status == ExitStatus::kDone) {
        status = stream_.Read(session_.Graph(), fileOffset_, dataEnd_);
    }
    if (status == ExitStatus::kDone && options_.Converting()) {
        status = stream_.CheckWavSize();
    }
    if (status != ExitStatus::kDone || options_.mode == Options::Mode::kInfo) {
        return status;
    }
    // The tap ends the stream where the last pass asked for ends, unless
    // the stream ends before it by itself.
    PassSchedule::Pass last;
    const REFERENCE_TIME tapEnd =
        options_.passes > 0 && stream_.Schedule().PassNumber(options_.passes, last)
            ? last.endTime
            : LoopPassTap::kNoEnd;
    return assembly_.BuildBack(stream_.Format(), tapEnd);
}

ExitStatus Player::Describe() {
    std::printf("file             %s\n", Utf8(input_).c_str());
    if (!options_.member.empty()) {
        std::printf("member           %s\n", options_.member.c_str());
    }
    std::printf("stream offset    %lld\n", fileOffset_);
    std::printf("version          %ld\n", static_cast<long>(stream_.Format().version));
    std::printf("block size       %ld\n", static_cast<long>(stream_.Format().blockSize));
    std::printf("bits per sample  %ld\n", static_cast<long>(stream_.Format().bitsPerSample));
    std::printf("samples/block    %ld\n", static_cast<long>(stream_.Format().samplesPerBlock));
    std::printf("channels         %ld\n", static_cast<long>(stream_.Format().channelCount));
    std::printf("sample rate      %ld\n", static_cast<long>(stream_.Format().sampleRate));
    std::printf("total samples    %ld\n", static_cast<long>(stream_.TotalSamples()));
    std::printf("duration         %s\n", ClockText(stream_.Duration(), 3).c_str());
    IAdxParserControl* parser = session_.Graph().ParserControl();
    INT32 count = 0;
    std::vector<AdxLoopPoint> loops;
    if (SUCCEEDED(parser->GetLoopPoints(nullptr, &count)) && count > 0) {
        loops.resize(static_cast<size_t>(count));
        if (FAILED(parser->GetLoopPoints(loops.data(), &count))) {
            loops.clear();
        }
    }
    std::printf("loops            %u\n", static_cast<unsigned>(loops.size()));
    for (size_t i = 0; i < loops.size(); ++i) {
        const AdxLoopPoint& loop = loops[i];
        std::printf("loop %-11u start %ld (%s), end %ld (%s); bytes %ld-%ld, trims %ld/%ld\n",
                    static_cast<unsigned>(i), static_cast<long>(loop.startSample),
                    ClockText(stream_.TimeOf(loop.startSample), 3).c_str(),
                    static_cast<long>(loop.endSample),
                    ClockText(stream_.TimeOf(loop.endSample), 3).c_str(),
                    static_cast<long>(loop.startByte), static_cast<long>(loop.endByte),
                    static_cast<long>(loop.startTrim), static_cast<long>(loop.endTrim));
    }
    // Write errors on standard output are reported once, at the program's end.
    if (stream_.AvailableSamples() < stream_.TotalSamples()) {
        voice_.Warn(input_, "the data ends after " +
                                ClockText(stream_.TimeOf(stream_.AvailableSamples()), 3) +
                                " of the " + ClockText(stream_.Duration(), 3) +
                                " the header gives");
        return ExitStatus::kShort;
    }
    return ExitStatus::kDone;
}

ExitStatus Player::Play() {
    ExitStatus status = stream_.Apply(session_.Graph());
    if (status == ExitStatus::kDone) {
        status = RunGraph();
    }
    return status == ExitStatus::kDone ? ReportShortfall() : status;
}

ExitStatus Player::Convert() {
    int channelCount = 0;
    int sampleRate = 0;
    if (!session_.Graph().Sink()->ConnectedFormat(channelCount, sampleRate)) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, "the WAV sink has no PCM format");
    }
    const std::wstring shownOutput = toStandardOutput_ ? L"standard output" : output_;
    std::string error;
    const bool opened =
        toStandardOutput_
            ? writer_.OpenStandardOutput(channelCount, sampleRate, error)
            : writer_.Open(output_, options_.overwrite, channelCount, sampleRate, error);
    if (!opened) {
        return voice_.Fail(ExitStatus::kFailed, S_OK, shownOutput, error);
    }
    // A conversion of the whole stream once from its start keeps the first
    // loop that plays as a loop in the WAV file's smpl chunk.
    unsigned long long loopStart = 0;
    unsigned long long loopEnd = 0;
    if (options_.loopIndex < 0 && options_.startSeconds < 0.0 && options_.stopSeconds < 0.0 &&
        stream_.FirstPlayedLoop(loopStart, loopEnd)) {
        writer_.SetLoop(loopStart, loopEnd);
    }
    ExitStatus status = stream_.Apply(session_.Graph());
    if (status == ExitStatus::kDone) {
        status = RunGraph();
    }
    const std::string writeError = session_.Graph().Sink()->Pin()->WriteError();
    // The decoder keeps the stream's rate.
    delivered_ = stream_.TimeOf(
        static_cast<LONGLONG>(writer_.DataBytes() / static_cast<unsigned>(channelCount * 2)));
    // A reader that went away (| head) took what it wanted: no failure.
    if (!writeError.empty() && !writer_.OutputClosed()) {
        status = voice_.Fail(ExitStatus::kFailed, S_OK, shownOutput, writeError);
    } else if (status == ExitStatus::kInterrupted) {
        (void)voice_.Fail(status, S_OK, shownOutput,
                          toStandardOutput_ ? "interrupted"
                                            : "interrupted; the incomplete file is removed");
    } else if (status == ExitStatus::kDone && !writer_.Finish(error) && !writer_.OutputClosed()) {
        status = voice_.Fail(ExitStatus::kFailed, S_OK, shownOutput, error);
    }
    if (writer_.OutputClosed()) {
        progress_.Break();
        status = ExitStatus::kOutputClosed;
    }
    if (status != ExitStatus::kDone) {
        writer_.Discard();
        return status;
    }
    return ReportShortfall();
}

ExitStatus Player::RunGraph() {
    HRESULT error = S_OK;
    const GraphSession::Ending ending = session_.Run([this] { ShowProgress(false); }, error);
    switch (ending) {
    case GraphSession::Ending::kComplete:
        ShowProgress(true);
        return ExitStatus::kDone;
    case GraphSession::Ending::kStopped:
        // The line stays where it was: the run did not get further.
        progress_.Break();
        return ExitStatus::kInterrupted;
    case GraphSession::Ending::kError:
    default:
        if (error == STG_E_WRITEFAULT) {
            return ExitStatus::kFailed; // the sink's; Convert names the file and the cause
        }
        return voice_.Fail(ExitStatus::kFailed, error, input_,
                           options_.Converting() ? "decoding failed" : "playback failed");
    }
}

void Player::PositionAt(REFERENCE_TIME played, REFERENCE_TIME& position, int& pass) {
    std::int64_t number = 0;
    position = stream_.Schedule().PositionAt(played, number);
    pass = static_cast<int>(number);
    position = std::min(std::max<LONGLONG>(position, 0), stream_.Duration());
}

bool Player::DeliveredEnd(REFERENCE_TIME& time) {
    LoopPassTap* tap = session_.Graph().Tap();
    if (tap != nullptr) {
        return tap->DeliveredEnd(time);
    }
    PassSchedule::Pass last;
    time = stream_.Schedule().PassNumber(1, last) ? last.endTime : 0;
    return time > 0;
}

void Player::EndPosition(REFERENCE_TIME& position, int& pass) {
    REFERENCE_TIME delivered = 0;
    if (!DeliveredEnd(delivered)) {
        position = stream_.Start();
        pass = 0;
        return;
    }
    PositionAt(delivered, position, pass);
}

void Player::ShowProgress(bool last) {
    if (!progress_.Enabled()) {
        return;
    }
    const REFERENCE_TIME planned = stream_.PlannedTime();
    char line[256];
    if (options_.Converting()) {
        const unsigned long long bytesPerSecond =
            static_cast<unsigned long long>(std::max(stream_.Format().channelCount, 1)) * 2 *
            static_cast<unsigned long long>(std::max<INT32>(stream_.Format().sampleRate, 1));
        const unsigned long long written = session_.Graph().Sink()->Pin()->BytesWritten();
        const LONGLONG decoded = static_cast<LONGLONG>(written * kUnitsPerSecond / bytesPerSecond);
        const double fraction =
            last ? 1.0
                 : std::min(1.0, static_cast<double>(decoded) /
                                     static_cast<double>(std::max<LONGLONG>(planned, 1)));
        const int filled = static_cast<int>(fraction * kBarWidth);
        std::snprintf(line, sizeof(line), "[%-*.*s] %3d%%  %s of %s", kBarWidth, filled,
                      "##############################", static_cast<int>(fraction * 100),
                      ClockText(decoded, 1).c_str(), ClockText(planned, 1).c_str());
    } else {
        REFERENCE_TIME position = 0;
        REFERENCE_TIME played = 0;
        int pass = 0;
        if (FAILED(session_.Graph().PlayedTime(played))) {
            played = 0;
        }
        if (last) {
            // At the end the graph's clock says no more than that it ended.
            EndPosition(position, pass);
        } else {
            PositionAt(played, position, pass);
        }
        const LONGLONG playedMedia =
            last ? planned : static_cast<LONGLONG>(static_cast<double>(played) * options_.rate);
        int length = std::snprintf(
            line, sizeof(line), "%s of %s", ClockText(std::min(playedMedia, planned), 1).c_str(),
            options_.loopIndex >= 0 && options_.passes == 0 ? "(endless loop)"
                                                            : ClockText(planned, 1).c_str());
        if (length > 0 && options_.loopIndex >= 0 && pass > 0) {
            const std::string passes =
                options_.passes > 0 ? " of " + std::to_string(options_.passes) : std::string();
            std::snprintf(line + length, sizeof(line) - static_cast<size_t>(length),
                          "  at %s, loop %d, pass %d%s", ClockText(position, 1).c_str(),
                          options_.loopIndex, pass, passes.c_str());
        }
    }
    progress_.Show(line);
    if (last) {
        progress_.Break();
    }
}

ExitStatus Player::ReportShortfall() {
    ExitStatus status = ExitStatus::kDone;
    // The data cuts the asked passes short.
    if (stream_.Schedule().SamplesIn(stream_.AskedPasses()) <
        stream_.Asked().SamplesIn(stream_.AskedPasses())) {
        std::string what = "the data ends after " +
                           ClockText(stream_.TimeOf(stream_.AvailableSamples()), 3) + " of the " +
                           ClockText(stream_.Duration(), 3) + " the header gives";
        if (options_.Converting()) {
            what += "; " + ClockText(delivered_, 3) + " of " + ClockText(stream_.PlannedTime(), 3) +
                    " converted";
        }
        voice_.Warn(input_, what);
        status = ExitStatus::kShort;
    }
    REFERENCE_TIME delivered = 0;
    if (options_.loopIndex >= 0 && options_.passes > 0) {
        const std::int64_t begun =
            DeliveredEnd(delivered) ? stream_.Schedule().PassesBefore(delivered) : 0;
        if (begun < options_.passes) {
            voice_.Warn(input_, "the stream ended after " + std::to_string(begun) + " of " +
                                    std::to_string(options_.passes) + " passes of loop " +
                                    std::to_string(options_.loopIndex));
            status = ExitStatus::kShort;
        }
    }
    return status;
}

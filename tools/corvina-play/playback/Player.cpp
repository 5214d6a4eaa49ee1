#include "playback/Player.h"

#include "files/ArchiveMember.h"
#include "files/FilePaths.h"
#include "graph/LoopPassTap.h"
#include "commandline/ConsoleText.h"
#include "graph/WavSink.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;
constexpr int kBarWidth = 30;
// The parser takes the stream's byte offset as a signed 32-bit number.
constexpr long long kMaxFileOffset = 0x7FFFFFFF;

LONGLONG SecondsToUnits(double seconds) {
    return std::llround(seconds * kUnitsPerSecond);
}

// The time of sample `sample` of a stream at `sampleRate`, truncated.
LONGLONG SampleTime(LONGLONG sample, INT32 sampleRate) {
    return sampleRate > 0 ? sample * kUnitsPerSecond / sampleRate : 0;
}

std::string OffsetText(long long offset) {
    return offset != 0 ? " at byte offset " + std::to_string(offset) : std::string();
}

std::string Plural(long long count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

} // namespace

Player::Player(const Options& options, const std::string& input, const std::string& output,
               HANDLE stopEvent)
    : options_(options), input_(Widen(input)), output_(Widen(output)),
      toStandardOutput_(output == "-"), progress_(!options.quiet), fileOffset_(options.fileOffset),
      session_(stopEvent) {}

ExitStatus Player::Fail(ExitStatus status, HRESULT hr, const std::wstring& file,
                        const std::string& what) {
    return Fail(status, hr, Utf8(file) + ": " + what);
}

ExitStatus Player::Fail(ExitStatus status, HRESULT hr, const std::string& what) {
    progress_.Break();
    const std::string reason = hr != S_OK ? ": " + ResultText(hr) : std::string();
    reporter_.Message(what + reason);
    return status;
}

void Player::Warn(const std::string& what) {
    (void)Fail(ExitStatus::kShort, S_OK, input_, "warning: " + what);
}

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
        return Fail(ExitStatus::kRefused, S_OK, input_, problem);
    }
    dataEnd_ = sizeBytes;
    if (!options_.member.empty()) {
        ArchiveMember member;
        std::string error;
        if (!FindArchiveMember(input_, options_.member, member, error)) {
            return Fail(ExitStatus::kRefused, S_OK, input_, error);
        }
        const std::string which = "member " + std::to_string(member.index);
        if (member.offsetBytes > static_cast<unsigned long long>(kMaxFileOffset)) {
            return Fail(ExitStatus::kRefused, S_OK, input_,
                        which + " starts at byte " + std::to_string(member.offsetBytes) +
                            ", past the 2 GiB the parser can address");
        }
        const auto archiveBytes = static_cast<unsigned long long>(sizeBytes);
        if (member.sizeBytes == 0 || member.offsetBytes >= archiveBytes) {
            return Fail(ExitStatus::kRefused, S_OK, input_,
                        which + " (bytes " + std::to_string(member.offsetBytes) + "+" +
                            std::to_string(member.sizeBytes) + ") is empty or starts past the " +
                            "end of the archive (" + std::to_string(sizeBytes) + " bytes)");
        }
        // An archive cut short still holds the member's start: it plays as
        // far as it goes, and comes out short, as a stream cut short does.
        fileOffset_ = static_cast<long long>(member.offsetBytes);
        dataEnd_ =
            static_cast<long long>(std::min(member.offsetBytes + member.sizeBytes, archiveBytes));
    }
    if (sizeBytes <= fileOffset_) {
        return Fail(ExitStatus::kRefused, S_OK, input_,
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
                   ? Fail(ExitStatus::kUsage, S_OK,
                          "standard output is a terminal; redirect the WAV data (> out.wav) "
                          "or pipe it into a program")
                   : ExitStatus::kDone;
    }
    if (SameFile(output_, input_)) {
        return Fail(ExitStatus::kUsage, S_OK, output_,
                    "is the input file; it would be overwritten");
    }
    switch (KindOf(output_)) {
    case PathKind::kDirectory:
        return Fail(ExitStatus::kUsage, S_OK, output_,
                    "is a directory (--wav takes a file name; --wav-dir writes into a directory)");
    case PathKind::kDiskFile:
        if (!options_.overwrite) {
            return Fail(ExitStatus::kUsage, S_OK, output_,
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
    const bool converting = options_.Converting();
    HRESULT hr = session_.Graph().Create(converting);
    if (FAILED(hr)) {
        return Fail(ExitStatus::kFailed, hr, "cannot create the filter graph");
    }
    ExitStatus status = options_.render ? BuildWithGraphBuilder() : BuildFilterByFilter();
    if (status == ExitStatus::kDone) {
        status = ReadStream();
    }
    if (status == ExitStatus::kDone && converting) {
        status = CheckWavSize();
    }
    if (status != ExitStatus::kDone || options_.mode == Options::Mode::kInfo) {
        return status;
    }
    PlaybackGraph& graph = session_.Graph();
    if (options_.loopIndex >= 0) {
        // The tap ends the stream where the last pass asked for ends, unless
        // the stream ends before it by itself.
        PassSchedule::Pass last;
        const REFERENCE_TIME end =
            options_.passes > 0 && schedule_->PassNumber(options_.passes, last)
                ? last.endTime
                : LoopPassTap::kNoEnd;
        hr = graph.InsertLoopPassTap(options_.loopIndex, end);
        if (FAILED(hr)) {
            return Fail(ExitStatus::kFailed, hr,
                        "cannot put the loop pass counter behind the parser");
        }
    }
    if (options_.render) {
        return ExitStatus::kDone;
    }
    hr = graph.AddDecoder(session_.Module());
    if (FAILED(hr)) {
        return ExplainDecoderRefusal(hr);
    }
    if (converting) {
        hr = graph.AddWavSink(&writer_, true);
        return FAILED(hr) ? Fail(ExitStatus::kFailed, hr, "cannot connect the WAV sink")
                          : ExitStatus::kDone;
    }
    hr = graph.AddSpeaker();
    if (FAILED(hr)) {
        return Fail(ExitStatus::kFailed, hr,
                    "cannot play through the DirectSound renderer (is there an audio device?)");
    }
    return ExitStatus::kDone;
}

ExitStatus Player::BuildFilterByFilter() {
    modulePath_ =
        options_.modulePath.empty() ? FilterModule::BesideProgram() : Widen(options_.modulePath);
    HRESULT hr = session_.LoadModule(modulePath_);
    if (hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)) {
        return Fail(ExitStatus::kFailed, S_OK, modulePath_,
                    "not a filter module (no DllGetClassObject)");
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)) {
        return Fail(ExitStatus::kFailed, S_OK, modulePath_,
                    "cannot load the filter module: it is not a " +
                        std::to_string(sizeof(void*) * 8) + "-bit Windows DLL");
    }
    if (hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) ||
        hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
        hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
        return Fail(ExitStatus::kFailed, S_OK, modulePath_,
                    "cannot load the filter module: no such file");
    }
    if (FAILED(hr)) {
        return Fail(ExitStatus::kFailed, hr, modulePath_, "cannot load the filter module");
    }
    // The pass schedule is this program's copy of the parser's planner: a
    // parser of another release could cut the passes elsewhere.
    std::uint64_t moduleVersion = 0;
    if (!session_.Module().FileVersion(moduleVersion)) {
        return Fail(ExitStatus::kFailed, S_OK, modulePath_,
                    "the filter module has no version; corvina-play plays only with release " +
                        FilterModule::VersionText(FilterModule::ProgramVersion()));
    }
    if (moduleVersion != FilterModule::ProgramVersion()) {
        return Fail(ExitStatus::kFailed, S_OK, modulePath_,
                    "the filter module is release " + FilterModule::VersionText(moduleVersion) +
                        "; corvina-play plays only with release " +
                        FilterModule::VersionText(FilterModule::ProgramVersion()));
    }
    PlaybackGraph& graph = session_.Graph();
    // Conversion reads with plain file reads, and no further than the
    // member's end: the next member's bytes are not this stream's data.
    // Playback reads as any player does.
    hr = graph.AddFileSource(input_, options_.Converting(), nullptr, dataEnd_);
    if (FAILED(hr)) {
        return Fail(ExitStatus::kRefused, hr, input_, "unreadable file");
    }
    hr = graph.AddParser(session_.Module(), static_cast<LONG>(fileOffset_));
    if (hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE) {
        return Fail(ExitStatus::kFailed, S_OK, modulePath_, "the module has no ADX parser filter");
    }
    return FAILED(hr) ? ExplainRefusal(hr) : ExitStatus::kDone;
}

ExitStatus Player::ExplainRefusal(HRESULT hr) {
    const std::string where = OffsetText(fileOffset_);
    // The parser refuses a total that its signed count cannot hold: say so.
    if (const unsigned long total = HeaderTotalSamples(); total >= 0x80000000UL) {
        return Fail(ExitStatus::kRefused, S_OK, input_,
                    "not a playable ADX stream: its header gives a total length of " +
                        std::to_string(total) + " samples");
    }
    // The file source hands the graph a general code for any refusal of
    // the parser's input pin; the parser's own reasons are the prefix and
    // the header, which the file shows again.
    if (hr != VFW_E_INVALID_FILE_FORMAT && hr != VFW_E_FILE_TOO_SHORT) {
        unsigned char prefix[4] = {};
        DWORD got = 0;
        if (ReadBytesAt(input_, fileOffset_, prefix, sizeof(prefix), got)) {
            const long long headerLength =
                ((LONGLONG{prefix[1]} << 16) | (prefix[2] << 8) | prefix[3]) + 4;
            if (got == sizeof(prefix) && prefix[0] != 0x80) {
                hr = VFW_E_INVALID_FILE_FORMAT;
            } else if (got < sizeof(prefix) || dataEnd_ - fileOffset_ < headerLength) {
                hr = VFW_E_FILE_TOO_SHORT;
            } else {
                return Fail(ExitStatus::kRefused, S_OK, input_,
                            "not an ADX stream" + where + ": the parser refused its header");
            }
        }
    }
    if (hr == VFW_E_INVALID_FILE_FORMAT) {
        return Fail(ExitStatus::kRefused, S_OK, input_, "not an ADX stream" + where);
    }
    if (hr == VFW_E_FILE_TOO_SHORT) {
        return Fail(ExitStatus::kRefused, S_OK, input_,
                    "file too short for the ADX header" + where);
    }
    return Fail(ExitStatus::kFailed, hr, input_, "the parser cannot read the file");
}

unsigned long Player::HeaderTotalSamples() const {
    unsigned char bytes[0x10] = {};
    DWORD got = 0;
    if (!ReadBytesAt(input_, fileOffset_, bytes, sizeof(bytes), got) || got != sizeof(bytes) ||
        bytes[0] != 0x80) {
        return 0;
    }
    return (static_cast<unsigned long>(bytes[0x0C]) << 24) |
           (static_cast<unsigned long>(bytes[0x0D]) << 16) |
           (static_cast<unsigned long>(bytes[0x0E]) << 8) | bytes[0x0F];
}

ExitStatus Player::ExplainDecoderRefusal(HRESULT hr) {
    // The decoder plays 4-bit mono and stereo streams of 18-byte blocks of
    // 32 samples; say which of these the stream is not.
    std::string reason;
    if (format_.channelCount != 1 && format_.channelCount != 2) {
        reason = "it has " + Plural(format_.channelCount, "channel") + "; the decoder plays 1 or 2";
    } else if (format_.bitsPerSample != 4) {
        reason = "it has " + std::to_string(format_.bitsPerSample) +
                 " bits per sample; the decoder plays 4";
    } else if (format_.blockSize != 18 || format_.samplesPerBlock != 32) {
        reason = "its blocks are " + std::to_string(format_.blockSize) +
                 " bytes; the decoder plays blocks of 18 bytes";
    }
    if (reason.empty()) {
        return Fail(ExitStatus::kFailed, hr, "cannot connect the decoder");
    }
    return Fail(ExitStatus::kRefused, S_OK, input_,
                "the decoder cannot play this stream: " + reason);
}

ExitStatus Player::BuildWithGraphBuilder() {
    PlaybackGraph& graph = session_.Graph();
    HRESULT hr = S_OK;
    if (options_.Converting()) {
        hr = graph.AddWavSink(&writer_, false);
        if (SUCCEEDED(hr)) {
            hr = graph.RenderFileToSink(input_);
        }
    } else {
        hr = graph.RenderFile(input_);
    }
    if (hr == VFW_E_NOT_FOUND) {
        return Fail(ExitStatus::kFailed, S_OK, input_,
                    "the graph builder played the file without corvina's parser");
    }
    if (hr == VFW_E_CANNOT_RENDER || hr == VFW_E_UNSUPPORTED_STREAM || hr == VFW_E_CANNOT_CONNECT ||
        hr == VFW_E_INVALID_FILE_FORMAT || hr == VFW_E_NO_ACCEPTABLE_TYPES) {
        return Fail(ExitStatus::kRefused, S_OK, input_,
                    "no registered filter plays the file (not an ADX stream, or corvina.ax "
                    "not registered: regsvr32 corvina.ax)");
    }
    if (FAILED(hr)) {
        return Fail(ExitStatus::kFailed, hr, input_,
                    "the graph builder cannot build a graph for the file");
    }
    return ExitStatus::kDone;
}

ExitStatus Player::ReadStream() {
    PlaybackGraph& graph = session_.Graph();
    IAdxParserControl* parser = graph.ParserControl();
    HRESULT hr = parser->GetFormatInfo(&format_);
    if (SUCCEEDED(hr)) {
        totalSamples_ = parser->GetTotalSamples();
        hr = graph.ParserSeeking()->GetDuration(&duration_);
    }
    if (FAILED(hr)) {
        return Fail(ExitStatus::kFailed, hr, "the parser reports no stream");
    }
    if (totalSamples_ <= 0 || duration_ <= 0) {
        return Fail(ExitStatus::kRefused, S_OK, input_,
                    "not a playable ADX stream: its header gives a total length of " +
                        std::to_string(static_cast<unsigned long>(totalSamples_)) + " samples");
    }
    if (options_.loopIndex >= 0) {
        INT32 count = 0;
        hr = parser->GetLoopPoints(nullptr, &count);
        std::vector<AdxLoopPoint> loops(static_cast<size_t>(std::max<INT32>(count, 0)));
        if (SUCCEEDED(hr) && options_.loopIndex < count) {
            hr = parser->GetLoopPoints(loops.data(), &count);
        }
        if (FAILED(hr)) {
            return Fail(ExitStatus::kFailed, hr, "the parser reports no loop table");
        }
        if (options_.loopIndex >= count) {
            return Fail(ExitStatus::kUsage, S_OK, input_,
                        "no loop " + std::to_string(options_.loopIndex) +
                            ": the loop table holds " + Plural(count, "loop"));
        }
    }
    ExitStatus status = LoadHeader();
    if (status == ExitStatus::kDone) {
        status = CheckTimes();
    }
    if (status == ExitStatus::kDone) {
        PlanPasses();
    }
    return status;
}

ExitStatus Player::LoadHeader() {
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
        return Fail(ExitStatus::kFailed, S_OK, input_, "cannot read the ADX header again");
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

ExitStatus Player::CheckTimes() {
    const std::string loopName = "loop " + std::to_string(options_.loopIndex);
    if (options_.startSeconds >= 0.0) {
        start_ = SecondsToUnits(options_.startSeconds);
        if (start_ >= duration_) {
            return Fail(ExitStatus::kUsage, S_OK, input_,
                        "--start " + ClockText(start_, 3) + " lies past the end of the stream (" +
                            ClockText(duration_, 3) + ")");
        }
    }
    const LONGLONG stop = options_.stopSeconds >= 0.0 ? SecondsToUnits(options_.stopSeconds) : -1;
    if (stop > duration_) {
        return Fail(ExitStatus::kUsage, S_OK, input_,
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
    const LONGLONG loopEnd = PassSchedule(header_, loopAlone).PassNumber(1, pass)
                                 ? SampleTime(pass.endSample, format_.sampleRate)
                                 : duration_;
    if (start_ >= loopEnd) {
        return Fail(ExitStatus::kUsage, S_OK, input_,
                    "--start " + ClockText(start_, 3) + " lies after the end of " + loopName +
                        " (" + ClockText(loopEnd, 3) + "): no pass would play");
    }
    if (stop >= loopEnd) {
        return Fail(ExitStatus::kUsage, S_OK, input_,
                    "--stop " + ClockText(stop, 3) + " lies after the end of " + loopName + " (" +
                        ClockText(loopEnd, 3) + "): the pass ends the stream first");
    }
    return ExitStatus::kDone;
}

ExitStatus Player::CheckWavSize() {
    // 16-bit samples of every channel, as the decoder delivers them.
    const unsigned long long frameBytes =
        2ull * static_cast<unsigned long long>(std::max<INT32>(format_.channelCount, 1));
    const unsigned long long pcmBytes =
        static_cast<unsigned long long>(schedule_->SamplesIn(AskedPasses())) * frameBytes;
    if (pcmBytes <= WavWriter::kMaxPcmBytes) {
        return ExitStatus::kDone;
    }
    return Fail(ExitStatus::kUsage, S_OK, input_,
                "the conversion would write " + std::to_string(pcmBytes) +
                    " bytes of PCM, more than a WAV file holds (" +
                    std::to_string(WavWriter::kMaxPcmBytes) +
                    "); ask for less with --passes, --start or --stop");
}

LONGLONG Player::StopPosition() const {
    const LONGLONG stop = options_.stopSeconds >= 0.0 ? SecondsToUnits(options_.stopSeconds) : -1;
    return stop < duration_ ? stop : -1; // a stop at the end is the end itself
}

void Player::PlanPasses() {
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

REFERENCE_TIME Player::PlannedTime() const {
    return SampleTime(asked_->SamplesIn(AskedPasses()), format_.sampleRate);
}

ExitStatus Player::ApplyLoopAndSeeking() {
    IAdxParserControl* parser = session_.Graph().ParserControl();
    IMediaSeeking* seeking = session_.Graph().ParserSeeking();
    if (options_.loopIndex >= 0) {
        const HRESULT hr = parser->SetLoop(options_.loopIndex, 1);
        if (hr != S_OK) {
            return Fail(ExitStatus::kFailed, hr,
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
            return Fail(ExitStatus::kFailed, hr, "cannot seek in the stream");
        }
    }
    if (options_.rateGiven) {
        const HRESULT hr = seeking->SetRate(options_.rate);
        if (FAILED(hr)) {
            return Fail(ExitStatus::kFailed, hr, "cannot set the rate");
        }
    }
    return ExitStatus::kDone;
}

ExitStatus Player::Describe() {
    std::printf("file             %s\n", Utf8(input_).c_str());
    if (!options_.member.empty()) {
        std::printf("member           %s\n", options_.member.c_str());
    }
    std::printf("stream offset    %lld\n", fileOffset_);
    std::printf("version          %ld\n", static_cast<long>(format_.version));
    std::printf("block size       %ld\n", static_cast<long>(format_.blockSize));
    std::printf("bits per sample  %ld\n", static_cast<long>(format_.bitsPerSample));
    std::printf("samples/block    %ld\n", static_cast<long>(format_.samplesPerBlock));
    std::printf("channels         %ld\n", static_cast<long>(format_.channelCount));
    std::printf("sample rate      %ld\n", static_cast<long>(format_.sampleRate));
    std::printf("total samples    %ld\n", static_cast<long>(totalSamples_));
    std::printf("duration         %s\n", ClockText(duration_, 3).c_str());
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
                    ClockText(SampleTime(loop.startSample, format_.sampleRate), 3).c_str(),
                    static_cast<long>(loop.endSample),
                    ClockText(SampleTime(loop.endSample, format_.sampleRate), 3).c_str(),
                    static_cast<long>(loop.startByte), static_cast<long>(loop.endByte),
                    static_cast<long>(loop.startTrim), static_cast<long>(loop.endTrim));
    }
    // Write errors on standard output are reported once, at the program's end.
    if (availableSamples_ < totalSamples_) {
        Warn("the data ends after " +
             ClockText(SampleTime(availableSamples_, format_.sampleRate), 3) + " of the " +
             ClockText(duration_, 3) + " the header gives");
        return ExitStatus::kShort;
    }
    return ExitStatus::kDone;
}

ExitStatus Player::Play() {
    ExitStatus status = ApplyLoopAndSeeking();
    if (status == ExitStatus::kDone) {
        status = RunGraph();
    }
    return status == ExitStatus::kDone ? ReportShortfall() : status;
}

ExitStatus Player::Convert() {
    int channelCount = 0;
    int sampleRate = 0;
    if (!session_.Graph().Sink()->ConnectedFormat(channelCount, sampleRate)) {
        return Fail(ExitStatus::kFailed, S_OK, "the WAV sink has no PCM format");
    }
    const std::wstring shownOutput = toStandardOutput_ ? L"standard output" : output_;
    std::string error;
    const bool opened =
        toStandardOutput_
            ? writer_.OpenStandardOutput(channelCount, sampleRate, error)
            : writer_.Open(output_, options_.overwrite, channelCount, sampleRate, error);
    if (!opened) {
        return Fail(ExitStatus::kFailed, S_OK, shownOutput, error);
    }
    KeepFirstLoop();
    ExitStatus status = ApplyLoopAndSeeking();
    if (status == ExitStatus::kDone) {
        status = RunGraph();
    }
    const std::string writeError = session_.Graph().Sink()->Pin()->WriteError();
    delivered_ = SampleTime(
        static_cast<LONGLONG>(writer_.DataBytes() / static_cast<unsigned>(channelCount * 2)),
        sampleRate);
    // A reader that went away (| head) took what it wanted: no failure.
    if (!writeError.empty() && !writer_.OutputClosed()) {
        status = Fail(ExitStatus::kFailed, S_OK, shownOutput, writeError);
    } else if (status == ExitStatus::kInterrupted) {
        (void)Fail(status, S_OK, shownOutput,
                   toStandardOutput_ ? "interrupted"
                                     : "interrupted; the incomplete file is removed");
    } else if (status == ExitStatus::kDone && !writer_.Finish(error) && !writer_.OutputClosed()) {
        status = Fail(ExitStatus::kFailed, S_OK, shownOutput, error);
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

void Player::KeepFirstLoop() {
    if (options_.loopIndex >= 0 || options_.startSeconds >= 0.0 || options_.stopSeconds >= 0.0) {
        return;
    }
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
            writer_.SetLoop(static_cast<unsigned long long>(pass.startSample),
                            static_cast<unsigned long long>(pass.endSample));
            return;
        }
    }
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
        return Fail(ExitStatus::kFailed, error, input_,
                    options_.Converting() ? "decoding failed" : "playback failed");
    }
}

void Player::PositionAt(REFERENCE_TIME played, REFERENCE_TIME& position, int& pass) {
    std::int64_t number = 0;
    position = schedule_->PositionAt(played, number);
    pass = static_cast<int>(number);
    position = std::min(std::max<LONGLONG>(position, 0), duration_);
}

bool Player::DeliveredEnd(REFERENCE_TIME& time) {
    LoopPassTap* tap = session_.Graph().Tap();
    if (tap != nullptr) {
        return tap->DeliveredEnd(time);
    }
    PassSchedule::Pass last;
    time = schedule_->PassNumber(1, last) ? last.endTime : 0;
    return time > 0;
}

void Player::EndPosition(REFERENCE_TIME& position, int& pass) {
    REFERENCE_TIME delivered = 0;
    if (!DeliveredEnd(delivered)) {
        position = start_;
        pass = 0;
        return;
    }
    PositionAt(delivered, position, pass);
}

void Player::ShowProgress(bool last) {
    if (!progress_.Enabled()) {
        return;
    }
    const REFERENCE_TIME planned = PlannedTime();
    char line[256];
    if (options_.Converting()) {
        const unsigned long long bytesPerSecond =
            static_cast<unsigned long long>(std::max(format_.channelCount, 1)) * 2 *
            static_cast<unsigned long long>(std::max<INT32>(format_.sampleRate, 1));
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
    if (schedule_->SamplesIn(AskedPasses()) < asked_->SamplesIn(AskedPasses())) {
        std::string what = "the data ends after " +
                           ClockText(SampleTime(availableSamples_, format_.sampleRate), 3) +
                           " of the " + ClockText(duration_, 3) + " the header gives";
        if (options_.Converting()) {
            what += "; " + ClockText(delivered_, 3) + " of " + ClockText(PlannedTime(), 3) +
                    " converted";
        }
        Warn(what);
        status = ExitStatus::kShort;
    }
    REFERENCE_TIME delivered = 0;
    if (options_.loopIndex >= 0 && options_.passes > 0) {
        const std::int64_t begun = DeliveredEnd(delivered) ? schedule_->PassesBefore(delivered) : 0;
        if (begun < options_.passes) {
            Warn("the stream ended after " + std::to_string(begun) + " of " +
                 std::to_string(options_.passes) + " passes of loop " +
                 std::to_string(options_.loopIndex));
            status = ExitStatus::kShort;
        }
    }
    return status;
}

#include "Player.h"

#include "LoopPassTap.h"
#include "TextFormat.h"
#include "WavSink.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstdio>
#include <io.h>
#include <vector>

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;
constexpr DWORD kProgressIntervalMs = 100;
constexpr int kBarWidth = 30;

LONGLONG SecondsToUnits(double seconds) {
    return static_cast<LONGLONG>(seconds * kUnitsPerSecond + 0.5);
}

// The time of sample `sample` of a stream at `sampleRate`, truncated.
LONGLONG SampleTime(LONGLONG sample, INT32 sampleRate) {
    return sampleRate > 0 ? sample * kUnitsPerSecond / sampleRate : 0;
}

std::string OffsetText(long long offset) {
    return offset != 0 ? " at byte offset " + std::to_string(offset) : std::string();
}

// True when both paths name one existing file.
bool SameFile(const std::wstring& first, const std::wstring& second) {
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::wstring* paths[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        const HANDLE file = CreateFileW(
            paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known) {
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

} // namespace

Player::Player(const Options& options, HANDLE stopEvent)
    : options_(options), stopEvent_(stopEvent),
      showProgress_(!options.quiet && _isatty(_fileno(stderr)) != 0) {}

void Player::FileError(const std::wstring& file, const std::string& what) {
    Error(Utf8(file) + ": " + what);
}

void Player::Error(const std::string& what) {
    if (progressShown_) {
        std::fputc('\n', stderr);
        progressShown_ = false;
    }
    std::fprintf(stderr, "corvina-play: %s\n", what.c_str());
}

int Player::Run() {
    int status = CheckInputFile();
    if (status == kDone) {
        status = Build();
    }
    if (status != kDone) {
        return status;
    }
    switch (options_.mode) {
    case Options::Mode::kInfo:
        return Describe();
    case Options::Mode::kWav:
        return Convert();
    case Options::Mode::kPlay:
    default:
        return Play();
    }
}

int Player::CheckInputFile() {
    const std::wstring& path = options_.inputPath;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            FileError(path, "no such file");
        } else {
            FileError(path, "unreadable file: " + ResultText(HRESULT_FROM_WIN32(error)));
        }
        return kRefused;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        FileError(path, "is a directory, not a file");
        return kRefused;
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FileError(path, "unreadable file: " + ResultText(HRESULT_FROM_WIN32(GetLastError())));
        return kRefused;
    }
    LARGE_INTEGER size = {};
    const BOOL sized = GetFileSizeEx(file, &size);
    CloseHandle(file);
    if (sized && size.QuadPart == 0) {
        FileError(path, "empty file");
        return kRefused;
    }
    if (sized && size.QuadPart <= options_.fileOffset) {
        FileError(path, "file too short: " + std::to_string(size.QuadPart) +
                            " bytes, no stream can start at byte offset " +
                            std::to_string(options_.fileOffset));
        return kRefused;
    }
    return kDone;
}

int Player::Build() {
    const bool converting = options_.mode == Options::Mode::kWav;
    if (converting && !options_.render) {
        // Only speed depends on it: the runtime's allocator serves otherwise.
        (void)allocators_.Register();
    }
    HRESULT hr = graph_.Create(converting);
    if (FAILED(hr)) {
        Error("cannot create the filter graph: " + ResultText(hr));
        return kFailed;
    }
    int status = options_.render ? BuildWithGraphBuilder() : BuildFilterByFilter();
    if (status != kDone) {
        return status;
    }
    status = ReadStream();
    if (status != kDone || options_.mode == Options::Mode::kInfo) {
        return status;
    }
    if (options_.loopIndex >= 0) {
        hr = graph_.InsertLoopPassTap(options_.loopIndex, options_.passes);
        if (FAILED(hr)) {
            Error("cannot put the loop pass counter behind the parser: " + ResultText(hr));
            return kFailed;
        }
    }
    if (options_.render) {
        return kDone;
    }
    hr = graph_.AddDecoder(module_);
    if (FAILED(hr)) {
        Error("cannot connect the decoder: " + ResultText(hr));
        return kFailed;
    }
    if (converting) {
        hr = graph_.AddWavSink(&writer_, true);
        if (FAILED(hr)) {
            Error("cannot connect the WAV sink: " + ResultText(hr));
            return kFailed;
        }
        return kDone;
    }
    hr = graph_.AddSpeaker();
    if (FAILED(hr)) {
        Error("cannot play through the DirectSound renderer (is there an audio device?): " +
              ResultText(hr));
        return kFailed;
    }
    return kDone;
}

int Player::BuildFilterByFilter() {
    const std::wstring modulePath =
        options_.modulePath.empty() ? FilterModule::BesideProgram() : options_.modulePath;
    HRESULT hr = module_.Load(modulePath);
    if (FAILED(hr)) {
        if (hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)) {
            FileError(modulePath, "not a filter module (no DllGetClassObject)");
        } else {
            FileError(modulePath, "cannot load the filter module: " + ResultText(hr));
        }
        return kFailed;
    }
    const std::wstring& path = options_.inputPath;
    hr = graph_.AddFileSource(path, options_.mode == Options::Mode::kWav);
    if (FAILED(hr)) {
        FileError(path, "unreadable file: " + ResultText(hr));
        return kRefused;
    }
    hr = graph_.AddParser(module_, static_cast<LONG>(options_.fileOffset));
    if (hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE) {
        FileError(modulePath, "the module has no ADX parser filter");
        return kFailed;
    }
    if (FAILED(hr)) {
        return ExplainRefusal(hr);
    }
    return kDone;
}

int Player::ExplainRefusal(HRESULT hr) {
    const std::wstring& path = options_.inputPath;
    const std::string where = OffsetText(options_.fileOffset);
    // The file source hands the graph a general code for any refusal of
    // the parser's input pin; the parser's own reasons are the prefix and
    // the header, which the file shows again.
    if (hr != VFW_E_INVALID_FILE_FORMAT && hr != VFW_E_FILE_TOO_SHORT) {
        const HANDLE file =
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size = {};
        LARGE_INTEGER at = {};
        at.QuadPart = options_.fileOffset;
        unsigned char prefix[4] = {};
        DWORD got = 0;
        const bool read = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) &&
                          SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                          ReadFile(file, prefix, sizeof(prefix), &got, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        if (read) {
            const long long headerLength =
                ((LONGLONG{prefix[1]} << 16) | (prefix[2] << 8) | prefix[3]) + 4;
            if (got == sizeof(prefix) && prefix[0] != 0x80) {
                hr = VFW_E_INVALID_FILE_FORMAT;
            } else if (got < sizeof(prefix) || size.QuadPart - options_.fileOffset < headerLength) {
                hr = VFW_E_FILE_TOO_SHORT;
            } else {
                FileError(path, "not an ADX stream" + where + ": the parser refused its header");
                return kRefused;
            }
        }
    }
    if (hr == VFW_E_INVALID_FILE_FORMAT) {
        FileError(path, "not an ADX stream" + where);
        return kRefused;
    }
    if (hr == VFW_E_FILE_TOO_SHORT) {
        FileError(path, "file too short for the ADX header" + where);
        return kRefused;
    }
    FileError(path, "the parser cannot read the file: " + ResultText(hr));
    return kFailed;
}

int Player::BuildWithGraphBuilder() {
    const std::wstring& path = options_.inputPath;
    HRESULT hr = S_OK;
    if (options_.mode == Options::Mode::kWav) {
        hr = graph_.AddWavSink(&writer_, false);
        if (SUCCEEDED(hr)) {
            hr = graph_.RenderFileToSink(path);
        }
    } else {
        hr = graph_.RenderFile(path);
    }
    if (hr == VFW_E_NOT_FOUND) {
        FileError(path, "the graph builder played the file without corvina's parser");
        return kFailed;
    }
    if (hr == VFW_E_CANNOT_RENDER || hr == VFW_E_UNSUPPORTED_STREAM || hr == VFW_E_CANNOT_CONNECT ||
        hr == VFW_E_INVALID_FILE_FORMAT || hr == VFW_E_NO_ACCEPTABLE_TYPES) {
        FileError(path, "no registered filter plays the file (not an ADX stream, or corvina.ax "
                        "not registered: regsvr32 corvina.ax)");
        return kRefused;
    }
    if (FAILED(hr)) {
        FileError(path, "the graph builder cannot build a graph for the file: " + ResultText(hr));
        return kFailed;
    }
    return kDone;
}

int Player::ReadStream() {
    IAdxParserControl* parser = graph_.ParserControl();
    HRESULT hr = parser->GetFormatInfo(&format_);
    if (SUCCEEDED(hr)) {
        totalSamples_ = parser->GetTotalSamples();
        hr = graph_.ParserSeeking()->GetDuration(&duration_);
    }
    if (FAILED(hr)) {
        Error("the parser reports no stream: " + ResultText(hr));
        return kFailed;
    }
    if (options_.loopIndex >= 0) {
        INT32 count = 0;
        hr = parser->GetLoopPoints(nullptr, &count);
        if (FAILED(hr)) {
            Error("the parser reports no loop table: " + ResultText(hr));
            return kFailed;
        }
        if (options_.loopIndex >= count) {
            FileError(options_.inputPath, "no loop " + std::to_string(options_.loopIndex) +
                                              ": the loop table holds " + std::to_string(count) +
                                              (count == 1 ? " loop" : " loops"));
            return kUsage;
        }
        std::vector<AdxLoopPoint> loops(static_cast<size_t>(count));
        hr = parser->GetLoopPoints(loops.data(), &count);
        if (FAILED(hr)) {
            Error("the parser reports no loop table: " + ResultText(hr));
            return kFailed;
        }
        loop_ = loops[static_cast<size_t>(options_.loopIndex)];
    }
    if (options_.startSeconds >= 0.0) {
        start_ = SecondsToUnits(options_.startSeconds);
        if (start_ >= duration_) {
            FileError(options_.inputPath, "--start " + ClockText(start_, 3) +
                                              " lies past the end of the stream (" +
                                              ClockText(duration_, 3) + ")");
            return kUsage;
        }
    }
    return kDone;
}

int Player::ApplyLoopAndSeeking() {
    IAdxParserControl* parser = graph_.ParserControl();
    IMediaSeeking* seeking = graph_.ParserSeeking();
    if (options_.loopIndex >= 0) {
        const HRESULT hr = parser->SetLoop(options_.loopIndex, 1);
        if (hr != S_OK) {
            Error("the parser refused loop " + std::to_string(options_.loopIndex) + ": " +
                  ResultText(hr));
            return kFailed;
        }
    }
    const bool start = options_.startSeconds >= 0.0;
    // A stop at or past the end is the end itself.
    LONGLONG stop = options_.stopSeconds >= 0.0 ? SecondsToUnits(options_.stopSeconds) : -1;
    if (stop >= duration_) {
        stop = -1;
    }
    if (start || stop >= 0) {
        LONGLONG current = start_;
        const HRESULT hr = seeking->SetPositions(
            start ? &current : nullptr,
            start ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning,
            stop >= 0 ? &stop : nullptr,
            stop >= 0 ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
        if (FAILED(hr)) {
            Error("cannot seek in the stream: " + ResultText(hr));
            return kFailed;
        }
    }
    if (options_.rateGiven) {
        const HRESULT hr = seeking->SetRate(options_.rate);
        if (FAILED(hr)) {
            Error("cannot set the rate: " + ResultText(hr));
            return kFailed;
        }
    }
    return kDone;
}

int Player::Describe() {
    std::printf("file             %s\n", Utf8(options_.inputPath).c_str());
    std::printf("stream offset    %lld\n", options_.fileOffset);
    std::printf("version          %ld\n", static_cast<long>(format_.version));
    std::printf("block size       %ld\n", static_cast<long>(format_.blockSize));
    std::printf("bits per sample  %ld\n", static_cast<long>(format_.bitsPerSample));
    std::printf("samples/block    %ld\n", static_cast<long>(format_.samplesPerBlock));
    std::printf("channels         %ld\n", static_cast<long>(format_.channelCount));
    std::printf("sample rate      %ld\n", static_cast<long>(format_.sampleRate));
    std::printf("total samples    %ld\n", static_cast<long>(totalSamples_));
    std::printf("duration         %s\n", ClockText(duration_, 3).c_str());
    IAdxParserControl* parser = graph_.ParserControl();
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
    if (std::fflush(stdout) != 0) {
        Error("write to standard output failed");
        return kFailed;
    }
    return kDone;
}

int Player::Play() {
    int status = ApplyLoopAndSeeking();
    if (status == kDone) {
        status = RunToEnd();
    }
    if (status == kDone) {
        ReportLoopShortfall();
    }
    return status;
}

int Player::Convert() {
    const std::wstring& path = options_.wavPath;
    if (SameFile(path, options_.inputPath)) {
        FileError(path, "is the input file; it would be overwritten");
        return kUsage;
    }
    int channelCount = 0;
    int sampleRate = 0;
    if (!graph_.Sink()->ConnectedFormat(channelCount, sampleRate)) {
        Error("the WAV sink has no PCM format");
        return kFailed;
    }
    std::string error;
    if (!writer_.Open(path, channelCount, sampleRate, error)) {
        FileError(path, error);
        return kFailed;
    }
    int status = ApplyLoopAndSeeking();
    if (status == kDone) {
        status = RunToEnd();
    }
    const std::string writeError = graph_.Sink()->Pin()->WriteError();
    if (!writeError.empty()) {
        FileError(path, writeError);
        status = kFailed;
    } else if (status == kDone && stoppedByUser_) {
        FileError(path, "interrupted; the incomplete file is removed");
        status = kFailed;
    } else if (status == kDone && !writer_.Finish(error)) {
        FileError(path, error);
        status = kFailed;
    }
    if (status != kDone) {
        writer_.Discard();
        return status;
    }
    ReportLoopShortfall();
    return kDone;
}

int Player::RunToEnd() {
    const HANDLE events = graph_.EventHandle();
    if (events == nullptr) {
        Error("the filter graph gives no event handle");
        return kFailed;
    }
    HRESULT hr = graph_.Run();
    if (FAILED(hr)) {
        Error("cannot start the filter graph: " + ResultText(hr));
        return kFailed;
    }
    int status = kDone;
    bool running = true;
    while (running) {
        const HANDLE handles[2] = {events, stopEvent_};
        const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, kProgressIntervalMs);
        if (woken == WAIT_OBJECT_0 + 1) {
            stoppedByUser_ = true;
            break;
        }
        long code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        while (running && graph_.NextEvent(code, param1, param2)) {
            switch (code) {
            case EC_COMPLETE:
            case EC_USERABORT:
                running = false;
                break;
            case EC_ERRORABORT:
            case EC_ERROR_STILLPLAYING:
            case EC_STREAM_ERROR_STOPPED:
            case EC_STREAM_ERROR_STILLPLAYING:
                hr = static_cast<HRESULT>(param1);
                running = false;
                status = kFailed;
                break;
            default:
                break;
            }
        }
        if (running) {
            ShowProgress(false);
        }
    }
    if (status == kDone) {
        ShowProgress(true);
    }
    const HRESULT stopped = graph_.Stop();
    if (status == kFailed && hr != STG_E_WRITEFAULT) {
        // A write error is the sink's; Convert names the file and the cause.
        FileError(options_.inputPath,
                  std::string(options_.mode == Options::Mode::kWav ? "decoding failed: "
                                                                   : "playback failed: ") +
                      ResultText(hr));
    } else if (FAILED(stopped)) {
        Error("cannot stop the filter graph: " + ResultText(stopped));
        status = kFailed;
    }
    return status;
}

void Player::PositionAt(REFERENCE_TIME played, REFERENCE_TIME& position, int& pass) {
    pass = 0;
    position = start_ + static_cast<LONGLONG>(static_cast<double>(played) * options_.rate);
    LoopPassTap::PassStart passStart = {};
    if (graph_.Tap() != nullptr && graph_.Tap()->PassAt(played, pass, passStart)) {
        const LONGLONG since = std::max<LONGLONG>(played - passStart.time, 0);
        position = SampleTime(passStart.sample, format_.sampleRate) +
                   static_cast<LONGLONG>(static_cast<double>(since) * options_.rate);
    }
    position = std::min(std::max<LONGLONG>(position, 0), duration_);
}

void Player::EndPosition(REFERENCE_TIME& position, int& pass) {
    pass = graph_.Tap() != nullptr ? graph_.Tap()->PassesBegun() : 0;
    position = duration_;
    if (pass >= 2 || (options_.passes > 0 && pass >= options_.passes)) {
        // The last pass ended at the loop end (or the end of its block).
        const LONGLONG loopEnd =
            LONGLONG{loop_.endSample} + std::max<INT32>(format_.samplesPerBlock, 1) - loop_.endTrim;
        position = SampleTime(loopEnd, format_.sampleRate);
    } else if (options_.stopSeconds >= 0.0) {
        position = SecondsToUnits(options_.stopSeconds);
    }
    position = std::min(std::max<LONGLONG>(position, 0), duration_);
}

unsigned long long Player::ExpectedBytes() const {
    const LONGLONG block = std::max<INT32>(format_.samplesPerBlock, 1);
    const LONGLONG startSample =
        start_ * format_.sampleRate / kUnitsPerSecond / block * block; // the block's first
    LONGLONG frames = totalSamples_ - startSample;
    if (options_.loopIndex >= 0 && options_.passes > 0) {
        const LONGLONG loopEnd = LONGLONG{loop_.endSample} + block - loop_.endTrim;
        frames = std::max<LONGLONG>(loopEnd - startSample, 0) +
                 (options_.passes - 1) * std::max<LONGLONG>(loopEnd - loop_.startSample, 0);
    } else if (options_.stopSeconds >= 0.0) {
        const LONGLONG stopSample =
            SecondsToUnits(options_.stopSeconds) * format_.sampleRate / kUnitsPerSecond;
        frames = std::min<LONGLONG>(totalSamples_, (stopSample / block + 1) * block) - startSample;
    }
    frames = std::max<LONGLONG>(frames, 1);
    return static_cast<unsigned long long>(frames) *
           static_cast<unsigned long long>(std::max<INT32>(format_.channelCount, 1)) * 2;
}

void Player::ShowProgress(bool last) {
    if (!showProgress_) {
        return;
    }
    char line[160];
    if (options_.mode == Options::Mode::kWav) {
        const unsigned long long written = graph_.Sink()->Pin()->BytesWritten();
        const unsigned long long expected = ExpectedBytes();
        double fraction = static_cast<double>(written) / static_cast<double>(expected);
        fraction = last ? 1.0 : std::min(fraction, 0.999);
        const int filled = static_cast<int>(fraction * kBarWidth);
        const unsigned long long bytesPerSecond =
            static_cast<unsigned long long>(std::max<INT32>(format_.channelCount, 1)) * 2 *
            static_cast<unsigned long long>(std::max<INT32>(format_.sampleRate, 1));
        const LONGLONG decoded = static_cast<LONGLONG>(written * kUnitsPerSecond / bytesPerSecond);
        std::snprintf(line, sizeof(line), "\r[%-*.*s] %3d%%  %s decoded ", kBarWidth, filled,
                      "##############################", static_cast<int>(fraction * 100),
                      ClockText(decoded, 1).c_str());
    } else {
        REFERENCE_TIME position = 0;
        int pass = 0;
        if (last && !stoppedByUser_) {
            // At the end the graph's clock says no more than that it ended.
            EndPosition(position, pass);
        } else {
            REFERENCE_TIME played = 0;
            if (FAILED(graph_.PlayedTime(played))) {
                played = 0;
            }
            PositionAt(played, position, pass);
        }
        int length = std::snprintf(line, sizeof(line), "\r%s / %s", ClockText(position, 1).c_str(),
                                   ClockText(duration_, 1).c_str());
        if (options_.loopIndex >= 0 && length > 0 && pass > 0) {
            if (options_.passes > 0) {
                length += std::snprintf(line + length, sizeof(line) - static_cast<size_t>(length),
                                        "  loop %d, pass %d of %d", options_.loopIndex, pass,
                                        options_.passes);
            } else {
                length += std::snprintf(line + length, sizeof(line) - static_cast<size_t>(length),
                                        "  loop %d, pass %d", options_.loopIndex, pass);
            }
        }
        if (length > 0 && static_cast<size_t>(length) + 3 < sizeof(line)) {
            std::snprintf(line + length, sizeof(line) - static_cast<size_t>(length), "   ");
        }
    }
    std::fputs(line, stderr);
    if (last) {
        std::fputc('\n', stderr);
        progressShown_ = false;
    } else {
        progressShown_ = true;
    }
    std::fflush(stderr);
}

void Player::ReportLoopShortfall() {
    if (options_.loopIndex < 0 || options_.passes == 0 || stoppedByUser_ ||
        graph_.Tap() == nullptr) {
        return;
    }
    const int begun = graph_.Tap()->PassesBegun();
    if (begun < options_.passes) {
        FileError(options_.inputPath, "warning: the stream ended after " + std::to_string(begun) +
                                          " of " + std::to_string(options_.passes) +
                                          " passes of loop " + std::to_string(options_.loopIndex));
    }
}

#include "EncodeJob.h"

#include "AdxEncoding.h"
#include "FileAccess.h"
#include "FilePath.h"
#include "Interrupt.h"
#include "ReplacingFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t kWriteChunkBytes = 1 << 20;

// A time as the nearest sample frame at `sampleRate`.
std::int64_t NearestSample(double seconds, std::int32_t sampleRate) {
    return std::llround(seconds * sampleRate);
}

// "what: reason" for the failure that errno holds.
std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno != 0 ? errno : EIO);
}

std::string RangeText(const WavLoop& loop) {
    return std::to_string(loop.startSample) + ":" + std::to_string(loop.endSample);
}

} // namespace

EncodeJob::EncodeJob(const EncodeOptions& options, std::string input, std::string output,
                     std::int32_t threadCount)
    : options_(options), input_(std::move(input)), output_(std::move(output)),
      threadCount_(threadCount) {}

ExitStatus EncodeJob::Fail(ExitStatus status, const std::string& file, const std::string& reason) {
    messages_ += "corvina-encode: " + file + ": " + reason + "\n";
    return status;
}

ExitStatus EncodeJob::Run() {
    WavAudio audio;
    ExitStatus status = CheckOutput();
    if (status == ExitStatus::kDone) {
        status = ReadInput(audio);
    }
    if (status == ExitStatus::kDone) {
        status = ChooseLoop(audio);
    }
    std::vector<std::uint8_t> stream;
    if (status == ExitStatus::kDone && !Interrupted()) {
        AdxEncodeSettings settings;
        settings.cutoffFrequency = options_.cutoffFrequency;
        settings.headerVersion = options_.headerVersion;
        settings.threadCount = threadCount_;
        settings.loop = loop_;
        std::string problem;
        status = EncodeAdx(audio, settings, stream, problem);
        if (status != ExitStatus::kDone) {
            return Fail(status, input_, problem);
        }
    }
    if (status == ExitStatus::kDone) {
        status = Write(stream);
    }
    return status;
}

ExitStatus EncodeJob::CheckOutput() {
    if (FilePath::SameFile(input_, output_)) {
        return Fail(ExitStatus::kUsage, output_, "is the input file; choose another output");
    }
    switch (KindOf(output_)) {
    case PathKind::kDirectory:
        return Fail(ExitStatus::kUsage, output_, "is a directory (the output is a file name)");
    case PathKind::kFile:
        if (!options_.overwrite) {
            return Fail(ExitStatus::kUsage, output_,
                        "already exists (-y or --overwrite replaces it)");
        }
        break;
    case PathKind::kOther: // renaming over it would replace the device itself
        return Fail(ExitStatus::kUsage, output_, "is not a regular file");
    case PathKind::kMissing:
        break;
    }
    return ExitStatus::kDone;
}

ExitStatus EncodeJob::ReadInput(WavAudio& audio) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(input_, bytes, error)) {
        return Fail(ExitStatus::kRefused, input_, error);
    }
    WavReader reader(bytes.data(), bytes.size());
    if (reader.Read(audio) != WavStatus::kOk) {
        return Fail(ExitStatus::kRefused, input_, reader.Problem());
    }
    frameCount_ = audio.FrameCount();
    return ExitStatus::kDone;
}

ExitStatus EncodeJob::ChooseLoop(const WavAudio& audio) {
    const bool fromOptions = options_.LoopGiven();
    if (options_.noLoop) {
        loop_.reset();
    } else if (fromOptions) {
        WavLoop loop{0, frameCount_};
        if (options_.loopStartSample) {
            loop = WavLoop{*options_.loopStartSample, *options_.loopEndSample};
        }
        if (options_.loopStartSeconds) {
            loop.startSample = NearestSample(*options_.loopStartSeconds, audio.sampleRate);
        }
        if (options_.loopEndSeconds) {
            loop.endSample = NearestSample(*options_.loopEndSeconds, audio.sampleRate);
        }
        loop_ = loop;
    } else {
        loop_ = audio.loop;
    }
    if (!loop_) {
        return ExitStatus::kDone;
    }
    // A loop the options gave is a usage error; the file's own is the file's.
    const ExitStatus status = fromOptions ? ExitStatus::kUsage : ExitStatus::kRefused;
    const std::string what =
        fromOptions ? "the loop " + RangeText(*loop_) : "its smpl loop " + RangeText(*loop_);
    const std::string hint = fromOptions ? "" : " (--no-loop ignores it)";
    if (loop_->endSample <= loop_->startSample) {
        return Fail(status, input_, what + ": the loop end is not after its start" + hint);
    }
    if (loop_->startSample < 0 || loop_->endSample > frameCount_) {
        return Fail(status, input_,
                    what + " lies outside the stream of " + std::to_string(frameCount_) +
                        " samples" + hint);
    }
    return ExitStatus::kDone;
}

ExitStatus EncodeJob::Write(const std::vector<std::uint8_t>& stream) {
    if (Interrupted()) {
        return Fail(ExitStatus::kInterrupted, output_, "interrupted; nothing was written");
    }
    // Written as NAME.PID.tmp until complete.
    ReplacingFile file;
    if (!file.Create(output_, ".", ".tmp")) {
        return Fail(ExitStatus::kFailed, output_, ErrnoText("cannot create"));
    }
    for (std::size_t at = 0; at < stream.size(); at += kWriteChunkBytes) {
        if (Interrupted()) {
            file.Discard();
            return Fail(ExitStatus::kInterrupted, output_, "interrupted; nothing was written");
        }
        const std::size_t chunkBytes = std::min(kWriteChunkBytes, stream.size() - at);
        errno = 0;
        if (std::fwrite(stream.data() + at, 1, chunkBytes, file.Get()) != chunkBytes) {
            const std::string error = ErrnoText("write error");
            file.Discard();
            return Fail(ExitStatus::kFailed, output_, error);
        }
    }
    switch (file.Commit(true, false)) {
    case ReplacingFile::CommitResult::kCommitted:
        return ExitStatus::kDone;
    case ReplacingFile::CommitResult::kWriteFailed:
        return Fail(ExitStatus::kFailed, output_, ErrnoText("write error"));
    default:
        return Fail(ExitStatus::kFailed, output_, ErrnoText("cannot replace the output"));
    }
}

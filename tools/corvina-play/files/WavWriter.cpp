#include "files/WavWriter.h"

#include "files/FilePaths.h"
#include "commandline/ConsoleText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace {

constexpr size_t kStreamBufferBytes = 1 << 20;
constexpr unsigned kHeaderBytes = 44;
// "smpl", its size, the sampler fields and one loop.
constexpr unsigned kLoopChunkBytes = 8 + 36 + 24;
static_assert(WavWriter::kMaxPcmBytes == 0xFFFFFFFFull - 36 - kLoopChunkBytes);

void PutU16(unsigned char* at, unsigned value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void PutU32(unsigned char* at, unsigned long value) {
    PutU16(at, static_cast<unsigned>(value & 0xFFFF));
    PutU16(at + 2, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

WavWriter::~WavWriter() {
    Discard();
}

bool WavWriter::Open(const std::wstring& path, bool replace, int channelCount, int sampleRate,
                     std::string& error) {
    Discard();
    path_ = path;
    replace_ = replace;
    standardOutput_ = false;
    if (KindOf(path) == PathKind::kOther) {
        // A device cannot be renamed over; what it takes cannot be lost.
        file_ = _wfopen(path.c_str(), L"wb");
        if (file_ == nullptr) {
            error = ErrnoText("cannot create");
            return false;
        }
    } else if (!temporary_.Create(Utf8(path), ".partial-", "")) {
        error = "cannot create: " + ResultText(HRESULT_FROM_WIN32(temporary_.SystemError()));
        return false;
    } else {
        file_ = temporary_.Get();
    }
    return Start(channelCount, sampleRate, error);
}

bool WavWriter::OpenStandardOutput(int channelCount, int sampleRate, std::string& error) {
    Discard();
    path_.clear();
    standardOutput_ = true;
    if (_setmode(_fileno(stdout), _O_BINARY) == -1) {
        error = ErrnoText("cannot write binary data");
        return false;
    }
    file_ = stdout;
    return Start(channelCount, sampleRate, error);
}

bool WavWriter::Start(int channelCount, int sampleRate, std::string& error) {
    // Positioned for the final header only when it is a file of a disk that
    // this writer opened: never a pipe, a device such as the null device,
    // or a file that the shell opened for standard output (maybe to append).
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
    positionable_ =
        !standardOutput_ && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
    outputClosed_ = false;
    channelCount_ = channelCount;
    sampleRate_ = sampleRate;
    dataBytes_ = 0;
    loopStartFrame_ = 0;
    loopEndFrame_ = 0;
    // Without the large buffer the output still works, only slower.
    (void)std::setvbuf(file_, nullptr, _IOFBF, kStreamBufferBytes);
    return WriteHeader(false, error);
}

std::string WavWriter::WriteFailure() {
    const int number = errno;
    // Writing into a pipe whose reader has gone fails with EPIPE, or with
    // EINVAL where the runtime has no better word for the system's error;
    // valid arguments give no other reason to refuse a pipe.
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
    outputClosed_ = standardOutput_ && (number == EPIPE || number == EINVAL) &&
                    handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_PIPE;
    errno = number;
    return ErrnoText("write error");
}

bool WavWriter::WriteHeader(bool final, std::string& error) {
    // Unknown sizes are all ones, the reading of streamed WAV data.
    const unsigned long long trailerBytes = HasLoop() ? kLoopChunkBytes : 0;
    const unsigned long riffBytes =
        final ? static_cast<unsigned long>(36 + dataBytes_ + trailerBytes) : 0xFFFFFFFFul;
    const unsigned long dataBytes = final ? static_cast<unsigned long>(dataBytes_) : 0xFFFFFFFFul;
    unsigned char header[kHeaderBytes];
    const unsigned blockAlign = static_cast<unsigned>(channelCount_) * 2;
    strcpy((char*)header, "RIFF");
    PutU32(header + 4, riffBytes);
    strcpy((char*)header + 8, "WAVEfmt ");
    PutU32(header + 16, 16);
    PutU16(header + 20, 1); // PCM
    PutU16(header + 22, static_cast<unsigned>(channelCount_));
    PutU32(header + 24, static_cast<unsigned long>(sampleRate_));
    PutU32(header + 28, static_cast<unsigned long>(sampleRate_) * blockAlign);
    PutU16(header + 32, blockAlign);
    PutU16(header + 34, 16);
    strcpy((char*)header + 36, "data");
    PutU32(header + 40, dataBytes);
    errno = 0;
    if (std::fwrite(header, 1, sizeof(header), file_) != sizeof(header)) {
        error = WriteFailure();
        return false;
    }
    return true;
}

bool WavWriter::HasLoop() const {
    const unsigned long long frameCount = dataBytes_ / (static_cast<unsigned>(channelCount_) * 2);
    return positionable_ && loopStartFrame_ < loopEndFrame_ && loopEndFrame_ <= frameCount;
}

bool WavWriter::WriteLoop(std::string& error) {
    unsigned char chunk[kLoopChunkBytes] = {};
    strcpy((char*)chunk, "smpl");
    PutU32(chunk + 4, kLoopChunkBytes - 8);
    // The sample period in nanoseconds, and middle C as the unity note.
    PutU32(chunk + 16, static_cast<unsigned long>((1000000000ull + sampleRate_ / 2) / sampleRate_));
    PutU32(chunk + 20, 60);
    PutU32(chunk + 36, 1); // one loop, no sampler data
    // The loop: identifier 0, forward, dwEnd the last frame played, endless.
    PutU32(chunk + 52, static_cast<unsigned long>(loopStartFrame_));
    PutU32(chunk + 56, static_cast<unsigned long>(loopEndFrame_ - 1));
    errno = 0;
    if (std::fwrite(chunk, 1, sizeof(chunk), file_) != sizeof(chunk)) {
        error = WriteFailure();
        return false;
    }
    return true;
}

bool WavWriter::Write(const void* bytes, size_t byteCount, std::string& error) {
    if (file_ == nullptr) {
        error = "write error: the file is closed";
        return false;
    }
    if (byteCount > kMaxPcmBytes - dataBytes_) {
        error = "more than 4 GiB of PCM: too large for a WAV file";
        return false;
    }
    errno = 0;
    if (std::fwrite(bytes, 1, byteCount, file_) != byteCount) {
        error = WriteFailure();
        return false;
    }
    dataBytes_ += byteCount;
    return true;
}

bool WavWriter::Finish(std::string& error) {
    if (file_ == nullptr) {
        error = "write error: the file is closed";
        return false;
    }
    errno = 0;
    if (std::fflush(file_) != 0) {
        error = WriteFailure();
        Discard();
        return false;
    }
    // The sizes are known now. An output that cannot be positioned keeps
    // the header of unknown sizes that went out first.
    if (HasLoop() && !WriteLoop(error)) {
        Discard();
        return false;
    }
    if (positionable_ && std::fseek(file_, 0, SEEK_SET) == 0 &&
        (!WriteHeader(true, error) || std::fflush(file_) != 0)) {
        if (error.empty()) {
            error = WriteFailure();
        }
        Discard();
        return false;
    }
    if (standardOutput_) {
        file_ = nullptr;
        return true; // flushed above; closed with the program
    }
    return PutInPlace(error);
}

bool WavWriter::PutInPlace(std::string& error) {
    std::FILE* file = file_;
    file_ = nullptr;
    if (file != temporary_.Get()) {
        // A device: written directly, only closed.
        errno = 0;
        if (std::fclose(file) != 0) {
            error = ErrnoText("write error");
            return false;
        }
        return true;
    }
    const std::string temporaryPath = temporary_.TemporaryPath();
    // On disk before it takes the name, so that a crash cannot leave an
    // empty file where the old one was.
    switch (temporary_.Commit(replace_, true)) {
    case ReplacingFile::CommitResult::kCommitted:
        return true;
    case ReplacingFile::CommitResult::kWriteFailed:
        error = ErrnoText("write error");
        return false;
    case ReplacingFile::CommitResult::kTargetExists:
        // Without -y an output that appeared during the run is left alone.
        error = "already exists (-y or --overwrite replaces it)";
        return false;
    case ReplacingFile::CommitResult::kRenameFailed:
        break;
    }
    error = "cannot rename " + temporaryPath +
            " to it: " + ResultText(HRESULT_FROM_WIN32(temporary_.SystemError()));
    return false;
}

void WavWriter::Discard() {
    if (file_ != nullptr && !standardOutput_ && file_ != temporary_.Get()) {
        std::fclose(file_); // the file goes away: its write errors no longer matter
    }
    // What went out on standard output or a device cannot be taken back.
    file_ = nullptr;
    temporary_.Discard();
}

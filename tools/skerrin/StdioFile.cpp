#include "StdioFile.h"

#include "FilePath.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <utility>

StdioFile::~StdioFile() {
    if (file_ != nullptr) {
        (void)std::fclose(file_); // a failure here was reported, or it was read only
    }
}

StdioFile& StdioFile::operator=(StdioFile&& other) noexcept {
    if (this != &other) {
        StdioFile old(std::move(*this));
        file_ = std::exchange(other.file_, nullptr);
    }
    return *this;
}

StdioFile StdioFile::Open(const std::string& path, const char* mode) {
    StdioFile file;
    file.file_ = FilePath::Open(path, mode);
    return file;
}

bool StdioFile::Seek(uint64_t positionBytes) {
#ifdef _WIN32
    return _fseeki64(file_, static_cast<__int64>(positionBytes), SEEK_SET) == 0;
#else
    static_assert(sizeof(off_t) >= 8, "64-bit file positions");
    return fseeko(file_, static_cast<off_t>(positionBytes), SEEK_SET) == 0;
#endif
}

bool StdioFile::SizeBytes(uint64_t& sizeBytes) const {
#ifdef _WIN32
    struct _stat64 status;
    if (_fstat64(_fileno(file_), &status) != 0 || (status.st_mode & _S_IFREG) == 0) {
        return false;
    }
#else
    struct stat status;
    if (fstat(fileno(file_), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
#endif
    sizeBytes = static_cast<uint64_t>(status.st_size);
    return true;
}

void StdioFile::SetBuffer(char* buffer, size_t bufferBytes) {
    if (buffer != nullptr) {
        (void)std::setvbuf(file_, buffer, _IOFBF, bufferBytes);
    }
}

bool StdioFile::Close() {
    FILE* file = std::exchange(file_, nullptr);
    return file == nullptr || std::fclose(file) == 0;
}

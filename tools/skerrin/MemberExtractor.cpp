#include "MemberExtractor.h"

#include "FileSystem.h"
#include "MemberNameText.h"
#include "StreamBuffers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <utility>

namespace {

constexpr const char* kCutShortReason = "the archive ends inside the member";

} // namespace

MemberExtractor::MemberExtractor(StdioFile& archive, const afs::AfsArchive& directory,
                                 Settings settings)
    : archive_(archive), directory_(directory), settings_(std::move(settings)),
      outputStreamBuffer_(new (std::nothrow) char[StreamBuffers::kStreamBufferBytes]) {
    archiveSized_ = archive_.SizeBytes(archiveBytes_);
}

bool MemberExtractor::Extract(const std::vector<uint32_t>& indices,
                              std::vector<std::string>& writtenPaths) {
    bool allWhole = true;
    for (const uint32_t index : indices) {
        std::string path;
        if (ExtractMember(index, path)) {
            writtenPaths.push_back(path);
        } else {
            allWhole = false;
        }
    }
    return allWhole;
}

void MemberExtractor::Failed(const std::string& shownName) {
    std::printf("FAILED:%s\n", shownName.c_str());
}

std::string MemberExtractor::UsableName(uint32_t index) {
    if (settings_.numberedNames) {
        return MemberNames::Numbered(index);
    }
    const char* archivePath = settings_.archivePath.c_str();
    const std::optional<std::string_view> stored = directory_.Name(index);
    if (!stored) {
        if (settings_.classicMessages) {
            std::fprintf(stderr, "%s: name of file %d has no terminating zero byte, not written.\n",
                         archivePath, static_cast<int>(index));
        } else {
            std::fprintf(stderr,
                         "skerrin: %s: name of member %u has no terminating zero byte, "
                         "not written\n",
                         archivePath, static_cast<unsigned>(index));
        }
        Failed(MemberNames::Escaped(directory_.NameRecord(index)));
        return {};
    }
    const std::optional<std::string> name = MemberNameText::Decode(*stored);
    const char* reason = name ? MemberNames::UnsafeReason(*name) : "is neither UTF-8 nor Shift-JIS";
    if (reason != nullptr) {
        const std::string shown = MemberNames::Shown(directory_, index);
        if (settings_.classicMessages) {
            std::fprintf(stderr, "%s: name \"%s\" of file %d %s, not written.\n", archivePath,
                         shown.c_str(), static_cast<int>(index), reason);
        } else {
            std::fprintf(stderr, "skerrin: %s: name \"%s\" of member %u %s, not written\n",
                         archivePath, shown.c_str(), static_cast<unsigned>(index), reason);
        }
        Failed(shown);
        return {};
    }
    return *name;
}

bool MemberExtractor::ExtractMember(uint32_t index, std::string& writtenPath) {
    const std::string name = UsableName(index);
    if (name.empty()) {
        return false;
    }
    const afs::AfsEntry entry = directory_.Entry(index);
    if (archiveSized_ &&
        static_cast<uint64_t>(entry.offsetBytes) + entry.sizeBytes > archiveBytes_) {
        // Known before any file is made: nothing to remove afterwards.
        ReportCutShort(name, kCutShortReason);
        Failed(name);
        return false;
    }

    const std::string& directory = settings_.outputDirectory;
    const std::string fileName = names_.Claim(name, [&directory](const std::string& candidate) {
        return FileSystem::Exists(FileSystem::Join(directory, candidate));
    });
    const std::string path = FileSystem::Join(directory, fileName);
    if (fileName != names_.AsWritten(name)) {
        if (settings_.classicMessages) {
            std::fprintf(stderr,
                         "%s: name \"%s\" of file %d was written already by this run, kept as "
                         "\"%s\".\n",
                         settings_.archivePath.c_str(), name.c_str(), static_cast<int>(index),
                         fileName.c_str());
        } else {
            std::fprintf(stderr,
                         "skerrin: %s: name \"%s\" of member %u was written already by this run, "
                         "kept as %s\n",
                         settings_.archivePath.c_str(), name.c_str(), static_cast<unsigned>(index),
                         path.c_str());
        }
    }

    StdioFile output = StdioFile::Open(path.c_str(), "wb");
    if (!output) {
        const char* reason = std::strerror(errno);
        if (settings_.classicMessages) {
            std::fprintf(stderr, "file open failed.: %s: %s\n", name.c_str(), reason);
        } else {
            std::fprintf(stderr, "skerrin: %s: %s\n", path.c_str(), reason);
        }
        Failed(name);
        return false;
    }
    output.SetBuffer(outputStreamBuffer_.get(), StreamBuffers::kStreamBufferBytes);

    CopyResult result = CopyResult::kWhole;
    int error = 0;
    if (!archive_.Seek(entry.offsetBytes)) {
        result = CopyResult::kReadFailed;
        error = errno;
    } else {
        result = Copy(output.Get(), entry.sizeBytes);
        error = errno;
    }
    // Buffered data reaches the file only here, so a full disk may show
    // first at the close.
    if (!output.Close() && result == CopyResult::kWhole) {
        result = CopyResult::kWriteFailed;
        error = errno;
    }
    if (result != CopyResult::kWhole) {
        ReportCopyFailure(result, name, path, error);
        RemovePartial(path);
        Failed(name);
        return false;
    }
    if (settings_.keepDates) {
        KeepDate(index, path);
    }
    if (fileName == name) {
        std::printf("%s\n", name.c_str());
    } else {
        std::printf("%s as %s\n", name.c_str(), fileName.c_str());
    }
    writtenPath = path;
    return true;
}

MemberExtractor::CopyResult MemberExtractor::Copy(FILE* output, uint32_t sizeBytes) {
    FILE* const input = archive_.Get();
    uint8_t* const buffer = copyBuffer_;
    uint32_t bytesRemaining = sizeBytes;
    errno = 0;
    while (bytesRemaining != 0) {
        const size_t chunkBytes =
            bytesRemaining < kCopyBufferBytes ? bytesRemaining : kCopyBufferBytes;
        if (std::fread(buffer, 1, chunkBytes, input) != chunkBytes) {
            return std::ferror(input) ? CopyResult::kReadFailed : CopyResult::kCutShort;
        }
        if (std::fwrite(buffer, 1, chunkBytes, output) != chunkBytes) {
            return CopyResult::kWriteFailed;
        }
        bytesRemaining -= static_cast<uint32_t>(chunkBytes);
    }
    return CopyResult::kWhole;
}

void MemberExtractor::ReportCutShort(const std::string& name, const char* reason) {
    if (settings_.classicMessages) {
        std::fprintf(stderr, "read error.: %s: %s\n", name.c_str(), reason);
    } else {
        std::fprintf(stderr, "skerrin: %s: %s: %s\n", settings_.archivePath.c_str(), name.c_str(),
                     reason);
    }
}

void MemberExtractor::ReportCopyFailure(CopyResult result, const std::string& name,
                                        const std::string& path, int error) {
    if (result == CopyResult::kCutShort) {
        std::clearerr(archive_.Get());
        ReportCutShort(name, kCutShortReason);
        return;
    }
    const char* reason = error != 0 ? std::strerror(error) : "unknown error";
    if (result == CopyResult::kReadFailed) {
        std::clearerr(archive_.Get());
        ReportCutShort(name, reason);
    } else if (settings_.classicMessages) {
        std::fprintf(stderr, "write error: %s: %s\n", name.c_str(), reason);
    } else {
        std::fprintf(stderr, "skerrin: %s: %s\n", path.c_str(), reason);
    }
}

bool MemberExtractor::RemovePartial(const std::string& path) {
    // A device or pipe of that name held no file of ours: it stays.
    FileSystem::FileStatus status;
    if (!FileSystem::Status(path, status) || !status.isRegular || FileSystem::Remove(path)) {
        return true;
    }
    std::fprintf(stderr, "skerrin: %s: partial file not removed: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
}

void MemberExtractor::KeepDate(uint32_t index, const std::string& path) {
    const std::optional<afs::AfsDate> date = directory_.Date(index);
    if (!date) {
        return;
    }
    std::tm fields{};
    fields.tm_year = date->year - 1900;
    fields.tm_mon = date->month - 1;
    fields.tm_mday = date->day;
    fields.tm_hour = date->hour;
    fields.tm_min = date->minute;
    fields.tm_sec = date->second;
    fields.tm_isdst = -1;
    const std::time_t modifiedTime = std::mktime(&fields);
    // A date the platform cannot represent leaves the file's own.
    if (modifiedTime != static_cast<std::time_t>(-1) &&
        !FileSystem::SetModifiedTime(path, modifiedTime)) {
        std::fprintf(stderr, "skerrin: %s: stored date not kept: %s\n", path.c_str(),
                     std::strerror(errno));
    }
}

#include "MemberExtractor.h"

#include "FileSystem.h"
#include "Interrupt.h"
#include "MemberNameText.h"
#include "StreamBuffers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <set>
#include <utility>

namespace {

constexpr const char* kCutShortReason = "the archive ends inside the member";
using Kind = ArchiveMessages::Kind;

} // namespace

MemberExtractor::MemberExtractor(StdioFile& archive, const afs::AfsArchive& directory,
                                 const ArchiveMessages& messages, Settings settings)
    : archive_(archive), directory_(directory), messages_(messages), settings_(std::move(settings)),
      outputStreamBuffer_(new (std::nothrow) char[StreamBuffers::kStreamBufferBytes]) {
    archiveSized_ = archive_.SizeBytes(archiveBytes_);
    archiveIdentified_ = FileSystem::Identity(messages_.ArchivePath(), archiveIdentity_);
}

std::vector<std::string>
MemberExtractor::ExistingOutputs(const std::vector<uint32_t>& indices) const {
    // Later members of one name get names of their own that are free.
    std::set<std::string> seen;
    std::vector<std::string> existing;
    for (const uint32_t index : indices) {
        const char* reason = nullptr;
        const std::string name = NameOf(index, reason);
        if (name.empty() || !seen.insert(MemberNames::Key(name)).second) {
            continue;
        }
        const std::string path = FileSystem::Join(settings_.outputDirectory, name);
        if (FileSystem::Exists(path)) {
            existing.push_back(path);
        }
    }
    return existing;
}

bool MemberExtractor::Extract(const std::vector<uint32_t>& indices,
                              std::vector<std::string>& writtenPaths) {
    bool allWhole = true;
    for (const uint32_t index : indices) {
        if (Interrupted()) {
            return false;
        }
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

std::string MemberExtractor::NameOf(uint32_t index, const char*& reason) const {
    reason = nullptr;
    if (settings_.numberedNames) {
        return MemberNames::Numbered(index);
    }
    const std::optional<std::string_view> stored = directory_.Name(index);
    if (!stored) {
        return {};
    }
    const std::optional<std::string> name = MemberNameText::Decode(*stored);
    reason = name ? MemberNames::UnsafeReason(*name) : "is neither UTF-8 nor Shift-JIS";
    return reason == nullptr ? *name : std::string();
}

std::string MemberExtractor::UsableName(uint32_t index) {
    const char* reason = nullptr;
    std::string name = NameOf(index, reason);
    if (!name.empty()) {
        return name;
    }
    ArchiveMessages::Fields fields;
    fields.index = index;
    if (reason == nullptr) {
        messages_.Say(Kind::kNameWithoutZero, fields);
        Failed(MemberNames::Escaped(directory_.NameRecord(index)));
        return {};
    }
    fields.name = MemberNames::Shown(directory_, index);
    fields.reason = reason;
    messages_.Say(Kind::kNameUnusable, fields);
    Failed(fields.name);
    return {};
}

bool MemberExtractor::IsTheArchive(uint32_t index, const std::string& name,
                                   const std::string& path) {
    FileSystem::FileIdentity identity;
    if (!archiveIdentified_ || !FileSystem::Identity(path, identity) ||
        !(identity == archiveIdentity_)) {
        return false;
    }
    ArchiveMessages::Fields fields;
    fields.index = index;
    fields.name = name;
    fields.reason = "names the archive being read";
    messages_.Say(Kind::kNameUnusable, fields);
    Failed(name);
    return true;
}

bool MemberExtractor::ExtractMember(uint32_t index, std::string& writtenPath) {
    const std::string name = UsableName(index);
    if (name.empty()) {
        return false;
    }
    const afs::AfsEntry entry = directory_.Entry(index);
    // An empty member needs nothing read, wherever its offset points.
    if (entry.sizeBytes != 0 && archiveSized_ &&
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
    if (IsTheArchive(index, name, path)) {
        return false;
    }
    if (fileName != names_.AsWritten(name)) {
        ArchiveMessages::Fields fields;
        fields.index = index;
        fields.name = name;
        fields.file = fileName;
        fields.path = path;
        messages_.Say(Kind::kNameKeptApart, fields);
    }

    if (!WriteMember(entry, name, path)) {
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

bool MemberExtractor::WriteMember(const afs::AfsEntry& entry, const std::string& name,
                                  const std::string& path) {
    StdioFile output = StdioFile::Open(path.c_str(), "wb");
    if (!output) {
        ArchiveMessages::Fields fields;
        fields.name = name;
        fields.path = path;
        fields.reason = std::strerror(errno);
        messages_.Say(Kind::kCannotCreate, fields);
        Failed(name);
        return false;
    }
    output.SetBuffer(outputStreamBuffer_.get(), StreamBuffers::kStreamBufferBytes);

    CopyResult result = CopyResult::kWhole;
    int error = 0;
    if (entry.sizeBytes != 0 && !archive_.Seek(entry.offsetBytes)) {
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
        if (Interrupted()) {
            return CopyResult::kInterrupted;
        }
        bytesRemaining -= static_cast<uint32_t>(chunkBytes);
    }
    return CopyResult::kWhole;
}

void MemberExtractor::ReportCutShort(const std::string& name, const char* reason) {
    ArchiveMessages::Fields fields;
    fields.name = name;
    fields.reason = reason;
    messages_.Say(Kind::kCutShort, fields);
}

void MemberExtractor::ReportCopyFailure(CopyResult result, const std::string& name,
                                        const std::string& path, int error) {
    if (result == CopyResult::kInterrupted) {
        return; // the run ends with its own word
    }
    if (result == CopyResult::kCutShort) {
        std::clearerr(archive_.Get());
        ReportCutShort(name, kCutShortReason);
        return;
    }
    const char* reason = error != 0 ? std::strerror(error) : "unknown error";
    if (result == CopyResult::kReadFailed) {
        std::clearerr(archive_.Get());
        ReportCutShort(name, reason);
        return;
    }
    ArchiveMessages::Fields fields;
    fields.name = name;
    fields.path = path;
    fields.reason = reason;
    messages_.Say(Kind::kWriteFailed, fields);
}

bool MemberExtractor::RemovePartial(const std::string& path) {
    // A device or pipe of that name held no file of ours: it stays.
    FileSystem::FileStatus status;
    if (!FileSystem::Status(path, status) || !status.isRegular || FileSystem::Remove(path)) {
        return true;
    }
    messages_.GetReporter().Problem(path, std::string("partial file not removed: ") +
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
        messages_.GetReporter().Problem(path, std::string("stored date not kept: ") +
                                                  std::strerror(errno));
    }
}

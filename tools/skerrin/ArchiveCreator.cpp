#include "ArchiveCreator.h"

#include "afs/AfsArchive.h"
#include "Interrupt.h"
#include "MemberNameText.h"
#include "MemberNames.h"
#include "FileSystem.h"
#include "ReplacingFile.h"
#include "StdioFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <new>

namespace {

// Member data moves in large blocks: the copy runs at the speed of the disk.
constexpr size_t kCopyBlockBytes = 256 * 1024;
constexpr uint64_t kMaxArchiveBytes = uint64_t{1} << 32;

uint64_t AlignUp(uint64_t value) {
    const uint64_t alignment = ArchiveCreator::kAlignmentBytes;
    return (value + alignment - 1) / alignment * alignment;
}

void PutU32Le(uint8_t* bytes, uint64_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void PutU16Le(uint8_t* bytes, int value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

// A name of at most `maxBytes` bytes for a file whose name is too long: the
// extension kept, the stem cut at a character boundary.
std::string ShorterName(const std::string& name, size_t maxBytes) {
    const size_t dot = name.rfind('.');
    const bool keepExtension = dot != std::string::npos && dot > 0 && name.size() - dot < maxBytes;
    const std::string extension = keepExtension ? name.substr(dot) : "";
    size_t stemBytes = maxBytes - extension.size();
    // UTF-8 continuation bytes (10xxxxxx) do not start a character.
    while (stemBytes > 0 && (static_cast<unsigned char>(name[stemBytes]) & 0xC0) == 0x80) {
        --stemBytes;
    }
    return name.substr(0, stemBytes) + extension;
}

} // namespace

bool ArchiveCreator::AddPath(const std::string& path) {
    FileSystem::FileStatus status;
    if (!FileSystem::Status(path, status)) {
        reporter_.Problem(path, std::strerror(errno));
        return false;
    }
    return status.isDirectory ? AddFolder(path) : AddFile(path, status);
}

bool ArchiveCreator::AddFolder(const std::string& path) {
    std::vector<std::string> names;
    if (!FileSystem::ListDirectory(path, names)) {
        reporter_.Problem(path, std::strerror(errno));
        return false;
    }
    bool allAdded = true;
    for (const std::string& name : names) {
        const std::string memberPath = FileSystem::Join(path, name);
        FileSystem::FileStatus memberStatus;
        if (!FileSystem::Status(memberPath, memberStatus)) {
            reporter_.Problem(memberPath, std::strerror(errno));
            allAdded = false;
        } else if (memberStatus.isRegular) {
            allAdded = AddFile(memberPath, memberStatus) && allAdded;
        } else if (memberStatus.isDirectory) {
            reporter_.Problem(memberPath, "subfolder skipped (only the folder's own files "
                                          "become members)");
        }
    }
    return allAdded;
}

std::string ArchiveCreator::Problem(const std::string& path, const std::string& name,
                                    const FileSystem::FileStatus& status) {
    if (!status.isRegular) {
        return "not a regular file";
    }
    // Stored as it stands, and read back as the text it decodes to.
    const std::optional<std::string> text = MemberNameText::Decode(name);
    if (!text) {
        return "member name is neither UTF-8 nor Shift-JIS";
    }
    if (const char* reason = MemberNames::UnsafeReason(*text)) {
        return std::string("member name \"") + MemberNames::Escaped(*text) + "\" " + reason;
    }
    if (name.size() > kMaxNameBytes) {
        return "member name of " + std::to_string(name.size()) + " bytes, longer than " +
               std::to_string(kMaxNameBytes) + ": give the file a shorter name, e.g. \"" +
               MemberNames::Escaped(ShorterName(name, kMaxNameBytes)) + "\"";
    }
    if (status.sizeBytes >= kMaxArchiveBytes) {
        return "larger than an archive can hold (4 GiB)";
    }
    if (FileSystem::SameFile(path, archivePath_)) {
        return "is the archive being written";
    }
    if (!names_.insert(MemberNames::Key(*text)).second) {
        return "a member named \"" + name + "\" was given already";
    }
    return {};
}

bool ArchiveCreator::AddFile(const std::string& path, const FileSystem::FileStatus& status) {
    const std::string name = FileSystem::BaseName(path);
    const std::string problem = Problem(path, name, status);
    if (!problem.empty()) {
        reporter_.Problem(path, problem);
        return false;
    }
    Member member;
    member.path = path;
    member.name = name;
    member.sizeBytes = status.sizeBytes;
    member.modifiedTime = status.modifiedTime;
    members_.push_back(member);
    return true;
}

// Header (magic, count, entries, locator), at least one spare byte so that
// the locator ends before the first data, then the members, then the list.
bool ArchiveCreator::PlaceMembers(Layout& layout) {
    const uint64_t headerBytes = 8 + members_.size() * uint64_t{afs::AfsArchive::kEntryBytes} + 8;
    layout.firstDataBytes = AlignUp(headerBytes + 1);
    uint64_t positionBytes = layout.firstDataBytes;
    for (Member& member : members_) {
        member.offsetBytes = positionBytes;
        positionBytes = AlignUp(positionBytes + member.sizeBytes);
    }
    layout.listOffsetBytes = positionBytes;
    layout.archiveBytes =
        AlignUp(layout.listOffsetBytes + members_.size() * afs::AfsArchive::kNameRecordBytes);
    if (layout.archiveBytes > kMaxArchiveBytes) {
        reporter_.Problem(archivePath_, "the members do not fit in 4 GiB");
        return false;
    }
    return true;
}

ExitStatus ArchiveCreator::Write() {
    Layout layout;
    if (!PlaceMembers(layout)) {
        return ExitStatus::kRefused;
    }
    ReplacingFile archive;
    if (!archive.Create(archivePath_, FileSystem::kTemporaryInfix, FileSystem::kTemporarySuffix)) {
        reporter_.Problem(archivePath_, std::strerror(errno));
        return ExitStatus::kFailed;
    }
    if (WriteAll(archive.Get(), layout) && !Interrupted()) {
        if (archive.Commit(true, false) == ReplacingFile::CommitResult::kCommitted) {
            return ExitStatus::kDone;
        }
        reporter_.Problem(archivePath_, std::strerror(errno));
    }
    archive.Discard();
    return Interrupted() ? ExitStatus::kInterrupted : ExitStatus::kFailed;
}

bool ArchiveCreator::WriteAll(FILE* archive, const Layout& layout) {
    if (!WriteHeader(archive, layout)) {
        return false;
    }
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyBlockBytes]);
    if (!buffer) {
        reporter_.Problem(archivePath_, std::strerror(ENOMEM));
        return false;
    }
    uint64_t positionBytes = layout.firstDataBytes;
    for (const Member& member : members_) {
        if (!WritePadding(archive, positionBytes, member.offsetBytes) ||
            !CopyMember(archive, member, buffer.get(), kCopyBlockBytes)) {
            return false;
        }
        positionBytes += member.sizeBytes;
    }
    if (!WritePadding(archive, positionBytes, layout.listOffsetBytes) || !WriteNameList(archive)) {
        return false;
    }
    positionBytes += members_.size() * afs::AfsArchive::kNameRecordBytes;
    return WritePadding(archive, positionBytes, layout.archiveBytes);
}

bool ArchiveCreator::WriteHeader(FILE* archive, const Layout& layout) {
    const size_t memberCount = members_.size();
    std::vector<uint8_t> header(static_cast<size_t>(layout.firstDataBytes), 0);
    std::memcpy(header.data(), afs::AfsArchive::kMagic, afs::AfsArchive::kMagicBytes);
    PutU32Le(&header[4], memberCount);
    for (size_t i = 0; i < memberCount; ++i) {
        PutU32Le(&header[8 + 8 * i], members_[i].offsetBytes);
        PutU32Le(&header[12 + 8 * i], members_[i].sizeBytes);
    }
    PutU32Le(&header[8 + 8 * memberCount], layout.listOffsetBytes);
    PutU32Le(&header[12 + 8 * memberCount], memberCount * afs::AfsArchive::kNameRecordBytes);
    return WriteBytes(archive, header.data(), header.size());
}

bool ArchiveCreator::WriteNameList(FILE* archive) {
    const size_t memberCount = members_.size();
    std::vector<uint8_t> list(memberCount * afs::AfsArchive::kNameRecordBytes, 0);
    for (size_t i = 0; i < memberCount; ++i) {
        const Member& member = members_[i];
        uint8_t* record = &list[i * afs::AfsArchive::kNameRecordBytes];
        // The record is zeroed: the name keeps its zero byte.
        std::copy(member.name.begin(), member.name.end(), record);
        // Local time, as the file's date is shown to its owner.
        if (const std::tm* date = std::localtime(&member.modifiedTime)) {
            const int fields[6] = {date->tm_year + 1900, date->tm_mon + 1, date->tm_mday,
                                   date->tm_hour,        date->tm_min,     date->tm_sec};
            for (int f = 0; f < 6; ++f) {
                PutU16Le(record + afs::AfsArchive::kNameFieldBytes + 2 * f, fields[f]);
            }
        }
        PutU32Le(record + 44, member.sizeBytes);
    }
    return list.empty() || WriteBytes(archive, list.data(), list.size());
}

bool ArchiveCreator::CopyMember(FILE* archive, const Member& member, uint8_t* buffer,
                                size_t bufferBytes) {
    StdioFile input = StdioFile::Open(member.path.c_str(), "rb");
    if (!input) {
        reporter_.Problem(member.path, std::strerror(errno));
        return false;
    }
    // Whole blocks pass stdio's buffer by; it would only add a copy.
    (void)std::setvbuf(input.Get(), nullptr, _IONBF, 0);
    uint64_t bytesRemaining = member.sizeBytes;
    while (bytesRemaining != 0) {
        const size_t blockBytes =
            bytesRemaining < bufferBytes ? static_cast<size_t>(bytesRemaining) : bufferBytes;
        if (std::fread(buffer, 1, blockBytes, input.Get()) != blockBytes) {
            reporter_.Problem(member.path, std::ferror(input.Get())
                                               ? std::strerror(errno)
                                               : "file shrank while being read");
            return false;
        }
        if (!WriteBytes(archive, buffer, blockBytes) || Interrupted()) {
            return false;
        }
        bytesRemaining -= blockBytes;
    }
    if (std::fgetc(input.Get()) != EOF) {
        reporter_.Problem(member.path, "file grew while being read");
        return false;
    }
    return true;
}

bool ArchiveCreator::WritePadding(FILE* archive, uint64_t& positionBytes, uint64_t toBytes) {
    static const uint8_t kZeros[kAlignmentBytes] = {};
    while (positionBytes < toBytes) {
        const uint64_t gapBytes = toBytes - positionBytes;
        const size_t padBytes =
            gapBytes < sizeof kZeros ? static_cast<size_t>(gapBytes) : sizeof kZeros;
        if (!WriteBytes(archive, kZeros, padBytes)) {
            return false;
        }
        positionBytes += padBytes;
    }
    return true;
}

bool ArchiveCreator::WriteBytes(FILE* archive, const void* bytes, size_t byteCount) {
    if (std::fwrite(bytes, 1, byteCount, archive) != byteCount) {
        reporter_.Problem(archivePath_, std::strerror(errno));
        return false;
    }
    return true;
}

#include "ArchiveCreator.h"

#include "afs/AfsArchive.h"
#include "MemberNameText.h"
#include "MemberNames.h"
#include "StdioFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

void Report(const std::string& file, const char* reason) {
    std::fprintf(stderr, "skerrin: %s: %s\n", file.c_str(), reason);
}

} // namespace

bool ArchiveCreator::AddPath(const std::string& path) {
    FileSystem::FileStatus status;
    if (!FileSystem::Status(path, status)) {
        Report(path, std::strerror(errno));
        return false;
    }
    if (!status.isDirectory) {
        return AddFile(path, status);
    }
    std::vector<std::string> names;
    if (!FileSystem::ListDirectory(path, names)) {
        Report(path, std::strerror(errno));
        return false;
    }
    bool allAdded = true;
    for (const std::string& name : names) {
        const std::string memberPath = FileSystem::Join(path, name);
        FileSystem::FileStatus memberStatus;
        if (!FileSystem::Status(memberPath, memberStatus)) {
            Report(memberPath, std::strerror(errno));
            allAdded = false;
        } else if (memberStatus.isRegular) {
            allAdded = AddFile(memberPath, memberStatus) && allAdded;
        }
    }
    return allAdded;
}

bool ArchiveCreator::AddFile(const std::string& path, const FileSystem::FileStatus& status) {
    if (!status.isRegular) {
        Report(path, "not a regular file");
        return false;
    }
    const std::string name = FileSystem::BaseName(path);
    std::string problem;
    // Stored as it stands, and read back as the text it decodes to.
    const std::optional<std::string> text = MemberNameText::Decode(name);
    if (!text) {
        problem = "member name is neither UTF-8 nor Shift-JIS";
    } else if (const char* reason = MemberNames::UnsafeReason(*text)) {
        problem = std::string("member name \"") + MemberNames::Escaped(*text) + "\" " + reason;
    } else if (name.size() > kMaxNameBytes) {
        problem = "member name longer than " + std::to_string(kMaxNameBytes) + " bytes";
    } else if (status.sizeBytes >= kMaxArchiveBytes) {
        problem = "larger than an archive can hold (4 GiB)";
    } else if (FileSystem::SameFile(path, archivePath_)) {
        problem = "is the archive being written";
    } else if (!names_.insert(MemberNames::Key(*text)).second) {
        problem = "a member named \"" + name + "\" was given already";
    }
    if (!problem.empty()) {
        Report(path, problem.c_str());
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
bool ArchiveCreator::Layout(uint64_t& listOffsetBytes, uint64_t& archiveBytes) {
    const uint64_t headerBytes = 8 + members_.size() * uint64_t{afs::AfsArchive::kEntryBytes} + 8;
    uint64_t positionBytes = AlignUp(headerBytes + 1);
    for (Member& member : members_) {
        member.offsetBytes = positionBytes;
        positionBytes = AlignUp(positionBytes + member.sizeBytes);
    }
    listOffsetBytes = positionBytes;
    archiveBytes = AlignUp(listOffsetBytes + members_.size() * afs::AfsArchive::kNameRecordBytes);
    if (archiveBytes > kMaxArchiveBytes) {
        Report(archivePath_, "the members do not fit in 4 GiB");
        return false;
    }
    return true;
}

bool ArchiveCreator::Write() {
    if (members_.empty()) {
        Report(archivePath_, "no member files given");
        return false;
    }
    uint64_t listOffsetBytes = 0;
    uint64_t archiveBytes = 0;
    if (!Layout(listOffsetBytes, archiveBytes)) {
        return false;
    }
    // Only a file is written, and only a file removed after a failure.
    FileSystem::FileStatus existing;
    if (FileSystem::Status(archivePath_, existing) && !existing.isRegular) {
        Report(archivePath_, "not a regular file");
        return false;
    }
    StdioFile archive = StdioFile::Open(archivePath_.c_str(), "wb");
    if (!archive) {
        Report(archivePath_, std::strerror(errno));
        return false;
    }
    bool written = WriteAll(archive.Get(), listOffsetBytes, archiveBytes);
    if (!archive.Close() && written) {
        Report(archivePath_, std::strerror(errno));
        written = false;
    }
    if (!written && !FileSystem::Remove(archivePath_)) {
        Report(archivePath_, "partial archive not removed");
    }
    return written;
}

bool ArchiveCreator::WriteAll(FILE* archive, uint64_t listOffsetBytes, uint64_t archiveBytes) {
    const size_t memberCount = members_.size();
    const uint64_t firstDataBytes = members_.front().offsetBytes;
    std::vector<uint8_t> header(static_cast<size_t>(firstDataBytes), 0);
    std::memcpy(header.data(), afs::AfsArchive::kMagic, afs::AfsArchive::kMagicBytes);
    PutU32Le(&header[4], memberCount);
    for (size_t i = 0; i < memberCount; ++i) {
        PutU32Le(&header[8 + 8 * i], members_[i].offsetBytes);
        PutU32Le(&header[12 + 8 * i], members_[i].sizeBytes);
    }
    PutU32Le(&header[8 + 8 * memberCount], listOffsetBytes);
    PutU32Le(&header[12 + 8 * memberCount], memberCount * afs::AfsArchive::kNameRecordBytes);
    if (!WriteBytes(archive, header.data(), header.size())) {
        return false;
    }

    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyBlockBytes]);
    if (!buffer) {
        Report(archivePath_, std::strerror(ENOMEM));
        return false;
    }
    uint64_t positionBytes = firstDataBytes;
    for (const Member& member : members_) {
        if (!WritePadding(archive, positionBytes, member.offsetBytes) ||
            !CopyMember(archive, member, buffer.get(), kCopyBlockBytes)) {
            return false;
        }
        positionBytes += member.sizeBytes;
    }
    if (!WritePadding(archive, positionBytes, listOffsetBytes)) {
        return false;
    }

    std::vector<uint8_t> list(memberCount * afs::AfsArchive::kNameRecordBytes, 0);
    for (size_t i = 0; i < memberCount; ++i) {
        const Member& member = members_[i];
        uint8_t* record = &list[i * afs::AfsArchive::kNameRecordBytes];
        strcpy((char*)record, member.name.data());
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
    if (!WriteBytes(archive, list.data(), list.size())) {
        return false;
    }
    positionBytes += list.size();
    return WritePadding(archive, positionBytes, archiveBytes);
}

bool ArchiveCreator::CopyMember(FILE* archive, const Member& member, uint8_t* buffer,
                                size_t bufferBytes) {
    StdioFile input = StdioFile::Open(member.path.c_str(), "rb");
    if (!input) {
        Report(member.path, std::strerror(errno));
        return false;
    }
    // Whole blocks pass stdio's buffer by; it would only add a copy.
    (void)std::setvbuf(input.Get(), nullptr, _IONBF, 0);
    uint64_t bytesRemaining = member.sizeBytes;
    while (bytesRemaining != 0) {
        const size_t blockBytes =
            bytesRemaining < bufferBytes ? static_cast<size_t>(bytesRemaining) : bufferBytes;
        if (std::fread(buffer, 1, blockBytes, input.Get()) != blockBytes) {
            Report(member.path, std::ferror(input.Get()) ? std::strerror(errno)
                                                         : "file shrank while being read");
            return false;
        }
        if (!WriteBytes(archive, buffer, blockBytes)) {
            return false;
        }
        bytesRemaining -= blockBytes;
    }
    if (std::fgetc(input.Get()) != EOF) {
        Report(member.path, "file grew while being read");
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
        Report(archivePath_, std::strerror(errno));
        return false;
    }
    return true;
}

// Builds an AFS archive from files: member data on 2048-byte boundaries,
// then a name list with each member's name, date and size. The same files
// (names, contents, modification times) in the same order always give the
// same bytes. The archive appears whole or not at all (ReplacingFile).
#pragma once

#include "ExitStatus.h"
#include "FileSystem.h"
#include "Reporter.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

class ArchiveCreator {
public:
    static constexpr uint32_t kAlignmentBytes = 2048;
    // The name field of a record holds the name and its zero byte.
    static constexpr size_t kMaxNameBytes = 31;

    ArchiveCreator(const Reporter& reporter, std::string archivePath)
        : reporter_(reporter), archivePath_(std::move(archivePath)) {}

    // A file becomes the next member, under its base name; a folder adds its
    // regular files in name order (its subfolders are skipped, and named).
    // False (reported) when a file cannot be a member.
    bool AddPath(const std::string& path);
    size_t MemberCount() const { return members_.size(); }

    // Writes the archive (also one of no members) through a temporary file:
    // kDone, kRefused when the members do not fit, kFailed when writing
    // failed, kInterrupted after Ctrl+C. What was there before stays
    // unless kDone.
    ExitStatus Write();

private:
    struct Member {
        std::string path;
        std::string name;
        uint64_t sizeBytes = 0;
        std::time_t modifiedTime = 0;
        uint64_t offsetBytes = 0;
    };

    struct Layout {
        uint64_t firstDataBytes = 0;
        uint64_t listOffsetBytes = 0;
        uint64_t archiveBytes = 0;
    };

    bool AddFolder(const std::string& path);
    bool AddFile(const std::string& path, const FileSystem::FileStatus& status);
    // Why a file cannot be a member, or empty.
    std::string Problem(const std::string& path, const std::string& name,
                        const FileSystem::FileStatus& status);
    bool PlaceMembers(Layout& layout);
    bool WriteAll(FILE* archive, const Layout& layout);
    bool WriteHeader(FILE* archive, const Layout& layout);
    bool WriteNameList(FILE* archive);
    bool CopyMember(FILE* archive, const Member& member, uint8_t* buffer, size_t bufferBytes);
    bool WritePadding(FILE* archive, uint64_t& positionBytes, uint64_t toBytes);
    bool WriteBytes(FILE* archive, const void* bytes, size_t byteCount);

    const Reporter& reporter_;
    std::string archivePath_;
    std::vector<Member> members_;
    std::set<std::string> names_; // MemberNames::Key of each member's name
};

// Builds an AFS archive from files: member data on 2048-byte boundaries,
// then a name list with each member's name, date and size. The same files
// (names, contents, modification times) in the same order always give the
// same bytes.
#pragma once

#include "FileSystem.h"

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

    explicit ArchiveCreator(std::string archivePath) : archivePath_(std::move(archivePath)) {}

    // A file becomes the next member, under its base name; a folder adds its
    // regular files in name order. False (reported) when a file cannot be a
    // member.
    bool AddPath(const std::string& path);
    size_t MemberCount() const { return members_.size(); }

    // Writes the archive; on failure reports it and removes what was written.
    bool Write();

private:
    struct Member {
        std::string path;
        std::string name;
        uint64_t sizeBytes = 0;
        std::time_t modifiedTime = 0;
        uint64_t offsetBytes = 0;
    };

    bool AddFile(const std::string& path, const FileSystem::FileStatus& status);
    bool Layout(uint64_t& listOffsetBytes, uint64_t& archiveBytes);
    bool WriteAll(FILE* archive, uint64_t listOffsetBytes, uint64_t archiveBytes);
    bool CopyMember(FILE* archive, const Member& member, uint8_t* buffer, size_t bufferBytes);
    bool WritePadding(FILE* archive, uint64_t& positionBytes, uint64_t toBytes);
    bool WriteBytes(FILE* archive, const void* bytes, size_t byteCount);

    std::string archivePath_;
    std::vector<Member> members_;
    std::set<std::string> names_; // MemberNames::Key of each member's name
};

// Writes members of an opened archive to files, each through the one
// 2048-byte copy buffer, one line a member on standard output: the name when
// it was written whole, "FAILED:name" when not. A member that fails is
// reported and removed, and the next one follows. The archive itself is
// never opened for writing, whatever the name of a member.
#pragma once

#include "afs/AfsArchive.h"
#include "ArchiveMessages.h"
#include "FileSystem.h"
#include "MemberNames.h"
#include "StdioFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MemberExtractor {
public:
    struct Settings {
        std::string outputDirectory; // empty: the working directory
        bool numberedNames = false;
        // Give each file the date stored with its member.
        bool keepDates = false;
    };

    static constexpr size_t kCopyBufferBytes = 2048;

    // `messages` names the archive's path as typed.
    MemberExtractor(StdioFile& archive, const afs::AfsArchive& directory,
                    const ArchiveMessages& messages, Settings settings);

    // The paths among the members' outputs that exist already, so that they
    // can be refused before anything is written.
    std::vector<std::string> ExistingOutputs(const std::vector<uint32_t>& indices) const;

    // Writes the members in the order given; true when each was written
    // whole. The paths written go to writtenPaths, in order. Ctrl+C
    // (Interrupted()) stops it after removing the member under way.
    bool Extract(const std::vector<uint32_t>& indices, std::vector<std::string>& writtenPaths);

private:
    enum class CopyResult { kWhole, kReadFailed, kCutShort, kWriteFailed, kInterrupted };

    bool ExtractMember(uint32_t index, std::string& writtenPath);
    // The member's file name, or empty with the problem in `reason` (null
    // with no name list: the record's bytes are no name at all).
    std::string NameOf(uint32_t index, const char*& reason) const;
    // The member's name, or empty (reported) when it cannot be used.
    std::string UsableName(uint32_t index);
    // Whether `path` is the archive under another name (reported).
    bool IsTheArchive(uint32_t index, const std::string& name, const std::string& path);
    // Copies the member into the file at `path`; false (reported, the
    // partial file removed) when it was not written whole.
    bool WriteMember(const afs::AfsEntry& entry, const std::string& name, const std::string& path);
    CopyResult Copy(FILE* output, uint32_t sizeBytes);
    void ReportCopyFailure(CopyResult result, const std::string& name, const std::string& path,
                           int error);
    void ReportCutShort(const std::string& name, const char* reason);
    void KeepDate(uint32_t index, const std::string& path);
    void Failed(const std::string& shownName);
    bool RemovePartial(const std::string& path);

    StdioFile& archive_;
    const afs::AfsArchive& directory_;
    const ArchiveMessages& messages_;
    Settings settings_;
    FileSystem::FileIdentity archiveIdentity_;
    bool archiveIdentified_ = false;
    uint64_t archiveBytes_ = 0;
    bool archiveSized_ = false;
    MemberNames names_;
    uint8_t copyBuffer_[kCopyBufferBytes];
    // stdio buffer of each output file (StreamBuffers); null when it could
    // not be had.
    std::unique_ptr<char[]> outputStreamBuffer_;
};

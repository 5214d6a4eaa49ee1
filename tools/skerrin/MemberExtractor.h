// Writes members of an opened archive to files, each through the one
// 2048-byte copy buffer, one line a member on standard output: the name when
// it was written whole, "FAILED:name" when not. A member that fails is
// reported and removed, and the next one follows.
#pragma once

#include "afs/AfsArchive.h"
#include "MemberNames.h"
#include "StdioFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MemberExtractor {
public:
    struct Settings {
        std::string archivePath;     // as typed, for messages
        std::string outputDirectory; // empty: the working directory
        // The texts of the classic `skerrin ARCHIVE`; otherwise messages
        // read "skerrin: FILE: reason".
        bool classicMessages = true;
        bool numberedNames = false;
        // Give each file the date stored with its member.
        bool keepDates = false;
    };

    static constexpr size_t kCopyBufferBytes = 2048;

    MemberExtractor(StdioFile& archive, const afs::AfsArchive& directory, Settings settings);

    // Writes the members in the order given; true when each was written
    // whole. The paths written go to writtenPaths, in order.
    bool Extract(const std::vector<uint32_t>& indices, std::vector<std::string>& writtenPaths);

private:
    enum class CopyResult { kWhole, kReadFailed, kCutShort, kWriteFailed };

    bool ExtractMember(uint32_t index, std::string& writtenPath);
    // The member's name, or empty (reported) when it cannot be used.
    std::string UsableName(uint32_t index);
    CopyResult Copy(FILE* output, uint32_t sizeBytes);
    void ReportCopyFailure(CopyResult result, const std::string& name, const std::string& path,
                           int error);
    void ReportCutShort(const std::string& name, const char* reason);
    void KeepDate(uint32_t index, const std::string& path);
    void Failed(const std::string& shownName);
    bool RemovePartial(const std::string& path);

    StdioFile& archive_;
    const afs::AfsArchive& directory_;
    Settings settings_;
    uint64_t archiveBytes_ = 0;
    bool archiveSized_ = false;
    MemberNames names_;
    uint8_t copyBuffer_[kCopyBufferBytes];
    // stdio buffer of each output file (StreamBuffers); null when it could
    // not be had.
    std::unique_ptr<char[]> outputStreamBuffer_;
};

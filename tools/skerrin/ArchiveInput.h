// The archive that --list and --extract read: its file, its directory and
// the members that the command line selects.
#pragma once

#include "afs/AfsArchive.h"
#include "ArchiveMessages.h"
#include "SkerrinOptions.h"
#include "StdioFile.h"

#include <cstdint>
#include <string>
#include <vector>

class ArchiveInput {
public:
    // `streamBuffer` (may be null) becomes the archive's stdio buffer.
    ArchiveInput(const SkerrinOptions& options, const Reporter& reporter, char* streamBuffer)
        : options_(options),
          messages_(reporter, options.operands.at(0), ArchiveMessages::Voice::kOptions),
          streamBuffer_(streamBuffer) {}

    // Opens the archive, reads its directory (with --numbered the entry
    // table is enough) and selects the members the operands after it name
    // (a name first, else an index), in archive order; all of them when
    // none is named. False (reported) when the archive or a name is refused.
    bool Open(std::vector<uint32_t>& indices);

    // The name a member is shown and written under.
    std::string MemberName(uint32_t index) const;

    StdioFile& File() { return file_; }
    const afs::AfsArchive& Directory() const { return archive_; }
    const ArchiveMessages& Messages() const { return messages_; }
    const std::string& Path() const { return messages_.ArchivePath(); }

private:
    bool ReadDirectory();
    bool Select(std::vector<uint32_t>& indices) const;

    const SkerrinOptions& options_;
    ArchiveMessages messages_;
    char* streamBuffer_;
    StdioFile file_;
    afs::AfsArchive archive_;
};

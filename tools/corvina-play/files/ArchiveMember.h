// Finds a member of an AFS archive by name or index with skerrin's archive
// reader, so that its stream can be played at its offset.
#pragma once

#include <string>

struct ArchiveMember {
    unsigned index = 0;
    unsigned long long offsetBytes = 0;
    unsigned long long sizeBytes = 0;
    // The name the archive's list gives it, in UTF-8: its bytes where they
    // are valid UTF-8, else read as Shift-JIS (code page 932), these
    // archives' usual encoding; empty without a name list.
    std::string name;
};

// Looks `member` (UTF-8) up in the archive at `path`: a name, or else a
// decimal index. False with the reason in `error`.
bool FindArchiveMember(const std::wstring& path, const std::string& member, ArchiveMember& found,
                       std::string& error);

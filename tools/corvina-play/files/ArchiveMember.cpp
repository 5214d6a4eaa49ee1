#include "files/ArchiveMember.h"

#include "files/FileByteSource.h"
#include "commandline/ConsoleText.h"

#include "afs/AfsArchive.h"

#include <algorithm>
#include <optional>

namespace {

// A stored name in UTF-8: as it stands where it is valid UTF-8, else read
// as Shift-JIS (code page 932).
std::string DecodedName(std::string_view stored) {
    const int storedBytes = static_cast<int>(stored.size());
    if (stored.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, stored.data(),
                                              storedBytes, nullptr, 0) > 0) {
        return std::string(stored);
    }
    const int length = MultiByteToWideChar(932, 0, stored.data(), storedBytes, nullptr, 0);
    std::wstring name(static_cast<size_t>(std::max(length, 0)), L'\0');
    (void)MultiByteToWideChar(932, 0, stored.data(), storedBytes, name.data(), length);
    return Utf8(name);
}

// The member whose name reads as `member` once decoded: a Shift-JIS name
// is given on the command line in Unicode.
std::optional<uint32_t> FindByDecodedName(const afs::AfsArchive& archive,
                                          const std::string& member) {
    for (uint32_t i = 0; i < archive.MemberCount(); ++i) {
        if (DecodedName(archive.Name(i).value_or(std::string_view())) == member) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

bool FindArchiveMember(const std::wstring& path, const std::string& member, ArchiveMember& found,
                       std::string& error) {
    const FileHandle file = FileHandle::OpenForReading(path.c_str());
    if (!file) {
        error = "unreadable file: " + ResultText(HRESULT_FROM_WIN32(GetLastError()));
        return false;
    }
    FileByteSource source(file);
    afs::AfsArchive archive;
    const afs::AfsArchive::Status status = archive.Open(source);
    if (!archive.HasEntries()) {
        error = std::string("not a readable AFS archive: ") + afs::AfsArchive::StatusText(status);
        return false;
    }
    const std::string& name = member;
    std::optional<uint32_t> index = archive.FindByName(name);
    if (!index) {
        index = FindByDecodedName(archive, member);
    }
    if (!index) {
        bool digits = !member.empty();
        unsigned long long value = 0;
        for (const char c : member) {
            digits = digits && c >= '0' && c <= '9' && value < 0x100000000ull;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (!digits) {
            error = "no member named " + name;
            return false;
        }
        if (value >= archive.MemberCount()) {
            error = "no member " + name + ": the archive holds " +
                    std::to_string(archive.MemberCount()) + " members";
            return false;
        }
        index = static_cast<uint32_t>(value);
    }
    const afs::AfsEntry entry = archive.Entry(*index);
    found.index = *index;
    found.offsetBytes = entry.offsetBytes;
    found.sizeBytes = entry.sizeBytes;
    found.name = DecodedName(archive.Name(*index).value_or(std::string_view()));
    return true;
}

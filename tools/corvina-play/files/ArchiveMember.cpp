#include "files/ArchiveMember.h"

#include "files/FileByteSource.h"
#include "commandline/ConsoleText.h"

#include "afs/AfsArchive.h"

#include <optional>

namespace {

std::wstring DecodedName(std::string_view stored) {
    if (stored.empty()) {
        return std::wstring();
    }
    const int storedBytes = static_cast<int>(stored.size());
    for (const UINT codePage : {static_cast<UINT>(CP_UTF8), 932U}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int length =
            MultiByteToWideChar(codePage, flags, stored.data(), storedBytes, nullptr, 0);
        if (length > 0) {
            std::wstring name(static_cast<size_t>(length), L'\0');
            (void)MultiByteToWideChar(codePage, flags, stored.data(), storedBytes, name.data(),
                                      length);
            return name;
        }
    }
    return std::wstring();
}

// The member whose name reads as `member` once decoded: a Shift-JIS name
// is given on the command line in Unicode.
std::optional<uint32_t> FindByDecodedName(const afs::AfsArchive& archive,
                                          const std::wstring& member) {
    for (uint32_t i = 0; i < archive.MemberCount(); ++i) {
        if (DecodedName(archive.Name(i).value_or(std::string_view())) == member) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

bool FindArchiveMember(const std::wstring& path, const std::wstring& member, ArchiveMember& found,
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
    const std::string name = Utf8(member);
    std::optional<uint32_t> index = archive.FindByName(name);
    if (!index) {
        index = FindByDecodedName(archive, member);
    }
    if (!index) {
        bool digits = !member.empty();
        unsigned long long value = 0;
        for (const wchar_t c : member) {
            digits = digits && c >= L'0' && c <= L'9' && value < 0x100000000ull;
            value = value * 10 + static_cast<unsigned>(c - L'0');
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

// Member names as file names: how stored names read (MemberNameText),
// which may be used, how a name from an archive is shown, and the names one
// run has written, so that no member overwrites another. On Windows two
// names are one file when Windows takes them for one (WindowsFileName:
// case, trailing dots and spaces, 8.3 aliases); elsewhere when their bytes
// are equal.
#pragma once

#include "afs/AfsArchive.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

class MemberNames {
public:
#ifdef _WIN32
    static constexpr bool kWindowsHost = true;
#else
    static constexpr bool kWindowsHost = false;
#endif

    explicit MemberNames(bool windowsNames = kWindowsHost) : windowsNames_(windowsNames) {}

    // Member `index`'s name as UTF-8 (decoded by MemberNameText), or none
    // when it has no zero byte or is neither UTF-8 nor Shift-JIS.
    static std::optional<std::string> Decoded(const afs::AfsArchive& archive, uint32_t index);
    // The first member whose decoded name is `utf8Name`.
    static std::optional<uint32_t> Find(const afs::AfsArchive& archive, std::string_view utf8Name);
    // Member `index`'s name to show: decoded and Escaped, or, where it
    // cannot be decoded, its bytes with those from 0x80 up as \xNN too.
    static std::string Shown(const afs::AfsArchive& archive, uint32_t index);

    // Why a (decoded) name may not be used as a file name in the output
    // directory, or null when it may.
    static const char* UnsafeReason(std::string_view name, bool windowsNames = kWindowsHost);
    // The name with control characters (below 0x20, 0x7F, and U+0080 to
    // U+009F) written as \xNN, so that nothing from an archive drives the
    // terminal.
    static std::string Escaped(std::string_view name);
    // The name of member `index` in an archive read without its names.
    static std::string Numbered(uint32_t index);
    // Equal for names that are one file here.
    static std::string Key(const std::string& name, bool windowsNames = kWindowsHost);

    // The file a member of this name becomes when nothing is in its way: on
    // Windows without trailing dots and spaces, as the system drops them.
    std::string AsWritten(const std::string& name) const;

    // The file name a member of this name is written under: AsWritten(name)
    // the first time, later a distinct one ("voice~1.adx") that this run
    // has not written and that `taken` says is free.
    template <typename IsTaken> std::string Claim(const std::string& name, IsTaken taken) {
        const std::string plain = AsWritten(name);
        std::string candidate = plain;
        const size_t dot = plain.rfind('.');
        const size_t stemBytes = dot == std::string::npos || dot == 0 ? plain.size() : dot;
        for (unsigned suffix = 1; Written(candidate) || (candidate != plain && taken(candidate));
             ++suffix) {
            candidate =
                plain.substr(0, stemBytes) + "~" + std::to_string(suffix) + plain.substr(stemBytes);
        }
        Record(candidate);
        return candidate;
    }

private:
    // Escaped, and with highBytesToo the bytes from 0x80 up as well.
    static std::string EscapedBytes(std::string_view name, bool highBytesToo);
    bool Written(const std::string& name) const {
        return written_.count(Key(name, windowsNames_)) != 0;
    }
    // Adds the name and, on Windows, the 8.3 alias the system gives it.
    void Record(const std::string& name);

    bool windowsNames_;
    std::set<std::string> written_; // Key of each name written and of its alias
};

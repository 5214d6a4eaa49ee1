#include "MemberNames.h"

#include "MemberNameText.h"
#include "WindowsFileName.h"

#include <cstdio>

namespace {

// The bytes of the control character at `at` in UTF-8 text: 1 for C0 and
// DEL, 2 for C1 (U+0080-U+009F, which some terminals obey too), else 0.
size_t ControlBytesAt(std::string_view name, size_t at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if (byte < 0x20 || byte == 0x7F) {
        return 1;
    }
    const bool c1 = byte == 0xC2 && at + 1 < name.size() &&
                    (static_cast<unsigned char>(name[at + 1]) & 0xE0) == 0x80;
    return c1 ? 2 : 0;
}

// Windows gives the 8.3 aliases ~1 to ~4 in turn, then hashed ones.
constexpr unsigned kNumberedAliases = 4;

} // namespace

std::optional<std::string> MemberNames::Decoded(const afs::AfsArchive& archive, uint32_t index) {
    const std::optional<std::string_view> stored = archive.Name(index);
    if (!stored) {
        return std::nullopt;
    }
    return MemberNameText::Decode(*stored);
}

std::optional<uint32_t> MemberNames::Find(const afs::AfsArchive& archive,
                                          std::string_view utf8Name) {
    for (uint32_t index = 0; index < archive.MemberCount(); ++index) {
        if (Decoded(archive, index) == utf8Name) {
            return index;
        }
    }
    return std::nullopt;
}

std::string MemberNames::Shown(const afs::AfsArchive& archive, uint32_t index) {
    if (const std::optional<std::string> name = Decoded(archive, index)) {
        return Escaped(*name);
    }
    const std::optional<std::string_view> stored = archive.Name(index);
    return EscapedBytes(stored ? *stored : archive.NameRecord(index), true);
}

const char* MemberNames::UnsafeReason(std::string_view name, bool windowsNames) {
    if (name.empty()) {
        return "is empty";
    }
    if (name == "." || name == "..") {
        return "is a directory reference";
    }
    if (name[0] == '/' || name[0] == '\\') {
        return "is an absolute path";
    }
    if (name.find_first_of("/\\") != std::string_view::npos) {
        return "holds a directory separator";
    }
    if (name.find(':') != std::string_view::npos) {
        return "holds a drive letter or stream separator ':'";
    }
    for (size_t at = 0; at < name.size(); ++at) {
        if (ControlBytesAt(name, at) != 0) {
            return "holds a control character";
        }
    }
    if (windowsNames) {
        const std::string text(name);
        if (WindowsFileName::Key(text).empty()) {
            return "is only dots and spaces";
        }
        if (text.find_first_of("<>\"|?*") != std::string::npos) {
            return "holds a character that Windows does not allow in names";
        }
        // Windows opens a device, not a file, for these names with any
        // extension ("NUL.adx", "con"): the member would go to the console
        // or vanish while being reported as written.
        if (WindowsFileName::IsDevice(text)) {
            return "is a Windows device name";
        }
    }
    return nullptr;
}

std::string MemberNames::Escaped(std::string_view name) {
    return EscapedBytes(name, false);
}

std::string MemberNames::EscapedBytes(std::string_view name, bool highBytesToo) {
    std::string shown;
    shown.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        const auto byte = static_cast<unsigned char>(name[at]);
        size_t escapedBytes = ControlBytesAt(name, at);
        if (escapedBytes == 0 && highBytesToo && byte >= 0x80) {
            escapedBytes = 1;
        }
        if (escapedBytes == 0) {
            shown += name[at++];
        }
        for (; escapedBytes > 0; --escapedBytes, ++at) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(name[at]));
            shown += escape;
        }
    }
    return shown;
}

std::string MemberNames::Numbered(uint32_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "%05u.bin", static_cast<unsigned>(index));
    return name;
}

std::string MemberNames::Key(const std::string& name, bool windowsNames) {
    return windowsNames ? WindowsFileName::Key(name) : name;
}

std::string MemberNames::AsWritten(const std::string& name) const {
    if (!windowsNames_) {
        return name;
    }
    std::string plain = name;
    while (!plain.empty() && (plain.back() == '.' || plain.back() == ' ')) {
        plain.pop_back();
    }
    return plain;
}

void MemberNames::Record(const std::string& name) {
    written_.insert(Key(name, windowsNames_));
    if (!windowsNames_) {
        return;
    }
    // The first alias of its form that is free, as Windows picks it.
    for (unsigned ordinal = 1; ordinal <= kNumberedAliases; ++ordinal) {
        const std::string alias = WindowsFileName::ShortAlias(name, ordinal);
        if (alias.empty()) {
            return;
        }
        if (written_.insert(Key(alias, windowsNames_)).second) {
            return;
        }
    }
}

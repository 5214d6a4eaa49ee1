#include "MemberNames.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

#ifdef _WIN32
char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows opens a device, not a file, for these names with any extension
// ("NUL.adx", "con"): the member would go to the console or vanish while
// being reported as written.
bool IsWindowsDeviceName(std::string_view name) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t stem = name.find('.');
    if (stem == std::string_view::npos) {
        stem = name.size();
    }
    while (stem > 0 && name[stem - 1] == ' ') {
        --stem;
    }
    const auto sameIgnoringCase = [&](const char* device, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            if (AsciiUpper(name[i]) != device[i]) {
                return false;
            }
        }
        return true;
    };
    for (const char* device : kDevices) {
        if (std::strlen(device) == stem && sameIgnoringCase(device, stem)) {
            return true;
        }
    }
    // COM1-COM9, LPT1-LPT9
    return stem == 4 && (sameIgnoringCase("COM", 3) || sameIgnoringCase("LPT", 3)) &&
           name[3] >= '1' && name[3] <= '9';
}
#endif

} // namespace

const char* MemberNames::UnsafeReason(std::string_view name) {
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
    for (const char c : name) {
        if (IsControl(static_cast<unsigned char>(c))) {
            return "holds a control character";
        }
    }
#ifdef _WIN32
    if (IsWindowsDeviceName(name)) {
        return "is a Windows device name";
    }
#endif
    return nullptr;
}

std::string MemberNames::Escaped(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    for (const char c : name) {
        if (IsControl(static_cast<unsigned char>(c))) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            shown += escape;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string MemberNames::Numbered(uint32_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "%05u.bin", static_cast<unsigned>(index));
    return name;
}

std::string MemberNames::Key(const std::string& name) {
#ifdef _WIN32
    std::string key = name;
    for (char& c : key) {
        c = AsciiUpper(c);
    }
    return key;
#else
    return name;
#endif
}

#include "WindowsFileName.h"

#include "UpperCaseTable.h"
#include "Utf8Text.h"

#include <array>
#include <cassert>
#include <cstring>

namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string WithoutTrailingDotsAndSpaces(std::string name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        name.pop_back();
    }
    return name;
}

// What an 8.3 name may hold besides letters and digits.
bool IsShortNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("!#$%&'()-@^_`{}~", c) != nullptr);
}

// The part of a name as it goes into an alias: spaces and dots left out,
// other characters that an 8.3 name cannot hold (non-ASCII ones too, one
// for each character) as '_', at most `maxCharacters` of them.
std::string ShortNamePart(const std::string& part, size_t maxCharacters) {
    std::string shortPart;
    for (size_t i = 0; i < part.size() && shortPart.size() < maxCharacters;) {
        const char c = UpperAscii(part[i]);
        uint32_t codePoint = 0;
        if (!Utf8Text::Next(part, i, codePoint)) {
            ++i; // a stray byte counts as one character
        }
        if (c != ' ' && c != '.') {
            shortPart += IsShortNameCharacter(c) ? c : '_';
        }
    }
    return shortPart;
}

bool FitsShortName(const std::string& stem, const std::string& extension) {
    const auto valid = [](const std::string& part) {
        for (const char c : part) {
            if (!IsShortNameCharacter(UpperAscii(c))) {
                return false;
            }
        }
        return true;
    };
    return !stem.empty() && stem.size() <= 8 && extension.size() <= 3 && valid(stem) &&
           valid(extension);
}

} // namespace

std::string WindowsFileName::Key(const std::string& utf8Name) {
    const std::string name = WithoutTrailingDotsAndSpaces(utf8Name);
    if (!Utf8Text::IsValid(name)) {
        std::string key = name; // bytes that are no text: ASCII letters alone
        for (char& c : key) {
            c = UpperAscii(c);
        }
        return key;
    }
    std::string key;
    key.reserve(name.size());
    uint32_t codePoint = 0;
    for (size_t positionBytes = 0; positionBytes < name.size();) {
        (void)Utf8Text::Next(name, positionBytes, codePoint);
        Utf8Text::Append(UpperCaseTable::Upper(codePoint), key);
    }
    return key;
}

bool WindowsFileName::IsDevice(const std::string& utf8Name) {
    std::string stem = Key(utf8Name);
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    static constexpr std::array<const char*, 6> kPlain = {"CON", "PRN",    "AUX",
                                                          "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kPlain) {
        if (stem == device) {
            return true;
        }
    }
    if (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0) {
        return false;
    }
    const std::string number = stem.substr(3);
    // Digits, and superscript one, two and three (U+00B9, U+00B2, U+00B3).
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

std::string WindowsFileName::ShortAlias(const std::string& utf8Name, unsigned ordinal) {
    assert(ordinal >= 1 && ordinal <= 4);
    const std::string name = WithoutTrailingDotsAndSpaces(utf8Name);
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot + 1) : std::string();
    if (FitsShortName(stem, extension)) {
        return {};
    }
    const std::string shortStem = ShortNamePart(stem, 6);
    if (shortStem.empty()) {
        return {};
    }
    const std::string shortExtension = ShortNamePart(extension, 3);
    return shortStem + "~" + std::to_string(ordinal) +
           (shortExtension.empty() ? "" : "." + shortExtension);
}

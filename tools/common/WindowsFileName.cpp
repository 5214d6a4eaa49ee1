#include "WindowsFileName.h"

#include <array>

namespace {

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string WindowsFileName::Key(const std::string& utf8Name) {
    std::string key = utf8Name;
    while (!key.empty() && (key.back() == '.' || key.back() == ' ')) {
        key.pop_back();
    }
    for (char& c : key) {
        c = UpperAscii(c);
    }
    return key;
}

bool WindowsFileName::IsDevice(const std::string& utf8Name) {
    std::string stem = Key(utf8Name);
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    static constexpr std::array<const char*, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kPlain) {
        if (stem == device) {
            return true;
        }
    }
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

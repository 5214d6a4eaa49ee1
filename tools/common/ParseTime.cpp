#include "ParseTime.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// A field of digits with an optional fraction; true when it fills `text`.
bool ParseField(const std::string& text, bool fractionAllowed, double& value) {
    const size_t point = text.find('.');
    if (text.empty() || text[0] == '.' || (point != std::string::npos && !fractionAllowed) ||
        text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.', point == std::string::npos ? point : point + 1) != std::string::npos) {
        return false;
    }
    errno = 0;
    value = std::strtod(text.c_str(), nullptr);
    return errno == 0;
}

} // namespace

bool ParseTime(const std::string& text, double& seconds) {
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (fields.size() > 3) {
        return false;
    }
    const int count = static_cast<int>(fields.size());
    double total = 0.0;
    for (int i = 0; i < count; ++i) {
        double value = 0.0;
        const bool last = i == count - 1;
        if (!ParseField(fields[i], last, value)) {
            return false;
        }
        // Minutes and seconds after a larger unit stay below 60.
        if (i > 0 && value >= 60.0) {
            return false;
        }
        total = total * 60.0 + value;
    }
    // Up to a day: far beyond any ADX stream, and exact in 100-ns units.
    if (!(total >= 0.0 && total <= 86400.0)) {
        return false;
    }
    seconds = total;
    return true;
}

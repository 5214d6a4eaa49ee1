#include "Reporter.h"

#include <cstdio>

void Reporter::Problem(const std::string& file, const std::string& reason) const {
    std::fprintf(stderr, "%s: %s: %s\n", tool_.c_str(), file.c_str(), reason.c_str());
}

void Reporter::Message(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", tool_.c_str(), message.c_str());
}

void Reporter::Usage(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", tool_.c_str(),
                 message.c_str(), tool_.c_str());
}

void Reporter::Raw(const std::string& text) const {
    std::fputs(text.c_str(), stderr);
}

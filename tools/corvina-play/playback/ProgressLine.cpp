#include "playback/ProgressLine.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <io.h>

namespace {

// Set by the project's Wine wrapper, which passes stderr through a filter:
// the terminal's width when stderr ends on a terminal.
int WrapperColumns() {
    const char* columns = std::getenv("CORVINA_STDERR_COLUMNS");
    const long value = columns != nullptr ? std::strtol(columns, nullptr, 10) : 0;
    return value > 1 && value < 10000 ? static_cast<int>(value) : 0;
}

} // namespace

ProgressLine::ProgressLine(bool enabled)
    : enabled_(enabled && (_isatty(_fileno(stderr)) != 0 || WrapperColumns() != 0)) {}

int ProgressLine::ConsoleColumns() {
    if (const int columns = WrapperColumns()) {
        return columns;
    }
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 1) {
            return columns;
        }
    }
    const char* columns = std::getenv("COLUMNS");
    const long value = columns != nullptr ? std::strtol(columns, nullptr, 10) : 0;
    return value > 1 && value < 10000 ? static_cast<int>(value) : 80;
}

std::string ProgressLine::Fit(const std::string& text, int columns) {
    const size_t width = columns > 1 ? static_cast<size_t>(columns - 1) : 1;
    std::string fitted;
    size_t shown = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (!continuation) {
            if (shown == width) {
                break;
            }
            ++shown;
        }
        fitted += text[i];
    }
    fitted.append(width - shown, ' ');
    return fitted;
}

void ProgressLine::Show(const std::string& text) {
    if (!enabled_) {
        return;
    }
    const std::string line = "\r" + Fit(text, ConsoleColumns());
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    open_ = true;
}

void ProgressLine::Break() {
    if (open_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        open_ = false;
    }
}

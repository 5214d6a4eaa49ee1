// The one progress line on stderr, redrawn in place; only on a console (or
// a terminal behind the project's Wine wrapper), and never wider than it, so
// that it never wraps.
#pragma once

#include <string>

class ProgressLine {
public:
    // Shown only when `enabled` and stderr is a console.
    explicit ProgressLine(bool enabled);

    bool Enabled() const { return enabled_; }
    // Redraws the line with `text`, cut to the console's width.
    void Show(const std::string& text);
    // Ends a shown line, so that the next output starts on a line of its own.
    void Break();

    // The console's width in columns: the wrapper's terminal's, the
    // console's own, else $COLUMNS, else 80.
    static int ConsoleColumns();
    // `text` cut to `columns` - 1 characters (UTF-8 aware) and padded with
    // spaces to that width, so that a shorter line covers a longer one.
    static std::string Fit(const std::string& text, int columns);

private:
    const bool enabled_;
    bool open_ = false; // a line waits for its end
};

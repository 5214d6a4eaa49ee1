// What the exit status of the console tools says (skerrin with options,
// corvina-play, corvina-encode); the values are documented in --help and
// the README, so they never change.
#pragma once

enum class ExitStatus : int {
    kDone = 0,
    kUsage = 1,          // bad options, or options the input cannot honour
    kRefused = 2,        // an input that is missing, unreadable or not a playable ADX stream
    kFailed = 3,         // building the graph, playing or writing failed
    kShort = 4,          // finished, but delivered less than was asked
    kInterrupted = 130,  // Ctrl+C, after clean-up
    kOutputClosed = 141, // the reader of standard output went away (128 + SIGPIPE, as on Unix)
};

// The more serious of two statuses, for a run over several inputs:
// interrupted, failed, refused, usage, short, done.
inline ExitStatus Worse(ExitStatus first, ExitStatus second) {
    auto rank = [](ExitStatus status) {
        switch (status) {
        case ExitStatus::kDone:
            return 0;
        case ExitStatus::kShort:
            return 1;
        case ExitStatus::kUsage:
            return 2;
        case ExitStatus::kRefused:
            return 3;
        case ExitStatus::kFailed:
            return 4;
        case ExitStatus::kInterrupted:
        case ExitStatus::kOutputClosed:
        default:
            return 5;
        }
    };
    return rank(second) > rank(first) ? second : first;
}

// The status in a word, for the summary line of each input of a batch.
inline const char* StatusWord(ExitStatus status) {
    switch (status) {
    case ExitStatus::kDone:
        return "done";
    case ExitStatus::kShort:
        return "short";
    case ExitStatus::kInterrupted:
    case ExitStatus::kOutputClosed:
        return "interrupted";
    case ExitStatus::kUsage:
    case ExitStatus::kRefused:
        return "refused";
    case ExitStatus::kFailed:
    default:
        return "failed";
    }
}

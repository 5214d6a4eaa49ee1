// corvina-encode: encodes WAV files as ADX streams with a seamless loop.
// Run with --help for the options and the exit statuses.
#include "EncodeJob.h"
#include "EncodeOptions.h"
#include "ExitStatus.h"
#include "FileAccess.h"
#include "FilePath.h"
#include "HelpAndVersion.h"
#include "Interrupt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

struct BatchEntry {
    std::string input;
    std::string output;
    ExitStatus status = ExitStatus::kDone;
    std::string line;       // the summary line for standard output
    bool duplicate = false; // an earlier input writes the same output
    bool finished = false;
};

std::int32_t CoreCount() {
    return static_cast<std::int32_t>(std::max(1U, std::thread::hardware_concurrency()));
}

// Runs one entry and keeps its summary line.
void RunEntry(const EncodeOptions& options, BatchEntry& entry, std::string& messages) {
    EncodeJob job(options, entry.input, entry.output, 1);
    entry.status = job.Run();
    messages = job.Messages();
    entry.line = entry.input;
    if (entry.status == ExitStatus::kDone) {
        entry.line +=
            " -> " + entry.output + ": done, " + std::to_string(job.FrameCount()) + " samples";
        if (job.Loop()) {
            entry.line += ", loop " + std::to_string(job.Loop()->startSample) + ":" +
                          std::to_string(job.Loop()->endSample);
        }
    } else {
        entry.line += std::string(": ") + StatusWord(entry.status);
    }
}

// --adx-dir: every input into DIR/NAME.adx, `jobs` at a time; the lines
// come out in the order of the inputs, each as soon as it and those before
// it are done. The most serious status of all.
ExitStatus EncodeAll(const EncodeOptions& options) {
    if (KindOf(options.adxDir) != PathKind::kDirectory) {
        std::fprintf(stderr, "corvina-encode: %s: no such directory\n", options.adxDir.c_str());
        return ExitStatus::kUsage;
    }
    std::vector<BatchEntry> entries(options.inputPaths.size());
    std::set<std::string> outputs;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].input = options.inputPaths[i];
        entries[i].output =
            FilePath::Join(options.adxDir, FilePath::Stem(entries[i].input) + ".adx");
        // Two inputs of one name would write one file twice.
        entries[i].duplicate = !outputs.insert(entries[i].output).second;
    }
    std::mutex printLock; // guards the entries' results, nextToPrint and the streams
    std::size_t nextToPrint = 0;
    std::atomic<std::size_t> nextToRun{0};
    auto worker = [&] {
        for (std::size_t i = nextToRun++; i < entries.size() && !Interrupted(); i = nextToRun++) {
            BatchEntry result = entries[i];
            std::string messages;
            if (result.duplicate) {
                result.status = ExitStatus::kUsage;
                result.line = result.input + ": refused";
                messages = "corvina-encode: " + result.output +
                           ": written already in this run from another input\n";
            } else {
                RunEntry(options, result, messages);
            }
            const std::lock_guard<std::mutex> guard(printLock);
            std::fputs(messages.c_str(), stderr);
            result.finished = true;
            entries[i] = result;
            for (; nextToPrint < entries.size() && entries[nextToPrint].finished; ++nextToPrint) {
                std::printf("%s\n", entries[nextToPrint].line.c_str());
            }
            std::fflush(stdout);
        }
    };
    const std::size_t threadCount = std::min<std::size_t>(
        entries.size(), static_cast<std::size_t>(options.jobs > 0 ? options.jobs : CoreCount()));
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < threadCount; ++i) {
        threads.emplace_back(worker);
    }
    worker();
    for (std::thread& thread : threads) {
        thread.join();
    }
    // After Ctrl+C a later input may have finished while an earlier one
    // never started: its line comes out here.
    ExitStatus worst = ExitStatus::kDone;
    int done = 0;
    int refused = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const BatchEntry& entry = entries[i];
        if (!entry.finished) {
            worst = Worse(worst, ExitStatus::kInterrupted);
            continue;
        }
        if (i >= nextToPrint) {
            std::printf("%s\n", entry.line.c_str());
        }
        worst = Worse(worst, entry.status);
        done += entry.status == ExitStatus::kDone ? 1 : 0;
        refused += entry.status != ExitStatus::kDone && entry.status != ExitStatus::kInterrupted;
    }
    std::printf("total: %zu files: %d done, %d refused or failed%s\n", entries.size(), done,
                refused, worst == ExitStatus::kInterrupted ? "; interrupted" : "");
    return worst;
}

ExitStatus Run(const std::vector<std::string>& arguments) {
    EncodeOptions options;
    std::string error;
    if (!ParseEncodeOptions(arguments, options, error)) {
        std::fprintf(stderr, "corvina-encode: %s\n", error.c_str());
        return ExitStatus::kUsage;
    }
    if (options.help || options.version) {
        PrintHelpOrVersion("corvina-encode", kEncodeUsageText, options.help);
        return ExitStatus::kDone;
    }
    CatchInterrupts();
    if (!options.adxDir.empty()) {
        return EncodeAll(options);
    }
    EncodeJob job(options, options.inputPaths.front(), options.outputPath, options.jobs);
    const ExitStatus status = job.Run();
    std::fputs(job.Messages().c_str(), stderr);
    return status;
}

// The one way out: what standard output could not take is a failure too.
int Finish(ExitStatus status) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "corvina-encode: standard output: write error: %s\n",
                     std::strerror(errno != 0 ? errno : EIO));
        status = Worse(status, ExitStatus::kFailed);
    }
    return static_cast<int>(status);
}

} // namespace

#ifdef _WIN32
// wmain: the command line as the system has it, in UTF-16.
int wmain(int argc, wchar_t** argv) {
    return Finish(Run(FilePath::Utf8Arguments(argc, argv)));
}
#else
int main(int argc, char** argv) {
    return Finish(Run(std::vector<std::string>(argv + 1, argv + argc)));
}
#endif

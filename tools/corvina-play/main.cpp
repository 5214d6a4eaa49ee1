// corvina-play: plays an ADX file through corvina's parser and decoder
// filters, converts one or many into WAV files, or describes one. Run with
// --help for the options and the exit statuses.
#include "ExitStatus.h"
#include "HelpAndVersion.h"
#include "Reporter.h"
#include "commandline/ConsoleText.h"
#include "commandline/Options.h"
#include "files/WavDirPlan.h"
#include "graph/SampleAllocatorFactory.h"
#include "playback/Player.h"

#include <windows.h>
#include <objbase.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

HANDLE stopEvent = nullptr;      // set by the console handler; read by the player
volatile LONG firstStopTick = 0; // GetTickCount of the first request, 0 before
constexpr DWORD kForceAfterMs = 1000;

// Ctrl+C (and Ctrl+Break, closing the console) asks the player to stop the
// graph and clean up; another one a second later ends the program at once,
// should the clean-up hang. (One key press can arrive twice, as a signal to
// the process and through the console.)
BOOL WINAPI OnConsoleControl(DWORD kind) {
    if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT && kind != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    const LONG now = static_cast<LONG>(GetTickCount() | 1);
    const LONG first = InterlockedCompareExchange(&firstStopTick, now, 0);
    if (first != 0 && static_cast<DWORD>(now - first) >= kForceAfterMs) {
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(ExitStatus::kInterrupted));
    }
    SetEvent(stopEvent);
    return TRUE;
}

// --wav-dir: every input into DIR/NAME.wav, a summary line for each on
// standard output and a total; the most serious status of all.
ExitStatus ConvertAll(const Options& options, const Reporter& reporter) {
    const WavDirPlan plan(options);
    ExitStatus worst = plan.CheckNames(reporter);
    if (worst == ExitStatus::kDone) {
        worst = plan.PrepareDirectory(reporter);
    }
    if (worst != ExitStatus::kDone) {
        return worst;
    }
    int counts[4] = {}; // done, short, refused or failed, interrupted
    for (size_t i = 0; i < options.inputPaths.size(); ++i) {
        const std::string& input = options.inputPaths[i];
        const std::string& output = plan.Output(i);
        Player player(options, input, output, stopEvent);
        const ExitStatus status = player.Run();
        const REFERENCE_TIME delivered = player.DeliveredTime();
        worst = Worse(worst, status);
        const int column = status == ExitStatus::kDone          ? 0
                           : status == ExitStatus::kShort       ? 1
                           : status == ExitStatus::kInterrupted ? 3
                                                                : 2;
        ++counts[column];
        if (status == ExitStatus::kDone || status == ExitStatus::kShort) {
            std::printf("%s -> %s: %s, %s\n", input.c_str(), output.c_str(), StatusWord(status),
                        ClockText(delivered, 3).c_str());
        } else {
            std::printf("%s: %s\n", input.c_str(), StatusWord(status));
        }
        std::fflush(stdout);
        if (status == ExitStatus::kInterrupted) {
            break;
        }
    }
    const size_t fileCount = options.inputPaths.size();
    std::printf("total: %u file%s: %d done, %d short, %d refused or failed%s\n",
                static_cast<unsigned>(fileCount), fileCount == 1 ? "" : "s", counts[0], counts[1],
                counts[2], counts[3] != 0 ? "; interrupted" : "");
    return worst;
}

ExitStatus RunOptions(const Options& options, const Reporter& reporter) {
    // Conversion takes every buffer from an allocator without system calls;
    // only speed depends on it, so a failed registration is no failure.
    SampleAllocatorFactory allocators;
    if (options.Converting() && !options.render) {
        (void)allocators.Register();
    }
    if (options.mode == Options::Mode::kWavDir) {
        return ConvertAll(options, reporter);
    }
    Player player(options, options.inputPaths.front(), options.wavPath, stopEvent);
    return player.Run();
}

// Sets up what every job needs: the stop event, the console handler and
// COM; runs the job and takes them down again, the one way out.
ExitStatus RunWithCom(const Options& options, const Reporter& reporter) {
    ExitStatus status = ExitStatus::kFailed;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const bool handlerSet =
        stopEvent != nullptr && SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
    const HRESULT initialized = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (stopEvent == nullptr) {
        reporter.Message("cannot create an event");
    } else if (FAILED(initialized)) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(initialized));
        reporter.Message(std::string("cannot initialise COM (") + code + ")");
    } else {
        status = RunOptions(options, reporter);
    }
    // The players and their graphs are gone by here.
    if (SUCCEEDED(initialized)) {
        CoUninitialize();
    }
    if (handlerSet) {
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    }
    if (stopEvent != nullptr) {
        CloseHandle(stopEvent);
    }
    return status;
}

} // namespace

// wmain: the command line as the system has it, in UTF-16.
int wmain(int argc, wchar_t** argv) {
    const Reporter reporter(kToolName);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(Utf8(argv[i]));
    }
    Options options;
    std::string error;
    ExitStatus status = ExitStatus::kFailed;
    if (!ParseOptions(arguments, options, error)) {
        reporter.Message(error);
        status = ExitStatus::kUsage;
    } else if (options.help || options.version) {
        PrintHelpOrVersion(kToolName, kUsageText, options.help);
        status = ExitStatus::kDone;
    } else {
        status = RunWithCom(options, reporter);
    }
    // What standard output could not take is a failure too (--info > /dev/full).
    // A WAV file on standard output has had its write error reported, or
    // its reader has gone.
    const bool reported = options.wavPath == "-" &&
                          (status == ExitStatus::kFailed || status == ExitStatus::kOutputClosed);
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) && !reported) {
        reporter.Problem("standard output",
                         std::string("write error: ") + std::strerror(errno != 0 ? errno : EIO));
        status = Worse(status, ExitStatus::kFailed);
    }
    return static_cast<int>(status);
}

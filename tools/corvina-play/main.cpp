// corvina-play: plays an ADX file through corvina's parser and decoder
// filters, converts it into a WAV file, or describes it. Run with --help for
// the options and the exit statuses.
#include "Options.h"
#include "Player.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

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
        TerminateProcess(GetCurrentProcess(), Player::kFailed);
    }
    SetEvent(stopEvent);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "corvina-play: %s\n", error.c_str());
        return Player::kUsage;
    }
    if (options.help) {
        std::fputs(kUsageText, stdout);
        return std::fflush(stdout) == 0 ? Player::kDone : Player::kFailed;
    }

    int status = Player::kFailed;
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const bool handlerSet =
        stopEvent != nullptr && SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
    const HRESULT initialized = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (stopEvent == nullptr) {
        std::fputs("corvina-play: cannot create an event\n", stderr);
    } else if (FAILED(initialized)) {
        std::fprintf(stderr, "corvina-play: cannot initialise COM (0x%08lX)\n",
                     static_cast<unsigned long>(initialized));
    } else {
        Player player(options, stopEvent);
        status = player.Run();
    }
    // The one way out: the player and its graph are gone by here.
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

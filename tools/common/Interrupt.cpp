#include "Interrupt.h"

#include <atomic>
#include <signal.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Lock-free, so the handler may set it.
std::atomic<bool> interrupted{false};

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD kind) {
    if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT && kind != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    interrupted.store(true);
    return TRUE;
}
#else
extern "C" void OnSignal(int /*signal*/) {
    interrupted.store(true);
}
#endif

} // namespace

void CatchInterrupts() {
    static_assert(std::atomic<bool>::is_always_lock_free, "the handler sets the flag");
#ifdef _WIN32
    (void)SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    (void)sigaction(SIGINT, &action, nullptr);
    (void)sigaction(SIGTERM, &action, nullptr);
#endif
}

bool Interrupted() {
    return interrupted.load();
}

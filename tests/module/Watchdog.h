// Ends the test program with a message when a step that runs the filters'
// threads (graph building, playback, stop, release) does not finish in time:
// a stuck filter thread cannot be unwound, so the test fails instead of
// hanging.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>

class Watchdog {
public:
    Watchdog(const char* what, DWORD timeoutMs) : what_(what), timeoutMs_(timeoutMs) {
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        CloseHandle(done_);
    }
    // Names the step under way, so that a timeout says which call hung.
    void Step(const char* step) { step_.store(step); }

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static DWORD WINAPI Watch(void* parameter) {
        auto* self = static_cast<Watchdog*>(parameter);
        if (WaitForSingleObject(self->done_, self->timeoutMs_) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "timed out: %s, at: %s\n", self->what_, self->step_.load());
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        return 0;
    }

    const char* what_;
    DWORD timeoutMs_;
    std::atomic<const char*> step_{"start"};
    HANDLE done_ = nullptr;
    HANDLE thread_ = nullptr;
};

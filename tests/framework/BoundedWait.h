// Bounded waits for tests that involve threads: a step that does not finish
// in time fails the test program at once instead of hanging it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>

namespace bounded {

constexpr DWORD kStepTimeoutMs = 10000;

// Ends the test program with a message: the stuck thread cannot be unwound.
[[noreturn]] inline void Abandon(const char* what) {
    std::fprintf(stderr, "timed out: %s\n", what);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) {
    }
}

// Waits for `handle`; abandons the program when it stays unsignalled.
inline void WaitOrAbandon(HANDLE handle, const char* what, DWORD timeoutMs = kStepTimeoutMs) {
    if (WaitForSingleObject(handle, timeoutMs) != WAIT_OBJECT_0) {
        Abandon(what);
    }
}

// A function running on its own thread, for calls that may block.
class Call {
public:
    explicit Call(std::function<void()> body) : body_(std::move(body)) {
        thread_ = CreateThread(nullptr, 0, &Call::Entry, this, 0, nullptr);
    }
    ~Call() {
        Join("call joined at scope end");
        CloseHandle(thread_);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool FinishedWithin(DWORD timeoutMs) {
        return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0;
    }
    void Join(const char* what) { WaitOrAbandon(thread_, what); }

private:
    static DWORD WINAPI Entry(void* parameter) {
        static_cast<Call*>(parameter)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE thread_;
};

// Runs `body` and abandons the program if it does not return in time.
inline void Within(const char* what, std::function<void()> body) {
    Call call(std::move(body));
    call.Join(what);
}

} // namespace bounded

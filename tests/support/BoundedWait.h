// Bounded waits for tests that involve threads: a step that does not finish
// in time fails the test program at once instead of hanging it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

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

// Ends the test program when a scope runs longer than its time (or, with
// Clock::kEachStep, when one of its named steps does), naming the step under
// way and the ones before it: a thread stuck in a filter cannot be unwound.
class Watchdog {
public:
    enum class Clock { kWholeScope, kEachStep };

    Watchdog(std::string what, DWORD timeoutMs, Clock clock = Clock::kWholeScope)
        : what_(std::move(what)), timeoutMs_(timeoutMs), clock_(clock) {
        startedMs_ = GetTickCount64();
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &Watchdog::Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        CloseHandle(done_);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Names the step under way (and with kEachStep starts its time).
    void Step(std::string step) {
        std::lock_guard<std::mutex> guard(mutex_);
        recent_.push_back(std::move(step));
        if (recent_.size() > kStepsRemembered) {
            recent_.pop_front();
        }
        if (clock_ == Clock::kEachStep) {
            startedMs_ = GetTickCount64();
        }
    }

    // The steps remembered, oldest first, one per line.
    std::string Recent() {
        std::lock_guard<std::mutex> guard(mutex_);
        return RecentLocked();
    }

private:
    static constexpr size_t kStepsRemembered = 16;

    static DWORD WINAPI Watch(void* parameter) {
        auto* self = static_cast<Watchdog*>(parameter);
        while (WaitForSingleObject(self->done_, 100) == WAIT_TIMEOUT) {
            std::lock_guard<std::mutex> guard(self->mutex_);
            if (GetTickCount64() - self->startedMs_ > self->timeoutMs_) {
                std::fprintf(stderr, "timed out: %s, at: %s\n", self->what_.c_str(),
                             self->recent_.empty() ? "start" : self->recent_.back().c_str());
                std::fprintf(stderr, "the steps before it, oldest first:\n%s",
                             self->RecentLocked().c_str());
                Abandon(self->what_.c_str());
            }
        }
        return 0;
    }
    std::string RecentLocked() const {
        std::string text;
        for (const std::string& step : recent_) {
            text += "  " + step + "\n";
        }
        return text;
    }

    const std::string what_;
    const DWORD timeoutMs_;
    const Clock clock_;
    std::mutex mutex_;
    std::deque<std::string> recent_; // guarded by mutex_
    ULONGLONG startedMs_ = 0;        // guarded by mutex_
    HANDLE done_ = nullptr;
    HANDLE thread_ = nullptr;
};

} // namespace bounded

// A Win32 critical section owned by one object. It is recursive, as the
// platform's critical sections are: a thread that holds it may take it again.
#pragma once

#include <windows.h>

class CriticalSection {
public:
    // Holds the section from construction to destruction (or an earlier
    // unlock()). Built only by CriticalSection::lock().
    class [[nodiscard]] Guard {
    public:
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() { unlock(); }

        // Leaves the section before the guard goes out of scope; idempotent.
        void unlock() {
            if (section_ != nullptr) {
                LeaveCriticalSection(section_);
                section_ = nullptr;
            }
        }

    private:
        friend class CriticalSection;
        explicit Guard(CRITICAL_SECTION* section) : section_(section) {
            EnterCriticalSection(section_);
        }
        CRITICAL_SECTION* section_;
    };

    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    [[nodiscard]] Guard lock() { return Guard(&section_); }

    // For code that must enter and leave in different scopes.
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

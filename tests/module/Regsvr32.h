// Running the platform's registration tool on the built module, one test
// program at a time: ctest runs test cases in parallel processes, and they
// share the prefix's registry.
#pragma once

#include "tests/module/LoadedModule.h"

#include <windows.h>

#include <string>

// Holds a named mutex of the test prefix while registration tests run; a
// test that cannot get it within two minutes fails instead of waiting on.
class RegistrationLock {
public:
    RegistrationLock() {
        mutex_ = CreateMutexW(nullptr, FALSE, L"corvina-tests-registration");
        if (mutex_ != nullptr) {
            const DWORD waited = WaitForSingleObject(mutex_, 120000);
            held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        }
    }
    ~RegistrationLock() {
        if (held_) {
            ReleaseMutex(mutex_);
        }
        if (mutex_ != nullptr) {
            CloseHandle(mutex_);
        }
    }
    RegistrationLock(const RegistrationLock&) = delete;
    RegistrationLock& operator=(const RegistrationLock&) = delete;

    bool held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

// Runs regsvr32 with `options` on the module; its exit code, or -1 when it
// could not be started or did not finish within a minute.
inline long RunRegsvr32(const wchar_t* options) {
    std::wstring command =
        std::wstring(L"regsvr32.exe ") + options + L" \"" + LoadedModule::Path() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(exitCode);
}

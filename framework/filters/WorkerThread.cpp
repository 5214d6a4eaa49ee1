#include "framework/filters/WorkerThread.h"

#include <objbase.h>

namespace {

using CoInitializeExFunction = HRESULT(WINAPI*)(LPVOID reserved, DWORD flags);
using CoUninitializeFunction = void(WINAPI*)();

// GetProcAddress's generic pointer goes through void(*)() so that the cast to
// the real signature is not reported as an incompatible function cast.
template <typename Function> Function LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

WorkerThread::WorkerThread()
    : requestEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      completionEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

WorkerThread::~WorkerThread() {
    HANDLE thread = InterlockedExchangePointer(&thread_, nullptr);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (completionEvent_ != nullptr) {
        CloseHandle(completionEvent_);
    }
    if (requestEvent_ != nullptr) {
        CloseHandle(requestEvent_);
    }
}

BOOL WorkerThread::Start() {
    auto guard = accessLock_.lock();
    if (thread_ != nullptr) {
        return FALSE;
    }
    thread_ = CreateThread(nullptr, 0, &WorkerThread::ThreadEntry, this, 0, nullptr);
    return thread_ != nullptr;
}

HRESULT WorkerThread::Request(DWORD code) {
    auto guard = accessLock_.lock(); // held for the whole exchange
    if (thread_ == nullptr) {
        return E_FAIL;
    }
    requestCode_ = code; // written before the event publishes it
    SetEvent(requestEvent_);
    WaitForSingleObject(completionEvent_, INFINITE);
    return answer_;
}

DWORD WorkerThread::WaitRequest() {
    WaitForSingleObject(requestEvent_, INFINITE);
    return requestCode_;
}

BOOL WorkerThread::PollRequest(DWORD* code) {
    if (WaitForSingleObject(requestEvent_, 0) != WAIT_OBJECT_0) {
        return FALSE;
    }
    if (code != nullptr) {
        *code = requestCode_;
    }
    return TRUE;
}

void WorkerThread::Answer(HRESULT result) {
    answer_ = result; // written before the completion event publishes it
    ResetEvent(requestEvent_);
    SetEvent(completionEvent_);
}

DWORD WINAPI WorkerThread::ThreadEntry(void* parameter) {
    auto* self = static_cast<WorkerThread*>(parameter);

    // Join the multithreaded apartment only when COM is already in the
    // process; the worker must not be the one that loads it.
    HRESULT initResult = E_FAIL;
    HMODULE ole32 = GetModuleHandleW(L"ole32.dll");
    if (ole32 != nullptr) {
        if (auto coInitializeEx = LookUp<CoInitializeExFunction>(ole32, "CoInitializeEx")) {
            initResult = coInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE);
        }
    }

    const DWORD exitCode = self->ThreadMain();

    if (SUCCEEDED(initResult)) {
        if (auto coUninitialize = LookUp<CoUninitializeFunction>(ole32, "CoUninitialize")) {
            coUninitialize();
        }
    }
    return exitCode;
}

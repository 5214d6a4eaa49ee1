// A thread with a one-slot request/answer channel. A controlling thread sends
// a request code and blocks until the worker answers it; the worker's loop
// (ThreadMain) polls or waits for requests between units of work. The codes
// and their meaning belong to the derived class.
#pragma once

#include "framework/com/CriticalSection.h"

#include <windows.h>

class WorkerThread {
public:
    // The worker's loop; its result becomes the thread's exit code.
    virtual DWORD ThreadMain() = 0;
    // Waits for the thread to end: the owner must have made ThreadMain return
    // (by the request its loop treats as the end) or this waits for ever.
    virtual ~WorkerThread();

    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Controller side.
    // Creates the thread unless one exists (also one that has already ended);
    // TRUE only when this call created it.
    BOOL Start();
    // Sends `code` and waits for the worker's answer; E_FAIL without a thread.
    // Requests from several threads are served strictly one at a time.
    HRESULT Request(DWORD code);

protected:
    WorkerThread();

    // Worker side.
    // Waits for a request and returns its code; the request stays pending
    // until Answer.
    DWORD WaitRequest();
    // TRUE, with the code in *code (when not null), while a request is
    // pending; FALSE at once otherwise, *code untouched.
    BOOL PollRequest(DWORD* code);
    // Completes the pending request with `result`.
    void Answer(HRESULT result);

    // For the derived class's own use; the base never takes it.
    CriticalSection& WorkerLock() { return workerLock_; }

private:
    static DWORD WINAPI ThreadEntry(void* parameter);

    HANDLE requestEvent_;    // manual reset: signalled while a request is pending
    HANDLE completionEvent_; // auto reset: signalled when the worker answers
    DWORD requestCode_ = 0;
    HRESULT answer_ = S_OK;
    HANDLE thread_ = nullptr;
    CriticalSection accessLock_; // Start and requesters: one request in flight
    CriticalSection workerLock_;
};

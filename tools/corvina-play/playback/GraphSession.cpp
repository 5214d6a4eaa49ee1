#include "playback/GraphSession.h"

#include <evcode.h>

namespace {
constexpr DWORD kTickIntervalMs = 100;
} // namespace

GraphSession::Ending GraphSession::Run(const std::function<void()>& tick, HRESULT& error) {
    error = S_OK;
    const HANDLE events = graph_.EventHandle();
    if (events == nullptr) {
        error = E_UNEXPECTED;
        return Ending::kError;
    }
    error = graph_.Run();
    if (FAILED(error)) {
        return Ending::kError;
    }
    Ending ending = Ending::kComplete;
    bool running = true;
    while (running) {
        const HANDLE handles[2] = {events, stopEvent_};
        const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, kTickIntervalMs);
        if (woken == WAIT_OBJECT_0 + 1) {
            ending = Ending::kStopped;
            break;
        }
        long code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        while (running && graph_.NextEvent(code, param1, param2)) {
            switch (code) {
            case EC_COMPLETE:
            case EC_USERABORT:
                running = false;
                break;
            case EC_ERRORABORT:
            case EC_ERROR_STILLPLAYING:
            case EC_STREAM_ERROR_STOPPED:
            case EC_STREAM_ERROR_STILLPLAYING:
                error = static_cast<HRESULT>(param1);
                ending = Ending::kError;
                running = false;
                break;
            default:
                break;
            }
        }
        if (running) {
            tick();
        }
    }
    const HRESULT stopped = graph_.Stop();
    if (ending != Ending::kError && FAILED(stopped)) {
        error = stopped;
        ending = Ending::kError;
    }
    return ending;
}

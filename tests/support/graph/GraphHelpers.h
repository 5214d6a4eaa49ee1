// Small pieces that graph tests share: creating the module's filters the way
// its factory does, finding pins, polling with a deadline, the graph's event
// queue, and comparing what arrived with what was expected.
#pragma once

#include "CapturePin.h"

#include "framework/com/ComPtr.h"
#include "framework/com/UnknownBase.h"

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace testgraph {

// A filter of the module as its factory hands it out: one reference, or
// none when the create function fails.
template <typename Filter> ComPtr<IBaseFilter> CreateFilter() {
    HRESULT result = S_OK;
    UnknownBase* object = Filter::CreateInstance(nullptr, &result);
    ComPtr<IBaseFilter> filter;
    if (object == nullptr) {
        return filter;
    }
    object->InnerAddRef();
    if (SUCCEEDED(result)) {
        object->InnerQueryInterface(IID_IBaseFilter, filter.put_void());
    }
    object->InnerRelease();
    return filter;
}

// A runtime filter by class identifier; null when it cannot be created.
ComPtr<IBaseFilter> CreateRuntimeFilter(const CLSID& classId);

// The filter's first pin of `direction`, or null.
ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction);

// Polls `done` every millisecond until it holds or the time is up.
template <typename Predicate> bool PollUntil(DWORD timeoutMs, Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The codes of the events queued so far (does not wait).
std::vector<long> DrainEvents(IMediaEvent* events);
// Takes queued events until one with `code` arrives (true) or the time is
// up (false). Unlike WaitForCompletion, which in this runtime still answers
// with the completion of an earlier run, it sees only events queued since
// the last call that took them.
bool WaitForEvent(IMediaEvent* events, long code, DWORD timeoutMs);

// Every sample's bytes from `first` up to `end`, concatenated.
std::vector<std::uint8_t> Concatenate(const std::vector<CapturedSample>& samples, size_t first = 0,
                                      size_t end = SIZE_MAX);
// The same bytes as 16-bit PCM samples (native order).
std::vector<std::int16_t> ToPcm(const std::vector<std::uint8_t>& bytes);

// The index of the first element where `actual` differs from `expected`:
// -1 when they are equal, the shorter length when one is a prefix.
template <typename T>
long long FirstMismatch(const std::vector<T>& actual, const std::vector<T>& expected) {
    const size_t common = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < common; ++i) {
        if (actual[i] != expected[i]) {
            return static_cast<long long>(i);
        }
    }
    return actual.size() == expected.size() ? -1 : static_cast<long long>(common);
}

} // namespace testgraph

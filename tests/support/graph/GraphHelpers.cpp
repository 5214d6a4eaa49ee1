#include "GraphHelpers.h"

#include <cstring>

namespace testgraph {

ComPtr<IBaseFilter> CreateRuntimeFilter(const CLSID& classId) {
    ComPtr<IBaseFilter> filter;
    if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                filter.put_void()))) {
        filter.reset();
    }
    return filter;
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComPtr<IEnumPins> pins;
    if (filter == nullptr || FAILED(filter->EnumPins(pins.put()))) {
        return {};
    }
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection = PINDIR_INPUT;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
            return pin;
        }
    }
    return {};
}

std::vector<long> DrainEvents(IMediaEvent* events) {
    std::vector<long> codes;
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        codes.push_back(code);
        events->FreeEventParams(code, param1, param2);
    }
    return codes;
}

bool WaitForEvent(IMediaEvent* events, long code, DWORD timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        long taken = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        // The queue may answer E_ABORT at once when its signal was left set
        // by an earlier reader; waiting goes on until the deadline.
        if (events->GetEvent(&taken, &param1, &param2,
                             static_cast<long>(std::max<long long>(left, 0))) == S_OK) {
            events->FreeEventParams(taken, param1, param2);
            if (taken == code) {
                return true;
            }
        } else if (left <= 0) {
            return false;
        } else {
            Sleep(1);
        }
    }
}

std::vector<std::uint8_t> Concatenate(const std::vector<CapturedSample>& samples, size_t first,
                                      size_t end) {
    std::vector<std::uint8_t> bytes;
    for (size_t i = first; i < samples.size() && i < end; ++i) {
        bytes.insert(bytes.end(), samples[i].bytes.begin(), samples[i].bytes.end());
    }
    return bytes;
}

std::vector<std::int16_t> ToPcm(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    if (!pcm.empty()) {
        std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    }
    return pcm;
}

} // namespace testgraph

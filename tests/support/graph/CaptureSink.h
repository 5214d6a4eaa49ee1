// A downstream end for graph tests: a filter with one CapturePin, built on
// the framework's filter and input pin bases, with the runtime's memory
// allocator underneath unless the test hands in its own.
#pragma once

#include "CapturePin.h"

#include "framework/com/CriticalSection.h"
#include "framework/filters/FilterBase.h"

#include <memory>

namespace testgraph {

class CaptureSink : public FilterBase {
public:
    // A new filter with a count of 0.
    explicit CaptureSink(const CaptureOptions& options = {});
    ~CaptureSink() override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    int PinCount() override { return 1; }
    PinBase* PinAt(int index) override { return index == 0 ? pin_.get() : nullptr; }

    CapturePin* Pin() { return pin_.get(); }

private:
    CriticalSection lock_;
    std::unique_ptr<CapturePin> pin_;
};

} // namespace testgraph

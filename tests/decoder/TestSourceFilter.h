// A minimal push source for graph tests: one output pin offering one fixed
// media type; the test thread pushes samples, end of stream, flushes and
// segments through it. Built on the framework's own filter and pin bases.
#pragma once

#include "framework/com/CriticalSection.h"
#include "framework/filters/FilterBase.h"
#include "framework/media/MediaTypeRecord.h"
#include "framework/filters/OutputPinBase.h"

#include <memory>

namespace decodertest {

class TestSourceFilter;

class TestSourcePin : public OutputPinBase {
public:
    TestSourcePin(TestSourceFilter* filter, CriticalSection* lock, const AM_MEDIA_TYPE& type);

    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT ProposeType(int position, MediaTypeRecord* type) override;
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

private:
    MediaTypeRecord offered_;
};

// What one pushed sample carries besides its data.
struct PushedSample {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool hasTimes = true;
    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    bool preroll = false;
    bool discontinuity = false;
};

class TestSourceFilter : public FilterBase {
public:
    // A new filter with a count of 0 offering `type`.
    explicit TestSourceFilter(const AM_MEDIA_TYPE& type);
    ~TestSourceFilter() override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    int PinCount() override { return 1; }
    PinBase* PinAt(int index) override { return index == 0 ? pin_.get() : nullptr; }

    TestSourcePin* Pin() { return pin_.get(); }
    // Fills an output buffer with `bytes` bytes of `data` and sends it;
    // the downstream answer is returned.
    HRESULT Push(const BYTE* data, long bytes, const PushedSample& properties);

    static constexpr long kBufferBytes = 512 * 36;

private:
    CriticalSection lock_;
    std::unique_ptr<TestSourcePin> pin_;
};

} // namespace decodertest

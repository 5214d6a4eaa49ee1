// A downstream filter for transform-base tests: one input pin that records
// what arrives (samples with their properties, end of stream, flushes,
// segments) and hands out an allocator that records the flags of every
// buffer request. Built on the framework's bases, with the runtime's memory
// allocator underneath.
#pragma once

#include "framework/ComPtr.h"
#include "framework/CriticalSection.h"
#include "framework/FilterBase.h"
#include "framework/InputPinBase.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace decodertest {

// The runtime's allocator behind a recorder of GetBuffer flags. Counts its
// own references; the test checks that they all come back.
class SpyAllocator : public IMemAllocator {
public:
    explicit SpyAllocator(IMemAllocator* inner) : inner(inner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                            ALLOCATOR_PROPERTIES* actual) override {
        return inner->SetProperties(request, actual);
    }
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* props) override {
        return inner->GetProperties(props);
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return inner->Commit(); }
    HRESULT STDMETHODCALLTYPE Decommit() override { return inner->Decommit(); }
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                        REFERENCE_TIME* stop, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override {
        return inner->ReleaseBuffer(sample);
    }

    std::atomic<ULONG> references{0};
    ComPtr<IMemAllocator> inner; // +1 on the runtime's allocator
    std::mutex mutex;
    std::vector<DWORD> requestFlags;   // one per GetBuffer
    std::vector<bool> requestHadStart; // start time passed
    std::vector<bool> requestHadStop;  // stop time passed
};

struct ReceivedSample {
    long bytes;
    bool hasTime;
    REFERENCE_TIME start;
    REFERENCE_TIME stop;
    bool discontinuity;
    bool syncPoint;
    bool preroll;
};

class RecordingSink;

class RecordingSinkPin : public InputPinBase {
public:
    RecordingSinkPin(RecordingSink* filter, CriticalSection* lock, SpyAllocator* allocator);

    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT CanStream() override;

    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

    std::mutex mutex;
    std::vector<ReceivedSample> samples;
    int endOfStreamCount = 0;
    int beginFlushCount = 0;
    int endFlushCount = 0;
    std::vector<double> segmentRates;
    REFERENCE_TIME lastSegmentStart = 0;
    REFERENCE_TIME lastSegmentStop = 0;

private:
    RecordingSink* const sink;
    SpyAllocator* const spy;
};

class RecordingSink : public FilterBase {
public:
    explicit RecordingSink(SpyAllocator* allocator);
    ~RecordingSink() override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    int PinCount() override { return 1; }
    PinBase* PinAt(int index) override { return index == 0 ? pin.get() : nullptr; }

    RecordingSinkPin* Pin() { return pin.get(); }

private:
    CriticalSection lock;
    std::unique_ptr<RecordingSinkPin> pin;
};

} // namespace decodertest

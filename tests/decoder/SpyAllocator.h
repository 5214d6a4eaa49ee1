// The runtime's allocator behind a recorder of GetBuffer requests, for
// transform-base tests: the flags and which times each request carried.
// Counts its own references; the test checks that they all come back.
#pragma once

#include "CountingFake.h"
#include "framework/com/ComPtr.h"

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace decodertest {

class SpyAllocator : public CountingFake<IMemAllocator> {
public:
    explicit SpyAllocator(IMemAllocator* inner) : inner(inner) {}

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

    ComPtr<IMemAllocator> inner; // +1 on the runtime's allocator
    std::mutex mutex;
    std::vector<DWORD> requestFlags;   // one per GetBuffer
    std::vector<bool> requestHadStart; // start time passed
    std::vector<bool> requestHadStop;  // stop time passed
};

} // namespace decodertest

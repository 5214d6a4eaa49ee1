// One buffer of a SampleAllocator as an IMediaSample. Its reference count
// is its own; when the last reference goes, the buffer returns to the
// allocator that handed it out instead of being freed.
#pragma once

#include <windows.h>
#include <strmif.h>

class SampleAllocator;

class MemorySample final : public IMediaSample {
public:
    MemorySample(SampleAllocator* allocator, BYTE* buffer, LONG bufferBytes);
    ~MemorySample();
    MemorySample(const MemorySample&) = delete;
    MemorySample& operator=(const MemorySample&) = delete;

    // Clears every property for the next user and takes the first reference.
    void Hand(const REFERENCE_TIME* start, const REFERENCE_TIME* stop);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IMediaSample
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** out) override;
    LONG STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL value) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL value) override;
    LONG STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** out) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL value) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* stop) override;

private:
    // The fields below belong to the one holder of the sample; only the
    // reference count is touched from several threads.
    SampleAllocator* const allocator_; // not counted: a sample out holds the allocator
    BYTE* const buffer_;
    const LONG bufferBytes_;
    volatile LONG references_ = 0;
    LONG actualBytes_ = 0;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME stop_ = 0;
    LONGLONG mediaStart_ = 0;
    LONGLONG mediaStop_ = 0;
    AM_MEDIA_TYPE* type_ = nullptr; // owned
    bool timeValid_ = false;
    bool stopValid_ = false;
    bool mediaTimeValid_ = false;
    bool syncPoint_ = false;
    bool preroll_ = false;
    bool discontinuity_ = false;
};

#include "graph/MemorySample.h"

#include "graph/SampleAllocator.h"

#include "framework/media/MediaTypeRecord.h"
#include "framework/com/ResultMacros.h"

#include <vfwmsgs.h>

namespace {

// A task-memory copy of `type` in *out, freed with FreeTaskMediaType.
HRESULT CopyToTask(const AM_MEDIA_TYPE& type, AM_MEDIA_TYPE** out) {
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, copy);
    const HRESULT copied = DeepCopyMediaType(copy, &type);
    if (FAILED(copied)) {
        CoTaskMemFree(copy);
        return copied;
    }
    *out = copy;
    return S_OK;
}

} // namespace

MemorySample::MemorySample(SampleAllocator* allocator, BYTE* buffer, LONG bufferBytes)
    : allocator_(allocator), buffer_(buffer), bufferBytes_(bufferBytes) {}

MemorySample::~MemorySample() {
    FreeTaskMediaType(type_);
}

void MemorySample::Hand(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) {
    FreeTaskMediaType(type_);
    type_ = nullptr;
    actualBytes_ = 0;
    timeValid_ = start != nullptr;
    stopValid_ = start != nullptr && stop != nullptr;
    start_ = timeValid_ ? *start : 0;
    stop_ = stopValid_ ? *stop : 0;
    mediaTimeValid_ = false;
    syncPoint_ = false;
    preroll_ = false;
    discontinuity_ = false;
    references_ = 1;
}

HRESULT STDMETHODCALLTYPE MemorySample::QueryInterface(REFIID iid, void** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMediaSample)) {
        *out = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE MemorySample::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE MemorySample::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) {
        allocator_->Reclaim(this);
    }
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE MemorySample::GetPointer(BYTE** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = buffer_;
    return S_OK;
}

LONG STDMETHODCALLTYPE MemorySample::GetSize() {
    return bufferBytes_;
}

HRESULT STDMETHODCALLTYPE MemorySample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    RETURN_HR_IF_NULL(E_POINTER, start);
    RETURN_HR_IF_NULL(E_POINTER, stop);
    if (!timeValid_) {
        return VFW_E_SAMPLE_TIME_NOT_SET;
    }
    *start = start_;
    // Without a stop time the stop is the start plus one unit.
    *stop = stopValid_ ? stop_ : start_ + 1;
    return stopValid_ ? S_OK : VFW_S_NO_STOP_TIME;
}

HRESULT STDMETHODCALLTYPE MemorySample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
    timeValid_ = start != nullptr;
    stopValid_ = start != nullptr && stop != nullptr;
    start_ = timeValid_ ? *start : 0;
    stop_ = stopValid_ ? *stop : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemorySample::IsSyncPoint() {
    return syncPoint_ ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MemorySample::SetSyncPoint(BOOL value) {
    syncPoint_ = value != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemorySample::IsPreroll() {
    return preroll_ ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MemorySample::SetPreroll(BOOL value) {
    preroll_ = value != FALSE;
    return S_OK;
}

LONG STDMETHODCALLTYPE MemorySample::GetActualDataLength() {
    return actualBytes_;
}

HRESULT STDMETHODCALLTYPE MemorySample::SetActualDataLength(LONG length) {
    if (length < 0 || length > bufferBytes_) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    actualBytes_ = length;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemorySample::GetMediaType(AM_MEDIA_TYPE** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    if (type_ == nullptr) {
        return S_FALSE;
    }
    return CopyToTask(*type_, out);
}

HRESULT STDMETHODCALLTYPE MemorySample::SetMediaType(AM_MEDIA_TYPE* type) {
    FreeTaskMediaType(type_);
    type_ = nullptr;
    if (type == nullptr) {
        return S_OK;
    }
    return CopyToTask(*type, &type_);
}

HRESULT STDMETHODCALLTYPE MemorySample::IsDiscontinuity() {
    return discontinuity_ ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MemorySample::SetDiscontinuity(BOOL value) {
    discontinuity_ = value != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemorySample::GetMediaTime(LONGLONG* start, LONGLONG* stop) {
    RETURN_HR_IF_NULL(E_POINTER, start);
    RETURN_HR_IF_NULL(E_POINTER, stop);
    if (!mediaTimeValid_) {
        return VFW_E_MEDIA_TIME_NOT_SET;
    }
    *start = mediaStart_;
    *stop = mediaStop_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemorySample::SetMediaTime(LONGLONG* start, LONGLONG* stop) {
    mediaTimeValid_ = start != nullptr && stop != nullptr;
    mediaStart_ = mediaTimeValid_ ? *start : 0;
    mediaStop_ = mediaTimeValid_ ? *stop : 0;
    return S_OK;
}

#include "graph/SampleAllocator.h"

#include "framework/com/ResultMacros.h"

#include <vfwmsgs.h>

#include <new>

HRESULT SampleAllocator::Create(IMemAllocator** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = new (std::nothrow) SampleAllocator();
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Born owned by its creator.
SampleAllocator::SampleAllocator() : ComObject(1), properties_{1, 0, 1, 0} {}

SampleAllocator::~SampleAllocator() = default;

HRESULT STDMETHODCALLTYPE SampleAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                         ALLOCATOR_PROPERTIES* actual) {
    RETURN_HR_IF_NULL(E_POINTER, request);
    RETURN_HR_IF_NULL(E_POINTER, actual);
    const long align = request->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0) {
        return VFW_E_BADALIGN;
    }
    if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0 ||
        request->cbBuffer > 0x10000000 || request->cBuffers > 1024) {
        return E_INVALIDARG;
    }
    const Hold hold(&lock_);
    if (committed_) {
        return VFW_E_ALREADY_COMMITTED;
    }
    if (outstanding_ != 0) {
        return VFW_E_BUFFERS_OUTSTANDING;
    }
    properties_.cBuffers = request->cBuffers > 0 ? request->cBuffers : 1;
    properties_.cbBuffer = request->cbBuffer;
    properties_.cbAlign = align;
    properties_.cbPrefix = request->cbPrefix;
    buffersMatch_ = false;
    *actual = properties_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleAllocator::GetProperties(ALLOCATOR_PROPERTIES* out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    const Hold hold(&lock_);
    *out = properties_;
    return S_OK;
}

HRESULT SampleAllocator::MakeBuffers() {
    samples_.clear();
    free_.clear();
    memory_.reset();
    // Every buffer starts on an aligned address after its prefix.
    const size_t align = static_cast<size_t>(properties_.cbAlign);
    const size_t stride =
        (static_cast<size_t>(properties_.cbPrefix) + properties_.cbBuffer + align - 1) / align *
        align;
    const size_t count = static_cast<size_t>(properties_.cBuffers);
    memory_.reset(new (std::nothrow) BYTE[stride * count + align]);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, memory_.get());
    const auto base = reinterpret_cast<uintptr_t>(memory_.get());
    // The first buffer (after its prefix) on an aligned address.
    uintptr_t at = (base + properties_.cbPrefix + align - 1) / align * align;
    for (size_t i = 0; i < count; ++i, at += stride) {
        std::unique_ptr<MemorySample> sample(new (std::nothrow) MemorySample(
            this, reinterpret_cast<BYTE*>(at), properties_.cbBuffer));
        RETURN_HR_IF_NULL(E_OUTOFMEMORY, sample.get());
        free_.push_back(sample.get());
        samples_.push_back(std::move(sample));
    }
    buffersMatch_ = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleAllocator::Commit() {
    const Hold hold(&lock_);
    if (committed_) {
        return S_OK;
    }
    if (properties_.cbBuffer == 0) {
        return VFW_E_SIZENOTSET;
    }
    if (!buffersMatch_) {
        if (outstanding_ != 0) {
            return VFW_E_BUFFERS_OUTSTANDING;
        }
        RETURN_IF_FAILED(MakeBuffers());
    }
    committed_ = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleAllocator::Decommit() {
    const Hold hold(&lock_);
    committed_ = false;
    // Whoever waits for a buffer gives up now.
    WakeAllConditionVariable(&bufferFreed_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleAllocator::GetBuffer(IMediaSample** out, REFERENCE_TIME* start,
                                                     REFERENCE_TIME* stop, DWORD flags) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    MemorySample* sample = nullptr;
    {
        const Hold hold(&lock_);
        for (;;) {
            if (!committed_) {
                return VFW_E_NOT_COMMITTED;
            }
            if (!free_.empty()) {
                break;
            }
            if ((flags & AM_GBF_NOWAIT) != 0) {
                return VFW_E_TIMEOUT;
            }
            SleepConditionVariableSRW(&bufferFreed_, &lock_, INFINITE, 0);
        }
        sample = free_.back();
        free_.pop_back();
        ++outstanding_;
    }
    AddRef(); // +1 while the sample is out, dropped in Reclaim
    sample->Hand(start, stop);
    *out = sample;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleAllocator::ReleaseBuffer(IMediaSample* sample) {
    // Samples come back through their own Release.
    return sample != nullptr ? S_OK : E_POINTER;
}

void SampleAllocator::Reclaim(MemorySample* sample) {
    {
        const Hold hold(&lock_);
        free_.push_back(sample);
        --outstanding_;
        WakeConditionVariable(&bufferFreed_);
    }
    Release(); // -1 for the sample that was out; may be the last
}

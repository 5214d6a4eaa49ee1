#include "graph/FileReaderPin.h"

#include "graph/SampleAllocator.h"

#include "framework/com/ResultMacros.h"
#include "parser/StreamGeometry.h"

#include <algorithm>

#include <uuids.h>
#include <vfwmsgs.h>

namespace {
// Sample times of a pulled stream are byte positions in these units.
constexpr LONGLONG kUnitsPerByte = StreamGeometry::kUnitsPerByte;
constexpr long kLargeReadBytes = 1 << 20;
} // namespace

FileReaderPin::FileReaderPin(FilterBase* filter, CriticalSection* lock, FileHandle file,
                             LONGLONG endBytes)
    : PinBase(filter, lock, L"Output", PINDIR_OUTPUT), file_(std::move(file)), endBytes_(endBytes) {
}

FileReaderPin::~FileReaderPin() {
    for (const Done& done : done_) {
        done.sample->Release(); // -1: the queue's reference
    }
}

HRESULT STDMETHODCALLTYPE FileReaderPin::InnerQueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IAsyncReader)) {
        return HandOutInterface(static_cast<IAsyncReader*>(this), out); // +1 on the filter
    }
    return PinBase::InnerQueryInterface(iid, out);
}

HRESULT FileReaderPin::AcceptType(const AM_MEDIA_TYPE* type) {
    RETURN_HR_IF_NULL(E_POINTER, type);
    return IsEqualGUID(type->majortype, MEDIATYPE_Stream) ? S_OK : S_FALSE;
}

HRESULT FileReaderPin::ProposeType(int position, MediaTypeRecord* type) {
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    type->SetMajorType(MEDIATYPE_Stream);
    type->SetSubtype(MEDIASUBTYPE_NULL);
    type->SetFormatType(FORMAT_None);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileReaderPin::RequestAllocator(IMemAllocator* preferred,
                                                          ALLOCATOR_PROPERTIES* properties,
                                                          IMemAllocator** actual) {
    RETURN_HR_IF_NULL(E_POINTER, properties);
    RETURN_HR_IF_NULL(E_POINTER, actual);
    *actual = nullptr;
    ALLOCATOR_PROPERTIES request = *properties;
    if (request.cbAlign == 0) {
        request.cbAlign = 1;
    }
    // Reads are plain and synchronous: larger ones cost the puller fewer
    // rounds. A pulling pin reads as much as the buffers it is given hold.
    const bool own = preferred == nullptr;
    if (own && request.cbBuffer < kLargeReadBytes) {
        request.cbBuffer = kLargeReadBytes;
    }
    ALLOCATOR_PROPERTIES granted = {};
    if (!own && SUCCEEDED(preferred->SetProperties(&request, &granted))) {
        preferred->AddRef();
        *actual = preferred; // +1 for the caller
        return S_OK;
    }
    ComPtr<IMemAllocator> allocator;
    RETURN_IF_FAILED(SampleAllocator::Create(allocator.put()));
    RETURN_IF_FAILED(allocator->SetProperties(&request, &granted));
    *actual = allocator.detach(); // +1 for the caller
    return S_OK;
}

HRESULT FileReaderPin::ReadInto(IMediaSample* sample) {
    RETURN_HR_IF_NULL(E_POINTER, sample);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    RETURN_IF_FAILED(sample->GetTime(&start, &stop));
    const LONGLONG length = (stop - start) / kUnitsPerByte;
    if (start < 0 || length < 0 || length > sample->GetSize()) {
        return E_INVALIDARG;
    }
    BYTE* buffer = nullptr;
    RETURN_IF_FAILED(sample->GetPointer(&buffer));
    const HRESULT read = SyncRead(start / kUnitsPerByte, static_cast<LONG>(length), buffer);
    if (FAILED(read)) {
        return read;
    }
    // A short read leaves the rest out of the sample.
    LONGLONG total = 0;
    LONGLONG available = 0;
    RETURN_IF_FAILED(Length(&total, &available));
    const LONGLONG got = std::min(length, std::max<LONGLONG>(total - start / kUnitsPerByte, 0));
    RETURN_IF_FAILED(sample->SetActualDataLength(static_cast<LONG>(got)));
    return read;
}

HRESULT STDMETHODCALLTYPE FileReaderPin::Request(IMediaSample* sample, DWORD_PTR user) {
    RETURN_HR_IF_NULL(E_POINTER, sample);
    {
        auto guard = readLock_.lock();
        if (flushing_) {
            return VFW_E_WRONG_STATE;
        }
    }
    const HRESULT result = ReadInto(sample);
    auto guard = readLock_.lock();
    sample->AddRef(); // +1 while queued
    done_.push_back(Done{sample, user, result});
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileReaderPin::WaitForNext(DWORD /*timeoutMs*/, IMediaSample** sample,
                                                     DWORD_PTR* user) {
    RETURN_HR_IF_NULL(E_POINTER, sample);
    RETURN_HR_IF_NULL(E_POINTER, user);
    *sample = nullptr;
    *user = 0;
    auto guard = readLock_.lock();
    // Every request is done when it returns: nothing to wait for.
    if (done_.empty()) {
        return flushing_ ? VFW_E_WRONG_STATE : VFW_E_TIMEOUT;
    }
    const Done next = done_.front();
    done_.pop_front();
    *sample = next.sample; // the queue's reference goes to the caller
    *user = next.user;
    return flushing_ ? VFW_E_WRONG_STATE : next.result;
}

HRESULT STDMETHODCALLTYPE FileReaderPin::SyncReadAligned(IMediaSample* sample) {
    return ReadInto(sample);
}

HRESULT STDMETHODCALLTYPE FileReaderPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    RETURN_HR_IF_NULL(E_POINTER, buffer);
    if (position < 0 || length < 0) {
        return E_INVALIDARG;
    }
    // Past the end the pin offers, a read is short like one past the file's.
    LONG wanted = length;
    if (endBytes_ >= 0) {
        wanted = static_cast<LONG>(std::clamp<LONGLONG>(endBytes_ - position, 0, length));
    }
    auto guard = readLock_.lock();
    size_t gotBytes = 0;
    const DWORD error = file_.ReadAt(static_cast<unsigned long long>(position), buffer,
                                     static_cast<size_t>(wanted), gotBytes);
    if (error != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(error);
    }
    return gotBytes == static_cast<size_t>(length) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE FileReaderPin::Length(LONGLONG* total, LONGLONG* available) {
    RETURN_HR_IF_NULL(E_POINTER, total);
    RETURN_HR_IF_NULL(E_POINTER, available);
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file_.get(), &size)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    *total = *available = endBytes_ >= 0 ? std::min(size.QuadPart, endBytes_) : size.QuadPart;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileReaderPin::BeginFlush() {
    auto guard = readLock_.lock();
    flushing_ = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileReaderPin::EndFlush() {
    auto guard = readLock_.lock();
    flushing_ = false;
    return S_OK;
}

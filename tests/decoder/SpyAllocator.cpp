#include "SpyAllocator.h"

namespace decodertest {

HRESULT STDMETHODCALLTYPE SpyAllocator::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMemAllocator)) {
        *out = static_cast<IMemAllocator*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE SpyAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                                  REFERENCE_TIME* stop, DWORD flags) {
    {
        std::lock_guard<std::mutex> guard(mutex);
        requestFlags.push_back(flags);
        requestHadStart.push_back(start != nullptr);
        requestHadStop.push_back(stop != nullptr);
    }
    return inner->GetBuffer(sample, start, stop, flags);
}

} // namespace decodertest

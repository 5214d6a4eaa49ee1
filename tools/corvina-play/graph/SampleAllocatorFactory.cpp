#include "graph/SampleAllocatorFactory.h"

#include "graph/SampleAllocator.h"

#include "framework/com/ComPtr.h"
#include "framework/com/ResultMacros.h"

#include <objbase.h>
#include <uuids.h>

SampleAllocatorFactory::~SampleAllocatorFactory() {
    if (cookie_ != 0) {
        (void)CoRevokeClassObject(cookie_);
    }
}

HRESULT SampleAllocatorFactory::Register() {
    if (cookie_ != 0) {
        return S_OK;
    }
    return CoRegisterClassObject(CLSID_MemoryAllocator, static_cast<IClassFactory*>(this),
                                 CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
}

HRESULT STDMETHODCALLTYPE SampleAllocatorFactory::QueryInterface(REFIID iid, void** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE SampleAllocatorFactory::CreateInstance(IUnknown* outer, REFIID iid,
                                                                 void** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    ComPtr<IMemAllocator> allocator;
    RETURN_IF_FAILED(SampleAllocator::Create(allocator.put()));
    return allocator->QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE SampleAllocatorFactory::LockServer(BOOL /*lock*/) {
    return S_OK;
}

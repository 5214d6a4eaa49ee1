#include "framework/com/ClassFactory.h"

#include <new>

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    // An aggregating caller must hold the inner object by its IUnknown.
    if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) {
        return E_NOINTERFACE;
    }

    HRESULT result = S_OK;
    UnknownBase* object = row_->create(outer, &result);
    if (object == nullptr) {
        return FAILED(result) ? result : E_OUTOFMEMORY;
    }
    if (FAILED(result)) {
        delete object;
        return result;
    }
    return QueryNewObject(object, iid, out);
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        InterlockedIncrement(&ServerLockCount);
    } else {
        InterlockedDecrement(&ServerLockCount);
    }
    return S_OK;
}

HRESULT FrameworkGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
        return E_NOINTERFACE;
    }
    for (int row = 0; row < FactoryTableRowCount; ++row) {
        if (!IsEqualCLSID(*FactoryTable[row].classId, classId)) {
            continue;
        }
        ClassFactory* factory = new (std::nothrow) ClassFactory(&FactoryTable[row]);
        *out = static_cast<IClassFactory*>(factory);
        if (factory == nullptr) {
            return E_OUTOFMEMORY;
        }
        factory->AddRef(); // the caller's reference
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT FrameworkCanUnloadNow() {
    return (ServerLockCount > 0 || LiveObjectCount != 0) ? S_FALSE : S_OK;
}

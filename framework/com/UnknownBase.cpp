#include "framework/com/UnknownBase.h"

UnknownBase::UnknownBase(IUnknown* outer)
    : owner_(outer != nullptr ? outer : NonDelegatingUnknown()) {}

UnknownBase::~UnknownBase() = default;

HRESULT STDMETHODCALLTYPE UnknownBase::InnerQueryInterface(REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown)) {
        *out = NonDelegatingUnknown();
        InnerAddRef(); // +1 for the caller
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE UnknownBase::InnerAddRef() {
    const LONG count = referenceCount_.Increment();
    return static_cast<ULONG>(count > 1 ? count : 1);
}

ULONG STDMETHODCALLTYPE UnknownBase::InnerRelease() {
    const LONG count = referenceCount_.Decrement();
    if (count != 0) {
        return static_cast<ULONG>(count > 1 ? count : 1);
    }
    referenceCount_.HoldForDestruction();
    BeforeDestruction();
    delete this;
    return 0;
}

HRESULT QueryNewObject(UnknownBase* object, REFIID iid, void** out) {
    object->InnerAddRef(); // +1, dropped below
    const HRESULT result = object->InnerQueryInterface(iid, out);
    object->InnerRelease(); // -1
    return result;
}

HRESULT HandOutInterface(IUnknown* face, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = face;
    face->AddRef(); // +1 for the caller, counted on Owner()
    return S_OK;
}

// The IClassFactory that DllGetClassObject hands out for one row of
// FactoryTable, and the module-level answers built on it.
#pragma once

#include "framework/CountedObject.h"
#include "framework/FactoryTemplate.h"

#include <unknwn.h>

class ClassFactory : public IClassFactory, public CountedObject {
public:
    explicit ClassFactory(const FactoryTemplate* row) : row_(row) {}
    virtual ~ClassFactory() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    const FactoryTemplate* const row_;
    // Interlocked: a client may share one factory between threads.
    volatile LONG referenceCount_ = 0;
};

// What the module's DllGetClassObject answers: a new ClassFactory with one
// reference for the first FactoryTable row whose class is `classId`.
HRESULT FrameworkGetClassObject(REFCLSID classId, REFIID iid, void** out);
// What the module's DllCanUnloadNow answers: S_OK when no framework object
// lives and no server lock is held, else S_FALSE.
HRESULT FrameworkCanUnloadNow();

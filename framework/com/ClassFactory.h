// The IClassFactory that DllGetClassObject hands out for one row of
// FactoryTable, and the module-level answers built on it.
#pragma once

#include "framework/com/ComObject.h"
#include "framework/com/FactoryTemplate.h"

#include <unknwn.h>

class ClassFactory : public ComObject<IClassFactory> {
public:
    // Born with no reference: FrameworkGetClassObject adds the caller's.
    explicit ClassFactory(const FactoryTemplate* row) : ComObject(0), row_(row) {}

    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    const FactoryTemplate* const row_;
};

// What the module's DllGetClassObject answers: a new ClassFactory with one
// reference for the first FactoryTable row whose class is `classId`.
HRESULT FrameworkGetClassObject(REFCLSID classId, REFIID iid, void** out);
// What the module's DllCanUnloadNow answers: S_OK when no framework object
// lives and no server lock is held, else S_FALSE.
HRESULT FrameworkCanUnloadNow();

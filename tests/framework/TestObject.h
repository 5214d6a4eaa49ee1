// A small aggregatable object on UnknownBase with one interface of its own
// (IPersist), and the factory table of the lifetime tests.
#pragma once

#include "framework/com/FactoryTemplate.h"
#include "framework/com/UnknownBase.h"

#include <objidl.h>

#include <atomic>

// {5A0B3C11-7E2D-4F60-9C1B-2D6E8F0A1B01} and the rows after it.
extern const CLSID CLSID_TestObject;
extern const CLSID CLSID_TestLongName;
extern const CLSID CLSID_TestRefusingConstructor;
extern const CLSID CLSID_TestNoMemory;
extern const CLSID CLSID_TestNullWithCode;
extern const CLSID CLSID_TestNotInTable;

// The display name of the CLSID_TestLongName row: 300 characters.
extern const WCHAR* const kLongDisplayName;

class TestObject : public UnknownBase, public IPersist {
public:
    explicit TestObject(IUnknown* outer) : UnknownBase(outer) { ++liveInstances; }
    ~TestObject() override { --liveInstances; }

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IPersist)) {
            return HandOutInterface(static_cast<IPersist*>(this), out);
        }
        return UnknownBase::InnerQueryInterface(iid, out);
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override {
        *classId = CLSID_TestObject;
        return S_OK;
    }

    static std::atomic<int> liveInstances; // objects are made on several threads
};

// The one way a framework COM object counts its references: an interlocked
// count and the module's live-object accounting. ComObject<Interface> is a
// whole stand-alone object with one interface (enumerators, the class
// factory); UnknownBase builds its aggregatable objects on ReferenceCount.
#pragma once

#include "framework/com/CountedObject.h"

#include <unknwn.h>

// An interlocked reference count.
class ReferenceCount {
public:
    explicit ReferenceCount(LONG initialCount) : count_(initialCount) {}
    ReferenceCount(const ReferenceCount&) = delete;
    ReferenceCount& operator=(const ReferenceCount&) = delete;

    // The new count.
    LONG Increment() { return InterlockedIncrement(&count_); }
    LONG Decrement() { return InterlockedDecrement(&count_); }
    // Called once the count reached 0: references taken and dropped while the
    // object is being destroyed must not reach zero a second time.
    void HoldForDestruction() { InterlockedExchange(&count_, 1); }

private:
    volatile LONG count_;
};

// A non-aggregatable object exposing `Interface` (and IUnknown). Release
// deletes it through its virtual destructor at 0.
template <typename Interface> class ComObject : public Interface, public CountedObject {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, __uuidof(Interface))) {
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef(); // +1 for the caller
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(referenceCount_.Increment());
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG count = referenceCount_.Decrement();
        if (count == 0) {
            delete this;
        }
        return static_cast<ULONG>(count);
    }

protected:
    // The first count is the class's documented one: enumerators are born
    // owned by their creator (1), the class factory is born unowned (0) and
    // its creator adds the first reference.
    explicit ComObject(LONG initialCount) : referenceCount_(initialCount) {}
    virtual ~ComObject() = default;

private:
    ReferenceCount referenceCount_;
};

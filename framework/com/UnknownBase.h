// Reference counting and aggregation shared by every aggregatable framework
// object (filters, pins, property pages).
//
// UnknownBase's first virtual slots are the non-delegating IUnknown
// operations (InnerQueryInterface, InnerAddRef, InnerRelease). The COM face
// for them, handed to an aggregating outer object and answered for
// IID_IUnknown, is a small member that forwards to those slots: reading the
// UnknownBase vtable itself as an IUnknown is not valid C++, and GCC's
// devirtualisation really does miscompile it. Every other interface of the
// object forwards QueryInterface, AddRef and Release to Owner() (see
// DECLARE_DELEGATING_UNKNOWN).
#pragma once

#include "framework/com/ComObject.h"

#include <unknwn.h>

class UnknownBase : public CountedObject {
public:
    // `outer` is the aggregating object's IUnknown, or null when the object
    // stands alone (Owner() is then the object's own non-delegating IUnknown).
    explicit UnknownBase(IUnknown* outer);

    // The non-delegating IUnknown, in IUnknown's slot order.
    virtual HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out);
    virtual ULONG STDMETHODCALLTYPE InnerAddRef();
    virtual ULONG STDMETHODCALLTYPE InnerRelease();
    virtual ~UnknownBase();

    UnknownBase(const UnknownBase&) = delete;
    UnknownBase& operator=(const UnknownBase&) = delete;

    // Where the delegating faces send their IUnknown calls; not counted.
    IUnknown* Owner() const { return owner_; }
    // This object's non-delegating IUnknown.
    IUnknown* NonDelegatingUnknown() { return &nonDelegating_; }

protected:
    // Runs when the last reference is gone, before the destructor, with the
    // count held at 1 so that references the clean-up takes and drops cannot
    // destroy the object twice. A property page drops its site and object
    // here.
    virtual void BeforeDestruction() {}

private:
    class NonDelegatingFace final : public IUnknown {
    public:
        explicit NonDelegatingFace(UnknownBase* object) : object_(object) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
            return object_->InnerQueryInterface(iid, out);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return object_->InnerAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return object_->InnerRelease(); }

    private:
        UnknownBase* const object_;
    };

    NonDelegatingFace nonDelegating_{this};
    IUnknown* owner_;
    // Born at 0: the class factory's add-ref, query, release leaves exactly
    // the references the query handed out.
    ReferenceCount referenceCount_{0};
};

// Hands `face` out through `out` with one reference added through the face
// itself (so it reaches Owner()). E_POINTER when `out` is null.
HRESULT HandOutInterface(IUnknown* face, void** out);

// Queries a newly made object (count 0) for `iid`: one reference is held
// across the query, so a failed query destroys the object and a successful
// one leaves the caller's reference only.
HRESULT QueryNewObject(UnknownBase* object, REFIID iid, void** out);

// The IUnknown methods of every interface a class derived from UnknownBase
// implements: all three go to Owner(). Put it in the class body once; it
// serves every interface base of the class.
#define DECLARE_DELEGATING_UNKNOWN                                                                 \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {                    \
        return Owner()->QueryInterface(iid, out);                                                  \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE AddRef() override {                                                    \
        return Owner()->AddRef();                                                                  \
    }                                                                                              \
    ULONG STDMETHODCALLTYPE Release() override {                                                   \
        return Owner()->Release();                                                                 \
    }

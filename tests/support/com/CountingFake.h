// The counting part of every hand-made COM peer in the tests: QueryInterface
// for IUnknown and the listed interfaces, and a reference count that the test
// reads to see that nothing leaked or was released twice. A fake never
// deletes itself: the test owns it (usually on the stack).
#pragma once

#include <unknwn.h>

#include <atomic>

template <typename First, typename... More> class CountingFake : public First, public More... {
public:
    // `initialReferences`: 1 when the test counts its own reference.
    explicit CountingFake(LONG initialReferences = 0) : references(initialReferences) {}
    virtual ~CountingFake() = default;
    CountingFake(const CountingFake&) = delete;
    CountingFake& operator=(const CountingFake&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<First*>(this);
        } else if (!refuseInterface) {
            (void)(Offer<First>(iid, out) || (Offer<More>(iid, out) || ...));
        }
        if (*out == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef(); // +1 for the caller
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

    // Interlocked: the runtime's threads may hold and drop references.
    std::atomic<LONG> references;
    // Answers only IUnknown, as an object without the expected interface.
    bool refuseInterface = false;

private:
    template <typename Interface> bool Offer(REFIID iid, void** out) {
        if (!IsEqualIID(iid, __uuidof(Interface))) {
            return false;
        }
        *out = static_cast<Interface*>(this);
        return true;
    }
};

// A method of a faked interface that the code under test never calls.
#define FAKE_NOT_CALLED(signature)                                                                 \
    HRESULT STDMETHODCALLTYPE signature override {                                                 \
        return E_NOTIMPL;                                                                          \
    }

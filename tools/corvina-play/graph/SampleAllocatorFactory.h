// Makes SampleAllocator the process's memory allocator for as long as it is
// registered: every filter that asks COM for CLSID_MemoryAllocator (the
// module's pins do when their peer offers none) then gets buffers that cost
// no system call each. For conversion only; playback keeps the runtime's.
#pragma once

#include <unknwn.h>

class SampleAllocatorFactory final : public IClassFactory {
public:
    SampleAllocatorFactory() = default;
    // Revokes the registration.
    ~SampleAllocatorFactory();
    SampleAllocatorFactory(const SampleAllocatorFactory&) = delete;
    SampleAllocatorFactory& operator=(const SampleAllocatorFactory&) = delete;

    // Registers this factory for CLSID_MemoryAllocator in the process.
    HRESULT Register();

    // IUnknown: the object lives as long as its owner, not its references.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    DWORD cookie_ = 0; // 0 while not registered
};

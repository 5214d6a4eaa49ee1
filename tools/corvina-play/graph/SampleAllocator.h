// A memory allocator for the conversion graph: the buffers of one commit
// live in one block, and waiting for a free buffer takes a condition
// variable instead of a kernel semaphore, so handing out and taking back a
// buffer costs no call into the system while the graph streams.
#pragma once

#include "graph/MemorySample.h"

#include "framework/com/ComObject.h"

#include <windows.h>
#include <strmif.h>

#include <memory>
#include <vector>

class SampleAllocator final : public ComObject<IMemAllocator> {
public:
    // A new allocator with one reference in *out; every sample handed out
    // holds one more until it comes back.
    static HRESULT Create(IMemAllocator** out);

    // IMemAllocator
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* request,
                                            ALLOCATOR_PROPERTIES* actual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* out) override;
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** out, REFERENCE_TIME* start,
                                        REFERENCE_TIME* stop, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override;

    // From a sample whose last reference went: it is free again.
    void Reclaim(MemorySample* sample);

private:
    SampleAllocator();
    ~SampleAllocator() override;
    // Holds lock_ for a scope.
    class [[nodiscard]] Hold {
    public:
        explicit Hold(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
        ~Hold() { ReleaseSRWLockExclusive(lock_); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        SRWLOCK* const lock_;
    };

    // Makes the buffers for the current properties; under lock_, none out.
    HRESULT MakeBuffers();

    SRWLOCK lock_ = SRWLOCK_INIT;                              // guards the fields below
    CONDITION_VARIABLE bufferFreed_ = CONDITION_VARIABLE_INIT; // signalled under lock_
    ALLOCATOR_PROPERTIES properties_;                          // as granted
    bool committed_ = false;
    bool buffersMatch_ = false; // the buffers were made with properties_
    long outstanding_ = 0;      // samples handed out, not yet back
    std::unique_ptr<BYTE[]> memory_;
    std::vector<std::unique_ptr<MemorySample>> samples_;
    std::vector<MemorySample*> free_; // a stack: the buffer used last is warm
};

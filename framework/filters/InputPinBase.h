// An input pin that receives samples in shared-memory buffers: IMemInputPin,
// the allocator the upstream pin announced, flushing, and the bookkeeping
// every derived Receive calls before processing.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/filters/PinBase.h"

#include <windows.h>
#include <strmif.h>

#include <atomic>

class InputPinBase : public PinBase, public IMemInputPin {
public:
    InputPinBase(FilterBase* filter, CriticalSection* lock, const WCHAR* name);
    ~InputPinBase() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // Hook after PinBase's: the gate Receive checks first; S_OK lets a
    // sample in, anything else is returned to the sender.
    virtual HRESULT CanStream() = 0;

    // PinBase hooks
    HRESULT Activate() override;
    HRESULT Deactivate() override;
    HRESULT DropConnection() override;

    // IPin (EndOfStream is the derived pin's)
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    // IQualityControl: messages from downstream are not acted on.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality message) override;

    // IMemInputPin
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* out) override;
    // Checks CanStream, records the sample's properties and refuses a type
    // change this pin does not accept. A derived Receive calls it first.
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count,
                                              LONG* processed) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

    IMemInputPin* AsMemInputPin() { return static_cast<IMemInputPin*>(this); }
    // The properties of the sample being received; pMediaType stays valid
    // until the next Receive.
    const AM_SAMPLE2_PROPERTIES& SampleProperties() const { return sampleProperties_; }
    IMemAllocator* Allocator() const { return allocator_.get(); }
    bool IsReadOnly() const { return readOnly_; }
    bool IsFlushing() const { return flushing_; }

protected:
    // Set by NotifyAllocator under the filter lock, before streaming; the
    // streaming thread reads them while connections cannot change.
    ComPtr<IMemAllocator> allocator_; // +1 on the agreed allocator
    bool readOnly_ = false;
    // Written under the filter lock (flush, stop); atomic because Receive
    // reads it on the streaming thread without that lock.
    std::atomic<bool> flushing_{false};
    AM_SAMPLE2_PROPERTIES sampleProperties_{}; // the streaming thread's own

private:
    HRESULT RecordProperties(IMediaSample* sample);

    // A type change read through IMediaSample::GetMediaType is the caller's
    // to free; held here until the next sample replaces it.
    AM_MEDIA_TYPE* ownedSampleType_ = nullptr;
};

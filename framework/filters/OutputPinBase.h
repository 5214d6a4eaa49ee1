// An output pin that delivers samples in shared-memory buffers: the
// allocator agreement with the downstream input pin, buffers, and the
// forwarding of samples and stream notifications downstream.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/filters/PinBase.h"

#include <windows.h>
#include <strmif.h>

class OutputPinBase : public PinBase {
public:
    OutputPinBase(FilterBase* filter, CriticalSection* lock, const WCHAR* name);
    ~OutputPinBase() override;

    // Hooks, in slot order after PinBase's.
    // Agrees on an allocator with `input`: its own first, else a new one.
    virtual HRESULT ChooseAllocator(IMemInputPin* input, IMemAllocator** out);
    // Sets the buffer count and size on `allocator` (the derived pin's
    // choice); `request` holds the downstream pin's requirements.
    virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    virtual HRESULT GetEmptySample(IMediaSample** sample, REFERENCE_TIME* start,
                                   REFERENCE_TIME* stop, DWORD flags);
    virtual HRESULT SendSample(IMediaSample* sample);
    virtual HRESULT MakeAllocator(IMemAllocator** out);
    virtual HRESULT SendEndOfStream();
    virtual HRESULT SendBeginFlush();
    virtual HRESULT SendEndFlush();
    virtual HRESULT SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // PinBase hooks
    HRESULT Activate() override;
    HRESULT Deactivate() override;
    HRESULT VetPeer(IPin* peer) override;
    HRESULT DropConnection() override;
    HRESULT FinishConnection(IPin* peer) override;

    // IPin: an output pin never receives these.
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    IMemAllocator* Allocator() const { return allocator_.get(); }

protected:
    // Set at connection under the filter lock; the streaming thread reads them
    // without it, while connections cannot change (the filter is not stopped).
    ComPtr<IMemAllocator> allocator_;      // +1 on the agreed allocator
    ComPtr<IMemInputPin> downstreamInput_; // +1 on the peer's IMemInputPin
};

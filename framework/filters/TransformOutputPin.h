// The output pin of a TransformFilterBase: "XForm Out", identifier "Out".
// Its types depend on the input pin's connection; seeking and position
// requests are passed upstream through the platform's seeking pass-through.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/OutputPinBase.h"

class TransformFilterBase;

class TransformOutputPin : public OutputPinBase {
public:
    TransformOutputPin(TransformFilterBase* filter, CriticalSection* lock);
    ~TransformOutputPin() override;

    // IMediaSeeking and IMediaPosition come from the pass-through.
    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // PinBase hooks
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;
    HRESULT VetPeer(IPin* peer) override;
    HRESULT DropConnection() override;
    HRESULT FinishConnection(IPin* peer) override;
    HRESULT ProposeType(int position, MediaTypeRecord* type) override;
    // OutputPinBase hook
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // IPin
    // The identifier FindPin knows, not the display name.
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* out) override;
    // IQualityControl: the filter's HandleQuality, else upstream.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality message) override;

private:
    TransformFilterBase* const transformFilter_; // not counted: the filter owns the pin
    CriticalSection passThroughLock_;            // guards the making of the pass-through only
    ComPtr<IUnknown> seekingPassThrough_; // +1 on the aggregated pass-through, made on first use
};

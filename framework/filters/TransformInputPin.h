// The input pin of a TransformFilterBase: "XForm In", identifier "In". Its
// type checks, connection steps, stream notifications and samples all go
// through the filter's hooks.
#pragma once

#include "framework/filters/InputPinBase.h"

class TransformFilterBase;

class TransformInputPin : public InputPinBase {
public:
    TransformInputPin(TransformFilterBase* filter, CriticalSection* lock);

    // PinBase hooks
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT AdoptType(const AM_MEDIA_TYPE* type) override;
    HRESULT VetPeer(IPin* peer) override;
    HRESULT DropConnection() override;
    HRESULT FinishConnection(IPin* peer) override;
    // InputPinBase hook: may a sample or end of stream pass now?
    HRESULT CanStream() override;

    // IPin
    // The identifier FindPin knows, not the display name.
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;
    // IMemInputPin
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

private:
    TransformFilterBase* const transformFilter_; // not counted: the filter owns the pin
};

#include "framework/filters/TransformInputPin.h"

#include "framework/com/ResultMacros.h"
#include "framework/filters/TransformFilterBase.h"
#include "framework/filters/TransformOutputPin.h"

#include <vfwmsgs.h>

TransformInputPin::TransformInputPin(TransformFilterBase* filter, CriticalSection* lock)
    : InputPinBase(filter, lock, L"XForm In"), transformFilter(filter) {}

HRESULT TransformInputPin::AcceptType(const AM_MEDIA_TYPE* type) {
    const HRESULT hr = transformFilter->AcceptInputType(type);
    if (hr != S_OK) {
        return hr;
    }
    // A reconnected input must still suit the connected output.
    TransformOutputPin* output = transformFilter->outputPin.get();
    if (output != nullptr && output->IsConnected()) {
        return transformFilter->AcceptTransform(type, &output->ConnectionType());
    }
    return S_OK;
}

HRESULT TransformInputPin::AdoptType(const AM_MEDIA_TYPE* type) {
    RETURN_IF_FAILED(InputPinBase::AdoptType(type));
    return transformFilter->AdoptPinType(PINDIR_INPUT, type);
}

HRESULT TransformInputPin::VetPeer(IPin* peer) {
    RETURN_IF_FAILED(transformFilter->VetPinPeer(PINDIR_INPUT, peer));
    return InputPinBase::VetPeer(peer);
}

HRESULT TransformInputPin::DropConnection() {
    (void)transformFilter->DropPinConnection(PINDIR_INPUT);
    return InputPinBase::DropConnection();
}

HRESULT TransformInputPin::FinishConnection(IPin* peer) {
    RETURN_IF_FAILED(transformFilter->FinishPinConnection(PINDIR_INPUT, peer));
    return InputPinBase::FinishConnection(peer);
}

HRESULT TransformInputPin::CanStream() {
    if (!transformFilter->outputPin->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    if (IsFlushing()) {
        return S_FALSE;
    }
    if (transformFilter->State() == State_Stopped) {
        return VFW_E_WRONG_STATE;
    }
    if (RunTimeError()) {
        return VFW_E_RUNTIME_ERROR;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TransformInputPin::Receive(IMediaSample* sample) {
    auto receiving = transformFilter->receiveLock.lock();
    const HRESULT hr = InputPinBase::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    return transformFilter->ReceiveSample(sample);
}

HRESULT STDMETHODCALLTYPE TransformInputPin::EndOfStream() {
    auto receiving = transformFilter->receiveLock.lock();
    const HRESULT hr = CanStream();
    if (hr != S_OK) {
        return hr;
    }
    return transformFilter->HandleEndOfStream();
}

HRESULT STDMETHODCALLTYPE TransformInputPin::BeginFlush() {
    // Only the filter lock: a Receive blocked downstream holds the receive
    // lock, and the flush is what releases it.
    auto guard = transformFilter->filterLock.lock();
    if (!IsConnected() || !transformFilter->outputPin->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    RETURN_IF_FAILED(InputPinBase::BeginFlush());
    return transformFilter->HandleBeginFlush();
}

HRESULT STDMETHODCALLTYPE TransformInputPin::EndFlush() {
    auto guard = transformFilter->filterLock.lock();
    if (!IsConnected() || !transformFilter->outputPin->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    RETURN_IF_FAILED(transformFilter->HandleEndFlush());
    return InputPinBase::EndFlush();
}

HRESULT STDMETHODCALLTYPE TransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                        double rate) {
    (void)InputPinBase::NewSegment(start, stop, rate);
    return transformFilter->HandleNewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE TransformInputPin::QueryId(LPWSTR* out) {
    return MakeTaskString(L"In", out);
}

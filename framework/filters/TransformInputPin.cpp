#include "framework/filters/TransformInputPin.h"

#include "framework/com/ResultMacros.h"
#include "framework/filters/TransformFilterBase.h"
#include "framework/filters/TransformOutputPin.h"

#include <vfwmsgs.h>

TransformInputPin::TransformInputPin(TransformFilterBase* filter, CriticalSection* lock)
    : InputPinBase(filter, lock, L"XForm In"), transformFilter_(filter) {}

HRESULT TransformInputPin::AcceptType(const AM_MEDIA_TYPE* type) {
    const HRESULT hr = transformFilter_->AcceptInputType(type);
    if (hr != S_OK) {
        return hr;
    }
    // A reconnected input must still suit the connected output.
    TransformOutputPin* output = transformFilter_->outputPin_.get();
    if (output != nullptr && output->IsConnected()) {
        return transformFilter_->AcceptTransform(type, &output->ConnectionType());
    }
    return S_OK;
}

HRESULT TransformInputPin::AdoptType(const AM_MEDIA_TYPE* type) {
    RETURN_IF_FAILED(InputPinBase::AdoptType(type));
    return transformFilter_->AdoptPinType(PINDIR_INPUT, type);
}

HRESULT TransformInputPin::VetPeer(IPin* peer) {
    RETURN_IF_FAILED(transformFilter_->VetPinPeer(PINDIR_INPUT, peer));
    return InputPinBase::VetPeer(peer);
}

HRESULT TransformInputPin::DropConnection() {
    (void)transformFilter_->DropPinConnection(PINDIR_INPUT);
    return InputPinBase::DropConnection();
}

HRESULT TransformInputPin::FinishConnection(IPin* peer) {
    RETURN_IF_FAILED(transformFilter_->FinishPinConnection(PINDIR_INPUT, peer));
    return InputPinBase::FinishConnection(peer);
}

HRESULT TransformInputPin::CanStream() {
    if (!transformFilter_->outputPin_->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    if (IsFlushing()) {
        return S_FALSE;
    }
    if (transformFilter_->State() == State_Stopped) {
        return VFW_E_WRONG_STATE;
    }
    if (RunTimeError()) {
        return VFW_E_RUNTIME_ERROR;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TransformInputPin::Receive(IMediaSample* sample) {
    auto receiving = transformFilter_->receiveLock_.lock();
    const HRESULT hr = InputPinBase::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    return transformFilter_->ReceiveSample(sample);
}

HRESULT STDMETHODCALLTYPE TransformInputPin::EndOfStream() {
    auto receiving = transformFilter_->receiveLock_.lock();
    const HRESULT hr = CanStream();
    if (hr != S_OK) {
        return hr;
    }
    return transformFilter_->HandleEndOfStream();
}

HRESULT STDMETHODCALLTYPE TransformInputPin::BeginFlush() {
    // Only the filter lock: a Receive blocked downstream holds the receive
    // lock, and the flush is what releases it.
    auto guard = transformFilter_->filterLock_.lock();
    if (!IsConnected() || !transformFilter_->outputPin_->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    RETURN_IF_FAILED(InputPinBase::BeginFlush());
    return transformFilter_->HandleBeginFlush();
}

HRESULT STDMETHODCALLTYPE TransformInputPin::EndFlush() {
    auto guard = transformFilter_->filterLock_.lock();
    if (!IsConnected() || !transformFilter_->outputPin_->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    RETURN_IF_FAILED(transformFilter_->HandleEndFlush());
    return InputPinBase::EndFlush();
}

HRESULT STDMETHODCALLTYPE TransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                        double rate) {
    (void)InputPinBase::NewSegment(start, stop, rate);
    return transformFilter_->HandleNewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE TransformInputPin::QueryId(LPWSTR* out) {
    return MakeTaskString(L"In", out);
}

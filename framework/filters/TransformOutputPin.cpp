#include "framework/filters/TransformOutputPin.h"

#include "framework/com/ResultMacros.h"
#include "framework/filters/TransformFilterBase.h"
#include "framework/filters/TransformInputPin.h"

#include <control.h>
#include <vfwmsgs.h>

TransformOutputPin::TransformOutputPin(TransformFilterBase* filter, CriticalSection* lock)
    : OutputPinBase(filter, lock, L"XForm Out"), transformFilter_(filter) {}

TransformOutputPin::~TransformOutputPin() {
    seekingPassThrough_.reset();
}

HRESULT STDMETHODCALLTYPE TransformOutputPin::InnerQueryInterface(REFIID iid, void** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    if (IsEqualIID(iid, IID_IMediaPosition) || IsEqualIID(iid, IID_IMediaSeeking)) {
        // Not the filter lock: a renderer asks for seeking from inside the
        // end of stream that this filter is passing down, while Stop holds
        // the filter lock and waits for that delivery to finish.
        auto guard = passThroughLock_.lock();
        if (!seekingPassThrough_) {
            TransformInputPin* input = transformFilter_->inputPin_.get();
            RETURN_IF_FAILED(MakeSeekingPassThrough(Owner(), FALSE,
                                                    input != nullptr ? input->AsPin() : nullptr,
                                                    seekingPassThrough_.put()));
        }
        return seekingPassThrough_->QueryInterface(iid, out);
    }
    return OutputPinBase::InnerQueryInterface(iid, out);
}

HRESULT TransformOutputPin::AcceptType(const AM_MEDIA_TYPE* type) {
    TransformInputPin* input = transformFilter_->inputPin_.get();
    if (!input->IsConnected()) {
        return E_INVALIDARG;
    }
    return transformFilter_->AcceptTransform(&input->ConnectionType(), type);
}

HRESULT TransformOutputPin::AdoptType(const AM_MEDIA_TYPE* type) {
    RETURN_IF_FAILED(OutputPinBase::AdoptType(type));
    return transformFilter_->AdoptPinType(PINDIR_OUTPUT, type);
}

HRESULT TransformOutputPin::VetPeer(IPin* peer) {
    if (!transformFilter_->inputPin_->IsConnected()) {
        return E_UNEXPECTED;
    }
    RETURN_IF_FAILED(transformFilter_->VetPinPeer(PINDIR_OUTPUT, peer));
    return OutputPinBase::VetPeer(peer);
}

HRESULT TransformOutputPin::DropConnection() {
    (void)transformFilter_->DropPinConnection(PINDIR_OUTPUT);
    return OutputPinBase::DropConnection();
}

HRESULT TransformOutputPin::FinishConnection(IPin* peer) {
    RETURN_IF_FAILED(transformFilter_->FinishPinConnection(PINDIR_OUTPUT, peer));
    return OutputPinBase::FinishConnection(peer);
}

HRESULT TransformOutputPin::ProposeType(int position, MediaTypeRecord* type) {
    if (!transformFilter_->inputPin_->IsConnected()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return transformFilter_->ProposeOutputType(position, type);
}

HRESULT TransformOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    return transformFilter_->SizeOutputBuffers(allocator, request);
}

HRESULT STDMETHODCALLTYPE TransformOutputPin::Notify(IBaseFilter* /*sender*/, Quality message) {
    const HRESULT hr = transformFilter_->HandleQuality(message);
    if (hr == S_FALSE) {
        return transformFilter_->inputPin_->ForwardQuality(message);
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE TransformOutputPin::QueryId(LPWSTR* out) {
    return MakeTaskString(L"Out", out);
}

#include "framework/filters/OutputPinBase.h"

#include "framework/com/ResultMacros.h"

#include <dshow.h>
#include <vfwmsgs.h>

OutputPinBase::OutputPinBase(FilterBase* filter, CriticalSection* lock, const WCHAR* name)
    : PinBase(filter, lock, name, PINDIR_OUTPUT) {}

OutputPinBase::~OutputPinBase() = default;

HRESULT OutputPinBase::ChooseAllocator(IMemInputPin* input, IMemAllocator** out) {
    *out = nullptr;
    ALLOCATOR_PROPERTIES request{};
    input->GetAllocatorRequirements(&request); // a pin may state none
    if (request.cbAlign == 0) {
        request.cbAlign = 1;
    }

    // First choice: the downstream pin's own allocator.
    ComPtr<IMemAllocator> allocator;
    HRESULT result = input->GetAllocator(allocator.put());
    if (SUCCEEDED(result) && !allocator) {
        result = E_POINTER;
    }
    if (SUCCEEDED(result)) {
        result = SizeBuffers(allocator.get(), &request);
    }
    if (SUCCEEDED(result)) {
        result = input->NotifyAllocator(allocator.get(), FALSE);
    }
    if (SUCCEEDED(result)) {
        *out = allocator.detach(); // +1 for the caller
        return S_OK;
    }

    // Second choice: a new one of our own, sized with the same request.
    allocator.reset();
    RETURN_IF_FAILED(MakeAllocator(allocator.put()));
    RETURN_IF_FAILED(SizeBuffers(allocator.get(), &request));
    RETURN_IF_FAILED(input->NotifyAllocator(allocator.get(), FALSE));
    *out = allocator.detach(); // +1 for the caller
    return S_OK;
}

HRESULT OutputPinBase::GetEmptySample(IMediaSample** sample, REFERENCE_TIME* start,
                                      REFERENCE_TIME* stop, DWORD flags) {
    if (!allocator_) {
        return E_NOINTERFACE;
    }
    return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT OutputPinBase::SendSample(IMediaSample* sample) {
    if (!downstreamInput_) {
        return VFW_E_NOT_CONNECTED;
    }
    return downstreamInput_->Receive(sample);
}

HRESULT OutputPinBase::MakeAllocator(IMemAllocator** out) {
    return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(out));
}

HRESULT OutputPinBase::SendEndOfStream() {
    if (!IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return Peer()->EndOfStream();
}

HRESULT OutputPinBase::SendBeginFlush() {
    if (!IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return Peer()->BeginFlush();
}

HRESULT OutputPinBase::SendEndFlush() {
    if (!IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return Peer()->EndFlush();
}

HRESULT OutputPinBase::SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    if (!IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return Peer()->NewSegment(start, stop, rate);
}

HRESULT OutputPinBase::Activate() {
    if (!allocator_) {
        return VFW_E_NO_ALLOCATOR;
    }
    return allocator_->Commit();
}

HRESULT OutputPinBase::Deactivate() {
    SetRunTimeError(false);
    if (!allocator_) {
        return VFW_E_NO_ALLOCATOR;
    }
    return allocator_->Decommit();
}

HRESULT OutputPinBase::VetPeer(IPin* peer) {
    RETURN_IF_FAILED(PinBase::VetPeer(peer));
    return peer->QueryInterface(IID_IMemInputPin, downstreamInput_.put_void()); // +1 on it
}

HRESULT OutputPinBase::DropConnection() {
    if (allocator_) {
        RETURN_IF_FAILED(allocator_->Decommit()); // nothing is released
        allocator_.reset();                       // -1 on the allocator
    }
    downstreamInput_.reset(); // -1 on the downstream input
    return S_OK;
}

HRESULT OutputPinBase::FinishConnection(IPin* /*peer*/) {
    return ChooseAllocator(downstreamInput_.get(), allocator_.put());
}

HRESULT STDMETHODCALLTYPE OutputPinBase::EndOfStream() {
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE OutputPinBase::BeginFlush() {
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE OutputPinBase::EndFlush() {
    return E_UNEXPECTED;
}

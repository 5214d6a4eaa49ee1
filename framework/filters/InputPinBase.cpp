#include "framework/filters/InputPinBase.h"

#include "framework/filters/FilterBase.h"
#include "framework/com/ResultMacros.h"

#include <dshow.h>
#include <evcode.h>
#include <vfwmsgs.h>

InputPinBase::InputPinBase(FilterBase* filter, CriticalSection* lock, const WCHAR* name)
    : PinBase(filter, lock, name, PINDIR_INPUT) {}

InputPinBase::~InputPinBase() {
    FreeTaskMediaType(ownedSampleType_);
    allocator_.reset(); // -1 on the allocator
}

HRESULT STDMETHODCALLTYPE InputPinBase::InnerQueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IMemInputPin)) {
        return HandOutInterface(AsMemInputPin(), out); // +1 on the filter
    }
    return PinBase::InnerQueryInterface(iid, out);
}

HRESULT InputPinBase::Activate() {
    return S_OK;
}

HRESULT InputPinBase::Deactivate() {
    SetRunTimeError(false);
    if (!allocator_) {
        return VFW_E_NO_ALLOCATOR;
    }
    flushing_ = false;
    return allocator_->Decommit();
}

HRESULT InputPinBase::DropConnection() {
    if (allocator_) {
        RETURN_IF_FAILED(allocator_->Decommit()); // the allocator is kept
        allocator_.reset();                       // -1 on the allocator
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::BeginFlush() {
    auto guard = PinLock()->lock();
    flushing_ = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::EndFlush() {
    auto guard = PinLock()->lock();
    flushing_ = false;
    SetRunTimeError(false);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::Notify(IBaseFilter* sender, Quality /*message*/) {
    RETURN_HR_IF_NULL(E_POINTER, sender);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::GetAllocator(IMemAllocator** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    auto guard = PinLock()->lock();
    if (!allocator_) {
        RETURN_IF_FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IMemAllocator, allocator_.put_void()));
    }
    allocator_.copy_to(out); // +1 for the caller
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
    RETURN_HR_IF_NULL(E_POINTER, allocator);
    auto guard = PinLock()->lock();
    allocator_ = ComPtr<IMemAllocator>(allocator); // +1 on the new, -1 on the old
    readOnly_ = readOnly != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* /*out*/) {
    return E_NOTIMPL;
}

HRESULT InputPinBase::RecordProperties(IMediaSample* sample) {
    FreeTaskMediaType(ownedSampleType_);
    ownedSampleType_ = nullptr;
    sampleProperties_ = AM_SAMPLE2_PROPERTIES{};

    ComPtr<IMediaSample2> sample2;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, sample2.put_void())) && sample2) {
        return sample2->GetProperties(sizeof(sampleProperties_),
                                      reinterpret_cast<BYTE*>(&sampleProperties_));
    }

    AM_SAMPLE2_PROPERTIES& p = sampleProperties_;
    p.cbData = sizeof(p);
    if (sample->IsDiscontinuity() == S_OK) {
        p.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
    }
    if (sample->IsPreroll() == S_OK) {
        p.dwSampleFlags |= AM_SAMPLE_PREROLL;
    }
    if (sample->IsSyncPoint() == S_OK) {
        p.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
    }
    if (SUCCEEDED(sample->GetTime(&p.tStart, &p.tStop))) {
        p.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
    }
    if (sample->GetMediaType(&ownedSampleType_) == S_OK) {
        p.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
        p.pMediaType = ownedSampleType_;
    }
    sample->GetPointer(&p.pbBuffer);
    p.lActual = sample->GetActualDataLength();
    p.cbBuffer = sample->GetSize();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::Receive(IMediaSample* sample) {
    RETURN_HR_IF_NULL(E_POINTER, sample);
    const HRESULT gate = CanStream();
    if (gate != S_OK) {
        return gate;
    }
    RETURN_IF_FAILED(RecordProperties(sample));

    if ((sampleProperties_.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0 &&
        (sampleProperties_.pMediaType == nullptr ||
         AcceptType(sampleProperties_.pMediaType) != S_OK)) {
        // A type this pin cannot take ends the stream here.
        SetRunTimeError(true);
        EndOfStream();
        if (IMediaEventSink* sink = Filter()->EventSink()) {
            sink->Notify(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
        }
        return VFW_E_INVALIDMEDIATYPE;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPinBase::ReceiveMultiple(IMediaSample** samples, LONG count,
                                                        LONG* processed) {
    if (samples == nullptr || processed == nullptr) {
        return E_POINTER;
    }
    *processed = 0;
    HRESULT result = S_OK;
    for (LONG index = 0; index < count; ++index) {
        // Through the interface, so that a derived Receive runs.
        result = AsMemInputPin()->Receive(samples[index]);
        if (result != S_OK) {
            break;
        }
        ++*processed;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE InputPinBase::ReceiveCanBlock() {
    bool connectedOutputSeen = false;
    for (int index = 0; index < Filter()->PinCount(); ++index) {
        PinBase* pin = Filter()->PinAt(index);
        PIN_DIRECTION direction;
        RETURN_IF_FAILED(pin->QueryDirection(&direction));
        if (direction != PINDIR_OUTPUT) {
            continue;
        }
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.put())) || !peer) {
            continue;
        }
        connectedOutputSeen = true;
        ComPtr<IMemInputPin> downstream;
        if (FAILED(peer.query_to(downstream)) || !downstream) {
            return S_OK; // a peer we cannot ask may block
        }
        if (downstream->ReceiveCanBlock() != S_FALSE) {
            return S_OK;
        }
    }
    // With no connected output this pin is the end of the stream, like a
    // renderer, and may block.
    return connectedOutputSeen ? S_FALSE : S_OK;
}

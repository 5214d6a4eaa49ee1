#include "framework/filters/TransformFilterBase.h"

#include "framework/com/ComPtr.h"
#include "framework/com/ResultMacros.h"
#include "framework/filters/TransformInputPin.h"
#include "framework/filters/TransformOutputPin.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <new>

TransformFilterBase::TransformFilterBase(const WCHAR* /*debugName*/, IUnknown* outer,
                                         const CLSID& classId)
    : FilterBase(outer, &filterLock_, classId) {}

TransformFilterBase::~TransformFilterBase() {
    // The input pin first; the locks go after both pins.
    inputPin_.reset();
    outputPin_.reset();
}

bool TransformFilterBase::MakePins() {
    if (pinsMade_.load(std::memory_order_acquire)) {
        return true; // no lock once made: the pins never change again
    }
    auto guard = filterLock_.lock();
    if (inputPin_ != nullptr) {
        return true; // another first caller made them
    }
    inputPin_.reset(new (std::nothrow) TransformInputPin(this, &filterLock_));
    if (inputPin_ == nullptr) {
        return false;
    }
    outputPin_.reset(new (std::nothrow) TransformOutputPin(this, &filterLock_));
    if (outputPin_ == nullptr) {
        inputPin_.reset();
        return false;
    }
    pinsMade_.store(true, std::memory_order_release);
    return true;
}

int TransformFilterBase::PinCount() {
    return 2;
}

PinBase* TransformFilterBase::PinAt(int index) {
    if (!MakePins()) {
        return nullptr;
    }
    switch (index) {
    case 0:
        return inputPin_.get();
    case 1:
        return outputPin_.get();
    default:
        return nullptr;
    }
}

HRESULT STDMETHODCALLTYPE TransformFilterBase::FindPin(LPCWSTR id, IPin** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    auto guard = filterLock_.lock();
    int index = -1;
    if (id != nullptr && lstrcmpW(id, L"In") == 0) {
        index = 0;
    } else if (id != nullptr && lstrcmpW(id, L"Out") == 0) {
        index = 1;
    } else {
        return VFW_E_NOT_FOUND;
    }
    PinBase* pin = PinAt(index);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, pin);
    *out = pin->AsPin();
    (*out)->AddRef(); // +1 on this filter, the caller's
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TransformFilterBase::Stop() {
    auto guard = filterLock_.lock();
    if (state_ == State_Stopped) {
        return S_OK;
    }
    if (inputPin_ == nullptr || !inputPin_->IsConnected() || !outputPin_->IsConnected()) {
        state_ = State_Stopped;
        endOfStreamSent_ = false;
        return S_OK;
    }
    // Deactivating the input first turns new samples away, so taking the
    // receive lock waits only for the sample already in progress.
    (void)inputPin_->Deactivate();
    auto receiving = receiveLock_.lock();
    (void)outputPin_->Deactivate();
    const HRESULT hr = OnStreamingStop();
    if (SUCCEEDED(hr)) {
        state_ = State_Stopped;
        endOfStreamSent_ = false;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE TransformFilterBase::Pause() {
    auto guard = filterLock_.lock();
    HRESULT hr = S_OK;
    if (state_ == State_Paused) {
        // Nothing to do.
    } else if (inputPin_ == nullptr || !inputPin_->IsConnected()) {
        // Nothing will ever arrive: tell downstream once, until the next Stop.
        if (outputPin_ != nullptr && !endOfStreamSent_) {
            (void)outputPin_->SendEndOfStream();
            endOfStreamSent_ = true;
        }
        state_ = State_Paused;
    } else if (!outputPin_->IsConnected()) {
        state_ = State_Paused;
    } else {
        if (state_ == State_Stopped) {
            auto receiving = receiveLock_.lock();
            hr = OnStreamingStart();
        }
        if (SUCCEEDED(hr)) {
            hr = FilterBase::Pause();
        }
    }
    sampleSkipped_ = false;
    qualityChanged_ = false;
    return hr;
}

HRESULT TransformFilterBase::OnStreamingStart() {
    return S_OK;
}
HRESULT TransformFilterBase::OnStreamingStop() {
    return S_OK;
}
HRESULT TransformFilterBase::HandleQuality(const Quality& /*message*/) {
    return S_FALSE;
}
HRESULT TransformFilterBase::AdoptPinType(PIN_DIRECTION /*direction*/,
                                          const AM_MEDIA_TYPE* /*type*/) {
    return S_OK;
}
HRESULT TransformFilterBase::VetPinPeer(PIN_DIRECTION /*direction*/, IPin* /*peer*/) {
    return S_OK;
}
HRESULT TransformFilterBase::DropPinConnection(PIN_DIRECTION /*direction*/) {
    return S_OK;
}
HRESULT TransformFilterBase::FinishPinConnection(PIN_DIRECTION /*direction*/, IPin* /*peer*/) {
    return S_OK;
}

HRESULT TransformFilterBase::ReceiveSample(IMediaSample* input) {
    // Samples of another stream (control data) are not ours to transform.
    if (inputPin_->SampleProperties().dwStreamId != AM_STREAM_MEDIA) {
        return outputPin_->SendSample(input);
    }
    ComPtr<IMediaSample> output; // +1 on the output buffer until it is delivered or dropped
    RETURN_IF_FAILED(PrepareOutputSample(input, output.put()));

    const HRESULT hr = TransformSample(input, output.get());
    if (FAILED(hr)) {
        return hr;
    }
    if (hr == S_OK) {
        const HRESULT delivered = outputPin_->SendSample(output.get());
        sampleSkipped_ = false;
        return delivered;
    }
    if (hr == S_FALSE) {
        sampleSkipped_ = true;
        if (!qualityChanged_) {
            (void)NotifyGraphEvent(EC_QUALITY_CHANGE, 0, 0);
            qualityChanged_ = true;
        }
        return S_OK;
    }
    return hr;
}

HRESULT TransformFilterBase::PrepareOutputSample(IMediaSample* input, IMediaSample** output) {
    *output = nullptr;
    const AM_SAMPLE2_PROPERTIES& recorded = inputPin_->SampleProperties();
    const DWORD inputFlags = recorded.dwSampleFlags;

    DWORD bufferFlags = 0;
    if (sampleSkipped_) {
        bufferFlags |= AM_GBF_PREVFRAMESKIPPED;
    }
    if ((inputFlags & AM_SAMPLE_SPLICEPOINT) == 0) {
        bufferFlags |= AM_GBF_NOTASYNCPOINT;
    }
    REFERENCE_TIME start = recorded.tStart;
    REFERENCE_TIME stop = recorded.tStop;
    RETURN_IF_FAILED(outputPin_->GetEmptySample(
        output, (inputFlags & AM_SAMPLE_TIMEVALID) != 0 ? &start : nullptr,
        (inputFlags & AM_SAMPLE_STOPVALID) != 0 ? &stop : nullptr, bufferFlags));
    IMediaSample* sample = *output;

    ComPtr<IMediaSample2> sample2;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, sample2.put_void()))) {
        // The first four fields: size, type-specific flags, sample flags, actual length.
        AM_SAMPLE2_PROPERTIES properties = {};
        if (SUCCEEDED(sample2->GetProperties(16, reinterpret_cast<BYTE*>(&properties)))) {
            properties.cbData = 32; // through tStop
            properties.dwTypeSpecificFlags = recorded.dwTypeSpecificFlags;
            properties.dwSampleFlags = (inputFlags & ~AM_SAMPLE_TYPECHANGED) |
                                       (properties.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
            properties.tStart = recorded.tStart;
            properties.tStop = recorded.tStop;
            if (SUCCEEDED(sample2->SetProperties(32, reinterpret_cast<const BYTE*>(&properties)))) {
                if ((inputFlags & AM_SAMPLE_DATADISCONTINUITY) != 0) {
                    sampleSkipped_ = false;
                }
                return S_OK;
            }
        }
        // Samples that refuse the property calls still get the times and
        // flags through the IMediaSample setters below.
    }

    if ((inputFlags & AM_SAMPLE_TIMEVALID) != 0) {
        sample->SetTime(&start, &stop);
    }
    if ((inputFlags & AM_SAMPLE_SPLICEPOINT) != 0) {
        sample->SetSyncPoint(TRUE);
    }
    if ((inputFlags & AM_SAMPLE_DATADISCONTINUITY) != 0) {
        sample->SetDiscontinuity(TRUE);
        sampleSkipped_ = false;
    }
    REFERENCE_TIME mediaStart = 0;
    REFERENCE_TIME mediaStop = 0;
    if (SUCCEEDED(input->GetMediaTime(&mediaStart, &mediaStop))) {
        sample->SetMediaTime(&mediaStart, &mediaStop);
    }
    return S_OK;
}

HRESULT TransformFilterBase::HandleEndOfStream() {
    return outputPin_ != nullptr ? outputPin_->SendEndOfStream() : S_OK;
}

HRESULT TransformFilterBase::HandleBeginFlush() {
    return outputPin_ != nullptr ? outputPin_->SendBeginFlush() : S_OK;
}

HRESULT TransformFilterBase::HandleEndFlush() {
    // Reached only through the input pin, which exists only with the output pin.
    return outputPin_->SendEndFlush();
}

HRESULT TransformFilterBase::HandleNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                              double rate) {
    return outputPin_ != nullptr ? outputPin_->SendNewSegment(start, stop, rate) : S_OK;
}

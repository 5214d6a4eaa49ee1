#include "graph/WavSink.h"

#include "framework/com/ResultMacros.h"

#include <control.h>
#include <evcode.h>
#include <mmreg.h>

#include <new>

namespace {
// {3C1F9A52-6B0E-4E7D-9A1C-5D2B8E4F7A10}: the sink is made only by this
// program and never registered.
constexpr CLSID kWavSinkClassId = {
    0x3c1f9a52, 0x6b0e, 0x4e7d, {0x9a, 0x1c, 0x5d, 0x2b, 0x8e, 0x4f, 0x7a, 0x10}};
} // namespace

HRESULT WavSink::Create(WavWriter* writer, ComPtr<IBaseFilter>& out, WavSink** sink) {
    *sink = nullptr;
    auto* object = new (std::nothrow) WavSink(writer);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, object);
    if (!object->pin_) {
        delete object; // born with no reference
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = QueryNewObject(object, IID_IBaseFilter, out.put_void()); // +1 in out
    if (SUCCEEDED(hr)) {
        *sink = object;
    }
    return hr;
}

WavSink::WavSink(WavWriter* writer)
    : FilterBase(nullptr, &lock_, kWavSinkClassId),
      pin_(new (std::nothrow) WavSinkPin(this, &lock_)), writer_(writer) {}

WavSink::~WavSink() {
    seekingPassThrough_.reset(); // -1 on the pass-through
    pin_.reset();                // before the lock it shares
}

HRESULT STDMETHODCALLTYPE WavSink::InnerQueryInterface(REFIID iid, void** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    if (IsEqualIID(iid, IID_IAMFilterMiscFlags)) {
        return HandOutInterface(static_cast<IAMFilterMiscFlags*>(this), out); // +1 on Owner()
    }
    if (IsEqualIID(iid, IID_IMediaSeeking) || IsEqualIID(iid, IID_IMediaPosition)) {
        *out = nullptr;
        auto guard = lock_.lock();
        if (!seekingPassThrough_) {
            RETURN_IF_FAILED(PinBase::MakeSeekingPassThrough(Owner(), TRUE, pin_->AsPin(),
                                                             seekingPassThrough_.put()));
        }
        return seekingPassThrough_->QueryInterface(iid, out); // +1 on Owner()
    }
    return FilterBase::InnerQueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE WavSink::GetMiscFlags() {
    return AM_FILTER_MISC_FLAGS_IS_RENDERER;
}

HRESULT STDMETHODCALLTYPE WavSink::Stop() {
    auto guard = lock_.lock();
    if (pin_->IsConnected()) {
        (void)pin_->Deactivate(); // decommits: a delivery under way fails and ends
    }
    pin_->ResetStream();
    completePending_ = false;
    state_ = State_Stopped;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WavSink::Run(REFERENCE_TIME start) {
    bool complete = false;
    {
        auto guard = lock_.lock();
        RETURN_IF_FAILED(FilterBase::Run(start));
        complete = completePending_;
        completePending_ = false;
    }
    if (complete) {
        NotifyGraphEvent(EC_COMPLETE, S_OK, 0);
    }
    return S_OK;
}

bool WavSink::ConnectedFormat(int& channelCount, int& sampleRate) {
    auto guard = lock_.lock();
    const MediaTypeRecord& type = pin_->ConnectionType();
    if (!pin_->IsConnected() || type.pbFormat == nullptr || type.cbFormat < sizeof(PCMWAVEFORMAT)) {
        return false;
    }
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    channelCount = format->nChannels;
    sampleRate = static_cast<int>(format->nSamplesPerSec);
    return true;
}

void WavSink::StreamEnded() {
    {
        auto guard = lock_.lock();
        if (state_ != State_Running) {
            completePending_ = true; // a renderer completes only while running
            return;
        }
    }
    NotifyGraphEvent(EC_COMPLETE, S_OK, 0);
}

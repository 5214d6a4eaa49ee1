#include "graph/WavSinkPin.h"

#include "graph/SampleAllocator.h"
#include "graph/WavSink.h"
#include "files/WavWriter.h"

#include "framework/com/ResultMacros.h"

#include <evcode.h>
#include <mmreg.h>
#include <uuids.h>
#include <vfwmsgs.h>

WavSinkPin::WavSinkPin(WavSink* sink, CriticalSection* lock)
    : InputPinBase(sink, lock, L"In"), sink_(sink) {}

HRESULT WavSinkPin::AcceptType(const AM_MEDIA_TYPE* type) {
    RETURN_HR_IF_NULL(E_POINTER, type);
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Audio) ||
        !IsEqualGUID(type->subtype, MEDIASUBTYPE_PCM) ||
        !IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) || type->pbFormat == nullptr ||
        type->cbFormat < sizeof(PCMWAVEFORMAT)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
    if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 ||
        format->nChannels == 0 || format->nSamplesPerSec == 0 ||
        format->nBlockAlign != format->nChannels * 2) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT WavSinkPin::CanStream() {
    if (IsFlushing() || failed_) {
        return S_FALSE;
    }
    if (sink_->State() == State_Stopped) {
        return VFW_E_WRONG_STATE;
    }
    if (endOfStream_) {
        return VFW_E_SAMPLE_REJECTED_EOS;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WavSinkPin::GetAllocator(IMemAllocator** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    auto guard = PinLock()->lock();
    if (!allocator_) {
        RETURN_IF_FAILED(SampleAllocator::Create(allocator_.put()));
    }
    allocator_.copy_to(out); // +1 for the caller
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WavSinkPin::Receive(IMediaSample* sample) {
    const HRESULT accepted = InputPinBase::Receive(sample);
    if (accepted != S_OK) {
        return accepted;
    }
    BYTE* data = nullptr;
    RETURN_IF_FAILED(sample->GetPointer(&data));
    const long length = sample->GetActualDataLength();
    if (length <= 0) {
        return S_OK;
    }
    std::string error;
    if (!sink_->Writer()->Write(data, static_cast<size_t>(length), error)) {
        // Upstream stops delivering; the graph tells the application.
        failed_ = true;
        writeError_ = error;
        sink_->NotifyGraphEvent(EC_ERRORABORT, STG_E_WRITEFAULT, 0);
        return S_FALSE;
    }
    bytesWritten_ += static_cast<unsigned long long>(length);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WavSinkPin::EndOfStream() {
    {
        auto guard = PinLock()->lock();
        const HRESULT gate = CanStream();
        if (gate != S_OK) {
            return gate;
        }
        endOfStream_ = true;
    }
    sink_->StreamEnded();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WavSinkPin::EndFlush() {
    {
        auto guard = PinLock()->lock();
        endOfStream_ = false; // a new segment follows
    }
    return InputPinBase::EndFlush();
}

void WavSinkPin::ResetStream() {
    endOfStream_ = false;
}

std::string WavSinkPin::WriteError() {
    return writeError_;
}

#include "RecordingSink.h"

#include "framework/ResultMacros.h"

#include <vfwmsgs.h>

namespace decodertest {

namespace {
// {5E1DDA11-0D3C-4C1E-9B59-7E5A1D2C0002}: only used in tests.
constexpr CLSID kRecordingSinkClassId = {
    0x5e1dda11, 0x0d3c, 0x4c1e, {0x9b, 0x59, 0x7e, 0x5a, 0x1d, 0x2c, 0x00, 0x02}};
} // namespace

HRESULT STDMETHODCALLTYPE SpyAllocator::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMemAllocator)) {
        *out = static_cast<IMemAllocator*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE SpyAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                                  REFERENCE_TIME* stop, DWORD flags) {
    {
        std::lock_guard<std::mutex> guard(mutex);
        requestFlags.push_back(flags);
        requestHadStart.push_back(start != nullptr);
        requestHadStop.push_back(stop != nullptr);
    }
    return inner->GetBuffer(sample, start, stop, flags);
}

RecordingSinkPin::RecordingSinkPin(RecordingSink* filter, CriticalSection* lock,
                                   SpyAllocator* allocator)
    : InputPinBase(filter, lock, L"In"), sink(filter), spy(allocator) {}

HRESULT RecordingSinkPin::AcceptType(const AM_MEDIA_TYPE* /*type*/) {
    return S_OK;
}

HRESULT RecordingSinkPin::CanStream() {
    if (IsFlushing()) {
        return S_FALSE;
    }
    return sink->State() == State_Stopped ? VFW_E_WRONG_STATE : S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingSinkPin::EndOfStream() {
    std::lock_guard<std::mutex> guard(mutex);
    ++endOfStreamCount;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingSinkPin::BeginFlush() {
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++beginFlushCount;
    }
    return InputPinBase::BeginFlush();
}

HRESULT STDMETHODCALLTYPE RecordingSinkPin::EndFlush() {
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++endFlushCount;
    }
    return InputPinBase::EndFlush();
}

HRESULT STDMETHODCALLTYPE RecordingSinkPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                       double rate) {
    {
        std::lock_guard<std::mutex> guard(mutex);
        segmentRates.push_back(rate);
        lastSegmentStart = start;
        lastSegmentStop = stop;
    }
    return InputPinBase::NewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE RecordingSinkPin::GetAllocator(IMemAllocator** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = spy;
    spy->AddRef(); // the caller's
    return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingSinkPin::Receive(IMediaSample* sample) {
    const HRESULT hr = InputPinBase::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    ReceivedSample record = {};
    record.bytes = sample->GetActualDataLength();
    record.hasTime = SUCCEEDED(sample->GetTime(&record.start, &record.stop));
    record.discontinuity = sample->IsDiscontinuity() == S_OK;
    record.syncPoint = sample->IsSyncPoint() == S_OK;
    record.preroll = sample->IsPreroll() == S_OK;
    std::lock_guard<std::mutex> guard(mutex);
    samples.push_back(record);
    return S_OK;
}

RecordingSink::RecordingSink(SpyAllocator* allocator)
    : FilterBase(nullptr, &lock, kRecordingSinkClassId),
      pin(new RecordingSinkPin(this, &lock, allocator)) {}

RecordingSink::~RecordingSink() {
    pin.reset();
}

HRESULT STDMETHODCALLTYPE RecordingSink::Stop() {
    auto guard = lock.lock();
    if (pin->IsConnected()) {
        (void)pin->Deactivate();
    }
    state_ = State_Stopped;
    return S_OK;
}

} // namespace decodertest

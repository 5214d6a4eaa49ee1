#include "CapturePin.h"

#include "CaptureSink.h"
#include "GraphHelpers.h"

#include "framework/com/ResultMacros.h"

#include <vfwmsgs.h>

namespace testgraph {

CapturePin::CapturePin(CaptureSink* filter, CriticalSection* lock, const CaptureOptions& options)
    : InputPinBase(filter, lock, L"In"), sink_(filter), options_(options),
      ownAllocator_(options.allocator) {}

CapturePin::~CapturePin() = default;

HRESULT CapturePin::AcceptType(const AM_MEDIA_TYPE*) {
    return S_OK;
}

HRESULT CapturePin::CanStream() {
    if (IsFlushing()) {
        return S_FALSE;
    }
    return sink_->State() == State_Stopped ? VFW_E_WRONG_STATE : S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::EndOfStream() {
    if (options_.askStopPositionAtEndMs >= 0) {
        Sleep(static_cast<DWORD>(options_.askStopPositionAtEndMs));
        ComPtr<IPin> upstream;
        ComPtr<IMediaSeeking> seeking;
        LONGLONG stop = 0;
        if (SUCCEEDED(ConnectedTo(upstream.put())) &&
            SUCCEEDED(upstream->QueryInterface(IID_IMediaSeeking, seeking.put_void()))) {
            seeking->GetStopPosition(&stop);
        }
    }
    std::lock_guard<std::mutex> guard(mutex_);
    ++endOfStreamCount_;
    events_ += 'X';
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::BeginFlush() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++beginFlushCount_;
        events_ += 'B';
    }
    return InputPinBase::BeginFlush();
}

HRESULT STDMETHODCALLTYPE CapturePin::EndFlush() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++endFlushCount_;
        events_ += 'E';
        samplesAtLastEndFlush_ = samples_.size();
    }
    return InputPinBase::EndFlush();
}

HRESULT STDMETHODCALLTYPE CapturePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                 double rate) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        segments_.push_back({start, stop, rate});
        events_ += 'N';
    }
    return InputPinBase::NewSegment(start, stop, rate);
}

HRESULT STDMETHODCALLTYPE CapturePin::GetAllocator(IMemAllocator** out) {
    if (!ownAllocator_) {
        return InputPinBase::GetAllocator(out);
    }
    RETURN_HR_IF_NULL(E_POINTER, out);
    ownAllocator_.copy_to(out); // +1 for the caller
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    RETURN_HR_IF_NULL(E_POINTER, props);
    if (options_.bufferBytes == 0 && options_.bufferCount == 0) {
        return E_NOTIMPL;
    }
    props->cbBuffer = options_.bufferBytes;
    props->cBuffers = options_.bufferCount;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::Receive(IMediaSample* sample) {
    RETURN_HR_IF_NULL(E_POINTER, sample);
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (receiveCalls_++ == options_.refuseSample) {
            return S_FALSE;
        }
    }
    const HRESULT accepted = InputPinBase::Receive(sample);
    if (accepted != S_OK) {
        return accepted;
    }
    CapturedSample record;
    BYTE* data = nullptr;
    if (SUCCEEDED(sample->GetPointer(&data))) {
        record.bytes.assign(data, data + sample->GetActualDataLength());
    }
    record.hasTime = SUCCEEDED(sample->GetTime(&record.start, &record.stop));
    record.hasMediaTime = SUCCEEDED(sample->GetMediaTime(&record.mediaStart, &record.mediaEnd));
    record.discontinuity = sample->IsDiscontinuity() == S_OK;
    record.preroll = sample->IsPreroll() == S_OK;
    record.syncPoint = sample->IsSyncPoint() == S_OK;
    std::lock_guard<std::mutex> guard(mutex_);
    recordedBytes_ += record.bytes.size();
    samples_.push_back(std::move(record));
    events_ += 'S';
    if (options_.holdSamples) {
        held_.emplace_back(sample);
    }
    return S_OK;
}

bool CapturePin::WaitForEndOfStream(int count, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] { return EndOfStreamCount() >= count; });
}

bool CapturePin::WaitForSamples(size_t count, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] {
        std::lock_guard<std::mutex> guard(mutex_);
        return samples_.size() >= count;
    });
}

bool CapturePin::WaitForBytes(size_t bytes, DWORD timeoutMs) {
    return PollUntil(timeoutMs, [&] { return RecordedBytes() >= bytes; });
}

void CapturePin::ReleaseHeldSamples() {
    std::vector<ComPtr<IMediaSample>> held;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        held.swap(held_);
    }
}

void CapturePin::ClearSamples() {
    std::lock_guard<std::mutex> guard(mutex_);
    samples_.clear();
    recordedBytes_ = 0;
    samplesAtLastEndFlush_ = 0;
}

std::vector<CapturedSample> CapturePin::Samples() {
    std::lock_guard<std::mutex> guard(mutex_);
    return samples_;
}

size_t CapturePin::RecordedBytes() {
    std::lock_guard<std::mutex> guard(mutex_);
    return recordedBytes_;
}

int CapturePin::EndOfStreamCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return endOfStreamCount_;
}

int CapturePin::BeginFlushCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return beginFlushCount_;
}

int CapturePin::EndFlushCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return endFlushCount_;
}

std::vector<CapturePin::Segment> CapturePin::Segments() {
    std::lock_guard<std::mutex> guard(mutex_);
    return segments_;
}

size_t CapturePin::SamplesAtLastEndFlush() {
    std::lock_guard<std::mutex> guard(mutex_);
    return samplesAtLastEndFlush_;
}

std::string CapturePin::Events() {
    std::lock_guard<std::mutex> guard(mutex_);
    return events_;
}

int CapturePin::ReceiveCalls() {
    std::lock_guard<std::mutex> guard(mutex_);
    return receiveCalls_;
}

} // namespace testgraph

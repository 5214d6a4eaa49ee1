#include "CaptureSink.h"

#include "framework/ResultMacros.h"

#include <vfwmsgs.h>

#include <chrono>
#include <thread>

namespace parsertest {

namespace {

// {5E1DDA11-0D3C-4C1E-9B59-7E5A1D2C0010}: only used in tests.
constexpr CLSID kCaptureSinkClassId = {
    0x5e1dda11, 0x0d3c, 0x4c1e, {0x9b, 0x59, 0x7e, 0x5a, 0x1d, 0x2c, 0x00, 0x10}};

// Polls `done` every millisecond until it holds or the time is up.
template <typename Predicate> bool PollUntil(DWORD timeoutMs, Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

CapturePin::CapturePin(CaptureSink* filter, CriticalSection* lock, const CaptureOptions& options)
    : InputPinBase(filter, lock, L"In"), sink_(filter), options_(options) {}

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
    std::lock_guard<std::mutex> guard(mutex_);
    ++endOfStreamCount_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CapturePin::BeginFlush() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++beginFlushCount_;
    }
    return InputPinBase::BeginFlush();
}

HRESULT STDMETHODCALLTYPE CapturePin::EndFlush() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++endFlushCount_;
        samplesAtLastEndFlush_ = samples_.size();
    }
    return InputPinBase::EndFlush();
}

HRESULT STDMETHODCALLTYPE CapturePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                 double rate) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        segments_.push_back({start, stop, rate});
    }
    return InputPinBase::NewSegment(start, stop, rate);
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
    samples_.push_back(std::move(record));
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

void CapturePin::ReleaseHeldSamples() {
    std::vector<ComPtr<IMediaSample>> held;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        held.swap(held_);
    }
}

std::vector<CapturedSample> CapturePin::Samples() {
    std::lock_guard<std::mutex> guard(mutex_);
    return samples_;
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

int CapturePin::SegmentCount() {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(segments_.size());
}

std::vector<CapturePin::Segment> CapturePin::Segments() {
    std::lock_guard<std::mutex> guard(mutex_);
    return segments_;
}

size_t CapturePin::SamplesAtLastEndFlush() {
    std::lock_guard<std::mutex> guard(mutex_);
    return samplesAtLastEndFlush_;
}

int CapturePin::ReceiveCalls() {
    std::lock_guard<std::mutex> guard(mutex_);
    return receiveCalls_;
}

CaptureSink::CaptureSink(const CaptureOptions& options)
    : FilterBase(nullptr, &lock_, kCaptureSinkClassId),
      pin_(new CapturePin(this, &lock_, options)) {}

CaptureSink::~CaptureSink() {
    pin_->ReleaseHeldSamples();
    pin_.reset();
}

HRESULT STDMETHODCALLTYPE CaptureSink::Stop() {
    auto guard = lock_.lock();
    // Stopped first, so that nothing is received (and held) any more; then
    // the held buffers go back, so that an upstream waiting for one ends.
    state_ = State_Stopped;
    pin_->ReleaseHeldSamples();
    if (pin_->IsConnected()) {
        (void)pin_->Deactivate();
    }
    return S_OK;
}

} // namespace parsertest

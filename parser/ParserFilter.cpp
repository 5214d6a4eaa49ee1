#include "parser/ParserFilter.h"

#include "framework/com/ComPtr.h"
#include "framework/com/ResultMacros.h"
#include "parser/AdxMediaType.h"
#include "parser/ParserInputPin.h"
#include "parser/ParserOutputPin.h"
#include "parser/UserSettings.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14D}
constexpr CLSID kParserFilterClassId = CLSID_AdxParserFilter;
// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14E}
constexpr CLSID kParserPropertyPageClassId = CLSID_AdxParserPropertyPage;

} // namespace

UnknownBase* ParserFilter::CreateInstance(IUnknown* outer, HRESULT* result) {
    auto* filter = new (std::nothrow) ParserFilter(outer, result);
    if (filter == nullptr) {
        *result = E_OUTOFMEMORY;
    }
    return filter;
}

ParserFilter::ParserFilter(IUnknown* outer, HRESULT*)
    : FilterBase(outer, &filterLock_, kParserFilterClassId) {}

ParserFilter::~ParserFilter() {
    // The input pin first: its PullReader thread delivers to the output pin.
    inputPin_.reset();
    outputPin_.reset();
}

HRESULT STDMETHODCALLTYPE ParserFilter::InnerQueryInterface(REFIID iid, void** out) {
    if (out != nullptr) {
        if (IsEqualIID(iid, IID_ISpecifyPropertyPages)) {
            return HandOutInterface(static_cast<ISpecifyPropertyPages*>(this), out);
        }
        if (IsEqualIID(iid, IID_IAdxParserControl)) {
            return HandOutInterface(static_cast<IAdxParserControl*>(this), out);
        }
    }
    return FilterBase::InnerQueryInterface(iid, out);
}

int ParserFilter::PinCount() {
    return inputPin_ && inputPin_->IsConnected() ? 2 : 1;
}

PinBase* ParserFilter::PinAt(int index) {
    auto guard = filterLock_.lock();
    if (!inputPin_) {
        auto input =
            std::unique_ptr<ParserInputPin>(new (std::nothrow) ParserInputPin(this, &filterLock_));
        auto output = std::unique_ptr<ParserOutputPin>(
            input ? new (std::nothrow) ParserOutputPin(this, &filterLock_) : nullptr);
        if (!output) {
            return nullptr; // no pins at all; the next call tries again
        }
        inputPin_ = std::move(input);
        outputPin_ = std::move(output);
    }
    if (index == 0) {
        return inputPin_.get();
    }
    if (index == 1 && inputPin_->IsConnected()) {
        return outputPin_.get();
    }
    return nullptr;
}

bool ParserFilter::IsOutputConnected() const {
    return outputPin_ && outputPin_->IsConnected();
}

HRESULT STDMETHODCALLTYPE ParserFilter::Pause() {
    auto guard = filterLock_.lock();
    if (state_ == State_Stopped) {
        // Pins activated before a failure stay active, as Stop expects.
        if (IsOutputConnected()) {
            RETURN_IF_FAILED(outputPin_->Activate());
        }
        if (inputPin_ && inputPin_->IsConnected()) {
            RETURN_IF_FAILED(inputPin_->Activate());
        }
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserFilter::Stop() {
    auto guard = filterLock_.lock();
    if (state_ == State_Stopped) {
        return S_OK;
    }
    // The pull thread may wait in GetBuffer for an output buffer that a
    // downstream still running holds (this Stop did not come through the
    // graph): decommitting the output allocator first ends that wait, and the
    // thread's chunk ends quietly, so the wait for the thread below ends too.
    // Decommit takes no lock of this filter.
    if (IsOutputConnected() && outputPin_->Allocator() != nullptr) {
        outputPin_->Allocator()->Decommit();
    }
    // Whenever the input is connected its PullReader may be running, also
    // with no output connected: it must end before the filter stops.
    if (inputPin_ && inputPin_->IsConnected()) {
        inputPin_->Deactivate(); // the PullReader thread ends
    }
    {
        auto delivery = deliveryLock_.lock();
        if (IsOutputConnected()) {
            outputPin_->Deactivate(); // decommits: no delivery runs now
        }
    }
    state_ = State_Stopped;
    auto plan = planLock_.lock();
    // Presentation times restart at 0; a pending loop jump or end is gone.
    planner_.Rewind();
    return S_OK;
}

// IAdxParserControl

HRESULT STDMETHODCALLTYPE ParserFilter::GetFormatInfo(AdxFormatInfo* info) {
    RETURN_HR_IF_NULL(E_POINTER, info);
    auto plan = planLock_.lock();
    info->version = header_.version;
    info->blockSize = header_.blockSize;
    info->bitsPerSample = header_.bitsPerSample;
    info->samplesPerBlock = header_.samplesPerBlock;
    info->channelCount = header_.channelCount;
    info->sampleRate = header_.sampleRate;
    return S_OK;
}

INT32 STDMETHODCALLTYPE ParserFilter::GetTotalSamples() {
    auto plan = planLock_.lock();
    return header_.totalSamples;
}

HRESULT STDMETHODCALLTYPE ParserFilter::SetFileOffset(INT32 byteOffset) {
    auto guard = filterLock_.lock();
    if (!inputPin_) {
        return S_FALSE;
    }
    return inputPin_->SetFileOffset(byteOffset);
}

INT32 STDMETHODCALLTYPE ParserFilter::GetFileOffset() {
    auto guard = filterLock_.lock();
    if (!inputPin_) {
        return 1;
    }
    return inputPin_->GetFileOffset();
}

HRESULT STDMETHODCALLTYPE ParserFilter::GetLoopPoints(AdxLoopPoint* loops, INT32* count) {
    auto plan = planLock_.lock();
    const auto recordCount = static_cast<INT32>(header_.loops.size());
    if (loops == nullptr) {
        RETURN_HR_IF_NULL(E_POINTER, count);
        *count = recordCount;
        return S_OK;
    }
    std::copy(header_.loops.begin(), header_.loops.end(), loops);
    if (count != nullptr) {
        *count = recordCount;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserFilter::SetLoop(INT32 index, INT32 enable) {
    auto plan = planLock_.lock();
    return planner_.SetLoop(index, enable != 0) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE ParserFilter::GetLoop(INT32* index, INT32* enabled) {
    RETURN_HR_IF_NULL(E_POINTER, index);
    RETURN_HR_IF_NULL(E_POINTER, enabled);
    auto plan = planLock_.lock();
    *index = planner_.LoopIndex();
    *enabled = planner_.LoopEnabled() ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserFilter::GetPages(CAUUID* pages) {
    RETURN_HR_IF_NULL(E_POINTER, pages);
    pages->cElems = 1;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, pages->pElems);
    pages->pElems[0] = kParserPropertyPageClassId;
    return S_OK;
}

// Connection

HRESULT ParserFilter::LoadHeader(std::int32_t headerLength, const BYTE* headerBytes, bool store) {
    AdxHeader scratch;
    // A total of 2^31 samples or more reads as negative here and would give
    // a negative duration: refused like any header that cannot be played.
    if (ParseAdxHeader(headerLength, headerBytes, scratch) != kAdxHeaderAccepted ||
        !StreamGeometry(scratch).IsUsable() || scratch.totalSamples < 0) {
        return VFW_E_INVALID_FILE_FORMAT;
    }
    if (store) {
        auto plan = planLock_.lock();
        header_ = std::move(scratch);
    }
    return S_OK;
}

void ParserFilter::ResetForNewStream() {
    LONGLONG duration = 0;
    const bool loopByDefault = UserSettings::LoopByDefault();
    {
        auto plan = planLock_.lock();
        // Loop records are checked here; unusable ones stay in the table.
        planner_.SetStream(header_);
        if (loopByDefault) {
            planner_.SetLoop(0, true); // no effect on a stream without loops
        }
        duration = planner_.Geometry().Duration();
    }
    outputPin_->ResetPositions(duration);
    BumpPinListVersion(); // the output pin becomes visible
}

void ParserFilter::ResetForDisconnect() {
    {
        auto plan = planLock_.lock();
        // The loop records and the other fields stay until the next load.
        header_.version = 0;
        header_.blockSize = 0;
        header_.bitsPerSample = 0;
        header_.samplesPerBlock = 0;
        header_.channelCount = 0;
        header_.sampleRate = 0;
        planner_.SetStream(header_); // no usable stream
    }
    BumpPinListVersion();
}

HRESULT ParserFilter::BuildMediaType(MediaTypeRecord& type) {
    auto plan = planLock_.lock();
    if (!StreamGeometry(header_).IsUsable()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return AdxMediaType::Build(header_, type);
}

StreamGeometry ParserFilter::Geometry() {
    auto plan = planLock_.lock();
    return planner_.Geometry();
}

// Streaming

HRESULT ParserFilter::AbortStreamLocked(HRESULT error) {
    outputPin_->SendEndOfStream();
    NotifyGraphEvent(EC_ERRORABORT, error, 0);
    return error;
}

HRESULT ParserFilter::EmptySampleLocked(ComPtr<IMediaSample>& sample) {
    // The output pin is active before the pull thread starts (Pause), so a
    // buffer request fails only when downstream is stopping or broken.
    const HRESULT got = outputPin_->GetEmptySample(sample.put(), nullptr, nullptr, 0);
    // Downstream stopped first; Stop ends this thread next. Wine's allocator
    // answers VFW_E_TIMEOUT to a request that was waiting when it was
    // decommitted (without AM_GBF_NOWAIT nothing else returns it).
    if (got == VFW_E_NOT_COMMITTED || got == VFW_E_TIMEOUT) {
        return S_FALSE;
    }
    return FAILED(got) ? AbortStreamLocked(got) : S_OK;
}

HRESULT ParserFilter::DeliverChunk(const BYTE* data, PullSequencer::ChunkPlan& plan) {
    auto delivery = deliveryLock_.lock();
    if (!IsOutputConnected()) {
        return S_FALSE; // nothing to deliver to; connections change only while stopped
    }
    // The first buffer's size sizes the plan: one allocator, one size.
    ComPtr<IMediaSample> sample;
    const HRESULT got = EmptySampleLocked(sample);
    if (got != S_OK) {
        return got;
    }
    const StreamPlanner::Plan* chunkPlan = nullptr;
    {
        auto planGuard = planLock_.lock();
        chunkPlan = &plan.Make(planner_, sample->GetSize());
    }
    if (chunkPlan->outcome.action == StreamPlanner::Action::kError) {
        return AbortStreamLocked(E_UNEXPECTED); // output buffers smaller than a frame
    }
    for (const StreamPlanner::Sample& planned : chunkPlan->samples) {
        if (!sample) {
            const HRESULT next = EmptySampleLocked(sample);
            if (next != S_OK) {
                return next;
            }
        }
        BYTE* sampleData = nullptr;
        HRESULT result = sample->GetPointer(&sampleData);
        if (result == S_OK && sample->GetSize() < planned.sizeBytes) {
            result = E_UNEXPECTED; // buffers of one allocator share one size
        }
        if (result != S_OK) {
            sample = nullptr;
            return AbortStreamLocked(result);
        }
        std::memcpy(sampleData, data + planned.chunkOffsetBytes,
                    static_cast<std::size_t>(planned.sizeBytes));
        LONGLONG mediaStart = planned.mediaStart;
        LONGLONG mediaEnd = planned.mediaEnd;
        REFERENCE_TIME timeStart = planned.timeStart;
        REFERENCE_TIME timeStop = planned.timeStop;
        sample->SetMediaTime(&mediaStart, &mediaEnd);
        sample->SetTime(&timeStart, &timeStop);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(planned.discontinuity ? TRUE : FALSE);
        sample->SetPreroll(planned.preroll ? TRUE : FALSE);
        sample->SetActualDataLength(static_cast<LONG>(planned.sizeBytes));
        const HRESULT sent = outputPin_->SendSample(sample.get());
        sample = nullptr;
        if (sent != S_OK) {
            break; // downstream refused: the rest of the chunk is dropped
        }
    }
    return S_OK;
}

HRESULT ParserFilter::ForwardEndOfStream() {
    auto delivery = deliveryLock_.lock();
    return outputPin_ ? outputPin_->SendEndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT ParserFilter::ForwardBeginFlush() {
    // A loop jump happens on the pull thread without a flush: every flush is
    // a seek's and goes downstream.
    return outputPin_->SendBeginFlush();
}

HRESULT ParserFilter::ForwardEndFlush() {
    return outputPin_->SendEndFlush();
}

// Seeking

HRESULT ParserFilter::Reposition(int kind) {
    if (kind < kNewStart || kind > kNewRate) {
        return E_UNEXPECTED;
    }
    if (!outputPin_) {
        return VFW_E_NOT_CONNECTED;
    }
    // Not the filter lock: the seek waits for the pull thread, which may sit
    // in a paused renderer or ask for the stop position at end of stream.
    auto seek = seekLock_.lock();
    const StreamGeometry geometry = Geometry();
    if (!geometry.IsUsable()) {
        return VFW_E_NOT_CONNECTED; // no stream loaded
    }
    LONGLONG current = 0;
    LONGLONG stop = 0;
    outputPin_->GetPositions(&current, &stop);
    double rate = 1.0;
    outputPin_->GetRate(&rate);
    const LONGLONG startByte = geometry.StreamByteForTime(current);
    const LONGLONG endByte = geometry.StopByteForTime(stop);
    const LONGLONG readStart = std::max<LONGLONG>(startByte - geometry.PrerollBytes(), 0);
    // Applied while the pull thread is paused: no chunk plans with half of
    // it, and the new segment is downstream before the segment's first
    // sample, which the thread sends only once it runs again.
    HRESULT segment = S_OK;
    const auto apply = [&] {
        {
            auto plan = planLock_.lock();
            if (kind == kNewStart) {
                planner_.SetStart(startByte); // also wins over a pending loop jump
            } else {
                planner_.RestartPass(); // the reader starts again from the last start
                if (kind == kNewRate) {
                    planner_.SetRate(rate);
                }
            }
            planner_.SetStopByte(endByte);
        }
        segment = outputPin_->SendNewSegment(current, stop, rate);
    };
    RETURN_IF_FAILED(inputPin_->SeekStream(readStart, endByte, apply));
    return segment;
}

#include "parser/ParserFilter.h"

#include "framework/ComPtr.h"
#include "framework/ResultMacros.h"
#include "parser/AdxMediaType.h"
#include "parser/ParserInputPin.h"
#include "parser/ParserOutputPin.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr LONGLONG kUnitsPerByte = StreamGeometry::kUnitsPerSecond;

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

ParserFilter::ParserFilter(IUnknown* outer, HRESULT* result)
    : FilterBase(outer, &filterLock_, kParserFilterClassId) {
    if (!Start()) { // the LoopWorker
        *result = E_FAIL;
    }
}

ParserFilter::~ParserFilter() {
    // The pins first: the input pin's PullReader thread must be gone before
    // the LoopWorker, which it may still ask for a jump.
    stopping_ = true;
    inputPin_.reset();
    outputPin_.reset();
    Request(kLoopWorkerExit); // E_FAIL at once if the thread never started
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

HRESULT STDMETHODCALLTYPE ParserFilter::Stop() {
    auto guard = filterLock_.lock();
    if (state_ == State_Stopped) {
        return S_OK;
    }
    // Whenever the input is connected its PullReader may be running, also
    // with no output connected: it must end before the filter stops.
    if (inputPin_ && inputPin_->IsConnected()) {
        stopping_ = true; // a repacker waiting for a buffer gives up
        {
            auto loop = loopLock_.lock();
            loopJumpPending_ = false;
        }
        inputPin_->Deactivate(); // the PullReader thread ends
    }
    auto delivery = deliveryLock_.lock();
    if (IsOutputConnected()) {
        outputPin_->Deactivate(); // decommits: no delivery runs now
    }
    state_ = State_Stopped;
    stopping_ = false;
    auto loop = loopLock_.lock();
    // A loop end reached while the reader was ending leaves nothing behind.
    loopJumpPending_ = false;
    endOfStreamHeld_ = false;
    swallowEndOfStream_ = false;
    streamTime_ = 0;
    seekBase_ = 0;
    return S_OK;
}

// IAdxParserControl

HRESULT STDMETHODCALLTYPE ParserFilter::GetFormatInfo(AdxFormatInfo* info) {
    RETURN_HR_IF_NULL(E_POINTER, info);
    auto guard = filterLock_.lock();
    info->version = header_.version;
    info->blockSize = header_.blockSize;
    info->bitsPerSample = header_.bitsPerSample;
    info->samplesPerBlock = header_.samplesPerBlock;
    info->channelCount = header_.channelCount;
    info->sampleRate = header_.sampleRate;
    return S_OK;
}

INT32 STDMETHODCALLTYPE ParserFilter::GetTotalSamples() {
    auto guard = filterLock_.lock();
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
    auto loop = loopLock_.lock();
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
    auto loop = loopLock_.lock();
    if (index < 0 || index >= static_cast<INT32>(header_.loops.size())) {
        return S_FALSE;
    }
    loopIndex_ = index;
    loopEnabled_ = enable != 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserFilter::GetLoop(INT32* index, INT32* enabled) {
    RETURN_HR_IF_NULL(E_POINTER, index);
    RETURN_HR_IF_NULL(E_POINTER, enabled);
    auto loop = loopLock_.lock();
    *index = loopIndex_;
    *enabled = loopEnabled_ ? 1 : 0;
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
    if (ParseAdxHeader(headerLength, headerBytes, scratch) != kAdxHeaderAccepted ||
        !StreamGeometry(scratch).IsUsable()) {
        return VFW_E_INVALID_FILE_FORMAT;
    }
    if (store) {
        auto loop = loopLock_.lock();
        header_ = std::move(scratch);
    }
    return S_OK;
}

void ParserFilter::ResetPlaybackState() {
    playRate_ = 1.0;
    streamTime_ = 0;
    seekBase_ = 0;
    loopIndex_ = 0;
    loopJumpPending_ = false;
    loopEnabled_ = false;
    jumpRequested_ = false;
    endOfStreamHeld_ = false;
    swallowEndOfStream_ = false;
}

void ParserFilter::ResetForNewStream() {
    outputPin_->ResetPositions(StreamGeometry(header_).Duration());
    {
        auto loop = loopLock_.lock();
        ResetPlaybackState();
    }
    stopping_ = false;
    BumpPinListVersion(); // the output pin becomes visible
}

void ParserFilter::ResetForDisconnect() {
    {
        auto loop = loopLock_.lock();
        ResetPlaybackState();
        // The loop records and the other fields stay until the next load.
        header_.version = 0;
        header_.blockSize = 0;
        header_.bitsPerSample = 0;
        header_.samplesPerBlock = 0;
        header_.channelCount = 0;
        header_.sampleRate = 0;
    }
    stopping_ = false;
    BumpPinListVersion();
}

HRESULT ParserFilter::BuildMediaType(MediaTypeRecord& type) {
    auto loop = loopLock_.lock();
    if (!StreamGeometry(header_).IsUsable()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return AdxMediaType::Build(header_, type);
}

StreamGeometry ParserFilter::Geometry() {
    auto loop = loopLock_.lock();
    return StreamGeometry(header_);
}

// Streaming

bool ParserFilter::LoopRecordChosen() const {
    return loopIndex_ >= 0 && loopIndex_ < static_cast<std::int32_t>(header_.loops.size());
}

HRESULT ParserFilter::AbortStream(HRESULT error) {
    ForwardEndOfStream();
    NotifyGraphEvent(EC_ERRORABORT, error, 0);
    return error;
}

HRESULT ParserFilter::RepackSample(IMediaSample* chunk) {
    BYTE* chunkData = nullptr;
    REFERENCE_TIME chunkStart = 0;
    REFERENCE_TIME chunkStop = 0;
    HRESULT result = chunk->GetPointer(&chunkData);
    if (result == S_OK) {
        result = chunk->GetTime(&chunkStart, &chunkStop);
    }
    if (result != S_OK) {
        return AbortStream(result);
    }
    const StreamGeometry geometry(header_);
    if (!geometry.IsUsable() || !outputPin_) {
        return AbortStream(E_UNEXPECTED);
    }
    const LONGLONG frameBytes = geometry.FrameBytes();
    const LONGLONG dataOffset = geometry.DataOffset();
    const LONGLONG chunkBytes = chunk->GetActualDataLength();
    const LONGLONG chunkByte = chunkStart / kUnitsPerByte; // stream position of chunkData[0]

    // Where to start copying: on the frame grid after a discontinuity, and
    // never inside the header.
    LONGLONG pos = 0;
    bool markDiscontinuity = false;
    if (chunk->IsDiscontinuity() == S_OK) {
        const LONGLONG remainder = (chunkByte - dataOffset) % frameBytes;
        pos = remainder == 0 ? 0 : frameBytes - remainder;
        markDiscontinuity = true;
    }
    const LONGLONG headerRemaining = std::max<LONGLONG>(dataOffset - chunkByte, 0);
    if (headerRemaining > 0) {
        pos = headerRemaining;
    }
    std::uint32_t generation = 0;
    {
        auto loop = loopLock_.lock();
        generation = timelineGeneration_;
        if (loopEnabled_ && loopJumpPending_) {
            if (LoopRecordChosen()) {
                // The first chunk of a loop pass: the jump is seamless, so
                // no discontinuity goes downstream.
                pos = std::max(chunkByte - header_.loops[loopIndex_].startByte, headerRemaining);
                markDiscontinuity = false;
            } else {
                loopEnabled_ = false;
                loopJumpPending_ = false;
                endOfStreamHeld_ = false; // this run now ends the stream itself
            }
        }
    }

    while (chunkBytes - pos >= frameBytes && !stopping_) {
        ComPtr<IMediaSample> sample;
        if (FAILED(outputPin_->GetEmptySample(sample.put(), nullptr, nullptr, 0))) {
            // Fails until the output allocator is committed (the input pin
            // is activated first) and after Stop decommits it.
            if (stopping_ || !outputPin_->IsConnected()) {
                return S_OK;
            }
            Sleep(1);
            continue;
        }
        BYTE* sampleData = nullptr;
        result = sample->GetPointer(&sampleData);
        if (result != S_OK) {
            sample = nullptr;
            return AbortStream(result);
        }
        LONGLONG size = sample->GetSize();

        LONGLONG seekBase = 0;
        bool jumpPending = false;
        {
            auto loop = loopLock_.lock();
            if (generation != timelineGeneration_) {
                return S_OK; // a seek abandoned this run
            }
            seekBase = seekBase_;
            jumpPending = loopJumpPending_;
        }
        const LONGLONG relative = (chunkStart - seekBase) / kUnitsPerByte + pos; // past the start
        const LONGLONG absolute = chunkByte + pos;

        // Data before the requested start goes out as preroll, in as many
        // samples as it takes, each ending at or before the start. A start
        // at the very first frame gets one empty preroll sample, which makes
        // the decoder reset its prediction history. During a loop jump the
        // data is never preroll.
        bool preroll = false;
        if (!jumpPending && relative <= -frameBytes) {
            size = std::min(size, -relative);
            preroll = true;
        } else if (!jumpPending && relative == 0 && markDiscontinuity) {
            size = 0;
            preroll = true;
        }
        size -= size % frameBytes;
        const LONGLONG remaining = chunkBytes - pos;
        if (remaining < size) {
            size = remaining - remaining % frameBytes;
        }
        // The first sample from the requested start on.
        const bool atStart = !jumpPending && !preroll && relative <= 0 && relative > -frameBytes;
        const bool discontinuity = markDiscontinuity || atStart;

        std::memcpy(sampleData, chunkData + pos, static_cast<std::size_t>(size));
        pos += size;
        markDiscontinuity = false;

        LONGLONG mediaStart = geometry.SampleIndexAt(absolute);
        const LONGLONG firstSample = mediaStart;
        LONGLONG mediaEnd = geometry.SampleIndexAt(absolute + size);
        const LONGLONG frameCount = size / frameBytes;
        bool endReached = false;
        bool cut = false;
        bool askForJump = false;
        {
            auto loop = loopLock_.lock();
            if (loopEnabled_ && LoopRecordChosen()) {
                const AdxLoopPoint& loopPoint = header_.loops[loopIndex_];
                if (loopJumpPending_) {
                    mediaStart += loopPoint.startTrim; // the first sample of a pass
                    loopJumpPending_ = false;
                    endOfStreamHeld_ = false;
                }
                const LONGLONG limit = LONGLONG{loopPoint.endSample} + geometry.SamplesPerFrame();
                if (mediaEnd >= limit) {
                    // Cut at the loop end, keeping the frame that holds its
                    // last sample as the sample's last frame, and jump.
                    mediaEnd = limit - loopPoint.endTrim;
                    size = geometry.FramesBefore(firstSample, mediaEnd, frameCount) * frameBytes;
                    cut = true;
                    loopJumpPending_ = true;
                    askForJump = !jumpRequested_;
                    jumpRequested_ = true;
                    pos = chunkBytes; // the rest of the chunk is not played
                    endReached = true;
                }
            } else {
                if (loopJumpPending_) {
                    // A pass whose loop was switched off: it plays to the
                    // end of its range and ends the stream.
                    loopJumpPending_ = false;
                    endOfStreamHeld_ = false;
                }
                if (mediaEnd >= geometry.TotalSamples()) {
                    mediaEnd = geometry.TotalSamples();
                    size = geometry.FramesBefore(firstSample, mediaEnd, frameCount) * frameBytes;
                    cut = true;
                    endReached = true;
                }
            }
        }
        if (askForJump && FAILED(Request(kLoopWorkerJump))) {
            // No LoopWorker: the stream ends here instead of hanging.
            auto loop = loopLock_.lock();
            loopJumpPending_ = false;
            jumpRequested_ = false;
        }
        if (cut && size <= 0) {
            // Nothing of this sample lies before the cut: send nothing.
            sample = nullptr;
            if (endReached) {
                return VFW_E_FILE_TOO_SHORT;
            }
            continue;
        }

        REFERENCE_TIME startTime = 0;
        REFERENCE_TIME stopTime = 0;
        {
            auto loop = loopLock_.lock();
            if (generation != timelineGeneration_) {
                return S_OK;
            }
            startTime = streamTime_;
            streamTime_ = static_cast<LONGLONG>(static_cast<double>(startTime) +
                                                geometry.SampleDurationUnits(size, playRate_));
            stopTime = streamTime_;
        }
        sample->SetMediaTime(&mediaStart, &mediaEnd);
        sample->SetTime(&startTime, &stopTime);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
        sample->SetPreroll(preroll ? TRUE : FALSE);
        sample->SetActualDataLength(static_cast<LONG>(size));
        const HRESULT sent = outputPin_->SendSample(sample.get());
        sample = nullptr;
        if (endReached) {
            return VFW_E_FILE_TOO_SHORT;
        }
        if (sent != S_OK) {
            // Drop the rest of the chunk in whole frames only, so that the
            // next chunk still starts on the frame grid.
            const LONGLONG consumed = pos + (chunkBytes - pos) / frameBytes * frameBytes;
            if (consumed < chunkBytes) {
                chunk->SetActualDataLength(static_cast<LONG>(consumed));
            }
            return S_OK;
        }
    }
    // The unconsumed tail (an incomplete frame) is read again as the start
    // of the next chunk.
    if (chunkBytes > pos) {
        chunk->SetActualDataLength(static_cast<LONG>(pos));
    }
    return S_OK;
}

HRESULT ParserFilter::ForwardEndOfStream() {
    auto delivery = deliveryLock_.lock();
    {
        auto loop = loopLock_.lock();
        if (swallowEndOfStream_) {
            swallowEndOfStream_ = false; // the end of a pass a seek abandoned
            return S_OK;
        }
        if (loopJumpPending_) {
            if (!endOfStreamHeld_) {
                endOfStreamHeld_ = true; // the jump continues the stream
                return S_OK;
            }
            // A second end with the jump still pending: the loop pass
            // delivered nothing, so the stream ends after all.
            loopJumpPending_ = false;
            endOfStreamHeld_ = false;
        }
    }
    return outputPin_ ? outputPin_->SendEndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT ParserFilter::ForwardBeginFlush() {
    if (loopJumpPending_) {
        return S_OK; // a loop jump is seamless downstream
    }
    return outputPin_->SendBeginFlush();
}

HRESULT ParserFilter::ForwardEndFlush() {
    if (loopJumpPending_) {
        return S_OK;
    }
    return outputPin_->SendEndFlush();
}

void ParserFilter::EndHeldStream() {
    auto delivery = deliveryLock_.lock();
    bool sendHeld = false;
    {
        auto loop = loopLock_.lock();
        loopJumpPending_ = false;
        sendHeld = endOfStreamHeld_;
        endOfStreamHeld_ = false;
    }
    if (sendHeld && outputPin_) {
        outputPin_->SendEndOfStream();
    }
}

DWORD ParserFilter::ThreadMain() {
    for (;;) {
        switch (WaitRequest()) {
        case kLoopWorkerExit:
            Answer(S_OK);
            return 0;
        case kLoopWorkerJump:
            Answer(S_OK); // first, so the PullReader thread never waits for the jump
            Reposition(kLoopJump);
            break;
        default:
            Answer(E_UNEXPECTED);
            break;
        }
    }
}

// Seeking

LONGLONG ParserFilter::TimeToStreamPosition(REFERENCE_TIME t) {
    return Geometry().StreamByteForTime(t) * kUnitsPerByte;
}

HRESULT ParserFilter::Reposition(int kind) {
    if (kind == kLoopJump) {
        return LoopJump();
    }
    if (kind < kNewStart || kind > kLoopJump) {
        return E_UNEXPECTED;
    }
    if (!outputPin_) {
        return VFW_E_NOT_CONNECTED;
    }
    auto guard = filterLock_.lock(); // before the PullReader's lock
    const StreamGeometry geometry = Geometry();
    if (!geometry.IsUsable()) {
        return VFW_E_NOT_CONNECTED; // no stream loaded
    }
    LONGLONG current = 0;
    LONGLONG stop = 0;
    outputPin_->GetPositions(&current, &stop);
    const LONGLONG currentPosition = TimeToStreamPosition(current);
    const LONGLONG stopPosition = TimeToStreamPosition(stop);
    double rate = 1.0;
    outputPin_->GetRate(&rate);
    {
        auto loop = loopLock_.lock();
        if (kind == kNewStart) {
            // Output times restart at 0 from the new position.
            streamTime_ = 0;
            seekBase_ = currentPosition;
            ++timelineGeneration_;
            // A new start wins over a pending loop jump; the end of stream of
            // the pass it abandons must not reach downstream.
            if (loopJumpPending_) {
                swallowEndOfStream_ = !endOfStreamHeld_;
                loopJumpPending_ = false;
                endOfStreamHeld_ = false;
            }
        } else if (kind == kNewRate) {
            playRate_ = rate;
        }
    }
    const LONGLONG prerollPosition = geometry.PrerollBytes() * kUnitsPerByte;
    const LONGLONG start = std::max<LONGLONG>(currentPosition - prerollPosition, 0);
    const LONGLONG end = stopPosition + LONGLONG{geometry.FrameBytes()} * kUnitsPerByte;
    RETURN_IF_FAILED(inputPin_->SeekStream(start, end));
    return outputPin_->SendNewSegment(current, stop, rate);
}

HRESULT ParserFilter::LoopJump() {
    if (!outputPin_) {
        return VFW_E_NOT_CONNECTED;
    }
    // No filter lock: the jump waits for the pull thread, which may sit in a
    // paused renderer's Receive until the graph runs, and Run needs that lock.
    const StreamGeometry geometry = Geometry();
    LONGLONG start = 0;
    LONGLONG stop = 0;
    bool jump = false;
    std::uint32_t generation = 0;
    {
        auto loop = loopLock_.lock();
        generation = timelineGeneration_;
        jumpRequested_ = false;
        if (!loopJumpPending_) {
            return S_FALSE; // Stop or a seek came first
        }
        if (state_ != State_Stopped && loopEnabled_ && LoopRecordChosen() && geometry.IsUsable()) {
            const AdxLoopPoint& loopPoint = header_.loops[loopIndex_];
            start = loopPoint.startByte;
            stop = LONGLONG{geometry.FrameBytes()} + loopPoint.endByte; // one frame past the end
            jump = start >= 0 && stop > start;
            if (jump) {
                seekBase_ = start * kUnitsPerByte;
            }
        }
    }
    if (!jump) {
        EndHeldStream();
        return S_FALSE;
    }
    // Stop or a new start position may still come first.
    const auto stillWanted = [this, generation] {
        auto loop = loopLock_.lock();
        return loopJumpPending_ && generation == timelineGeneration_;
    };
    const HRESULT result =
        inputPin_->JumpStream(start * kUnitsPerByte, stop * kUnitsPerByte, stillWanted);
    if (FAILED(result)) {
        EndHeldStream();
    }
    return result;
}

#include "parser/PullReader.h"

#include "framework/com/ResultMacros.h"
#include "parser/ParserInputPin.h"
#include "parser/StreamGeometry.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <new>

namespace {

constexpr LONGLONG kUnitsPerByte = StreamGeometry::kUnitsPerSecond;

} // namespace

PullReader::PullReader(ParserInputPin* owner) : owner_(owner) {}

PullReader::~PullReader() {
    Disconnect();
}

HRESULT PullReader::Connect(IPin* peer) {
    auto guard = lock_.lock();
    if (reader_) {
        return VFW_E_ALREADY_CONNECTED;
    }
    RETURN_IF_FAILED(peer->QueryInterface(IID_IAsyncReader, reader_.put_void()));

    HRESULT result = ChooseAllocator(nullptr, nullptr);
    LONGLONG totalBytes = 0;
    LONGLONG availableBytes = 0;
    if (SUCCEEDED(result)) {
        result = reader_->Length(&totalBytes, &availableBytes);
    }
    if (FAILED(result)) {
        Disconnect();
        return result;
    }
    stop_ = duration_ = totalBytes * kUnitsPerByte;
    start_ = LONGLONG{owner_->GetFileOffset()} * kUnitsPerByte;
    return S_OK;
}

HRESULT PullReader::ChooseAllocator(IMemAllocator* proposed,
                                    const ALLOCATOR_PROPERTIES* proposedProperties) {
    ALLOCATOR_PROPERTIES properties{};
    if (proposedProperties != nullptr) {
        properties = *proposedProperties;
    } else {
        properties.cBuffers = 4;
        properties.cbBuffer = 65536;
        properties.cbAlign = 0;
        properties.cbPrefix = 0;
    }
    return reader_->RequestAllocator(proposed, &properties, allocator_.put());
}

HRESULT PullReader::Active() {
    auto guard = lock_.lock();
    return ActiveLocked();
}

HRESULT PullReader::ActiveLocked() {
    if (!allocator_ || !reader_) {
        return E_UNEXPECTED;
    }
    if (!thread_) {
        RETURN_IF_FAILED(allocator_->Commit());
        auto thread = std::unique_ptr<PullThread>(new (std::nothrow) PullThread(*this));
        if (!thread || !thread->Start()) {
            return E_FAIL;
        }
        thread_ = std::move(thread);
    }
    state_ = kRequestRun;
    return thread_->Request(kRequestRun);
}

HRESULT PullReader::Pause() {
    auto guard = lock_.lock();
    return PauseLocked();
}

HRESULT PullReader::PauseLocked() {
    if (!thread_) {
        return E_UNEXPECTED;
    }
    RETURN_IF_FAILED(reader_->BeginFlush());
    state_ = kRequestPause;
    const HRESULT answer = thread_->Request(kRequestPause);
    reader_->EndFlush();
    return answer;
}

HRESULT PullReader::Inactive() {
    auto guard = lock_.lock();
    return InactiveLocked();
}

HRESULT PullReader::InactiveLocked() {
    if (!thread_) {
        return S_FALSE;
    }
    // The thread is ended even when the reader refuses the flush: Disconnect
    // and destruction release the reader right after this.
    const HRESULT flushResult = reader_->BeginFlush();
    state_ = kRequestExit;
    thread_->Request(kRequestExit);
    if (SUCCEEDED(flushResult)) {
        reader_->EndFlush();
    }
    thread_.reset(); // waits for the thread to end and closes its handle
    if (allocator_) {
        allocator_->Decommit();
    }
    return FAILED(flushResult) ? flushResult : S_OK;
}

HRESULT PullReader::Seek(LONGLONG startPosition, LONGLONG stopPosition,
                         const std::function<void()>& whilePaused) {
    auto guard = lock_.lock();
    const bool wasRunning = state_ == kRequestRun;
    if (wasRunning) {
        if (owner_ == nullptr) {
            return E_UNEXPECTED;
        }
        // The flush first: it frees a thread blocked in a paused renderer.
        owner_->FlushDownstream(true);
        PauseLocked();
        owner_->FlushDownstream(false);
    }
    start_ = startPosition;
    stop_ = stopPosition;
    if (whilePaused) {
        whilePaused();
    }
    return wasRunning ? ActiveLocked() : S_OK;
}

HRESULT PullReader::Disconnect() {
    auto guard = lock_.lock();
    InactiveLocked();
    reader_ = nullptr;
    allocator_ = nullptr;
    return S_OK;
}

DWORD PullReader::ThreadMain(PullThread& thread) {
    for (;;) {
        switch (thread.WaitRequest()) {
        case kRequestPause:
            thread.Answer(S_OK);
            break;
        case kRequestRun:
            thread.Answer(S_OK);
            Process(thread);
            break;
        case kRequestExit:
            thread.Answer(S_OK);
            return 0;
        default:
            // A code nobody sends; answering keeps the requester and this
            // loop from waiting on each other for ever.
            thread.Answer(E_UNEXPECTED);
            break;
        }
    }
}

LONG PullReader::BytesAvailable(LONGLONG position, LONG requestedBytes) {
    LONGLONG totalBytes = 0;
    LONGLONG availableBytes = 0;
    if (FAILED(reader_->Length(&totalBytes, &availableBytes))) {
        return 0;
    }
    const LONGLONG readBytes = std::min(totalBytes, availableBytes) - position;
    return static_cast<LONG>(std::clamp<LONGLONG>(readBytes, 0, requestedBytes));
}

void PullReader::Process(PullThread& thread) {
    // start_, stop_ and duration_ only change while this thread is idle.
    LONGLONG current = start_ / kUnitsPerByte;
    LONGLONG end = std::min(stop_, duration_) / kUnitsPerByte;
    bool firstChunk = true;
    while (current < end) {
        if (thread.PollRequest(nullptr)) {
            return; // a new command: no end of stream
        }
        ComPtr<IMediaSample> sample;
        HRESULT result = allocator_->GetBuffer(sample.put(), nullptr, nullptr, 0);
        if (FAILED(result)) {
            ReportStreamError(result);
            return;
        }
        const LONG bufferBytes = sample->GetSize();
        if (bufferBytes <= 0) {
            // An empty buffer would never advance.
            ReportStreamError(E_UNEXPECTED);
            return;
        }
        BYTE* data = nullptr;
        result = sample->GetPointer(&data);
        if (FAILED(result)) {
            ReportStreamError(result);
            return;
        }
        PulledChunk chunk;
        chunk.fileByte = current;
        chunk.data = data;
        chunk.lengthBytes = static_cast<LONG>(std::min<LONGLONG>(bufferBytes, end - current));
        chunk.discontinuity = firstChunk;
        chunk.endOfData = current + chunk.lengthBytes >= end;
        firstChunk = false;
        result = reader_->SyncRead(current, chunk.lengthBytes, data);
        if (FAILED(result)) {
            ReportStreamError(result);
            return;
        }
        if (result != S_OK) {
            // A short read: only the bytes that arrived, and the file ends.
            chunk.lengthBytes = BytesAvailable(current, chunk.lengthBytes);
            chunk.endOfData = true;
        }

        const HRESULT received = owner_->ReceivePulled(chunk);
        sample = nullptr;
        if (FAILED(received)) {
            ReportStreamError(received);
            return;
        }
        if (received != S_OK) {
            return; // the run ends quietly: the filter is stopping
        }
        switch (chunk.action) {
        case StreamPlanner::Action::kContinue:
            current += chunk.consumedBytes > 0 ? chunk.consumedBytes : chunk.lengthBytes;
            if (chunk.endOfData) {
                current = end;
            }
            break;
        case StreamPlanner::Action::kJump:
            current = chunk.jumpStartFileByte;
            end = std::min(chunk.jumpStopFileByte, duration_ / kUnitsPerByte);
            firstChunk = true;
            break;
        default:
            current = end;
            break;
        }
    }
    owner_->EndOfStream();
}

void PullReader::ReportStreamError(HRESULT error) {
    owner_->NotifyGraphEvent(EC_ERROR_STILLPLAYING, error, 0);
}

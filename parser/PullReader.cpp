#include "parser/PullReader.h"

#include "framework/ResultMacros.h"
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

HRESULT PullReader::Seek(LONGLONG startPosition, LONGLONG stopPosition) {
    auto guard = lock_.lock();
    const bool wasRunning = state_ == kRequestRun;
    if (wasRunning) {
        if (owner_ == nullptr) {
            return E_UNEXPECTED;
        }
        owner_->BeginFlush();
        Pause();
        owner_->EndFlush();
    }
    start_ = startPosition;
    stop_ = stopPosition;
    return wasRunning ? Active() : S_OK;
}

HRESULT PullReader::Jump(LONGLONG startPosition, LONGLONG stopPosition,
                         const std::function<bool()>& stillWanted) {
    auto guard = lock_.lock();
    // Checked under this lock: a seek that overtakes the jump either came
    // before (the check fails) or waits for this lock and comes after.
    if (!stillWanted()) {
        return S_FALSE;
    }
    const bool wasRunning = state_ == kRequestRun;
    if (wasRunning) {
        Pause();
    }
    start_ = startPosition;
    stop_ = stopPosition;
    return wasRunning ? Active() : S_OK;
}

HRESULT PullReader::Disconnect() {
    auto guard = lock_.lock();
    Inactive();
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

void PullReader::Process(PullThread& thread) {
    if (stop_ <= start_) {
        owner_->EndOfStream();
        return;
    }
    LONGLONG current = start_ / kUnitsPerByte;
    const LONGLONG end = std::min(stop_, duration_) / kUnitsPerByte;
    if (current >= end) {
        owner_->EndOfStream();
        return;
    }
    bool firstChunk = true;
    for (;;) {
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
        const LONGLONG next = std::min(current + bufferBytes, end);
        REFERENCE_TIME chunkStart = current * kUnitsPerByte;
        REFERENCE_TIME chunkStop = next * kUnitsPerByte;
        sample->SetTime(&chunkStart, &chunkStop);
        if (firstChunk) {
            sample->SetDiscontinuity(TRUE);
            firstChunk = false;
        }
        BYTE* data = nullptr;
        result = sample->GetPointer(&data);
        if (FAILED(result)) {
            ReportStreamError(result);
            return;
        }
        const LONG chunkBytes = static_cast<LONG>(next - current);
        result = reader_->SyncRead(current, chunkBytes, data);
        if (FAILED(result)) { // a short read (S_FALSE) is not a failure
            ReportStreamError(result);
            return;
        }
        sample->SetActualDataLength(chunkBytes);

        const HRESULT received = owner_->ReceivePulled(sample.get());

        // The receiver shortens the length to what it consumed, so that an
        // incomplete frame is read again at the start of the next chunk.
        const LONG consumedBytes = sample->GetActualDataLength();
        current = consumedBytes > 0 ? current + consumedBytes : next;
        sample = nullptr;

        if (received == VFW_E_FILE_TOO_SHORT) {
            owner_->EndOfStream();
            return;
        }
        if (FAILED(received)) {
            ReportStreamError(received);
            return;
        }
        if (received != S_OK) {
            return;
        }
        if (current >= end) {
            owner_->EndOfStream();
            return;
        }
    }
}

void PullReader::ReportStreamError(HRESULT error) {
    owner_->NotifyGraphEvent(EC_ERROR_STILLPLAYING, error, 0);
}

#include "parser/PullReader.h"

#include "framework/com/ResultMacros.h"
#include "parser/ParserInputPin.h"
#include "parser/StreamGeometry.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>
#include <new>

class PullReader::ReadPort final : public PullSequencer::Port {
public:
    ReadPort(PullReader& reader, PullThread& thread)
        : reader_(reader), thread_(thread), offsetBytes_(reader.owner_->GetFileOffset()) {}
    LONGLONG OffsetBytes() const { return offsetBytes_; }

    bool Interrupted() override { return thread_.PollRequest(nullptr); }
    PullSequencer::Result Read(std::int64_t streamByte, std::int64_t lengthBytes,
                               PullSequencer::ReadChunk& chunk) override;
    PullSequencer::Result Deliver(const StreamPlanner::Chunk&, const std::uint8_t* data,
                                  PullSequencer::ChunkPlan& plan) override {
        const HRESULT received = reader_.owner_->ReceivePulled(data, plan);
        return received == S_OK ? PullSequencer::kDone
                                : (FAILED(received) ? received : PullSequencer::kQuiet);
    }
    void EndOfStream() override { reader_.owner_->EndOfStream(); }

private:
    // A chunk longer than the reader's buffers, gathered from several reads.
    HRESULT Gather(LONGLONG fileByte, std::int64_t lengthBytes, const BYTE* buffer,
                   LONG bufferBytes, PullSequencer::ReadChunk& chunk);

    PullReader& reader_;
    PullThread& thread_;
    const LONGLONG offsetBytes_;
    ComPtr<IMediaSample> sample_; // +1 on the reader buffer of the chunk in delivery
    std::unique_ptr<BYTE[]> gathered_;
    std::int64_t gatheredBytes_ = 0;
};

PullSequencer::Result PullReader::ReadPort::Read(std::int64_t streamByte, std::int64_t lengthBytes,
                                                 PullSequencer::ReadChunk& chunk) {
    sample_ = nullptr;
    RETURN_IF_FAILED(reader_.allocator_->GetBuffer(sample_.put(), nullptr, nullptr, 0));
    const LONG bufferBytes = sample_->GetSize();
    if (bufferBytes <= 0) {
        return E_UNEXPECTED; // an empty buffer would never advance
    }
    BYTE* buffer = nullptr;
    RETURN_IF_FAILED(sample_->GetPointer(&buffer));
    const LONGLONG fileByte = offsetBytes_ + streamByte;
    if (lengthBytes > bufferBytes) {
        return Gather(fileByte, lengthBytes, buffer, bufferBytes, chunk);
    }
    LONG bytesRead = 0;
    RETURN_IF_FAILED(
        reader_.ReadSample(sample_.get(), fileByte, static_cast<LONG>(lengthBytes), bytesRead));
    chunk.data = buffer;
    chunk.bytesRead = bytesRead;
    return S_OK;
}

HRESULT PullReader::ReadPort::Gather(LONGLONG fileByte, std::int64_t lengthBytes,
                                     const BYTE* buffer, LONG bufferBytes,
                                     PullSequencer::ReadChunk& chunk) {
    if (gatheredBytes_ < lengthBytes) {
        gathered_.reset(new (std::nothrow) BYTE[static_cast<std::size_t>(lengthBytes)]);
        gatheredBytes_ = gathered_ ? lengthBytes : 0;
        RETURN_HR_IF_NULL(E_OUTOFMEMORY, gathered_.get());
    }
    std::int64_t doneBytes = 0;
    while (doneBytes < lengthBytes) {
        const auto wantedBytes =
            static_cast<LONG>(std::min<std::int64_t>(bufferBytes, lengthBytes - doneBytes));
        LONG bytesRead = 0;
        RETURN_IF_FAILED(
            reader_.ReadSample(sample_.get(), fileByte + doneBytes, wantedBytes, bytesRead));
        std::memcpy(gathered_.get() + doneBytes, buffer, static_cast<std::size_t>(bytesRead));
        doneBytes += bytesRead;
        if (bytesRead < wantedBytes) {
            break; // the data ends
        }
    }
    chunk.data = gathered_.get();
    chunk.bytesRead = doneBytes;
    return S_OK;
}

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
    stopFileByte_ = fileBytes_ = totalBytes;
    startFileByte_ = owner_->GetFileOffset();
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

HRESULT PullReader::Seek(LONGLONG startFileByte, LONGLONG stopFileByte,
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
    startFileByte_ = startFileByte;
    stopFileByte_ = stopFileByte;
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

HRESULT PullReader::ReadSample(IMediaSample* sample, LONGLONG fileByte, LONG lengthBytes,
                               LONG& bytesRead) {
    // The pull model's times name the bytes to read; the read itself says
    // how many arrived, whatever the reader's length says.
    REFERENCE_TIME startTime = fileByte * StreamGeometry::kUnitsPerByte;
    REFERENCE_TIME stopTime = (fileByte + lengthBytes) * StreamGeometry::kUnitsPerByte;
    RETURN_IF_FAILED(sample->SetTime(&startTime, &stopTime));
    const HRESULT read = reader_->SyncReadAligned(sample);
    RETURN_IF_FAILED(read);
    bytesRead = read == S_OK ? lengthBytes
                             : std::clamp<LONG>(sample->GetActualDataLength(), 0, lengthBytes);
    return S_OK;
}

void PullReader::Process(PullThread& thread) {
    // The range and the file length only change while this thread is idle.
    ReadPort port(*this, thread);
    ALLOCATOR_PROPERTIES properties{};
    const bool known = SUCCEEDED(allocator_->GetProperties(&properties));
    sequencer_.SetChunkBytes(known && properties.cbBuffer > 0 ? properties.cbBuffer : 65536);
    sequencer_.SetFrameBytes(std::max<std::int64_t>(owner_->FrameBytes(), 1));
    sequencer_.SetDataEnd(fileBytes_ - port.OffsetBytes());
    sequencer_.SetRange(startFileByte_ - port.OffsetBytes(), stopFileByte_ - port.OffsetBytes());
    if (sequencer_.Run(port) == PullSequencer::Status::kFailed) {
        ReportStreamError(sequencer_.Error());
    }
}

void PullReader::ReportStreamError(HRESULT error) {
    owner_->NotifyGraphEvent(EC_ERROR_STILLPLAYING, error, 0);
}

#include "parser/ParserInputPin.h"

#include "adx/AdxHeader.h"
#include "framework/com/ResultMacros.h"
#include "parser/ParserFilter.h"
#include "parser/StreamGeometry.h"

#include <vfwmsgs.h>

#include <memory>
#include <new>

ParserInputPin::ParserInputPin(ParserFilter* filter, CriticalSection* filterLock)
    : PinBase(filter, filterLock, L"In", PINDIR_INPUT), parser_(filter),
      pullReader_(new (std::nothrow) PullReader(this)) {}

ParserInputPin::~ParserInputPin() = default;

HRESULT ParserInputPin::Activate() {
    return pullReader_ ? pullReader_->Active() : E_UNEXPECTED;
}

HRESULT ParserInputPin::Deactivate() {
    if (pullReader_) {
        pullReader_->Inactive();
    }
    return S_OK;
}

HRESULT ParserInputPin::AcceptType(const AM_MEDIA_TYPE*) {
    return S_OK; // whatever the reader calls its file: the header decides
}

HRESULT ParserInputPin::VetPeer(IPin* peer) {
    RETURN_IF_FAILED(PinBase::VetPeer(peer));
    if (!pullReader_) {
        return E_OUTOFMEMORY;
    }
    const HRESULT connected = pullReader_->Connect(peer);
    if (connected != S_OK) {
        return connected;
    }
    // Failures below leave the PullReader connected: DropConnection, which
    // follows every failed attempt, disconnects it.
    ComPtr<IAsyncReader> reader(pullReader_->Reader()); // +1 for this procedure

    BYTE prefix[kAdxPrefixBytes] = {};
    RETURN_IF_FAILED(ReadStreamStart(reader.get(), kAdxPrefixBytes, prefix));
    const std::optional<std::int32_t> headerLength = AdxHeaderLength(prefix);
    if (!headerLength) {
        return VFW_E_INVALID_FILE_FORMAT;
    }
    auto header = std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[*headerLength]);
    if (!header) {
        return E_OUTOFMEMORY;
    }
    RETURN_IF_FAILED(ReadStreamStart(reader.get(), *headerLength, header.get()));

    auto guard = PinLock()->lock();
    RETURN_IF_FAILED(parser_->LoadHeader(*headerLength, header.get(), true));
    parser_->ResetForNewStream();
    return S_OK;
}

HRESULT ParserInputPin::ReadStreamStart(IAsyncReader* reader, LONG byteCount, BYTE* buffer) {
    const HRESULT result = reader->SyncRead(fileOffsetBytes_, byteCount, buffer);
    return result == S_OK ? S_OK : VFW_E_FILE_TOO_SHORT;
}

HRESULT ParserInputPin::DropConnection() {
    if (pullReader_) {
        RETURN_IF_FAILED(pullReader_->Disconnect());
    }
    parser_->ResetForDisconnect();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserInputPin::EndOfStream() {
    return parser_->ForwardEndOfStream();
}

HRESULT STDMETHODCALLTYPE ParserInputPin::BeginFlush() {
    auto guard = PinLock()->lock();
    if (!IsConnected() || !parser_->IsOutputConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return parser_->ForwardBeginFlush();
}

HRESULT STDMETHODCALLTYPE ParserInputPin::EndFlush() {
    auto guard = PinLock()->lock();
    if (!IsConnected() || !parser_->IsOutputConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    return parser_->ForwardEndFlush();
}

HRESULT ParserInputPin::ReceivePulled(const BYTE* data, PullSequencer::ChunkPlan& plan) {
    return parser_->DeliverChunk(data, plan);
}

std::int64_t ParserInputPin::FrameBytes() const {
    return parser_->Geometry().FrameBytes();
}

void ParserInputPin::FlushDownstream(bool begin) {
    if (begin) {
        parser_->ForwardBeginFlush();
    } else {
        parser_->ForwardEndFlush();
    }
}

HRESULT ParserInputPin::SeekStream(LONGLONG startByte, LONGLONG stopByte,
                                   const std::function<void()>& whilePaused) {
    if (!pullReader_) {
        return E_UNEXPECTED;
    }
    return pullReader_->Seek(startByte + fileOffsetBytes_, stopByte + fileOffsetBytes_,
                             whilePaused);
}

HRESULT ParserInputPin::SetFileOffset(INT32 byteOffset) {
    if (IsConnected()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    fileOffsetBytes_ = byteOffset;
    return S_OK;
}

INT32 ParserInputPin::GetFileOffset() const {
    return static_cast<INT32>(fileOffsetBytes_);
}

HRESULT ParserInputPin::NotifyGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
    return parser_->NotifyGraphEvent(code, param1, param2);
}

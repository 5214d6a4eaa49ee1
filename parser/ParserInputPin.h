// The parser's input pin ("In"): connects to an upstream filter that offers
// IAsyncReader, loads the ADX header through it when connecting, and pulls
// the stream with its PullReader while the filter runs.
#pragma once

#include "framework/filters/PinBase.h"
#include "parser/PullReader.h"

#include <functional>
#include <memory>

class ParserFilter;

class ParserInputPin : public PinBase {
public:
    ParserInputPin(ParserFilter* filter, CriticalSection* filterLock);
    ~ParserInputPin() override;

    // Hooks of PinBase.
    HRESULT Activate() override;
    HRESULT Deactivate() override;
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT VetPeer(IPin* peer) override;
    HRESULT DropConnection() override;

    // IPin: the stream notifications the PullReader sends on its own pin.
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    // Called by the PullReader thread for every chunk: plans it through
    // `plan` and delivers it from `data`. S_OK, S_FALSE when the run ends
    // quietly, or a failure.
    HRESULT ReceivePulled(const BYTE* data, PullSequencer::ChunkPlan& plan);
    // The loaded stream's frame size in bytes (0 while none is loaded).
    std::int64_t FrameBytes() const;
    // The PullReader's flush around a seek: straight to the filter's flush
    // forwarding, without the filter lock that IPin BeginFlush takes.
    void FlushDownstream(bool begin);
    // Repositions the PullReader to stream byte positions (the file offset
    // is added here). See PullReader::Seek.
    HRESULT SeekStream(LONGLONG startByte, LONGLONG stopByte,
                       const std::function<void()>& whilePaused);
    // Where the ADX stream starts in the upstream file, in bytes.
    // VFW_E_ALREADY_CONNECTED while connected.
    HRESULT SetFileOffset(INT32 byteOffset);
    INT32 GetFileOffset() const;
    // Graph events from the PullReader thread.
    HRESULT NotifyGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2);

private:
    // Reads `byteCount` bytes at the file offset into `buffer`.
    HRESULT ReadStreamStart(IAsyncReader* reader, LONG byteCount, BYTE* buffer);

    ParserFilter* const parser_;             // not counted: the filter owns this pin
    std::unique_ptr<PullReader> pullReader_; // null if it could not be made
    // Guarded by the filter lock; changes only while unconnected, so the
    // pull thread reads it without the lock.
    LONGLONG fileOffsetBytes_ = 0;
};

// The input pin of the WAV sink: takes 16-bit PCM from the decoder and hands
// every sample's bytes to the sink's WAV writer as they arrive.
#pragma once

#include "framework/filters/InputPinBase.h"

#include <atomic>
#include <string>

class WavSink;

class WavSinkPin : public InputPinBase {
public:
    WavSinkPin(WavSink* sink, CriticalSection* lock);

    // PinBase hook: 16-bit PCM in a WAVEFORMATEX block, mono or stereo.
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    // InputPinBase hook.
    HRESULT CanStream() override;

    // IPin
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    // IMemInputPin
    // Offers a SampleAllocator: buffers that cost no system call each.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;

    // At Stop: the next run may end its stream again.
    void ResetStream();
    // PCM bytes written so far; may be read from any thread.
    unsigned long long BytesWritten() const { return bytesWritten_.load(); }
    // Why writing stopped, or empty.
    std::string WriteError();

private:
    WavSink* const sink_; // not counted: the sink owns this pin
    std::atomic<unsigned long long> bytesWritten_{0};
    bool endOfStream_ = false; // under the filter lock
    bool failed_ = false;      // only on the streaming thread, then read after Stop
    std::string writeError_;   // likewise
};

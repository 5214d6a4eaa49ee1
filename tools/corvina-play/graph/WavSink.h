// The end of the conversion graph: a renderer of 16-bit PCM that writes
// into a WAV file instead of a sound device. It runs without a clock, so the
// graph decodes as fast as the machine allows; end of stream becomes the
// graph's EC_COMPLETE once the sink runs, a write error EC_ERRORABORT. Like
// every renderer it answers IMediaSeeking (through the platform's seeking
// pass-through) and says that it is one: the graph manager counts only such
// filters as streams whose EC_COMPLETE it waits for.
#pragma once

#include "graph/WavSinkPin.h"

#include "framework/com/CriticalSection.h"
#include "framework/filters/FilterBase.h"

#include <memory>

class WavWriter;

class WavSink : public FilterBase, public IAMFilterMiscFlags {
public:
    // A new sink with one reference in *out, writing through `writer` (not
    // owned; it must outlive the sink's streaming and be opened before the
    // graph runs).
    static HRESULT Create(WavWriter* writer, ComPtr<IBaseFilter>& out, WavSink** sink);
    ~WavSink() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // IAMFilterMiscFlags
    ULONG STDMETHODCALLTYPE GetMiscFlags() override;

    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;

    // FilterBase hooks
    int PinCount() override { return 1; }
    PinBase* PinAt(int index) override { return index == 0 ? pin_.get() : nullptr; }

    WavSinkPin* Pin() { return pin_.get(); }
    WavWriter* Writer() const { return writer_; }
    // The connected format: channels and samples per second; false while
    // the pin is not connected.
    bool ConnectedFormat(int& channelCount, int& sampleRate);

    // From the pin: the stream ended; EC_COMPLETE now, or when running.
    void StreamEnded();

private:
    explicit WavSink(WavWriter* writer);

    CriticalSection lock_;
    std::unique_ptr<WavSinkPin> pin_;
    ComPtr<IUnknown> seekingPassThrough_; // +1 on the aggregated pass-through, made on first use
    WavWriter* const writer_;
    bool completePending_ = false; // the stream ended while paused
};

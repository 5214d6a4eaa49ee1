// The base of a filter with one input and one output pin that turns each
// input sample into at most one output sample. On top of FilterBase it adds
// the two pins ("XForm In", "XForm Out"), the rules tying their types
// together, the sample path, forwarding of end of stream, flushes and
// segments, the stop and pause transitions and quality handling. The derived
// filter supplies the five pure hooks.
#pragma once

#include "framework/com/CriticalSection.h"
#include "framework/filters/FilterBase.h"
#include "framework/media/MediaTypeRecord.h"

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <memory>

class TransformInputPin;
class TransformOutputPin;

class TransformFilterBase : public FilterBase {
public:
    // IMediaFilter / IBaseFilter methods this base replaces.
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    // "In" is pin 0, "Out" pin 1 (case-sensitive); the pins are made on demand.
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** out) override;

    int PinCount() override;
    // Makes both pins on the first call; null when they cannot be made.
    PinBase* PinAt(int index) override;

protected:
    // `debugName` is kept for parity with the other framework bases and not
    // stored; `outer` is the aggregating object or null.
    TransformFilterBase(const WCHAR* debugName, IUnknown* outer, const CLSID& classId);
    ~TransformFilterBase() override;

    // Hooks, in slot order.
    // Decodes `input` into `output`: S_OK delivers, S_FALSE drops the output
    // (a skipped sample), a failure goes back to the sender.
    virtual HRESULT TransformSample(IMediaSample* input, IMediaSample* output) = 0;
    // Only S_OK accepts.
    virtual HRESULT AcceptInputType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT AcceptTransform(const AM_MEDIA_TYPE* inputType,
                                    const AM_MEDIA_TYPE* outputType) = 0;
    // Sets the buffer count and size on the output allocator.
    virtual HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // The output pin's proposed types; called only while the input is connected.
    virtual HRESULT ProposeOutputType(int position, MediaTypeRecord* type) = 0;
    virtual HRESULT OnStreamingStart();
    virtual HRESULT OnStreamingStop();
    // S_FALSE: not handled, the message goes upstream.
    virtual HRESULT HandleQuality(const Quality& message);
    virtual HRESULT AdoptPinType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type);
    virtual HRESULT VetPinPeer(PIN_DIRECTION direction, IPin* peer);
    virtual HRESULT DropPinConnection(PIN_DIRECTION direction);
    virtual HRESULT FinishPinConnection(PIN_DIRECTION direction, IPin* peer);
    // The sample path: an output buffer, TransformSample, delivery.
    virtual HRESULT ReceiveSample(IMediaSample* input);
    virtual HRESULT HandleEndOfStream();
    virtual HRESULT HandleBeginFlush();
    virtual HRESULT HandleEndFlush();
    virtual HRESULT HandleNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // An output buffer carrying the input's times and flags (as the input pin
    // recorded them). *output holds the sample, or null, also on failure.
    HRESULT PrepareOutputSample(IMediaSample* input, IMediaSample** output);

    bool endOfStreamSent_ = false; // filter lock: Pause sent end of stream for an unconnected input
    // Set on the streaming thread under the receive lock and cleared by every
    // Pause under the filter lock, which may come while samples flow: atomic.
    std::atomic<bool> sampleSkipped_{false};  // the last input sample delivered nothing
    std::atomic<bool> qualityChanged_{false}; // EC_QUALITY_CHANGE sent since the last Pause
    CriticalSection filterLock_;              // FilterBase's lock, shared with both pins
    CriticalSection receiveLock_;             // held while a sample or end of stream is processed
    // Null until the pins are asked for; made together, once, under the
    // filter lock, and kept until destruction, so read without it after
    // pinsMade_ (or under it).
    std::unique_ptr<TransformInputPin> inputPin_;
    std::unique_ptr<TransformOutputPin> outputPin_;

private:
    friend class TransformInputPin;
    friend class TransformOutputPin;

    // Both pins, made together; false when they could not be made. Callers
    // on any thread may race here (two first pin enumerations).
    bool MakePins();

    std::atomic<bool> pinsMade_{false}; // set once both pins exist, after they do
};

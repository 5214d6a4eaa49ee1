// A pass-through filter between the parser and the decoder that ends loop
// playback after the last pass asked for. The pass schedule gives the
// presentation time where that pass ends, as the parser stamps its samples;
// the tap forwards the parser's samples unchanged up to there, sends end of
// stream right after the sample that ends the pass, switches loop playback
// off (so the parser ends its stream soon after) and drops the rest. It
// notes how far the samples it forwarded reach. It runs on the parser's
// streaming thread, in the same call that delivers each sample, so no pass
// can slip past it.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/TransformFilterBase.h"

#include <corvina.h>

class LoopPassTap : public TransformFilterBase {
public:
    // No end: the stream plays until it ends by itself or is stopped.
    static constexpr REFERENCE_TIME kNoEnd = -1;

    // A new tap with one reference in *out. It ends the stream at
    // presentation time `endTime` and then switches `loopIndex` off through
    // `parser`.
    static HRESULT Create(IAdxParserControl* parser, int loopIndex, REFERENCE_TIME endTime,
                          ComPtr<IBaseFilter>& out, LoopPassTap** tap);

    // Where the samples forwarded so far end in presentation time (preroll
    // aside); false before the first.
    bool DeliveredEnd(REFERENCE_TIME& time);

protected:
    HRESULT TransformSample(IMediaSample* input, IMediaSample* output) override;
    HRESULT AcceptInputType(const AM_MEDIA_TYPE* type) override;
    HRESULT AcceptTransform(const AM_MEDIA_TYPE* inputType,
                            const AM_MEDIA_TYPE* outputType) override;
    HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT ProposeOutputType(int position, MediaTypeRecord* type) override;
    HRESULT OnStreamingStart() override;
    // Forwards the input sample itself: nothing is copied.
    HRESULT ReceiveSample(IMediaSample* input) override;
    HRESULT HandleEndOfStream() override;

private:
    LoopPassTap(IAdxParserControl* parser, int loopIndex, REFERENCE_TIME endTime);

    ComPtr<IAdxParserControl> parser_; // +1 on the parser's control interface
    const int loopIndex_;
    const REFERENCE_TIME endTime_;
    CriticalSection passLock_;        // guards the fields below
    REFERENCE_TIME deliveredEnd_ = 0; // the end of the last sample forwarded
    bool delivered_ = false;          // a timed sample went on
    bool endReached_ = false;         // the rest of the stream is dropped
    bool endOfStreamSent_ = false;    // downstream has its end of stream
};

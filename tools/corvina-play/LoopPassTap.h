// A pass-through filter between the parser and the decoder that counts the
// passes of loop playback. The parser marks its samples with media times
// (sample indices of the stream); a loop jump shows as a sample that does
// not start where the one before it ended. The tap forwards the parser's
// samples unchanged, notes where (in presentation time) every pass begins,
// and after the pass limit drops the rest: it sends end of stream at the
// exact end of the last pass and switches loop playback off, so the parser
// ends its stream soon after. It runs on the parser's streaming thread, in
// the same call that delivers each sample, so no pass can slip past it.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/com/CriticalSection.h"
#include "framework/filters/TransformFilterBase.h"

#include <corvina.h>

#include <vector>

class LoopPassTap : public TransformFilterBase {
public:
    // Where a pass begins: its presentation time, and its first sample.
    struct PassStart {
        REFERENCE_TIME time;
        LONGLONG sample;
    };

    // A new tap with one reference in *out. It ends the stream after
    // `passLimit` passes (0: never) and then switches `loopIndex` off
    // through `parser`.
    static HRESULT Create(IAdxParserControl* parser, int loopIndex, int passLimit,
                          ComPtr<IBaseFilter>& out, LoopPassTap** tap);

    // The passes begun so far (the first begins with the first sample).
    int PassesBegun();
    // The pass under way at presentation time `time`: its number (from 1)
    // and its start. False before the first pass.
    bool PassAt(REFERENCE_TIME time, int& pass, PassStart& start);

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
    LoopPassTap(IAdxParserControl* parser, int loopIndex, int passLimit);

    ComPtr<IAdxParserControl> parser_; // +1 on the parser's control interface
    const int loopIndex_;
    const int passLimit_;
    CriticalSection passLock_;      // guards the fields below
    std::vector<PassStart> passes_; // in order
    LONGLONG lastSampleEnd_ = 0;    // media end of the last sample passed on
    bool limitReached_ = false;     // the rest of the stream is dropped
    bool endOfStreamSent_ = false;  // downstream has its end of stream
};

// The ADX decoder filter ("Quellvane"): whole ADX frames in, 16-bit PCM out.
// A TransformFilterBase: the base connects, allocates, changes state and moves
// samples; this class supplies the type checks, the output type, the buffer
// sizing and the per-sample decoding.
#pragma once

#include "decoder/DecoderFormatInfo.h"
#include "framework/filters/TransformFilterBase.h"

#include <corvina.h>

#include <ocidl.h>

class DecoderFilter : public TransformFilterBase,
                      public IDecoderInfo,
                      public ISpecifyPropertyPages {
public:
    // The factory table's create function: a new filter with a count of 0, or
    // null and E_OUTOFMEMORY in *result.
    static UnknownBase* CreateInstance(IUnknown* outer, HRESULT* result);

    explicit DecoderFilter(IUnknown* outer);

    // IUnknown of every face goes to the owner.
    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
    ~DecoderFilter() override;

    // IDecoderInfo
    HRESULT STDMETHODCALLTYPE GetStreamInfo(AdxFormatInfo* info) override;
    // ISpecifyPropertyPages
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

protected:
    HRESULT TransformSample(IMediaSample* input, IMediaSample* output) override;
    HRESULT AcceptInputType(const AM_MEDIA_TYPE* type) override;
    HRESULT AcceptTransform(const AM_MEDIA_TYPE* inputType,
                            const AM_MEDIA_TYPE* outputType) override;
    HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT ProposeOutputType(int position, MediaTypeRecord* type) override;

private:
    // Re-reads formatInfo from the input pin's connection type (the first
    // steps of ProposeOutputType at position 0).
    HRESULT RefreshFormatFromInput();

    DecoderFormatInfo formatInfo_{};
    // Running prediction state, channel 0 then channel 1. Set from
    // formatInfo.initialHistory whenever AcceptTransform accepts, which
    // happens before any sample can flow, and on every preroll sample.
    AdxChannelHistory history_[2]{};
};

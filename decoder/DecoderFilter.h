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
    // Either pin connected: the format becomes the input type's.
    HRESULT FinishPinConnection(PIN_DIRECTION direction, IPin* peer) override;

    // Takes the stream's format from `inputType` and starts the prediction
    // from its initial history. Called only where a connection is made,
    // under the filter lock while no sample flows; type queries (QueryAccept,
    // EnumMediaTypes) never change the format.
    HRESULT AdoptFormat(const AM_MEDIA_TYPE* inputType);

private:
    // Filter lock to write (connections only); read by the transform, which
    // runs only while the connections stand.
    DecoderFormatInfo formatInfo_{};
    // The running prediction state, channel 0 then channel 1: the
    // transform's, under the receive lock; set from formatInfo.initialHistory
    // by AdoptFormat (while no sample flows) and on every preroll sample.
    AdxChannelHistory history_[2]{};
};

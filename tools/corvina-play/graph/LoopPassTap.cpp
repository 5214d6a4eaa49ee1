#include "graph/LoopPassTap.h"

#include "framework/com/ResultMacros.h"
#include "framework/filters/TransformInputPin.h"
#include "framework/filters/TransformOutputPin.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <new>

namespace {
// {3C1F9A52-6B0E-4E7D-9A1C-5D2B8E4F7A11}: made only by this program.
constexpr CLSID kLoopPassTapClassId = {
    0x3c1f9a52, 0x6b0e, 0x4e7d, {0x9a, 0x1c, 0x5d, 0x2b, 0x8e, 0x4f, 0x7a, 0x11}};
} // namespace

HRESULT LoopPassTap::Create(IAdxParserControl* parser, int loopIndex, REFERENCE_TIME endTime,
                            ComPtr<IBaseFilter>& out, LoopPassTap** tap) {
    *tap = nullptr;
    auto* object = new (std::nothrow) LoopPassTap(parser, loopIndex, endTime);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, object);
    const HRESULT hr = QueryNewObject(object, IID_IBaseFilter, out.put_void()); // +1 in out
    if (SUCCEEDED(hr)) {
        *tap = object;
    }
    return hr;
}

LoopPassTap::LoopPassTap(IAdxParserControl* parser, int loopIndex, REFERENCE_TIME endTime)
    : TransformFilterBase(L"loop pass tap", nullptr, kLoopPassTapClassId), parser_(parser),
      loopIndex_(loopIndex), endTime_(endTime) {}

bool LoopPassTap::DeliveredEnd(REFERENCE_TIME& time) {
    auto guard = passLock_.lock();
    time = deliveredEnd_;
    return delivered_;
}

HRESULT LoopPassTap::TransformSample(IMediaSample* /*input*/, IMediaSample* /*output*/) {
    return E_UNEXPECTED; // ReceiveSample forwards the samples themselves
}

HRESULT LoopPassTap::AcceptInputType(const AM_MEDIA_TYPE* type) {
    RETURN_HR_IF_NULL(E_POINTER, type);
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Audio) ||
        !IsEqualGUID(type->subtype, MEDIASUBTYPE_Adx) ||
        !IsEqualGUID(type->formattype, FORMAT_WaveFormatEx)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT LoopPassTap::AcceptTransform(const AM_MEDIA_TYPE* inputType,
                                     const AM_MEDIA_TYPE* outputType) {
    MediaTypeRecord input;
    RETURN_IF_FAILED(input.Assign(*inputType));
    return input.Equals(*outputType) ? S_OK : S_FALSE;
}

HRESULT LoopPassTap::SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    // The buffers stay unused (the parser's samples travel on), but the
    // connection needs an allocator: one buffer of the type's sample size.
    const ULONG sampleSize = inputPin_->ConnectionType().lSampleSize;
    if (request->cbBuffer <= 0) {
        request->cbBuffer = sampleSize > 0 ? static_cast<long>(sampleSize) : 1;
    }
    if (request->cBuffers <= 0) {
        request->cBuffers = 1;
    }
    ALLOCATOR_PROPERTIES granted = {};
    RETURN_IF_FAILED(allocator->SetProperties(request, &granted));
    return granted.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT LoopPassTap::ProposeOutputType(int position, MediaTypeRecord* type) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    RETURN_HR_IF_NULL(E_POINTER, type);
    return type->Assign(inputPin_->ConnectionType());
}

HRESULT LoopPassTap::OnStreamingStart() {
    auto guard = passLock_.lock();
    deliveredEnd_ = 0;
    delivered_ = false;
    endReached_ = false;
    endOfStreamSent_ = false;
    return S_OK;
}

HRESULT LoopPassTap::ReceiveSample(IMediaSample* input) {
    if (inputPin_->SampleProperties().dwStreamId != AM_STREAM_MEDIA) {
        return outputPin_->SendSample(input);
    }
    REFERENCE_TIME time = 0;
    REFERENCE_TIME timeEnd = 0;
    // Preroll samples only settle the decoder; they belong to no pass.
    const bool timed = input->IsPreroll() != S_OK && SUCCEEDED(input->GetTime(&time, &timeEnd));
    bool forward = true;
    bool endHere = false;
    {
        auto guard = passLock_.lock();
        if (endReached_) {
            return S_FALSE; // the parser drops the rest of its chunk
        }
        if (timed && endTime_ != kNoEnd) {
            // The parser's times land exactly on the schedule's: a sample
            // either ends the last pass or lies wholly past it.
            forward = time < endTime_;
            endHere = timeEnd >= endTime_;
        }
        if (forward && timed) {
            delivered_ = true;
            deliveredEnd_ = timeEnd;
        }
        endReached_ = endHere;
        endOfStreamSent_ = endOfStreamSent_ || endHere;
    }
    const HRESULT sent = forward ? outputPin_->SendSample(input) : S_FALSE;
    if (!endHere) {
        return sent;
    }
    // The jump already planned then plays only to the end of its read range.
    (void)parser_->SetLoop(loopIndex_, 0);
    (void)outputPin_->SendEndOfStream();
    return S_FALSE;
}

HRESULT LoopPassTap::HandleEndOfStream() {
    {
        auto guard = passLock_.lock();
        if (endOfStreamSent_) {
            return S_OK; // sent at the end of the last pass
        }
        endOfStreamSent_ = true;
    }
    return TransformFilterBase::HandleEndOfStream();
}

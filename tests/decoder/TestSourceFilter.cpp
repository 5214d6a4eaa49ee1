#include "TestSourceFilter.h"

#include "framework/com/ComPtr.h"
#include "framework/com/ResultMacros.h"

#include <vfwmsgs.h>

namespace decodertest {

namespace {
// {5E1DDA11-0D3C-4C1E-9B59-7E5A1D2C0001}: only used in tests.
constexpr CLSID kTestSourceClassId = {
    0x5e1dda11, 0x0d3c, 0x4c1e, {0x9b, 0x59, 0x7e, 0x5a, 0x1d, 0x2c, 0x00, 0x01}};
} // namespace

TestSourcePin::TestSourcePin(TestSourceFilter* filter, CriticalSection* lock,
                             const AM_MEDIA_TYPE& type)
    : OutputPinBase(filter, lock, L"Out") {
    (void)offered_.Assign(type);
}

HRESULT TestSourcePin::AcceptType(const AM_MEDIA_TYPE* type) {
    return offered_.Equals(*type) ? S_OK : S_FALSE;
}

HRESULT TestSourcePin::ProposeType(int position, MediaTypeRecord* type) {
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return type->Assign(offered_);
}

HRESULT TestSourcePin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    request->cBuffers = 2;
    request->cbBuffer = TestSourceFilter::kBufferBytes;
    ALLOCATOR_PROPERTIES granted = {};
    RETURN_IF_FAILED(allocator->SetProperties(request, &granted));
    return granted.cbBuffer >= request->cbBuffer ? S_OK : E_FAIL;
}

TestSourceFilter::TestSourceFilter(const AM_MEDIA_TYPE& type)
    : FilterBase(nullptr, &lock_, kTestSourceClassId), pin_(new TestSourcePin(this, &lock_, type)) {
}

TestSourceFilter::~TestSourceFilter() {
    pin_.reset();
}

HRESULT STDMETHODCALLTYPE TestSourceFilter::Stop() {
    auto guard = lock_.lock();
    if (pin_->IsConnected()) {
        (void)pin_->Deactivate();
    }
    state_ = State_Stopped;
    return S_OK;
}

HRESULT TestSourceFilter::Push(const BYTE* data, long bytes, const PushedSample& properties) {
    ComPtr<IMediaSample> sample;
    RETURN_IF_FAILED(pin_->GetEmptySample(sample.put(), nullptr, nullptr, 0));
    BYTE* buffer = nullptr;
    RETURN_IF_FAILED(sample->GetPointer(&buffer));
    if (bytes > sample->GetSize()) {
        return E_INVALIDARG;
    }
    CopyMemory(buffer, data, bytes);
    RETURN_IF_FAILED(sample->SetActualDataLength(bytes));
    REFERENCE_TIME start = properties.start;
    REFERENCE_TIME stop = properties.stop;
    if (properties.hasTimes) {
        sample->SetTime(&start, &stop);
    }
    LONGLONG mediaStart = properties.mediaStart;
    LONGLONG mediaEnd = properties.mediaEnd;
    sample->SetMediaTime(&mediaStart, &mediaEnd);
    sample->SetSyncPoint(TRUE);
    sample->SetPreroll(properties.preroll ? TRUE : FALSE);
    sample->SetDiscontinuity(properties.discontinuity ? TRUE : FALSE);
    return pin_->SendSample(sample.get());
}

} // namespace decodertest

#include "CaptureSink.h"

namespace testgraph {

namespace {
// {5E1DDA11-0D3C-4C1E-9B59-7E5A1D2C0010}: only used in tests.
constexpr CLSID kCaptureSinkClassId = {
    0x5e1dda11, 0x0d3c, 0x4c1e, {0x9b, 0x59, 0x7e, 0x5a, 0x1d, 0x2c, 0x00, 0x10}};
} // namespace

CaptureSink::CaptureSink(const CaptureOptions& options)
    : FilterBase(nullptr, &lock_, kCaptureSinkClassId),
      pin_(new CapturePin(this, &lock_, options)) {}

CaptureSink::~CaptureSink() {
    pin_->ReleaseHeldSamples();
    pin_.reset();
}

HRESULT STDMETHODCALLTYPE CaptureSink::Stop() {
    auto guard = lock_.lock();
    // Stopped first, so that nothing is received (and held) any more; then
    // the held buffers go back, so that an upstream waiting for one ends.
    state_ = State_Stopped;
    pin_->ReleaseHeldSamples();
    if (pin_->IsConnected()) {
        (void)pin_->Deactivate();
    }
    return S_OK;
}

} // namespace testgraph

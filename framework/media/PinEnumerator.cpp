#include "framework/media/PinEnumerator.h"

#include <vfwmsgs.h>

#include <new>

HRESULT PinEnumerator::Create(IBaseFilter* filter, PinListSource* pins, IEnumPins** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = new (std::nothrow) PinEnumerator(filter, pins);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

PinEnumerator::PinEnumerator(IBaseFilter* filter, PinListSource* pins)
    : ComObject(1), filter_(filter), pins_(pins), version_(pins->PinListVersion()) {
    pinCount_ = pins_->PinCount();
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Next(ULONG count, IPin** pins, ULONG* fetched) {
    if (pins == nullptr) {
        return E_POINTER;
    }
    if (fetched == nullptr && count > 1) {
        return E_INVALIDARG;
    }
    if (fetched != nullptr) {
        *fetched = 0;
    }
    // The pin set changed: start over, but keep the list of pins already
    // handed out so that only new pins come back.
    if (pins_->PinListVersion() != version_) {
        version_ = pins_->PinListVersion();
        pinCount_ = pins_->PinCount();
        position_ = 0;
    }

    const ULONG pinsLeft = position_ < pinCount_ ? static_cast<ULONG>(pinCount_ - position_) : 0;
    const ULONG wanted = count < pinsLeft ? count : pinsLeft;
    if (wanted == 0) {
        return S_FALSE;
    }

    HRESULT result = S_OK;
    ULONG produced = 0;
    while (position_ < pinCount_ && produced < wanted) {
        IPin* pin = pins_->PinAt(position_++);
        if (pin == nullptr) {
            result = VFW_E_ENUM_OUT_OF_SYNC;
            break;
        }
        if (handedOut_.Contains(pin)) {
            continue;
        }
        if (!handedOut_.Append(pin)) {
            break; // out of memory: what was produced so far
        }
        pin->AddRef(); // +1 for the caller
        pins[produced++] = pin;
    }

    // Fetched also tells a caller that gets the failure which pins it holds.
    if (fetched != nullptr) {
        *fetched = produced;
    }
    if (FAILED(result)) {
        return result;
    }
    return produced == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Skip(ULONG count) {
    if (pins_->PinListVersion() != version_) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    const ULONG pinsLeft = position_ < pinCount_ ? static_cast<ULONG>(pinCount_ - position_) : 0;
    if (pinsLeft < count) {
        return S_FALSE;
    }
    position_ += static_cast<int>(count);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Reset() {
    version_ = pins_->PinListVersion();
    pinCount_ = pins_->PinCount();
    position_ = 0;
    handedOut_.RemoveAll();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PinEnumerator::Clone(IEnumPins** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (pins_->PinListVersion() != version_) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    PinEnumerator* copy = new (std::nothrow) PinEnumerator(filter_.get(), pins_);
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    copy->position_ = position_;
    copy->pinCount_ = pinCount_;
    copy->version_ = version_;
    if (!copy->handedOut_.AppendAll(handedOut_)) {
        copy->Release(); // -1: destroys the half-made copy
        return E_OUTOFMEMORY;
    }
    *out = copy;
    return S_OK;
}

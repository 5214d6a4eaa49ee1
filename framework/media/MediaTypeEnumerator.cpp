#include "framework/media/MediaTypeEnumerator.h"

#include "framework/media/MediaTypeRecord.h"

#include <objbase.h>
#include <vfwmsgs.h>

#include <climits>
#include <new>

namespace {

// The pin's answer for `position`; positions past INT_MAX hold no type.
HRESULT ProposeAt(MediaTypeSource* types, ULONG position, MediaTypeRecord* type) {
    if (position > static_cast<ULONG>(INT_MAX)) {
        return S_FALSE;
    }
    return types->ProposeType(static_cast<int>(position), type);
}

} // namespace

HRESULT MediaTypeEnumerator::Create(IPin* pin, MediaTypeSource* types, IEnumMediaTypes** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = new (std::nothrow) MediaTypeEnumerator(pin, types, 0, types->TypeListVersion());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

MediaTypeEnumerator::MediaTypeEnumerator(IPin* pin, MediaTypeSource* types, ULONG position,
                                         LONG version)
    : ComObject(1), pin_(pin), types_(types), position_(position), version_(version) {}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Next(ULONG count, AM_MEDIA_TYPE** types,
                                                    ULONG* fetched) {
    if (types == nullptr) {
        return E_POINTER;
    }
    if (types_->TypeListVersion() != version_) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    if (fetched == nullptr && count > 1) {
        return E_INVALIDARG;
    }
    if (fetched != nullptr) {
        *fetched = 0;
    }

    ULONG produced = 0;
    while (produced < count) {
        // The position moves on even when this type turns out to be missing.
        const ULONG position = position_;
        if (position_ != ULONG_MAX) {
            ++position_;
        }
        MediaTypeRecord proposed; // releases its contents unless moved out
        if (ProposeAt(types_, position, &proposed) != S_OK) {
            break;
        }
        auto* handedOut = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (handedOut == nullptr) {
            break;
        }
        proposed.MoveTo(handedOut);
        types[produced++] = handedOut;
    }

    if (fetched != nullptr) {
        *fetched = produced;
    }
    return produced == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Skip(ULONG count) {
    if (count == 0) {
        return S_OK;
    }
    if (types_->TypeListVersion() != version_) {
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    position_ = (count > ULONG_MAX - position_) ? ULONG_MAX : position_ + count;
    MediaTypeRecord probe;
    return ProposeAt(types_, position_ - 1, &probe) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Reset() {
    position_ = 0;
    version_ = types_->TypeListVersion();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Clone(IEnumMediaTypes** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (types_->TypeListVersion() != version_) {
        *out = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *out = new (std::nothrow) MediaTypeEnumerator(pin_.get(), types_, position_, version_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

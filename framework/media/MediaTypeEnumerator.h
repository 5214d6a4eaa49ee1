// IEnumMediaTypes over a pin's proposed types.
#pragma once

#include "framework/com/ComObject.h"
#include "framework/com/ComPtr.h"
#include "framework/media/MediaTypeSource.h"

#include <windows.h>
#include <strmif.h>

class MediaTypeEnumerator : public ComObject<IEnumMediaTypes> {
public:
    // A new enumerator at position 0 with one reference, stored in *out.
    // `pin` is the pin's IPin (counted while the enumerator lives), `types`
    // the same pin's hooks. E_POINTER / E_OUTOFMEMORY.
    static HRESULT Create(IPin* pin, MediaTypeSource* types, IEnumMediaTypes** out);

    // IEnumMediaTypes
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override;

private:
    MediaTypeEnumerator(IPin* pin, MediaTypeSource* types, ULONG position, LONG version);
    ~MediaTypeEnumerator() override = default;

    const ComPtr<IPin> pin_;       // +1: keeps the pin's filter alive
    MediaTypeSource* const types_; // the same object as pin_
    ULONG position_;               // index of the next type
    LONG version_;                 // the pin's type-list version at creation or Reset
};

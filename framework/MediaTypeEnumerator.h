// IEnumMediaTypes over a pin's proposed types.
#pragma once

#include "framework/MediaTypeSource.h"

#include <windows.h>
#include <strmif.h>

class MediaTypeEnumerator : public IEnumMediaTypes {
public:
    // A new enumerator at position 0 with one reference, stored in *out.
    // `pin` is the pin's IPin (counted while the enumerator lives), `types`
    // the same pin's hooks. E_POINTER / E_OUTOFMEMORY.
    static HRESULT Create(IPin* pin, MediaTypeSource* types, IEnumMediaTypes** out);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IEnumMediaTypes
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override;

private:
    MediaTypeEnumerator(IPin* pin, MediaTypeSource* types, ULONG position, LONG version);
    virtual ~MediaTypeEnumerator();

    volatile LONG referenceCount_ = 1;
    IPin* const pin_;              // counted: keeps the pin's filter alive
    MediaTypeSource* const types_; // the same object as pin_
    ULONG position_;               // index of the next type
    LONG version_;                 // the pin's type-list version at creation or Reset
};

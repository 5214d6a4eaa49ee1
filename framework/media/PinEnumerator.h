// IEnumPins over a filter's pins. It remembers the pins it has handed out, so
// that a client still calling Next after the filter's pins changed receives
// only the pins it has not seen yet.
#pragma once

#include "framework/com/ComObject.h"
#include "framework/com/ComPtr.h"
#include "framework/media/PinListSource.h"
#include "framework/media/PointerList.h"

#include <windows.h>
#include <strmif.h>

class PinEnumerator : public ComObject<IEnumPins> {
public:
    // A new enumerator at position 0 with one reference, stored in *out.
    // `filter` is the filter's IBaseFilter (counted while the enumerator
    // lives), `pins` the same filter's hooks. E_POINTER / E_OUTOFMEMORY.
    static HRESULT Create(IBaseFilter* filter, PinListSource* pins, IEnumPins** out);

    // IEnumPins
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override;

private:
    PinEnumerator(IBaseFilter* filter, PinListSource* pins);
    ~PinEnumerator() override = default;

    const ComPtr<IBaseFilter> filter_; // +1 while the enumerator lives
    PinListSource* const pins_;        // the same object as filter_
    int position_ = 0;                 // index of the next pin
    int pinCount_;                     // as read at the last synchronisation
    LONG version_;                     // the filter's pin-set version at that time
    PointerList handedOut_;            // pins returned by Next since the last Reset
};

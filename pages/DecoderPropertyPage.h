// The decoder filter's property page: shows the stream information the
// decoder works with; changes nothing.
#pragma once

#include "framework/com/ComPtr.h"
#include "framework/setup/PropertyPageBase.h"

#include <corvina.h>

class DecoderPropertyPage : public PropertyPageBase {
public:
    // The factory table's create function: a new page with a count of 0, or
    // null and E_OUTOFMEMORY in *result.
    static UnknownBase* CreateInstance(IUnknown* outer, HRESULT* result);

    explicit DecoderPropertyPage(IUnknown* outer);

    HRESULT BindObject(IUnknown* object) override;
    HRESULT UnbindObject() override;
    HRESULT FillPage() override;

private:
    ComPtr<IDecoderInfo> decoderInfo_; // +1 on the decoder while bound
    AdxFormatInfo info_{};
};

// A property frame's page site that counts its references and records the
// status changes a page reports.
#pragma once

#include "CountingFake.h"

#include <ocidl.h>

#include <vector>

class CountingPageSite : public CountingFake<IPropertyPageSite> {
public:
    explicit CountingPageSite(LONG initialReferences = 0)
        : CountingFake<IPropertyPageSite>(initialReferences) {}

    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
        statusChanges.push_back(flags);
        return S_OK;
    }
    FAKE_NOT_CALLED(GetLocaleID(LCID*))
    FAKE_NOT_CALLED(GetPageContainer(IUnknown**))
    FAKE_NOT_CALLED(TranslateAccelerator(MSG*))

    std::vector<DWORD> statusChanges;
};

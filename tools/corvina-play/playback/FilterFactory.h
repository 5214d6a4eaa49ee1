// Where a graph's ADX filters come from: corvina.ax loaded as a module, or
// the filter classes linked into the program itself.
#pragma once

#include <windows.h>
#include <strmif.h>

class FilterFactory {
public:
    // A new filter of `classId`; *out holds the only reference.
    virtual HRESULT CreateFilter(REFCLSID classId, IBaseFilter** out) const = 0;

protected:
    FilterFactory() = default;
    ~FilterFactory() = default;
    FilterFactory(const FilterFactory&) = default;
    FilterFactory& operator=(const FilterFactory&) = default;
};

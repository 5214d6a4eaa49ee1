// What PinEnumerator asks of a filter: FilterBase implements it with its
// PinListVersion, PinCount and PinAt hooks.
#pragma once

#include <windows.h>
#include <strmif.h>

class PinListSource {
public:
    // Changes whenever the set of pins changes.
    virtual LONG PinListVersion() = 0;
    virtual int PinCount() = 0;
    // The pin at `index` (0 … PinCount() − 1) without a reference added, or
    // null. FilterBase may override it with a covariant PinBase*.
    virtual IPin* PinAt(int index) = 0;

protected:
    ~PinListSource() = default;
};

// What MediaTypeEnumerator asks of a pin: PinBase implements it with its
// TypeListVersion and ProposeType hooks.
#pragma once

#include <windows.h>

class MediaTypeRecord;

class MediaTypeSource {
public:
    // Changes whenever the list of proposed types changes.
    virtual LONG TypeListVersion() = 0;
    // S_OK with the type at `position` written into `type` (which arrives
    // Reset); any other answer ends the list.
    virtual HRESULT ProposeType(int position, MediaTypeRecord* type) = 0;

protected:
    ~MediaTypeSource() = default;
};

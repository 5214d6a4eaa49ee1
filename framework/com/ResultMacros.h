// Early-return helpers for HRESULT plumbing, so each step of a COM method
// reads as one line and the first failure leaves at once.
#pragma once

#include <windows.h>

// Returns the failure code of `expr` from the enclosing function.
#define RETURN_IF_FAILED(expr)                                                                     \
    do {                                                                                           \
        const HRESULT returnIfFailedResult_ = (expr);                                              \
        if (FAILED(returnIfFailedResult_)) {                                                       \
            return returnIfFailedResult_;                                                          \
        }                                                                                          \
    } while (0)

// Returns `hr` from the enclosing function when `ptr` is null.
#define RETURN_HR_IF_NULL(hr, ptr)                                                                 \
    do {                                                                                           \
        if ((ptr) == nullptr) {                                                                    \
            return (hr);                                                                           \
        }                                                                                          \
    } while (0)

// A Win32 error code as a failure HRESULT: 0x80070000 or-ed with the code.
inline HRESULT ResultFromWin32Error(DWORD errorCode) {
    return static_cast<HRESULT>(0x80070000u | errorCode);
}

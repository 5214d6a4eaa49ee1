// The decoder filter's custom interface: what the decoder's property page
// (and any application) reads about the stream the decoder is working on.
#pragma once

#include <unknwn.h>

struct AdxFormatInfo;

// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14C}
MIDL_INTERFACE("9E02EE7C-75D9-4365-AC37-0B6BAFBAA14C")
IDecoderInfo : public IUnknown {
public:
    // Fills `info` with the stream the input pin carries; all six values are
    // 0 (version 0: no information) before the first input connection.
    virtual HRESULT STDMETHODCALLTYPE GetStreamInfo(AdxFormatInfo * info) = 0;
};
__CRT_UUID_DECL(IDecoderInfo, 0x9e02ee7c, 0x75d9, 0x4365, 0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1,
                0x4c)

// The same identifier as a constant, for callers that pass IIDs by name.
inline constexpr IID IID_IDecoderInfo = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4c}};

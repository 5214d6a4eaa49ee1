// corvina: the ADX parser filter ("VAZ Iraz Ozadiz"), the ADX decoder filter
// ("Quellvane") and their property pages. What an application needs to build
// a graph with them and to drive them: the class identifiers, the parser's
// control interface, the decoder's information interface and the records
// they hand out.
//
//     #include <corvina.h>
//
//     IBaseFilter* parser = nullptr;
//     CoCreateInstance(CLSID_AdxParserFilter, nullptr, CLSCTX_INPROC_SERVER,
//                      IID_IBaseFilter, reinterpret_cast<void**>(&parser));
//     IAdxParserControl* control = nullptr;
//     parser->QueryInterface(IID_IAdxParserControl, reinterpret_cast<void**>(&control));
//     control->SetFileOffset(0x1000); // before the input pin connects
#pragma once

#include "AdxLoopPoint.h"

#include <unknwn.h>

#include <cstdint>
#include <type_traits>

// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14A}: the decoder filter, "Quellvane".
inline constexpr CLSID CLSID_AdxDecoderFilter = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4a}};
// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14B}: the decoder's property page.
inline constexpr CLSID CLSID_AdxDecoderPropertyPage = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4b}};
// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14D}: the parser filter, "VAZ Iraz Ozadiz".
inline constexpr CLSID CLSID_AdxParserFilter = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4d}};
// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14E}: the parser's property page.
inline constexpr CLSID CLSID_AdxParserPropertyPage = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4e}};

// The stream's format as both filters report it; a version of 0 means that
// no stream is loaded.
struct AdxFormatInfo {
    INT32 version;         // 3 or 4 (the loop-table layouts), else the raw version byte
    INT32 blockSize;       // bytes in one channel's block
    INT32 bitsPerSample;   // bits per encoded sample
    INT32 samplesPerBlock; // samples of one channel in one block
    INT32 channelCount;
    INT32 sampleRate; // samples per second of one channel
};

// AdxLoopPoint, one loop of the stream, comes from AdxLoopPoint.h.
static_assert(std::is_same<INT32, std::int32_t>::value, "AdxLoopPoint holds INT32s");

// {00008003-0000-0010-8000-00AA00389B71}: the media subtype of ADX data
// between the parser and the decoder (the wave-format-tag subtype of tag
// 0x8003).
inline constexpr GUID MEDIASUBTYPE_Adx = {
    0x00008003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The parser filter's control interface, obtained from the filter by
// QueryInterface. Every method may be called from any thread.
// {9E02EE7C-75D9-4365-AC37-0B6BAFBAA14F}
MIDL_INTERFACE("9E02EE7C-75D9-4365-AC37-0B6BAFBAA14F")
IAdxParserControl : public IUnknown {
public:
    // The loaded stream's format (all 0 while none is loaded). E_POINTER for
    // a null `info`.
    virtual HRESULT STDMETHODCALLTYPE GetFormatInfo(AdxFormatInfo * info) = 0;
    // Samples per channel in the loaded stream (the value itself, not a status).
    virtual INT32 STDMETHODCALLTYPE GetTotalSamples() = 0;
    // Where the ADX stream starts in the upstream file, in bytes. Only while
    // the input pin is unconnected: VFW_E_ALREADY_CONNECTED otherwise, S_FALSE
    // before the filter has made its pins (enumerate them first).
    virtual HRESULT STDMETHODCALLTYPE SetFileOffset(INT32 byteOffset) = 0;
    // The byte offset set above; 1 before the filter has made its pins.
    virtual INT32 STDMETHODCALLTYPE GetFileOffset() = 0;
    // With `loops` null: the number of loop records in *count. Otherwise
    // copies every record into `loops` (sized from an earlier count query)
    // and, when `count` is given, the number copied into *count.
    virtual HRESULT STDMETHODCALLTYPE GetLoopPoints(AdxLoopPoint * loops, INT32 * count) = 0;
    // Chooses the loop record to play and switches loop playback on (enable
    // non-zero) or off. S_FALSE, and nothing changes, for an index outside
    // the loop table.
    virtual HRESULT STDMETHODCALLTYPE SetLoop(INT32 index, INT32 enable) = 0;
    // The chosen loop record and whether loop playback is on (1) or off (0).
    virtual HRESULT STDMETHODCALLTYPE GetLoop(INT32 * index, INT32 * enabled) = 0;
};
__CRT_UUID_DECL(IAdxParserControl, 0x9e02ee7c, 0x75d9, 0x4365, 0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba,
                0xa1, 0x4f)

inline constexpr IID IID_IAdxParserControl = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4f}};

// The decoder filter's interface, obtained from the filter by QueryInterface:
// what the decoder's property page (and any application) reads about the
// stream the decoder is working on.
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

inline constexpr IID IID_IDecoderInfo = {
    0x9e02ee7c, 0x75d9, 0x4365, {0xac, 0x37, 0x0b, 0x6b, 0xaf, 0xba, 0xa1, 0x4c}};

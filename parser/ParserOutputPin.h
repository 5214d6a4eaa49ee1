// The parser's output pin ("Out"): offers the single ADX media type, sizes the
// output buffers, and answers IMediaSeeking for the whole graph (100-ns media
// time only; positions are turned into whole frames by the filter).
#pragma once

#include "framework/com/CriticalSection.h"
#include "framework/filters/OutputPinBase.h"

#include <strmif.h>

class ParserFilter;

class ParserOutputPin : public OutputPinBase, public IMediaSeeking {
public:
    ParserOutputPin(ParserFilter* filter, CriticalSection* filterLock);
    ~ParserOutputPin() override;

    // IUnknown of the IMediaSeeking face is the pin's.
    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // Hooks of PinBase and OutputPinBase.
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override;
    HRESULT ProposeType(int position, MediaTypeRecord* type) override;
    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // IPin: segments start here, nothing comes from downstream.
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

    // IMediaSeeking
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                LONGLONG source, const GUID* sourceFormat) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    // A newly connected stream: from its start to its end.
    void ResetPositions(LONGLONG duration);

private:
    // Can seek absolute, forwards and backwards, can get the stop position
    // and the duration; cannot report the current position.
    static constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                           AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                                           AM_SEEKING_CanGetDuration;

    ParserFilter* const parser_; // not counted: the filter owns this pin
    // A leaf lock of its own, not the filter lock: a renderer asks for the
    // stop position on the pull thread at end of stream, while a seek or
    // Stop may hold the filter lock waiting for that thread.
    CriticalSection positionLock_;
    LONGLONG currentPosition_ = 0; // position lock: the last requested start, 100-ns units
    LONGLONG stopPosition_ = 0;    // position lock: the requested stop
    double rate_ = 1.0;            // position lock
    LONGLONG duration_ = 0;        // position lock
};

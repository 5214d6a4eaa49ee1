#include "parser/ParserOutputPin.h"

#include "framework/com/ResultMacros.h"
#include "parser/ParserFilter.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <limits>

namespace {

bool IsMediaTime(const GUID& format) {
    return IsEqualGUID(format, TIME_FORMAT_MEDIA_TIME) != FALSE;
}

// The low two bits of a seeking flag word.
DWORD PositioningMode(DWORD flags) {
    return flags & AM_SEEKING_PositioningBitsMask;
}

// position + offset, held to the 64-bit range: a relative or incremental
// position far out saturates (the top meaning "no end") instead of wrapping.
LONGLONG SaturatingAdd(LONGLONG position, LONGLONG offset) {
    constexpr LONGLONG kMax = std::numeric_limits<LONGLONG>::max();
    constexpr LONGLONG kMin = std::numeric_limits<LONGLONG>::min();
    if (offset > 0 && position > kMax - offset) {
        return kMax;
    }
    if (offset < 0 && position < kMin - offset) {
        return kMin;
    }
    return position + offset;
}

} // namespace

ParserOutputPin::ParserOutputPin(ParserFilter* filter, CriticalSection* filterLock)
    : OutputPinBase(filter, filterLock, L"Out"), parser_(filter) {}

ParserOutputPin::~ParserOutputPin() = default;

HRESULT STDMETHODCALLTYPE ParserOutputPin::InnerQueryInterface(REFIID iid, void** out) {
    if (out != nullptr && IsEqualIID(iid, IID_IMediaSeeking)) {
        return HandOutInterface(static_cast<IMediaSeeking*>(this), out);
    }
    return OutputPinBase::InnerQueryInterface(iid, out);
}

HRESULT ParserOutputPin::AcceptType(const AM_MEDIA_TYPE* type) {
    MediaTypeRecord ours;
    if (parser_->BuildMediaType(ours) != S_OK) {
        return S_FALSE;
    }
    return ours.Equals(*type) ? S_OK : S_FALSE;
}

HRESULT ParserOutputPin::ProposeType(int position, MediaTypeRecord* type) {
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return parser_->BuildMediaType(*type);
}

HRESULT ParserOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
    const StreamGeometry geometry = parser_->Geometry();
    if (!geometry.IsUsable()) {
        return VFW_E_NOT_CONNECTED;
    }
    if (request->cbBuffer == 0) {
        request->cbBuffer = geometry.DefaultBufferBytes();
    }
    // The repacker moves whole frames: a smaller buffer would never advance.
    if (request->cbBuffer < geometry.FrameBytes()) {
        request->cbBuffer = geometry.FrameBytes();
    }
    if (request->cBuffers == 0) {
        request->cBuffers = 3;
    }
    ALLOCATOR_PROPERTIES actual{};
    RETURN_IF_FAILED(allocator->SetProperties(request, &actual));
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetCapabilities(DWORD* capabilities) {
    RETURN_HR_IF_NULL(E_POINTER, capabilities);
    *capabilities = kCapabilities;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::CheckCapabilities(DWORD* capabilities) {
    RETURN_HR_IF_NULL(E_POINTER, capabilities);
    return (*capabilities & ~kCapabilities) == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::IsFormatSupported(const GUID* format) {
    RETURN_HR_IF_NULL(E_POINTER, format);
    return IsMediaTime(*format) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::QueryPreferredFormat(GUID* format) {
    RETURN_HR_IF_NULL(E_POINTER, format);
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetTimeFormat(GUID* format) {
    return QueryPreferredFormat(format);
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::IsUsingTimeFormat(const GUID* format) {
    return IsFormatSupported(format);
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::SetTimeFormat(const GUID* format) {
    RETURN_HR_IF_NULL(E_POINTER, format);
    return IsMediaTime(*format) ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetDuration(LONGLONG* duration) {
    RETURN_HR_IF_NULL(E_POINTER, duration);
    auto guard = positionLock_.lock();
    *duration = duration_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetStopPosition(LONGLONG* stop) {
    RETURN_HR_IF_NULL(E_POINTER, stop);
    auto guard = positionLock_.lock();
    *stop = stopPosition_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetCurrentPosition(LONGLONG*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::ConvertTimeFormat(LONGLONG* target,
                                                             const GUID* targetFormat,
                                                             LONGLONG source,
                                                             const GUID* sourceFormat) {
    RETURN_HR_IF_NULL(E_POINTER, target);
    if ((targetFormat != nullptr && !IsMediaTime(*targetFormat)) ||
        (sourceFormat != nullptr && !IsMediaTime(*sourceFormat))) {
        return E_INVALIDARG;
    }
    *target = source;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                        LONGLONG* stop, DWORD stopFlags) {
    const DWORD currentMode = PositioningMode(currentFlags);
    const DWORD stopMode = PositioningMode(stopFlags);
    if (stopFlags != 0) {
        RETURN_HR_IF_NULL(E_POINTER, stop);
        if (stopFlags != stopMode) {
            return E_INVALIDARG;
        }
    }
    if (currentFlags != 0) {
        RETURN_HR_IF_NULL(E_POINTER, current);
        if (currentMode != AM_SEEKING_AbsolutePositioning &&
            currentMode != AM_SEEKING_RelativePositioning) {
            return E_INVALIDARG;
        }
    }
    {
        auto guard = positionLock_.lock();
        if (currentMode == AM_SEEKING_AbsolutePositioning) {
            currentPosition_ = *current;
        } else if (currentMode == AM_SEEKING_RelativePositioning) {
            currentPosition_ = SaturatingAdd(currentPosition_, *current);
        }
        if (stopMode == AM_SEEKING_AbsolutePositioning) {
            stopPosition_ = *stop;
        } else if (stopMode == AM_SEEKING_IncrementalPositioning) {
            stopPosition_ = SaturatingAdd(currentPosition_, *stop);
        } else if (stopMode == AM_SEEKING_RelativePositioning) {
            stopPosition_ = SaturatingAdd(stopPosition_, *stop);
        }
    }
    // One reposition takes both positions: a new start also reads to the
    // new stop, so a second flush and restart would only add latency.
    if (currentMode != AM_SEEKING_NoPositioning) {
        return parser_->Reposition(ParserFilter::kNewStart);
    }
    if (stopMode != AM_SEEKING_NoPositioning) {
        return parser_->Reposition(ParserFilter::kNewStop);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetPositions(LONGLONG* current, LONGLONG* stop) {
    auto guard = positionLock_.lock(); // 64-bit fields: no torn reads on 32-bit
    if (current != nullptr) {
        *current = currentPosition_;
    }
    if (stop != nullptr) {
        *stop = stopPosition_;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    auto guard = positionLock_.lock();
    if (earliest != nullptr) {
        *earliest = 0;
    }
    if (latest != nullptr) {
        *latest = duration_;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::SetRate(double rate) {
    {
        auto guard = positionLock_.lock();
        if (rate > 0.0) {
            rate_ = rate;
        }
    }
    return parser_->Reposition(ParserFilter::kNewRate);
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetRate(double* rate) {
    RETURN_HR_IF_NULL(E_POINTER, rate);
    auto guard = positionLock_.lock();
    *rate = rate_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParserOutputPin::GetPreroll(LONGLONG* preroll) {
    RETURN_HR_IF_NULL(E_POINTER, preroll);
    *preroll = 0;
    return S_OK;
}

void ParserOutputPin::ResetPositions(LONGLONG duration) {
    auto guard = positionLock_.lock();
    currentPosition_ = 0;
    stopPosition_ = duration;
    duration_ = duration;
}

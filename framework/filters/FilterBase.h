// The base of every filter: IBaseFilter (with IMediaFilter and IPersist) and
// IAMovieSetup; state, clock, graph membership, event forwarding and pin
// lookup. The derived filter supplies its pins and its own Stop.
#pragma once

#include "framework/com/CriticalSection.h"
#include "framework/com/ComPtr.h"
#include "framework/filters/PinBase.h"
#include "framework/media/PinListSource.h"
#include "framework/com/UnknownBase.h"

#include <windows.h>
#include <strmif.h>

#include <atomic>

class FilterBase : public UnknownBase,
                   public IBaseFilter,
                   public IAMovieSetup,
                   public PinListSource {
public:
    // `filterLock` is owned by the derived filter and shared with its pins.
    FilterBase(IUnknown* outer, CriticalSection* filterLock, const CLSID& classId);
    ~FilterBase() override;

    DECLARE_DELEGATING_UNKNOWN

    HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;

    // Hooks, in slot order.
    // The clock's time minus the run start time; VFW_E_NO_CLOCK without one.
    virtual HRESULT CurrentStreamTime(REFERENCE_TIME* time);
    LONG PinListVersion() override;
    int PinCount() override = 0;
    // A pin for every index below PinCount; no reference added.
    PinBase* PinAt(int index) override = 0;
    // Registration data for IAMovieSetup, or null (then Register and
    // Unregister do nothing).
    virtual const REGFILTER2* SetupInfo();

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
    // IMediaFilter (Stop is the derived filter's)
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* out) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** out) override;
    // IBaseFilter
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** out) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* out) override;
    // IAMovieSetup
    HRESULT STDMETHODCALLTYPE Register() override;
    HRESULT STDMETHODCALLTYPE Unregister() override;

    // Sends an event to the graph; for EC_COMPLETE the second parameter is
    // this filter. E_NOTIMPL outside a graph.
    HRESULT NotifyGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    // Makes open pin enumerators resynchronise; call whenever the pins change.
    void BumpPinListVersion();

    IBaseFilter* AsBaseFilter() { return static_cast<IBaseFilter*>(this); }
    FILTER_STATE State() const { return state_; }
    CriticalSection* FilterLock() const { return filterLock_; }
    IFilterGraph* Graph() const { return graph_; }
    IMediaEventSink* EventSink() const { return eventSink_; }

protected:
    // Written under the filter lock; atomic because GetState answers at once,
    // without the lock (a Stop in progress may hold it).
    std::atomic<FILTER_STATE> state_{State_Stopped};
    ComPtr<IReferenceClock> clock_;   // +1 on the graph's clock, when it gave one; filter lock
    REFERENCE_TIME runStartTime_ = 0; // filter lock
    const CLSID classId_;
    CriticalSection* const filterLock_;
    // Written under the filter lock by JoinFilterGraph, which the graph calls
    // only while the filter is stopped; read without it while streaming.
    WCHAR* name_ = nullptr;
    IFilterGraph* graph_ = nullptr;        // not counted: the graph owns the filter
    IMediaEventSink* eventSink_ = nullptr; // not counted, for the same reason
    volatile LONG pinListVersion_ = 1;     // changed by interlocked increments only
};

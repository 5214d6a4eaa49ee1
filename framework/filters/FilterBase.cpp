#include "framework/filters/FilterBase.h"

#include "framework/media/PinEnumerator.h"
#include "framework/com/ResultMacros.h"

#include <dshow.h>
#include <evcode.h>
#include <vfwmsgs.h>

#include <cwchar>
#include <new>

FilterBase::FilterBase(IUnknown* outer, CriticalSection* filterLock, const CLSID& classId)
    : UnknownBase(outer), classId_(classId), filterLock_(filterLock) {}

FilterBase::~FilterBase() {
    delete[] name_;
    clock_.reset(); // -1 on the clock
}

HRESULT STDMETHODCALLTYPE FilterBase::InnerQueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IBaseFilter) || IsEqualIID(iid, IID_IMediaFilter) ||
        IsEqualIID(iid, IID_IPersist)) {
        return HandOutInterface(static_cast<IBaseFilter*>(this), out); // +1 on Owner()
    }
    if (IsEqualIID(iid, IID_IAMovieSetup)) {
        return HandOutInterface(static_cast<IAMovieSetup*>(this), out); // +1 on Owner()
    }
    return UnknownBase::InnerQueryInterface(iid, out);
}

HRESULT FilterBase::CurrentStreamTime(REFERENCE_TIME* time) {
    if (!clock_) {
        return VFW_E_NO_CLOCK;
    }
    REFERENCE_TIME now = 0;
    RETURN_IF_FAILED(clock_->GetTime(&now));
    *time = now - runStartTime_;
    return S_OK;
}

LONG FilterBase::PinListVersion() {
    return pinListVersion_;
}

const REGFILTER2* FilterBase::SetupInfo() {
    return nullptr;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetClassID(CLSID* out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = classId_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::Pause() {
    auto guard = filterLock_->lock();
    if (state_ == State_Stopped) {
        for (int index = 0; index < PinCount(); ++index) {
            PinBase* pin = PinAt(index);
            if (pin->IsConnected()) {
                // Pins activated before a failure stay active.
                RETURN_IF_FAILED(pin->Activate());
            }
        }
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::Run(REFERENCE_TIME start) {
    auto guard = filterLock_->lock();
    runStartTime_ = start;
    if (state_ == State_Stopped) {
        // Through the interface, so that a derived filter's Pause runs.
        RETURN_IF_FAILED(AsBaseFilter()->Pause());
    }
    if (state_ != State_Running) {
        for (int index = 0; index < PinCount(); ++index) {
            PinBase* pin = PinAt(index);
            if (pin->IsConnected()) {
                RETURN_IF_FAILED(pin->StartRun(start));
            }
        }
    }
    state_ = State_Running;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetState(DWORD /*timeoutMs*/, FILTER_STATE* out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = state_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::SetSyncSource(IReferenceClock* clock) {
    auto guard = filterLock_->lock();
    clock_ = ComPtr<IReferenceClock>(clock); // +1 on the new clock, -1 on the old
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::GetSyncSource(IReferenceClock** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    auto guard = filterLock_->lock();
    clock_.copy_to(out); // +1 for the caller
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::EnumPins(IEnumPins** out) {
    return PinEnumerator::Create(AsBaseFilter(), this, out);
}

HRESULT STDMETHODCALLTYPE FilterBase::FindPin(LPCWSTR id, IPin** out) {
    RETURN_HR_IF_NULL(E_POINTER, out);
    auto guard = filterLock_->lock();
    for (int index = 0; index < PinCount(); ++index) {
        PinBase* pin = PinAt(index);
        if (lstrcmpW(pin->Name(), id) == 0) {
            *out = pin->AsPin();
            (*out)->AddRef(); // +1 for the caller, counted on this filter
            return S_OK;
        }
    }
    *out = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE FilterBase::QueryFilterInfo(FILTER_INFO* info) {
    RETURN_HR_IF_NULL(E_POINTER, info);
    info->achName[0] = L'\0';
    if (name_ != nullptr) {
        lstrcpynW(info->achName, name_, MAX_FILTER_NAME); // at most 127 and a terminator
    }
    info->pGraph = graph_;
    if (graph_ != nullptr) {
        graph_->AddRef(); // +1 for the caller
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    auto guard = filterLock_->lock();
    graph_ = graph;
    eventSink_ = nullptr;
    if (graph != nullptr) {
        // Held uncounted: the graph holds this filter, a count back would
        // make a cycle. The query's reference goes at the end of this block.
        ComPtr<IMediaEventSink> sink;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, sink.put_void()))) {
            eventSink_ = sink.get();
        }
    }
    delete[] name_;
    name_ = nullptr;
    if (name != nullptr) {
        const size_t length = wcslen(name);
        name_ = new (std::nothrow) WCHAR[length + 1];
        RETURN_HR_IF_NULL(E_OUTOFMEMORY, name_);
        wmemcpy(name_, name, length + 1);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterBase::QueryVendorInfo(LPWSTR* /*out*/) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterBase::Register() {
    const REGFILTER2* info = SetupInfo();
    if (info == nullptr) {
        return S_FALSE;
    }
    ComPtr<IFilterMapper2> mapper;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFilterMapper2, mapper.put_void()));
    return mapper->RegisterFilter(classId_, name_ != nullptr ? name_ : L"", nullptr, nullptr,
                                  nullptr, info);
}

HRESULT STDMETHODCALLTYPE FilterBase::Unregister() {
    if (SetupInfo() == nullptr) {
        return S_FALSE;
    }
    ComPtr<IFilterMapper2> mapper;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFilterMapper2, mapper.put_void()));
    return mapper->UnregisterFilter(nullptr, nullptr, classId_);
}

HRESULT FilterBase::NotifyGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
    if (eventSink_ == nullptr) {
        return E_NOTIMPL;
    }
    if (code == EC_COMPLETE) {
        param2 = reinterpret_cast<LONG_PTR>(AsBaseFilter());
    }
    return eventSink_->Notify(code, param1, param2);
}

void FilterBase::BumpPinListVersion() {
    InterlockedIncrement(&pinListVersion_);
}

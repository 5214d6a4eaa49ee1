// Counting fakes for peers the streaming tests need to misbehave: a graph
// that only collects events and a media sample without IMediaSample2.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>

#include "framework/MediaTypeRecord.h"

#include <vfwmsgs.h>

#include <vector>

#define FAKE_UNUSED(signature)                                                                     \
    HRESULT STDMETHODCALLTYPE signature override {                                                 \
        return E_NOTIMPL;                                                                          \
    }

// A graph that only collects events; counts its references.
class FakeGraph : public IFilterGraph, public IMediaEventSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IFilterGraph)) {
            *out = static_cast<IFilterGraph*>(this);
        } else if (IsEqualIID(iid, IID_IMediaEventSink)) {
            *out = static_cast<IMediaEventSink*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    FAKE_UNUSED(AddFilter(IBaseFilter*, LPCWSTR))
    FAKE_UNUSED(RemoveFilter(IBaseFilter*))
    FAKE_UNUSED(EnumFilters(IEnumFilters**))
    FAKE_UNUSED(FindFilterByName(LPCWSTR, IBaseFilter**))
    FAKE_UNUSED(ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*))
    FAKE_UNUSED(Reconnect(IPin*))
    FAKE_UNUSED(Disconnect(IPin*))
    FAKE_UNUSED(SetDefaultSyncSource())
    HRESULT STDMETHODCALLTYPE Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override {
        events.push_back({code, param1, param2});
        return notifyResult;
    }

    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    LONG references = 0;
    HRESULT notifyResult = S_OK;
    std::vector<Event> events;
};

// A sample that offers only IMediaSample, with scripted answers.
class FakeSample : public IMediaSample {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMediaSample)) {
            *out = static_cast<IMediaSample*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override {
        *buffer = data;
        return S_OK;
    }
    LONG STDMETHODCALLTYPE GetSize() override { return sizeof(data); }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
        if (!timed) {
            return VFW_E_SAMPLE_TIME_NOT_SET;
        }
        *start = 100;
        *stop = 200;
        return S_OK;
    }
    FAKE_UNUSED(SetTime(REFERENCE_TIME*, REFERENCE_TIME*))
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return syncPoint ? S_OK : S_FALSE; }
    FAKE_UNUSED(SetSyncPoint(BOOL))
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return preroll ? S_OK : S_FALSE; }
    FAKE_UNUSED(SetPreroll(BOOL))
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return 12; }
    FAKE_UNUSED(SetActualDataLength(LONG))
    // A fresh task-memory copy of `type`, as the platform hands it out.
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** out) override {
        if (type == nullptr) {
            *out = nullptr;
            return S_FALSE;
        }
        *out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        DeepCopyMediaType(*out, type);
        return S_OK;
    }
    FAKE_UNUSED(SetMediaType(AM_MEDIA_TYPE*))
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return discontinuity ? S_OK : S_FALSE; }
    FAKE_UNUSED(SetDiscontinuity(BOOL))
    FAKE_UNUSED(GetMediaTime(LONGLONG*, LONGLONG*))
    FAKE_UNUSED(SetMediaTime(LONGLONG*, LONGLONG*))

    LONG references = 0;
    bool timed = false;
    bool syncPoint = false;
    bool preroll = false;
    bool discontinuity = false;
    const AM_MEDIA_TYPE* type = nullptr;
    BYTE data[16] = {};
};

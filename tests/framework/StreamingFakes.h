// Counting fakes for peers the streaming tests need to misbehave: a graph
// that only collects events and a media sample without IMediaSample2.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>

#include "framework/media/MediaTypeRecord.h"

#include "CountingFake.h"

#include <vfwmsgs.h>

#include <vector>

// A graph that only collects events; counts its references.
class FakeGraph : public CountingFake<IFilterGraph, IMediaEventSink> {
public:
    FAKE_NOT_CALLED(AddFilter(IBaseFilter*, LPCWSTR))
    FAKE_NOT_CALLED(RemoveFilter(IBaseFilter*))
    FAKE_NOT_CALLED(EnumFilters(IEnumFilters**))
    FAKE_NOT_CALLED(FindFilterByName(LPCWSTR, IBaseFilter**))
    FAKE_NOT_CALLED(ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*))
    FAKE_NOT_CALLED(Reconnect(IPin*))
    FAKE_NOT_CALLED(Disconnect(IPin*))
    FAKE_NOT_CALLED(SetDefaultSyncSource())
    HRESULT STDMETHODCALLTYPE Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override {
        events.push_back({code, param1, param2});
        return notifyResult;
    }

    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    HRESULT notifyResult = S_OK;
    std::vector<Event> events;
};

// A sample that offers only IMediaSample, with scripted answers.
class FakeSample : public CountingFake<IMediaSample> {
public:
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
    FAKE_NOT_CALLED(SetTime(REFERENCE_TIME*, REFERENCE_TIME*))
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return syncPoint ? S_OK : S_FALSE; }
    FAKE_NOT_CALLED(SetSyncPoint(BOOL))
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return preroll ? S_OK : S_FALSE; }
    FAKE_NOT_CALLED(SetPreroll(BOOL))
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return 12; }
    FAKE_NOT_CALLED(SetActualDataLength(LONG))
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
    FAKE_NOT_CALLED(SetMediaType(AM_MEDIA_TYPE*))
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return discontinuity ? S_OK : S_FALSE; }
    FAKE_NOT_CALLED(SetDiscontinuity(BOOL))
    FAKE_NOT_CALLED(GetMediaTime(LONGLONG*, LONGLONG*))
    FAKE_NOT_CALLED(SetMediaTime(LONGLONG*, LONGLONG*))

    bool timed = false;
    bool syncPoint = false;
    bool preroll = false;
    bool discontinuity = false;
    const AM_MEDIA_TYPE* type = nullptr;
    BYTE data[16] = {};
};

// Fake pins and filters for the enumerator tests. They count their
// references, so a test can check that nothing leaks, and they let the test
// change their type list and pin set (with the versions that go with them).
#pragma once

#include "framework/media/MediaTypeRecord.h"
#include "framework/media/MediaTypeSource.h"
#include "framework/media/PinListSource.h"

#include "CountingFake.h"

#include <strmif.h>
#include <uuids.h>

#include <vector>

class FakePin : public CountingFake<IPin>, public MediaTypeSource {
public:
    FAKE_NOT_CALLED(Connect(IPin*, const AM_MEDIA_TYPE*))
    FAKE_NOT_CALLED(ReceiveConnection(IPin*, const AM_MEDIA_TYPE*))
    FAKE_NOT_CALLED(Disconnect())
    FAKE_NOT_CALLED(ConnectedTo(IPin**))
    FAKE_NOT_CALLED(ConnectionMediaType(AM_MEDIA_TYPE*))
    FAKE_NOT_CALLED(QueryPinInfo(PIN_INFO*))
    FAKE_NOT_CALLED(QueryDirection(PIN_DIRECTION*))
    FAKE_NOT_CALLED(QueryId(LPWSTR*))
    FAKE_NOT_CALLED(QueryAccept(const AM_MEDIA_TYPE*))
    FAKE_NOT_CALLED(EnumMediaTypes(IEnumMediaTypes**))
    FAKE_NOT_CALLED(QueryInternalConnections(IPin**, ULONG*))
    FAKE_NOT_CALLED(EndOfStream())
    FAKE_NOT_CALLED(BeginFlush())
    FAKE_NOT_CALLED(EndFlush())
    FAKE_NOT_CALLED(NewSegment(REFERENCE_TIME, REFERENCE_TIME, double))

    // MediaTypeSource: the types in `subtypes`, each with a 4-byte format
    // block and, when `attached` is set, a counted pUnk.
    LONG TypeListVersion() override { return typeListVersion; }
    HRESULT ProposeType(int position, MediaTypeRecord* type) override {
        ++proposals;
        if (position < 0 || position >= static_cast<int>(subtypes.size())) {
            return S_FALSE;
        }
        type->SetMajorType(MEDIATYPE_Audio);
        type->SetSubtype(subtypes[position]);
        type->SetFormatType(FORMAT_WaveFormatEx);
        const BYTE block[4] = {1, 2, 3, static_cast<BYTE>(position)};
        if (!type->SetFormat(block, sizeof(block))) {
            return E_OUTOFMEMORY;
        }
        if (attached != nullptr) {
            type->pUnk = attached;
            attached->AddRef(); // the record's reference
        }
        return S_OK;
    }

    LONG typeListVersion = 1;
    int proposals = 0;
    std::vector<GUID> subtypes;
    IUnknown* attached = nullptr;
};

class FakeFilter : public CountingFake<IBaseFilter>, public PinListSource {
public:
    FAKE_NOT_CALLED(GetClassID(CLSID*))
    FAKE_NOT_CALLED(Stop())
    FAKE_NOT_CALLED(Pause())
    FAKE_NOT_CALLED(Run(REFERENCE_TIME))
    FAKE_NOT_CALLED(GetState(DWORD, FILTER_STATE*))
    FAKE_NOT_CALLED(SetSyncSource(IReferenceClock*))
    FAKE_NOT_CALLED(GetSyncSource(IReferenceClock**))
    FAKE_NOT_CALLED(EnumPins(IEnumPins**))
    FAKE_NOT_CALLED(FindPin(LPCWSTR, IPin**))
    FAKE_NOT_CALLED(QueryFilterInfo(FILTER_INFO*))
    FAKE_NOT_CALLED(JoinFilterGraph(IFilterGraph*, LPCWSTR))
    FAKE_NOT_CALLED(QueryVendorInfo(LPWSTR*))

    LONG PinListVersion() override { return pinListVersion; }
    int PinCount() override { return static_cast<int>(pins.size()); }
    IPin* PinAt(int index) override { return pins[index]; }

    // Adds a pin (or a null entry, for a filter that breaks the contract)
    // and bumps the version, as a filter does when its pins change.
    void AddPin(IPin* pin) {
        pins.push_back(pin);
        ++pinListVersion;
    }

    LONG pinListVersion = 1;
    std::vector<IPin*> pins;
};

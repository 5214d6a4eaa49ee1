// Counted fakes for the pages' peers: the frame's page site and the two
// filters' custom interfaces. Each counts its references (a test expects the
// count back at 1, its own, when the page is done) and records the calls the
// page makes.
#pragma once

#include "CountingFake.h"
#include "CountingPageSite.h"

#include <corvina.h>
#include <ocidl.h>

#include <vector>

// The fakes start with the test's own reference.
template <typename Interface> class CountedFake : public CountingFake<Interface> {
public:
    CountedFake() : CountingFake<Interface>(1) {}
};

class FakePageSite : public CountingPageSite {
public:
    FakePageSite() : CountingPageSite(1) {}
};

class FakeParserControl : public CountedFake<IAdxParserControl> {
public:
    HRESULT STDMETHODCALLTYPE GetFormatInfo(AdxFormatInfo* out) override {
        if (SUCCEEDED(formatResult)) {
            *out = info;
        }
        return formatResult;
    }
    INT32 STDMETHODCALLTYPE GetTotalSamples() override { return totalSamples; }
    HRESULT STDMETHODCALLTYPE SetFileOffset(INT32 byteOffset) override {
        offsetsSet.push_back(byteOffset);
        if (setOffsetResult == S_OK) {
            fileOffset = byteOffset;
        }
        return setOffsetResult;
    }
    INT32 STDMETHODCALLTYPE GetFileOffset() override { return fileOffset; }
    HRESULT STDMETHODCALLTYPE GetLoopPoints(AdxLoopPoint* out, INT32* count) override {
        if (out == nullptr) {
            if (count == nullptr) {
                return E_POINTER;
            }
            *count = static_cast<INT32>(loops.size());
            return S_OK;
        }
        for (size_t i = 0; i < loops.size(); ++i) {
            out[i] = loops[i];
        }
        if (count != nullptr) {
            *count = static_cast<INT32>(loops.size());
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLoop(INT32 index, INT32 enable) override {
        loopsSet.push_back({index, enable});
        if (setLoopResult != S_OK) {
            return setLoopResult;
        }
        if (index < 0 || index >= static_cast<INT32>(loops.size())) {
            return S_FALSE;
        }
        loopIndex = index;
        loopEnabled = enable != 0 ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLoop(INT32* index, INT32* enabled) override {
        if (index == nullptr || enabled == nullptr) {
            return E_POINTER;
        }
        *index = loopIndex;
        *enabled = loopEnabled;
        return S_OK;
    }

    struct LoopChoice {
        INT32 index;
        INT32 enable;
    };

    // What the parser reports.
    HRESULT formatResult = S_OK;
    AdxFormatInfo info{3, 18, 4, 32, 2, 44100};
    INT32 totalSamples = 1000000;
    INT32 fileOffset = 0;
    std::vector<AdxLoopPoint> loops;
    INT32 loopIndex = 0;
    INT32 loopEnabled = 0;
    // How it answers changes.
    HRESULT setOffsetResult = S_OK;
    HRESULT setLoopResult = S_OK;
    // What the page asked for.
    std::vector<INT32> offsetsSet;
    std::vector<LoopChoice> loopsSet;
};

class FakeDecoderInfo : public CountedFake<IDecoderInfo> {
public:
    HRESULT STDMETHODCALLTYPE GetStreamInfo(AdxFormatInfo* out) override {
        ++streamInfoCalls;
        if (SUCCEEDED(result)) {
            *out = info;
        }
        return result;
    }

    HRESULT result = S_OK;
    AdxFormatInfo info{3, 18, 4, 32, 2, 22050};
    int streamInfoCalls = 0;
};

// A loop record from its start and end samples (the page shows nothing else).
inline AdxLoopPoint LoopBetween(INT32 startSample, INT32 endSample) {
    AdxLoopPoint loop{};
    loop.startSample = startSample;
    loop.endSample = endSample;
    return loop;
}

// Small filters and pins on the framework's bases for the filter, pin and
// streaming tests. Each hook records what it was asked and answers what the
// test configured; TestFilter::live counts filters so a test can see that a
// reference leaked (a leaked reference keeps its filter alive).
#pragma once

#include "framework/com/CriticalSection.h"
#include "framework/filters/FilterBase.h"
#include "framework/filters/InputPinBase.h"
#include "framework/filters/OutputPinBase.h"
#include "framework/media/MediaTypeRecord.h"
#include "framework/filters/PinBase.h"

#include <windows.h>
#include <strmif.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <string>
#include <utility>
#include <vector>

// Test subtypes: {7E570000 + n, ...}.
inline GUID TestSubtype(int n) {
    return GUID{0x7E570000u + static_cast<unsigned>(n),
                0x1A2B,
                0x4C3D,
                {0x8E, 0x9F, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}};
}

// Which test subtype a type carries, or -1.
inline int SubtypeNumber(const AM_MEDIA_TYPE& type) {
    for (int n = 0; n < 32; ++n) {
        if (IsEqualGUID(type.subtype, TestSubtype(n))) {
            return n;
        }
    }
    return -1;
}

// A complete audio type of test subtype n with a 2-byte format block.
inline void FillTestType(MediaTypeRecord* type, int n) {
    type->SetMajorType(MEDIATYPE_Audio);
    type->SetSubtype(TestSubtype(n));
    type->SetFormatType(FORMAT_WaveFormatEx);
    const BYTE block[2] = {0x5A, static_cast<BYTE>(n)};
    type->SetFormat(block, sizeof(block));
}

using EventLog = std::vector<std::string>;

// Pin names are plain ASCII in these tests.
inline std::string Narrow(const WCHAR* text) {
    std::string narrow;
    for (; text != nullptr && *text != L'\0'; ++text) {
        narrow += static_cast<char>(*text);
    }
    return narrow;
}

// Shared by the pin kinds: hook answers and records.
struct PinScript {
    std::vector<int> proposed;                    // subtypes offered by ProposeType
    std::vector<std::pair<int, HRESULT>> answers; // AcceptType by subtype; others refused
    HRESULT acceptOthers = VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT activateResult = S_OK;
    HRESULT startRunResult = S_OK;
    HRESULT finishResult = S_OK;
    std::vector<int> acceptCalls; // subtype of every AcceptType call
    int proposals = 0;
    int drops = 0;
    std::vector<bool> connectedAtDrops; // IsConnected() as each DropConnection saw it
    int endOfStreams = 0;

    HRESULT Accept(const AM_MEDIA_TYPE* type) {
        const int n = SubtypeNumber(*type);
        acceptCalls.push_back(n);
        for (const auto& answer : answers) {
            if (answer.first == n) {
                return answer.second;
            }
        }
        return acceptOthers;
    }
    HRESULT Propose(int position, MediaTypeRecord* type) {
        ++proposals;
        if (position < 0 || position >= static_cast<int>(proposed.size())) {
            return S_FALSE;
        }
        FillTestType(type, proposed[position]);
        return S_OK;
    }
};

class TestFilter;

// A pin straight on PinBase.
class TestPin : public PinBase {
public:
    TestPin(TestFilter* filter, const WCHAR* name, PIN_DIRECTION direction, EventLog* log);

    HRESULT Activate() override;
    HRESULT StartRun(REFERENCE_TIME start) override;
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override { return script.Accept(type); }
    HRESULT DropConnection() override {
        ++script.drops;
        script.connectedAtDrops.push_back(IsConnected());
        return S_OK;
    }
    HRESULT FinishConnection(IPin* /*peer*/) override { return script.finishResult; }
    HRESULT ProposeType(int position, MediaTypeRecord* type) override {
        return script.Propose(position, type);
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override {
        ++script.endOfStreams;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }

    using PinBase::AllowReconnectWhileActive;
    using PinBase::ForwardQuality;
    using PinBase::TryOwnTypesFirst;

    PinScript script;

private:
    EventLog* log_;
};

// A filter whose pins the test adds. It owns them and deletes them with
// itself.
class TestFilter : public FilterBase {
public:
    explicit TestFilter(const CLSID& classId = GUID_NULL) : FilterBase(nullptr, &lock_, classId) {
        ++live;
    }
    ~TestFilter() override {
        for (PinBase* pin : pins_) {
            delete pin;
        }
        --live;
    }

    // Adds a pin made by the test (for other pin kinds); takes ownership.
    template <typename Pin> Pin* Adopt(Pin* pin) {
        pins_.push_back(pin);
        BumpPinListVersion();
        return pin;
    }
    TestPin* AddPin(const WCHAR* name, PIN_DIRECTION direction) {
        return Adopt(new TestPin(this, name, direction, &log));
    }

    int PinCount() override { return static_cast<int>(pins_.size()); }
    PinBase* PinAt(int index) override { return pins_[index]; }

    HRESULT STDMETHODCALLTYPE Stop() override {
        auto guard = FilterLock()->lock();
        for (PinBase* pin : pins_) {
            if (pin->IsConnected()) {
                pin->Deactivate();
            }
        }
        state_ = State_Stopped;
        return S_OK;
    }

    EventLog log;
    static inline int live = 0;

private:
    CriticalSection lock_;
    std::vector<PinBase*> pins_;
};

inline TestPin::TestPin(TestFilter* filter, const WCHAR* name, PIN_DIRECTION direction,
                        EventLog* log)
    : PinBase(filter, filter->FilterLock(), name, direction), log_(log) {}

inline HRESULT TestPin::Activate() {
    log_->push_back("Activate " + Narrow(Name()));
    return script.activateResult;
}

inline HRESULT TestPin::StartRun(REFERENCE_TIME /*start*/) {
    log_->push_back("StartRun " + Narrow(Name()));
    return script.startRunResult;
}

// An input pin on InputPinBase. Its Receive runs the base's bookkeeping and
// then answers receiveAnswers[n] for the n-th sample that got through.
class TestInputPin : public InputPinBase {
public:
    TestInputPin(TestFilter* filter, const WCHAR* name)
        : InputPinBase(filter, filter->FilterLock(), name) {}

    HRESULT CanStream() override { return canStream; }
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override { return script.Accept(type); }
    HRESULT ProposeType(int position, MediaTypeRecord* type) override {
        return script.Propose(position, type);
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override {
        ++script.endOfStreams;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** out) override {
        if (FAILED(getAllocatorResult)) {
            return getAllocatorResult;
        }
        return InputPinBase::GetAllocator(out);
    }
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* out) override {
        if (requirements.cbBuffer == 0) {
            return InputPinBase::GetAllocatorRequirements(out);
        }
        *out = requirements;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override {
        const HRESULT checked = InputPinBase::Receive(sample);
        if (checked != S_OK) {
            return checked;
        }
        received.push_back(SampleProperties());
        const size_t n = received.size() - 1;
        return n < receiveAnswers.size() ? receiveAnswers[n] : S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override {
        return canBlock == E_NOTIMPL ? InputPinBase::ReceiveCanBlock() : canBlock;
    }

    PinScript script;
    HRESULT canStream = S_OK;
    HRESULT getAllocatorResult = S_OK;
    ALLOCATOR_PROPERTIES requirements{};
    HRESULT canBlock = E_NOTIMPL; // E_NOTIMPL: the base's answer
    std::vector<HRESULT> receiveAnswers;
    std::vector<AM_SAMPLE2_PROPERTIES> received;
};

// An output pin on OutputPinBase that asks for `buffers` buffers of
// `bufferBytes` and records the request it was given.
class TestOutputPin : public OutputPinBase {
public:
    TestOutputPin(TestFilter* filter, const WCHAR* name)
        : OutputPinBase(filter, filter->FilterLock(), name) {}

    HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        requests.push_back(*request);
        sizedAllocators.push_back(allocator);
        if (FAILED(sizeResult)) {
            return sizeResult;
        }
        ALLOCATOR_PROPERTIES wanted = *request;
        wanted.cBuffers = buffers;
        wanted.cbBuffer = bufferBytes;
        ALLOCATOR_PROPERTIES granted{};
        const HRESULT result = allocator->SetProperties(&wanted, &granted);
        if (FAILED(result)) {
            return result;
        }
        return granted.cbBuffer < bufferBytes ? E_FAIL : S_OK;
    }
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override { return script.Accept(type); }
    HRESULT ProposeType(int position, MediaTypeRecord* type) override {
        return script.Propose(position, type);
    }

    PinScript script;
    HRESULT sizeResult = S_OK;
    LONG buffers = 2;
    LONG bufferBytes = 4096;
    std::vector<ALLOCATOR_PROPERTIES> requests;
    std::vector<IMemAllocator*> sizedAllocators; // identities only
};

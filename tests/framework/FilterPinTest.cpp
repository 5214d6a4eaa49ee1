// FilterBase and PinBase with small test filters: connection negotiation,
// state changes, lookup, events, clock and quality forwarding.
#include "StreamingFakes.h"
#include "StreamingTestFilters.h"

#include "framework/com/ComPtr.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dshow.h>
#include <evcode.h>

#include <atomic>
#include <ostream>
#include <string>
#include <thread>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FakeClock : public CountingFake<IReferenceClock> {
public:
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override {
        *time = now;
        return timeResult;
    }
    FAKE_NOT_CALLED(AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*))
    FAKE_NOT_CALLED(AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*))
    FAKE_NOT_CALLED(Unadvise(DWORD_PTR))

    REFERENCE_TIME now = 0;
    HRESULT timeResult = S_OK;
};

class FakeQualitySink : public CountingFake<IQualityControl> {
public:
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* sender, Quality message) override {
        lastSender = sender;
        lastProportion = message.Proportion;
        return S_FALSE;
    }
    FAKE_NOT_CALLED(SetSink(IQualityControl*))

    IBaseFilter* lastSender = nullptr;
    long lastProportion = 0;
};

// Two filters: "Up" with output pin "Out", "Down" with input pin "In".
class FilterPinTest : public ::testing::Test {
protected:
    void SetUp() override {
        up_ = new TestFilter;
        down_ = new TestFilter;
        upHold_ = ComPtr<IBaseFilter>(up_->AsBaseFilter());
        downHold_ = ComPtr<IBaseFilter>(down_->AsBaseFilter());
        out_ = up_->AddPin(L"Out", PINDIR_OUTPUT);
        in_ = down_->AddPin(L"In", PINDIR_INPUT);
        out_->script.answers = {{1, S_OK}, {2, S_OK}, {3, S_OK}, {4, S_OK}, {5, S_OK}};
        in_->script.answers = out_->script.answers;
    }
    void TearDown() override {
        for (TestFilter* filter : {up_, down_}) {
            filter->Stop();
        }
        out_->Disconnect();
        in_->Disconnect();
        upHold_.reset();
        downHold_.reset();
        EXPECT_EQ(TestFilter::live, 0) << "a pin or filter reference leaked";
    }

    static MediaTypeRecord* TypeOf(int n, MediaTypeRecord* type) {
        FillTestType(type, n);
        return type;
    }
    static LONG FilterCount(IBaseFilter* filter) {
        filter->AddRef();
        return static_cast<LONG>(filter->Release());
    }
    static int ConnectedSubtype(PinBase* pin) {
        AM_MEDIA_TYPE type;
        if (pin->ConnectionMediaType(&type) != S_OK) {
            return -1;
        }
        const int n = SubtypeNumber(type);
        ReleaseContents(&type);
        return n;
    }

    TestFilter* up_ = nullptr;
    TestFilter* down_ = nullptr;
    ComPtr<IBaseFilter> upHold_;
    ComPtr<IBaseFilter> downHold_;
    TestPin* out_ = nullptr;
    TestPin* in_ = nullptr;
};

TEST_F(FilterPinTest, FullTypeIsTriedOnceWithoutEnumeration) {
    out_->script.proposed = {1, 2};
    in_->script.proposed = {3};
    MediaTypeRecord type;
    ASSERT_EQ(out_->Connect(in_, TypeOf(5, &type)), S_OK);
    EXPECT_EQ(out_->script.proposals + in_->script.proposals, 0);
    EXPECT_THAT(in_->script.acceptCalls, ElementsAre(5));
    EXPECT_EQ(out_->Peer(), in_->AsPin());
    EXPECT_EQ(in_->Peer(), out_->AsPin());
    EXPECT_EQ(ConnectedSubtype(out_), 5);
    EXPECT_EQ(ConnectedSubtype(in_), 5);
    EXPECT_TRUE(out_->ConnectionType().Equals(type));
}

TEST_F(FilterPinTest, NoTypeTriesThePeersListFirstThenItsOwn) {
    out_->script.proposed = {7, 2};
    in_->script.proposed = {8, 9};
    ASSERT_EQ(out_->Connect(in_, nullptr), S_OK);
    // 8 and 9 (the peer's) are refused by this pin; 7 by the peer; 2 connects.
    EXPECT_THAT(out_->script.acceptCalls, ElementsAre(8, 9, 7, 2));
    EXPECT_THAT(in_->script.acceptCalls, ElementsAre(2));
    EXPECT_EQ(ConnectedSubtype(in_), 2);
}

TEST_F(FilterPinTest, TryOwnTypesFirstSwapsThePasses) {
    out_->TryOwnTypesFirst();
    out_->script.proposed = {1};
    in_->script.proposed = {2};
    ASSERT_EQ(out_->Connect(in_, nullptr), S_OK);
    EXPECT_EQ(ConnectedSubtype(in_), 1);
}

TEST_F(FilterPinTest, PartialTypeTriesOnlyMatchingTypes) {
    in_->script.proposed = {1, 2, 3};
    out_->script.proposed = {4, 2};
    MediaTypeRecord pattern;
    pattern.SetMajorType(MEDIATYPE_Audio);
    pattern.SetSubtype(TestSubtype(2)); // formattype GUID_NULL: partial
    in_->script.answers = {{2, VFW_E_TYPE_NOT_ACCEPTED}};
    EXPECT_EQ(out_->Connect(in_, &pattern), VFW_E_NO_ACCEPTABLE_TYPES);
    // Type 2 from each list; types 1, 3 and 4 are never tried.
    EXPECT_THAT(out_->script.acceptCalls, ElementsAre(2, 2));
    EXPECT_THAT(in_->script.acceptCalls, ElementsAre(2, 2));

    in_->script.answers = {{2, S_OK}};
    out_->script.acceptCalls.clear();
    ASSERT_EQ(out_->Connect(in_, &pattern), S_OK);
    EXPECT_THAT(out_->script.acceptCalls, ElementsAre(2));
    EXPECT_EQ(ConnectedSubtype(out_), 2);
}

TEST_F(FilterPinTest, InputPinCanStartTheConnection) {
    out_->script.proposed = {3};
    ASSERT_EQ(in_->Connect(out_, nullptr), S_OK);
    EXPECT_EQ(out_->Peer(), in_->AsPin());
    EXPECT_EQ(ConnectedSubtype(out_), 3);
}

struct FailureCase {
    const char* name;
    std::vector<int> peerTypes;
    std::vector<int> ownTypes;
    std::vector<std::pair<int, HRESULT>> peerAnswers; // the receiving pin's AcceptType
    HRESULT expected;
};

void PrintTo(const FailureCase& t, std::ostream* out) {
    *out << t.name;
}

class FirstFailure : public FilterPinTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FirstFailure, IsReportedAndLeavesBothPinsUnconnected) {
    const FailureCase& t = GetParam();
    in_->script.proposed = t.peerTypes;
    out_->script.proposed = t.ownTypes;
    in_->script.answers = t.peerAnswers;
    EXPECT_EQ(out_->Connect(in_, nullptr), t.expected);
    EXPECT_FALSE(out_->IsConnected());
    EXPECT_FALSE(in_->IsConnected());
    EXPECT_GT(out_->script.drops, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Negotiation, FirstFailure,
    ::testing::Values(
        FailureCase{"AllRefused", {1, 2}, {3}, {}, VFW_E_NO_ACCEPTABLE_TYPES},
        FailureCase{"VagueRefusals",
                    {1, 2, 3},
                    {},
                    {{1, E_FAIL}, {2, E_INVALIDARG}, {3, S_FALSE}},
                    VFW_E_NO_ACCEPTABLE_TYPES},
        FailureCase{"FirstTellingFailureWins",
                    {1, 2, 3},
                    {},
                    {{1, VFW_E_TYPE_NOT_ACCEPTED}, {2, E_OUTOFMEMORY}, {3, E_ABORT}},
                    E_OUTOFMEMORY},
        // An empty own list has nothing to say and keeps the peer pass's code.
        FailureCase{"EmptySecondPassKeepsCode", {1}, {}, {{1, E_OUTOFMEMORY}}, E_OUTOFMEMORY},
        FailureCase{
            "LaterPassReplaces", {1}, {2}, {{1, E_ABORT}, {2, E_OUTOFMEMORY}}, E_OUTOFMEMORY},
        FailureCase{"NoTypesAnywhere", {}, {}, {}, VFW_E_NO_ACCEPTABLE_TYPES}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(FilterPinTest, SameDirectionIsRefused) {
    TestPin* secondOut = down_->AddPin(L"Out2", PINDIR_OUTPUT);
    secondOut->script.answers = out_->script.answers;
    MediaTypeRecord type;
    EXPECT_EQ(out_->Connect(secondOut, TypeOf(1, &type)), VFW_E_INVALID_DIRECTION);
    secondOut->script.proposed = {1};
    EXPECT_EQ(out_->Connect(secondOut, nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(secondOut->ReceiveConnection(out_, &type), VFW_E_INVALID_DIRECTION);
    EXPECT_FALSE(out_->IsConnected());
    EXPECT_FALSE(secondOut->IsConnected());
}

TEST_F(FilterPinTest, ConnectedPinRefusesAnotherConnectionAndKeepsItsOwn) {
    MediaTypeRecord type;
    ASSERT_EQ(out_->Connect(in_, TypeOf(1, &type)), S_OK);
    TestPin* otherIn = up_->AddPin(L"In2", PINDIR_INPUT);
    TestPin* otherOut = down_->AddPin(L"Out2", PINDIR_OUTPUT);
    MediaTypeRecord other;
    EXPECT_EQ(out_->Connect(otherIn, TypeOf(2, &other)), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(in_->ReceiveConnection(otherOut, &other), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(out_->Peer(), in_->AsPin());
    EXPECT_EQ(ConnectedSubtype(out_), 1);
    EXPECT_EQ(out_->script.drops, 0);
}

TEST_F(FilterPinTest, ConnectionsChangeOnlyWhenStopped) {
    MediaTypeRecord type;
    ASSERT_EQ(out_->Connect(in_, TypeOf(1, &type)), S_OK);
    TestPin* spareOut = down_->AddPin(L"Spare", PINDIR_OUTPUT);
    TestPin* spareIn = down_->AddPin(L"SpareIn", PINDIR_INPUT);
    ASSERT_EQ(down_->Pause(), S_OK);
    EXPECT_EQ(in_->Disconnect(), VFW_E_NOT_STOPPED);
    EXPECT_EQ(spareOut->Connect(spareIn, &type), VFW_E_NOT_STOPPED);
    EXPECT_EQ(spareIn->ReceiveConnection(out_, &type), VFW_E_NOT_STOPPED);

    // A pin that may reconnect while active connects, but Disconnect still
    // needs Stopped.
    TestPin* upIn = up_->AddPin(L"UpIn", PINDIR_INPUT);
    upIn->script.answers = {{1, S_OK}};
    spareOut->AllowReconnectWhileActive();
    spareOut->script.answers = {{1, S_OK}};
    EXPECT_EQ(spareOut->Connect(upIn, &type), S_OK);
    EXPECT_EQ(spareOut->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(down_->Stop(), S_OK);
    EXPECT_EQ(spareOut->Disconnect(), S_OK);
    EXPECT_EQ(upIn->Disconnect(), S_OK);
}

TEST_F(FilterPinTest, DisconnectReleasesThePeerAndOnlyThisSide) {
    const LONG downBefore = FilterCount(downHold_.get());
    MediaTypeRecord type;
    ASSERT_EQ(out_->Connect(in_, TypeOf(1, &type)), S_OK);
    EXPECT_EQ(FilterCount(downHold_.get()), downBefore + 1) << "the peer is counted";
    EXPECT_EQ(out_->Disconnect(), S_OK);
    EXPECT_EQ(FilterCount(downHold_.get()), downBefore);
    EXPECT_EQ(out_->script.drops, 1);
    EXPECT_TRUE(in_->IsConnected());
    EXPECT_EQ(out_->Disconnect(), S_FALSE);
    // The agreed type stays after disconnection; the interface says unconnected.
    EXPECT_EQ(SubtypeNumber(out_->ConnectionType()), 1);
    AM_MEDIA_TYPE empty;
    EXPECT_EQ(out_->ConnectionMediaType(&empty), VFW_E_NOT_CONNECTED);
    EXPECT_TRUE(IsEqualGUID(empty.majortype, GUID_NULL));
    EXPECT_EQ(empty.bFixedSizeSamples, TRUE);
    EXPECT_EQ(empty.lSampleSize, 1u);
    EXPECT_EQ(empty.cbFormat, 0u);
    IPin* peer = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(out_->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
}

// ConnectedTo takes no filter lock: asked while the other side connects and
// disconnects, it answers the peer or nothing, and counts stay balanced.
TEST_F(FilterPinTest, ConnectedToIsConsistentWhileConnectionsChange) {
    const LONG upBefore = FilterCount(upHold_.get());
    std::atomic<bool> done{false};
    std::atomic<int> wrongAnswers{0};
    std::thread asker([&] {
        while (!done) {
            IPin* peer = nullptr;
            const HRESULT hr = in_->ConnectedTo(&peer);
            if (hr == S_OK ? peer != out_->AsPin() : hr != VFW_E_NOT_CONNECTED || peer != nullptr) {
                ++wrongAnswers;
            }
            if (peer != nullptr) {
                peer->Release();
            }
        }
    });
    MediaTypeRecord type;
    bool connected = true;
    for (int round = 0; round < 2000 && connected; ++round) {
        connected = out_->Connect(in_, TypeOf(1, &type)) == S_OK && in_->Disconnect() == S_OK &&
                    out_->Disconnect() == S_OK;
    }
    done = true;
    asker.join();
    EXPECT_TRUE(connected);
    EXPECT_EQ(wrongAnswers, 0);
    EXPECT_EQ(FilterCount(upHold_.get()), upBefore);
}

TEST_F(FilterPinTest, FailedFinishDisconnectsThePeer) {
    out_->script.finishResult = E_ABORT;
    const LONG downBefore = FilterCount(downHold_.get());
    MediaTypeRecord type;
    EXPECT_EQ(out_->Connect(in_, TypeOf(1, &type)), E_ABORT);
    EXPECT_FALSE(in_->IsConnected());
    EXPECT_FALSE(out_->IsConnected());
    EXPECT_EQ(FilterCount(downHold_.get()), downBefore);

    out_->script.finishResult = S_OK;
    in_->script.finishResult = E_ABORT; // the receiving side cleans up itself
    EXPECT_EQ(out_->Connect(in_, &type), E_ABORT);
    EXPECT_FALSE(in_->IsConnected());
    EXPECT_FALSE(out_->IsConnected());
    EXPECT_GT(in_->script.drops, 0);
}

// The clean-up order of a failed attempt, as each DropConnection sees it: the
// connecting side drops while it still holds the peer and then drops once
// more after the negotiation; the receiving side lets the peer go first.
enum class Attempt { kConnectOwnFinishFails, kConnectOwnTypeRefused, kReceiveFinishFails };
struct RollbackCase {
    const char* name;
    Attempt attempt;
    HRESULT expected;
    std::vector<bool> outSaw;
    std::vector<bool> inSaw;
};

void PrintTo(const RollbackCase& t, std::ostream* out) {
    *out << t.name;
}

class Rollback : public FilterPinTest, public ::testing::WithParamInterface<RollbackCase> {};

TEST_P(Rollback, DropsInTheDocumentedOrder) {
    const RollbackCase& t = GetParam();
    MediaTypeRecord type;
    TypeOf(1, &type);
    HRESULT result = E_UNEXPECTED;
    switch (t.attempt) {
    case Attempt::kConnectOwnFinishFails:
        out_->script.finishResult = E_ABORT;
        result = out_->Connect(in_, &type);
        break;
    case Attempt::kConnectOwnTypeRefused:
        out_->script.answers.clear();
        result = out_->Connect(in_, &type);
        break;
    case Attempt::kReceiveFinishFails:
        in_->script.finishResult = E_ABORT;
        result = in_->ReceiveConnection(out_, &type);
        break;
    }
    EXPECT_EQ(result, t.expected);
    EXPECT_EQ(out_->script.connectedAtDrops, t.outSaw);
    EXPECT_EQ(in_->script.connectedAtDrops, t.inSaw);
    EXPECT_FALSE(out_->IsConnected());
    EXPECT_FALSE(in_->IsConnected());
}

INSTANTIATE_TEST_SUITE_P(
    FailedAttempts, Rollback,
    ::testing::Values(
        // The peer had accepted: its Disconnect drops with its peer held.
        RollbackCase{"ConnectOwnFinishFails",
                     Attempt::kConnectOwnFinishFails,
                     E_ABORT,
                     {true, false},
                     {true}},
        RollbackCase{"ConnectOwnTypeRefused",
                     Attempt::kConnectOwnTypeRefused,
                     VFW_E_TYPE_NOT_ACCEPTED,
                     {false, false},
                     {}},
        RollbackCase{"ReceiveFinishFails", Attempt::kReceiveFinishFails, E_ABORT, {}, {false}}),
    [](const ::testing::TestParamInfo<RollbackCase>& info) { return info.param.name; });

TEST_F(FilterPinTest, ReceiveConnectionChecksArgumentsAndType) {
    MediaTypeRecord type;
    EXPECT_EQ(in_->ReceiveConnection(nullptr, TypeOf(1, &type)), E_POINTER);
    EXPECT_EQ(in_->ReceiveConnection(out_, nullptr), E_POINTER);
    EXPECT_EQ(out_->Connect(nullptr, &type), E_POINTER);
    in_->script.answers = {{1, E_FAIL}, {2, E_OUTOFMEMORY}};
    EXPECT_EQ(in_->ReceiveConnection(out_, &type), VFW_E_TYPE_NOT_ACCEPTED);
    MediaTypeRecord second;
    EXPECT_EQ(in_->ReceiveConnection(out_, TypeOf(2, &second)), E_OUTOFMEMORY);
    EXPECT_EQ(in_->script.drops, 2);
    EXPECT_FALSE(in_->IsConnected());
}

TEST_F(FilterPinTest, QueryAcceptTurnsFailuresIntoFalse) {
    in_->script.answers = {{1, S_OK}, {2, E_ABORT}, {3, S_FALSE}};
    MediaTypeRecord one, two, three;
    EXPECT_EQ(in_->QueryAccept(TypeOf(1, &one)), S_OK);
    EXPECT_EQ(in_->QueryAccept(TypeOf(2, &two)), S_FALSE);
    EXPECT_EQ(in_->QueryAccept(TypeOf(3, &three)), S_FALSE);
    EXPECT_EQ(in_->QueryAccept(nullptr), E_POINTER);
}

TEST_F(FilterPinTest, PinReferencesAreTheFiltersReferences) {
    const LONG before = FilterCount(downHold_.get());
    IPin* pin = in_->AsPin();
    EXPECT_EQ(pin->AddRef(), static_cast<ULONG>(before + 1));
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(pin->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_EQ(FilterCount(downHold_.get()), before + 2);
    ComPtr<IQualityControl> quality;
    EXPECT_EQ(pin->QueryInterface(IID_IQualityControl, quality.put_void()), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(pin->QueryInterface(IID_IMemInputPin, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(pin->QueryInterface(IID_IPin, nullptr), E_POINTER);
    pin->Release();
    unknown.reset();
    quality.reset();
    EXPECT_EQ(FilterCount(downHold_.get()), before);
}

TEST_F(FilterPinTest, PauseAndRunActivateConnectedPinsInOrder) {
    up_->AddPin(L"Idle", PINDIR_OUTPUT); // unconnected: never activated
    MediaTypeRecord type;
    ASSERT_EQ(out_->Connect(in_, TypeOf(1, &type)), S_OK);
    ASSERT_EQ(up_->Run(1000), S_OK);
    EXPECT_THAT(up_->log, ElementsAre("Activate Out", "StartRun Out"));
    FILTER_STATE state;
    EXPECT_EQ(up_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    up_->log.clear();
    EXPECT_EQ(up_->Run(2000), S_OK); // already running: only the start time
    EXPECT_THAT(up_->log, IsEmpty());
    EXPECT_EQ(up_->Pause(), S_OK); // running to paused: state only
    EXPECT_EQ(up_->Run(3000), S_OK);
    EXPECT_THAT(up_->log, ElementsAre("StartRun Out"));
}

TEST_F(FilterPinTest, FailedActivateOrStartRunKeepsTheState) {
    MediaTypeRecord type;
    ASSERT_EQ(out_->Connect(in_, TypeOf(1, &type)), S_OK);
    out_->script.activateResult = E_ABORT;
    EXPECT_EQ(up_->Pause(), E_ABORT);
    EXPECT_EQ(up_->State(), State_Stopped);
    EXPECT_EQ(up_->Run(0), E_ABORT);
    EXPECT_EQ(up_->State(), State_Stopped);
    out_->script.activateResult = S_OK;
    out_->script.startRunResult = E_OUTOFMEMORY;
    EXPECT_EQ(up_->Run(0), E_OUTOFMEMORY);
    EXPECT_EQ(up_->State(), State_Paused);
}

TEST_F(FilterPinTest, FindPinIsCaseSensitive) {
    IPin* found = nullptr;
    ASSERT_EQ(down_->FindPin(L"In", &found), S_OK);
    EXPECT_EQ(found, in_->AsPin());
    found->Release();
    found = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(down_->FindPin(L"in", &found), VFW_E_NOT_FOUND);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(down_->FindPin(L"In", nullptr), E_POINTER);
}

TEST_F(FilterPinTest, QueryFilterInfoCutsTheNameAt127) {
    FILTER_INFO info;
    ASSERT_EQ(up_->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"");
    EXPECT_EQ(info.pGraph, nullptr);
    const std::wstring longName(200, L'n');
    ASSERT_EQ(up_->JoinFilterGraph(nullptr, longName.c_str()), S_OK);
    ASSERT_EQ(up_->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::wstring(info.achName), longName.substr(0, 127));
}

TEST_F(FilterPinTest, GraphAndEventSinkAreHeldUncounted) {
    FakeGraph graph;
    ASSERT_EQ(up_->NotifyGraphEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
    ASSERT_EQ(up_->JoinFilterGraph(&graph, L"Up"), S_OK);
    EXPECT_EQ(graph.references, 0);

    graph.notifyResult = S_FALSE;
    EXPECT_EQ(up_->NotifyGraphEvent(EC_COMPLETE, 5, 77), S_FALSE);
    EXPECT_EQ(up_->NotifyGraphEvent(EC_ERRORABORT, 6, 88), S_FALSE);
    ASSERT_EQ(graph.events.size(), 2u);
    EXPECT_EQ(graph.events[0].code, EC_COMPLETE);
    EXPECT_EQ(graph.events[0].param1, 5);
    EXPECT_EQ(graph.events[0].param2, reinterpret_cast<LONG_PTR>(upHold_.get()));
    EXPECT_EQ(graph.events[1].param2, 88);

    FILTER_INFO info;
    ASSERT_EQ(up_->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(&graph));
    EXPECT_EQ(graph.references, 1);
    info.pGraph->Release();

    ASSERT_EQ(up_->JoinFilterGraph(nullptr, nullptr), S_OK);
    EXPECT_EQ(up_->NotifyGraphEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
    EXPECT_EQ(graph.references, 0);
}

TEST_F(FilterPinTest, ClockIsCountedAndGivesStreamTime) {
    FakeClock clock;
    REFERENCE_TIME time = 0;
    EXPECT_EQ(up_->CurrentStreamTime(&time), VFW_E_NO_CLOCK);
    ASSERT_EQ(up_->SetSyncSource(&clock), S_OK);
    EXPECT_EQ(clock.references, 1);
    IReferenceClock* held = nullptr;
    ASSERT_EQ(up_->GetSyncSource(&held), S_OK);
    EXPECT_EQ(held, &clock);
    held->Release();
    ASSERT_EQ(up_->Run(300), S_OK);
    clock.now = 1000;
    EXPECT_EQ(up_->CurrentStreamTime(&time), S_OK);
    EXPECT_EQ(time, 700);
    clock.timeResult = E_UNEXPECTED;
    EXPECT_EQ(up_->CurrentStreamTime(&time), E_UNEXPECTED);
    ASSERT_EQ(up_->SetSyncSource(nullptr), S_OK);
    EXPECT_EQ(clock.references, 0);
    EXPECT_EQ(up_->GetSyncSource(&held), S_OK);
    EXPECT_EQ(held, nullptr);
}

TEST_F(FilterPinTest, ClassIdAndSetupFaces) {
    const CLSID classId = TestSubtype(30);
    TestFilter* filter = new TestFilter(classId);
    ComPtr<IBaseFilter> hold(filter->AsBaseFilter());
    CLSID answered;
    ASSERT_EQ(filter->GetClassID(&answered), S_OK);
    EXPECT_TRUE(IsEqualGUID(answered, classId));
    EXPECT_EQ(filter->GetClassID(nullptr), E_POINTER);
    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(hold->QueryInterface(IID_IAMovieSetup, setup.put_void()), S_OK);
    EXPECT_EQ(setup->Register(), S_FALSE);
    EXPECT_EQ(setup->Unregister(), S_FALSE);
    ComPtr<IPersist> persist;
    EXPECT_EQ(setup->QueryInterface(IID_IPersist, persist.put_void()), S_OK);
    EXPECT_EQ(static_cast<void*>(persist.get()), static_cast<void*>(hold.get()));
}

TEST_F(FilterPinTest, QualityGoesToTheSinkElseUpstream) {
    Quality message{Famine, 900, 0, 0};
    EXPECT_EQ(in_->ForwardQuality(message), VFW_E_NOT_FOUND);
    MediaTypeRecord type;
    ASSERT_EQ(out_->Connect(in_, TypeOf(1, &type)), S_OK);
    EXPECT_EQ(in_->ForwardQuality(message), E_NOTIMPL) << "the peer's Notify answers";
    FakeQualitySink sink;
    ASSERT_EQ(in_->SetSink(&sink), S_OK);
    EXPECT_EQ(sink.references, 0);
    EXPECT_EQ(in_->ForwardQuality(message), S_FALSE);
    EXPECT_EQ(sink.lastSender, downHold_.get());
    EXPECT_EQ(sink.lastProportion, 900);
}

TEST_F(FilterPinTest, SeekingPassThroughAnswersSeeking) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        ComPtr<IUnknown> passThrough;
        ASSERT_EQ(PinBase::MakeSeekingPassThrough(nullptr, FALSE, in_->AsPin(), passThrough.put()),
                  S_OK);
        ComPtr<IMediaSeeking> seeking;
        EXPECT_EQ(passThrough.query_to(seeking), S_OK);
    }
    EXPECT_EQ(PinBase::MakeSeekingPassThrough(nullptr, FALSE, in_->AsPin(), nullptr), E_POINTER);
    CoUninitialize();
}

} // namespace

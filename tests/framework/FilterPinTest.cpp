// FilterBase and PinBase with small test filters: connection negotiation,
// state changes, lookup, events, clock and quality forwarding.
#include "StreamingFakes.h"
#include "StreamingTestFilters.h"

#include "framework/com/ComPtr.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dshow.h>
#include <evcode.h>

#include <ostream>
#include <string>

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
        up = new TestFilter;
        down = new TestFilter;
        upHold = ComPtr<IBaseFilter>(up->AsBaseFilter());
        downHold = ComPtr<IBaseFilter>(down->AsBaseFilter());
        out = up->AddPin(L"Out", PINDIR_OUTPUT);
        in = down->AddPin(L"In", PINDIR_INPUT);
        out->script.answers = {{1, S_OK}, {2, S_OK}, {3, S_OK}, {4, S_OK}, {5, S_OK}};
        in->script.answers = out->script.answers;
    }
    void TearDown() override {
        for (TestFilter* filter : {up, down}) {
            filter->Stop();
        }
        out->Disconnect();
        in->Disconnect();
        upHold.reset();
        downHold.reset();
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

    TestFilter* up = nullptr;
    TestFilter* down = nullptr;
    ComPtr<IBaseFilter> upHold;
    ComPtr<IBaseFilter> downHold;
    TestPin* out = nullptr;
    TestPin* in = nullptr;
};

TEST_F(FilterPinTest, FullTypeIsTriedOnceWithoutEnumeration) {
    out->script.proposed = {1, 2};
    in->script.proposed = {3};
    MediaTypeRecord type;
    ASSERT_EQ(out->Connect(in, TypeOf(5, &type)), S_OK);
    EXPECT_EQ(out->script.proposals + in->script.proposals, 0);
    EXPECT_THAT(in->script.acceptCalls, ElementsAre(5));
    EXPECT_EQ(out->Peer(), in->AsPin());
    EXPECT_EQ(in->Peer(), out->AsPin());
    EXPECT_EQ(ConnectedSubtype(out), 5);
    EXPECT_EQ(ConnectedSubtype(in), 5);
    EXPECT_TRUE(out->ConnectionType().Equals(type));
}

TEST_F(FilterPinTest, NoTypeTriesThePeersListFirstThenItsOwn) {
    out->script.proposed = {7, 2};
    in->script.proposed = {8, 9};
    ASSERT_EQ(out->Connect(in, nullptr), S_OK);
    // 8 and 9 (the peer's) are refused by this pin; 7 by the peer; 2 connects.
    EXPECT_THAT(out->script.acceptCalls, ElementsAre(8, 9, 7, 2));
    EXPECT_THAT(in->script.acceptCalls, ElementsAre(2));
    EXPECT_EQ(ConnectedSubtype(in), 2);
}

TEST_F(FilterPinTest, TryOwnTypesFirstSwapsThePasses) {
    out->TryOwnTypesFirst();
    out->script.proposed = {1};
    in->script.proposed = {2};
    ASSERT_EQ(out->Connect(in, nullptr), S_OK);
    EXPECT_EQ(ConnectedSubtype(in), 1);
}

TEST_F(FilterPinTest, PartialTypeTriesOnlyMatchingTypes) {
    in->script.proposed = {1, 2, 3};
    out->script.proposed = {4, 2};
    MediaTypeRecord pattern;
    pattern.SetMajorType(MEDIATYPE_Audio);
    pattern.SetSubtype(TestSubtype(2)); // formattype GUID_NULL: partial
    in->script.answers = {{2, VFW_E_TYPE_NOT_ACCEPTED}};
    EXPECT_EQ(out->Connect(in, &pattern), VFW_E_NO_ACCEPTABLE_TYPES);
    // Type 2 from each list; types 1, 3 and 4 are never tried.
    EXPECT_THAT(out->script.acceptCalls, ElementsAre(2, 2));
    EXPECT_THAT(in->script.acceptCalls, ElementsAre(2, 2));

    in->script.answers = {{2, S_OK}};
    out->script.acceptCalls.clear();
    ASSERT_EQ(out->Connect(in, &pattern), S_OK);
    EXPECT_THAT(out->script.acceptCalls, ElementsAre(2));
    EXPECT_EQ(ConnectedSubtype(out), 2);
}

TEST_F(FilterPinTest, InputPinCanStartTheConnection) {
    out->script.proposed = {3};
    ASSERT_EQ(in->Connect(out, nullptr), S_OK);
    EXPECT_EQ(out->Peer(), in->AsPin());
    EXPECT_EQ(ConnectedSubtype(out), 3);
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
    in->script.proposed = t.peerTypes;
    out->script.proposed = t.ownTypes;
    in->script.answers = t.peerAnswers;
    EXPECT_EQ(out->Connect(in, nullptr), t.expected);
    EXPECT_FALSE(out->IsConnected());
    EXPECT_FALSE(in->IsConnected());
    EXPECT_GT(out->script.drops, 0);
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
    TestPin* secondOut = down->AddPin(L"Out2", PINDIR_OUTPUT);
    secondOut->script.answers = out->script.answers;
    MediaTypeRecord type;
    EXPECT_EQ(out->Connect(secondOut, TypeOf(1, &type)), VFW_E_INVALID_DIRECTION);
    secondOut->script.proposed = {1};
    EXPECT_EQ(out->Connect(secondOut, nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(secondOut->ReceiveConnection(out, &type), VFW_E_INVALID_DIRECTION);
    EXPECT_FALSE(out->IsConnected());
    EXPECT_FALSE(secondOut->IsConnected());
}

TEST_F(FilterPinTest, ConnectedPinRefusesAnotherConnectionAndKeepsItsOwn) {
    MediaTypeRecord type;
    ASSERT_EQ(out->Connect(in, TypeOf(1, &type)), S_OK);
    TestPin* otherIn = up->AddPin(L"In2", PINDIR_INPUT);
    TestPin* otherOut = down->AddPin(L"Out2", PINDIR_OUTPUT);
    MediaTypeRecord other;
    EXPECT_EQ(out->Connect(otherIn, TypeOf(2, &other)), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(in->ReceiveConnection(otherOut, &other), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(out->Peer(), in->AsPin());
    EXPECT_EQ(ConnectedSubtype(out), 1);
    EXPECT_EQ(out->script.drops, 0);
}

TEST_F(FilterPinTest, ConnectionsChangeOnlyWhenStopped) {
    MediaTypeRecord type;
    ASSERT_EQ(out->Connect(in, TypeOf(1, &type)), S_OK);
    TestPin* spareOut = down->AddPin(L"Spare", PINDIR_OUTPUT);
    TestPin* spareIn = down->AddPin(L"SpareIn", PINDIR_INPUT);
    ASSERT_EQ(down->Pause(), S_OK);
    EXPECT_EQ(in->Disconnect(), VFW_E_NOT_STOPPED);
    EXPECT_EQ(spareOut->Connect(spareIn, &type), VFW_E_NOT_STOPPED);
    EXPECT_EQ(spareIn->ReceiveConnection(out, &type), VFW_E_NOT_STOPPED);

    // A pin that may reconnect while active connects, but Disconnect still
    // needs Stopped.
    TestPin* upIn = up->AddPin(L"UpIn", PINDIR_INPUT);
    upIn->script.answers = {{1, S_OK}};
    spareOut->AllowReconnectWhileActive();
    spareOut->script.answers = {{1, S_OK}};
    EXPECT_EQ(spareOut->Connect(upIn, &type), S_OK);
    EXPECT_EQ(spareOut->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(down->Stop(), S_OK);
    EXPECT_EQ(spareOut->Disconnect(), S_OK);
    EXPECT_EQ(upIn->Disconnect(), S_OK);
}

TEST_F(FilterPinTest, DisconnectReleasesThePeerAndOnlyThisSide) {
    const LONG downBefore = FilterCount(downHold.get());
    MediaTypeRecord type;
    ASSERT_EQ(out->Connect(in, TypeOf(1, &type)), S_OK);
    EXPECT_EQ(FilterCount(downHold.get()), downBefore + 1) << "the peer is counted";
    EXPECT_EQ(out->Disconnect(), S_OK);
    EXPECT_EQ(FilterCount(downHold.get()), downBefore);
    EXPECT_EQ(out->script.drops, 1);
    EXPECT_TRUE(in->IsConnected());
    EXPECT_EQ(out->Disconnect(), S_FALSE);
    // The agreed type stays after disconnection; the interface says unconnected.
    EXPECT_EQ(SubtypeNumber(out->ConnectionType()), 1);
    AM_MEDIA_TYPE empty;
    EXPECT_EQ(out->ConnectionMediaType(&empty), VFW_E_NOT_CONNECTED);
    EXPECT_TRUE(IsEqualGUID(empty.majortype, GUID_NULL));
    EXPECT_EQ(empty.bFixedSizeSamples, TRUE);
    EXPECT_EQ(empty.lSampleSize, 1u);
    EXPECT_EQ(empty.cbFormat, 0u);
    IPin* peer = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(out->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
}

TEST_F(FilterPinTest, FailedFinishDisconnectsThePeer) {
    out->script.finishResult = E_ABORT;
    const LONG downBefore = FilterCount(downHold.get());
    MediaTypeRecord type;
    EXPECT_EQ(out->Connect(in, TypeOf(1, &type)), E_ABORT);
    EXPECT_FALSE(in->IsConnected());
    EXPECT_FALSE(out->IsConnected());
    EXPECT_EQ(FilterCount(downHold.get()), downBefore);

    out->script.finishResult = S_OK;
    in->script.finishResult = E_ABORT; // the receiving side cleans up itself
    EXPECT_EQ(out->Connect(in, &type), E_ABORT);
    EXPECT_FALSE(in->IsConnected());
    EXPECT_FALSE(out->IsConnected());
    EXPECT_GT(in->script.drops, 0);
}

// The clean-up order of a failed attempt, as each DropConnection sees it: the
// connecting side drops while it still holds the peer and then drops once
// more after the negotiation; the receiving side lets the peer go first.
enum class Attempt { ConnectOwnFinishFails, ConnectOwnTypeRefused, ReceiveFinishFails };
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
    case Attempt::ConnectOwnFinishFails:
        out->script.finishResult = E_ABORT;
        result = out->Connect(in, &type);
        break;
    case Attempt::ConnectOwnTypeRefused:
        out->script.answers.clear();
        result = out->Connect(in, &type);
        break;
    case Attempt::ReceiveFinishFails:
        in->script.finishResult = E_ABORT;
        result = in->ReceiveConnection(out, &type);
        break;
    }
    EXPECT_EQ(result, t.expected);
    EXPECT_EQ(out->script.connectedAtDrops, t.outSaw);
    EXPECT_EQ(in->script.connectedAtDrops, t.inSaw);
    EXPECT_FALSE(out->IsConnected());
    EXPECT_FALSE(in->IsConnected());
}

INSTANTIATE_TEST_SUITE_P(
    FailedAttempts, Rollback,
    ::testing::Values(
        // The peer had accepted: its Disconnect drops with its peer held.
        RollbackCase{"ConnectOwnFinishFails",
                     Attempt::ConnectOwnFinishFails,
                     E_ABORT,
                     {true, false},
                     {true}},
        RollbackCase{"ConnectOwnTypeRefused",
                     Attempt::ConnectOwnTypeRefused,
                     VFW_E_TYPE_NOT_ACCEPTED,
                     {false, false},
                     {}},
        RollbackCase{"ReceiveFinishFails", Attempt::ReceiveFinishFails, E_ABORT, {}, {false}}),
    [](const ::testing::TestParamInfo<RollbackCase>& info) { return info.param.name; });

TEST_F(FilterPinTest, ReceiveConnectionChecksArgumentsAndType) {
    MediaTypeRecord type;
    EXPECT_EQ(in->ReceiveConnection(nullptr, TypeOf(1, &type)), E_POINTER);
    EXPECT_EQ(in->ReceiveConnection(out, nullptr), E_POINTER);
    EXPECT_EQ(out->Connect(nullptr, &type), E_POINTER);
    in->script.answers = {{1, E_FAIL}, {2, E_OUTOFMEMORY}};
    EXPECT_EQ(in->ReceiveConnection(out, &type), VFW_E_TYPE_NOT_ACCEPTED);
    MediaTypeRecord second;
    EXPECT_EQ(in->ReceiveConnection(out, TypeOf(2, &second)), E_OUTOFMEMORY);
    EXPECT_EQ(in->script.drops, 2);
    EXPECT_FALSE(in->IsConnected());
}

TEST_F(FilterPinTest, QueryAcceptTurnsFailuresIntoFalse) {
    in->script.answers = {{1, S_OK}, {2, E_ABORT}, {3, S_FALSE}};
    MediaTypeRecord one, two, three;
    EXPECT_EQ(in->QueryAccept(TypeOf(1, &one)), S_OK);
    EXPECT_EQ(in->QueryAccept(TypeOf(2, &two)), S_FALSE);
    EXPECT_EQ(in->QueryAccept(TypeOf(3, &three)), S_FALSE);
    EXPECT_EQ(in->QueryAccept(nullptr), E_POINTER);
}

TEST_F(FilterPinTest, PinReferencesAreTheFiltersReferences) {
    const LONG before = FilterCount(downHold.get());
    IPin* pin = in->AsPin();
    EXPECT_EQ(pin->AddRef(), static_cast<ULONG>(before + 1));
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(pin->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_EQ(FilterCount(downHold.get()), before + 2);
    ComPtr<IQualityControl> quality;
    EXPECT_EQ(pin->QueryInterface(IID_IQualityControl, quality.put_void()), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(pin->QueryInterface(IID_IMemInputPin, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(pin->QueryInterface(IID_IPin, nullptr), E_POINTER);
    pin->Release();
    unknown.reset();
    quality.reset();
    EXPECT_EQ(FilterCount(downHold.get()), before);
}

TEST_F(FilterPinTest, PauseAndRunActivateConnectedPinsInOrder) {
    up->AddPin(L"Idle", PINDIR_OUTPUT); // unconnected: never activated
    MediaTypeRecord type;
    ASSERT_EQ(out->Connect(in, TypeOf(1, &type)), S_OK);
    ASSERT_EQ(up->Run(1000), S_OK);
    EXPECT_THAT(up->log, ElementsAre("Activate Out", "StartRun Out"));
    FILTER_STATE state;
    EXPECT_EQ(up->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    up->log.clear();
    EXPECT_EQ(up->Run(2000), S_OK); // already running: only the start time
    EXPECT_THAT(up->log, IsEmpty());
    EXPECT_EQ(up->Pause(), S_OK); // running to paused: state only
    EXPECT_EQ(up->Run(3000), S_OK);
    EXPECT_THAT(up->log, ElementsAre("StartRun Out"));
}

TEST_F(FilterPinTest, FailedActivateOrStartRunKeepsTheState) {
    MediaTypeRecord type;
    ASSERT_EQ(out->Connect(in, TypeOf(1, &type)), S_OK);
    out->script.activateResult = E_ABORT;
    EXPECT_EQ(up->Pause(), E_ABORT);
    EXPECT_EQ(up->State(), State_Stopped);
    EXPECT_EQ(up->Run(0), E_ABORT);
    EXPECT_EQ(up->State(), State_Stopped);
    out->script.activateResult = S_OK;
    out->script.startRunResult = E_OUTOFMEMORY;
    EXPECT_EQ(up->Run(0), E_OUTOFMEMORY);
    EXPECT_EQ(up->State(), State_Paused);
}

TEST_F(FilterPinTest, FindPinIsCaseSensitive) {
    IPin* found = nullptr;
    ASSERT_EQ(down->FindPin(L"In", &found), S_OK);
    EXPECT_EQ(found, in->AsPin());
    found->Release();
    found = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(down->FindPin(L"in", &found), VFW_E_NOT_FOUND);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(down->FindPin(L"In", nullptr), E_POINTER);
}

TEST_F(FilterPinTest, QueryFilterInfoCutsTheNameAt127) {
    FILTER_INFO info;
    ASSERT_EQ(up->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"");
    EXPECT_EQ(info.pGraph, nullptr);
    const std::wstring longName(200, L'n');
    ASSERT_EQ(up->JoinFilterGraph(nullptr, longName.c_str()), S_OK);
    ASSERT_EQ(up->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::wstring(info.achName), longName.substr(0, 127));
}

TEST_F(FilterPinTest, GraphAndEventSinkAreHeldUncounted) {
    FakeGraph graph;
    ASSERT_EQ(up->NotifyGraphEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
    ASSERT_EQ(up->JoinFilterGraph(&graph, L"Up"), S_OK);
    EXPECT_EQ(graph.references, 0);

    graph.notifyResult = S_FALSE;
    EXPECT_EQ(up->NotifyGraphEvent(EC_COMPLETE, 5, 77), S_FALSE);
    EXPECT_EQ(up->NotifyGraphEvent(EC_ERRORABORT, 6, 88), S_FALSE);
    ASSERT_EQ(graph.events.size(), 2u);
    EXPECT_EQ(graph.events[0].code, EC_COMPLETE);
    EXPECT_EQ(graph.events[0].param1, 5);
    EXPECT_EQ(graph.events[0].param2, reinterpret_cast<LONG_PTR>(upHold.get()));
    EXPECT_EQ(graph.events[1].param2, 88);

    FILTER_INFO info;
    ASSERT_EQ(up->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(&graph));
    EXPECT_EQ(graph.references, 1);
    info.pGraph->Release();

    ASSERT_EQ(up->JoinFilterGraph(nullptr, nullptr), S_OK);
    EXPECT_EQ(up->NotifyGraphEvent(EC_COMPLETE, 0, 0), E_NOTIMPL);
    EXPECT_EQ(graph.references, 0);
}

TEST_F(FilterPinTest, ClockIsCountedAndGivesStreamTime) {
    FakeClock clock;
    REFERENCE_TIME time = 0;
    EXPECT_EQ(up->CurrentStreamTime(&time), VFW_E_NO_CLOCK);
    ASSERT_EQ(up->SetSyncSource(&clock), S_OK);
    EXPECT_EQ(clock.references, 1);
    IReferenceClock* held = nullptr;
    ASSERT_EQ(up->GetSyncSource(&held), S_OK);
    EXPECT_EQ(held, &clock);
    held->Release();
    ASSERT_EQ(up->Run(300), S_OK);
    clock.now = 1000;
    EXPECT_EQ(up->CurrentStreamTime(&time), S_OK);
    EXPECT_EQ(time, 700);
    clock.timeResult = E_UNEXPECTED;
    EXPECT_EQ(up->CurrentStreamTime(&time), E_UNEXPECTED);
    ASSERT_EQ(up->SetSyncSource(nullptr), S_OK);
    EXPECT_EQ(clock.references, 0);
    EXPECT_EQ(up->GetSyncSource(&held), S_OK);
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
    EXPECT_EQ(in->ForwardQuality(message), VFW_E_NOT_FOUND);
    MediaTypeRecord type;
    ASSERT_EQ(out->Connect(in, TypeOf(1, &type)), S_OK);
    EXPECT_EQ(in->ForwardQuality(message), E_NOTIMPL) << "the peer's Notify answers";
    FakeQualitySink sink;
    ASSERT_EQ(in->SetSink(&sink), S_OK);
    EXPECT_EQ(sink.references, 0);
    EXPECT_EQ(in->ForwardQuality(message), S_FALSE);
    EXPECT_EQ(sink.lastSender, downHold.get());
    EXPECT_EQ(sink.lastProportion, 900);
}

TEST_F(FilterPinTest, SeekingPassThroughAnswersSeeking) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        ComPtr<IUnknown> passThrough;
        ASSERT_EQ(PinBase::MakeSeekingPassThrough(nullptr, FALSE, in->AsPin(), passThrough.put()),
                  S_OK);
        ComPtr<IMediaSeeking> seeking;
        EXPECT_EQ(passThrough.query_to(seeking), S_OK);
    }
    EXPECT_EQ(PinBase::MakeSeekingPassThrough(nullptr, FALSE, in->AsPin(), nullptr), E_POINTER);
    CoUninitialize();
}

} // namespace

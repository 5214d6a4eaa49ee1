// InputPinBase and OutputPinBase between test filters, with the runtime's
// memory allocator: allocator agreement, buffers, Receive and its property
// record, ReceiveMultiple, ReceiveCanBlock and the sending hooks.
#include "StreamingFakes.h"
#include "StreamingTestFilters.h"

#include "framework/com/ComPtr.h"

#include <gtest/gtest.h>

#include <dshow.h>
#include <evcode.h>

#include <ostream>

namespace {

// "Up" with output pin "Out", "Down" with input pin "In"; COM is set up for
// the runtime's allocator.
class PinStreamingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        up_ = new TestFilter;
        down_ = new TestFilter;
        upHold_ = ComPtr<IBaseFilter>(up_->AsBaseFilter());
        downHold_ = ComPtr<IBaseFilter>(down_->AsBaseFilter());
        out_ = up_->Adopt(new TestOutputPin(up_, L"Out"));
        in_ = down_->Adopt(new TestInputPin(down_, L"In"));
        out_->script.answers = {{1, S_OK}, {2, S_OK}};
        in_->script.answers = out_->script.answers;
        FillTestType(&type_, 1);
    }
    void TearDown() override {
        up_->Stop();
        down_->Stop();
        out_->Disconnect();
        in_->Disconnect();
        upHold_.reset();
        downHold_.reset();
        EXPECT_EQ(TestFilter::live, 0) << "a pin or filter reference leaked";
        CoUninitialize();
    }
    HRESULT ConnectPins() { return out_->Connect(in_, &type_); }

    TestFilter* up_ = nullptr;
    TestFilter* down_ = nullptr;
    ComPtr<IBaseFilter> upHold_;
    ComPtr<IBaseFilter> downHold_;
    TestOutputPin* out_ = nullptr;
    TestInputPin* in_ = nullptr;
    MediaTypeRecord type_;
};

TEST_F(PinStreamingTest, DownstreamAllocatorIsTheFirstChoice) {
    ASSERT_EQ(ConnectPins(), S_OK);
    ASSERT_NE(out_->Allocator(), nullptr);
    EXPECT_EQ(out_->Allocator(), in_->Allocator());
    EXPECT_FALSE(in_->IsReadOnly());
    ASSERT_EQ(out_->requests.size(), 1u);
    // No requirements stated: everything 0 except the alignment.
    const ALLOCATOR_PROPERTIES& r = out_->requests[0];
    EXPECT_EQ(r.cBuffers, 0);
    EXPECT_EQ(r.cbBuffer, 0);
    EXPECT_EQ(r.cbAlign, 1);
    EXPECT_EQ(r.cbPrefix, 0);
}

TEST_F(PinStreamingTest, FailingGetAllocatorGetsANewAllocatorSizedAndAnnounced) {
    in_->getAllocatorResult = E_FAIL;
    in_->requirements = ALLOCATOR_PROPERTIES{3, 512, 0, 8};
    ASSERT_EQ(ConnectPins(), S_OK);
    ASSERT_NE(out_->Allocator(), nullptr);
    EXPECT_EQ(in_->Allocator(), out_->Allocator()) << "told of the new allocator";
    EXPECT_FALSE(in_->IsReadOnly());
    ASSERT_EQ(out_->sizedAllocators.size(), 1u);
    EXPECT_EQ(out_->sizedAllocators[0], out_->Allocator());
    const ALLOCATOR_PROPERTIES& r = out_->requests[0];
    EXPECT_EQ(r.cBuffers, 3);
    EXPECT_EQ(r.cbBuffer, 512);
    EXPECT_EQ(r.cbAlign, 1);
    EXPECT_EQ(r.cbPrefix, 8);
}

TEST_F(PinStreamingTest, SizingFailureFailsTheConnection) {
    out_->sizeResult = E_OUTOFMEMORY;
    EXPECT_EQ(ConnectPins(), E_OUTOFMEMORY);
    EXPECT_EQ(out_->requests.size(), 2u) << "both choices are sized";
    EXPECT_FALSE(out_->IsConnected());
    EXPECT_FALSE(in_->IsConnected());
    EXPECT_EQ(out_->Allocator(), nullptr);
}

TEST_F(PinStreamingTest, UnconnectedPinsAnswerWithoutPeers) {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(out_->GetEmptySample(&sample, nullptr, nullptr, 0), E_NOINTERFACE);
    EXPECT_EQ(out_->SendSample(nullptr), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out_->SendEndOfStream(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out_->SendBeginFlush(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out_->SendEndFlush(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out_->SendNewSegment(0, 10, 1.0), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(out_->Activate(), VFW_E_NO_ALLOCATOR);
    EXPECT_EQ(out_->Deactivate(), VFW_E_NO_ALLOCATOR);
    EXPECT_EQ(in_->Deactivate(), VFW_E_NO_ALLOCATOR);
    EXPECT_EQ(out_->EndOfStream(), E_UNEXPECTED);
    EXPECT_EQ(out_->BeginFlush(), E_UNEXPECTED);
    EXPECT_EQ(out_->EndFlush(), E_UNEXPECTED);
    EXPECT_EQ(in_->Notify(nullptr, Quality{}), E_POINTER);
    EXPECT_EQ(in_->Notify(upHold_.get(), Quality{}), S_OK);
    EXPECT_EQ(in_->GetAllocator(nullptr), E_POINTER);
    EXPECT_EQ(in_->NotifyAllocator(nullptr, FALSE), E_POINTER);
    EXPECT_EQ(in_->GetAllocatorRequirements(nullptr), E_NOTIMPL);
}

TEST_F(PinStreamingTest, BuffersFlowWhileActiveAndStopOnStop) {
    ASSERT_EQ(ConnectPins(), S_OK);
    IMediaSample* sample = nullptr;
    EXPECT_EQ(out_->GetEmptySample(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(up_->Pause(), S_OK); // commits
    ASSERT_EQ(out_->GetEmptySample(&sample, nullptr, nullptr, 0), S_OK);
    EXPECT_GE(sample->GetSize(), 4096);

    REFERENCE_TIME start = 1000, stop = 2000;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetActualDataLength(10);
    EXPECT_EQ(out_->SendSample(sample), S_OK);
    ASSERT_EQ(in_->received.size(), 1u);
    const AM_SAMPLE2_PROPERTIES& p = in_->received[0];
    EXPECT_EQ(p.tStart, 1000);
    EXPECT_EQ(p.tStop, 2000);
    EXPECT_EQ(p.lActual, 10);
    EXPECT_NE(p.dwSampleFlags & (AM_SAMPLE_TIMEVALID | AM_SAMPLE_SPLICEPOINT), 0u);
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    EXPECT_EQ(p.pbBuffer, buffer) << "passed by reference, never copied";
    sample->Release();

    EXPECT_EQ(out_->SendEndOfStream(), S_OK);
    EXPECT_EQ(in_->script.endOfStreams, 1);
    EXPECT_EQ(out_->SendBeginFlush(), S_OK);
    EXPECT_TRUE(in_->IsFlushing());
    EXPECT_EQ(out_->SendEndFlush(), S_OK);
    EXPECT_FALSE(in_->IsFlushing());

    ASSERT_EQ(up_->Stop(), S_OK); // decommits
    EXPECT_EQ(out_->GetEmptySample(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
}

TEST_F(PinStreamingTest, DisconnectDropsTheAllocators) {
    ASSERT_EQ(ConnectPins(), S_OK);
    EXPECT_EQ(out_->Disconnect(), S_OK);
    EXPECT_EQ(in_->Disconnect(), S_OK);
    EXPECT_EQ(out_->Allocator(), nullptr);
    EXPECT_EQ(in_->Allocator(), nullptr);
}

struct SampleFlagsCase {
    const char* name;
    bool timed, syncPoint, preroll, discontinuity;
    DWORD expectedFlags;
};

void PrintTo(const SampleFlagsCase& t, std::ostream* out) {
    *out << t.name;
}

class ReceiveFlags : public PinStreamingTest,
                     public ::testing::WithParamInterface<SampleFlagsCase> {};

TEST_P(ReceiveFlags, AreBuiltFromIMediaSample) {
    const SampleFlagsCase& t = GetParam();
    FakeSample sample;
    sample.timed = t.timed;
    sample.syncPoint = t.syncPoint;
    sample.preroll = t.preroll;
    sample.discontinuity = t.discontinuity;
    ASSERT_EQ(in_->Receive(&sample), S_OK);
    const AM_SAMPLE2_PROPERTIES& p = in_->SampleProperties();
    EXPECT_EQ(p.dwSampleFlags, t.expectedFlags);
    EXPECT_EQ(p.cbData, sizeof(AM_SAMPLE2_PROPERTIES));
    EXPECT_EQ(p.lActual, 12);
    EXPECT_EQ(p.cbBuffer, 16);
    EXPECT_EQ(p.pbBuffer, sample.data);
    EXPECT_EQ(p.dwStreamId, 0u);
    if (t.timed) {
        EXPECT_EQ(p.tStart, 100);
        EXPECT_EQ(p.tStop, 200);
    }
    EXPECT_EQ(sample.references, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, ReceiveFlags,
    ::testing::Values(SampleFlagsCase{"Plain", false, false, false, false, 0},
                      SampleFlagsCase{"Timed", true, false, false, false, 0x110},
                      SampleFlagsCase{"TimedSyncPoint", true, true, false, false, 0x111},
                      SampleFlagsCase{"TimedPreroll", true, false, true, false, 0x112},
                      SampleFlagsCase{"TimedDiscontinuity", true, false, false, true, 0x114},
                      SampleFlagsCase{"Everything", true, true, true, true, 0x117},
                      SampleFlagsCase{"UntimedPreroll", false, false, true, false, 0x2}),
    [](const ::testing::TestParamInfo<SampleFlagsCase>& info) { return info.param.name; });

TEST_F(PinStreamingTest, ClosedGateRefusesWithoutRecording) {
    in_->canStream = S_FALSE;
    FakeSample sample;
    sample.timed = true;
    EXPECT_EQ(in_->Receive(&sample), S_FALSE);
    EXPECT_EQ(in_->SampleProperties().dwSampleFlags, 0u);
    EXPECT_EQ(in_->Receive(nullptr), E_POINTER);
}

TEST_F(PinStreamingTest, RefusedTypeChangeEndsTheStream) {
    FakeGraph graph;
    ASSERT_EQ(down_->JoinFilterGraph(&graph, L"Down"), S_OK);
    MediaTypeRecord refused;
    FillTestType(&refused, 9);
    FakeSample sample;
    sample.type = &refused;
    EXPECT_EQ(in_->Receive(&sample), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(in_->script.endOfStreams, 1);
    EXPECT_TRUE(in_->RunTimeError());
    ASSERT_EQ(graph.events.size(), 1u);
    EXPECT_EQ(graph.events[0].code, EC_ERRORABORT);
    EXPECT_EQ(graph.events[0].param1, static_cast<LONG_PTR>(VFW_E_TYPE_NOT_ACCEPTED));
    EXPECT_EQ(graph.events[0].param2, 0);
    EXPECT_TRUE(in_->received.empty());

    EXPECT_EQ(in_->EndFlush(), S_OK); // a flush clears the error
    EXPECT_FALSE(in_->RunTimeError());
    ASSERT_EQ(down_->JoinFilterGraph(nullptr, nullptr), S_OK);
}

TEST_F(PinStreamingTest, AcceptedTypeChangeIsRecordedAndFreedLater) {
    FakeSample attached; // stands for the type's pUnk, to count its references
    MediaTypeRecord accepted;
    FillTestType(&accepted, 2);
    accepted.pUnk = &attached;
    attached.AddRef();
    FakeSample sample;
    sample.type = &accepted;
    ASSERT_EQ(in_->Receive(&sample), S_OK);
    const AM_SAMPLE2_PROPERTIES& p = in_->SampleProperties();
    EXPECT_EQ(p.dwSampleFlags, static_cast<DWORD>(AM_SAMPLE_TYPECHANGED));
    ASSERT_NE(p.pMediaType, nullptr);
    EXPECT_EQ(SubtypeNumber(*p.pMediaType), 2);
    EXPECT_EQ(attached.references, 2) << "the sample's copy is held while processed";

    FakeSample next;
    ASSERT_EQ(in_->Receive(&next), S_OK);
    EXPECT_EQ(attached.references, 1) << "the copy handed out by the sample leaked";
    ReleaseContents(&accepted);
}

TEST_F(PinStreamingTest, ReceiveMultipleStopsAtTheFirstRefusal) {
    FakeSample samples[3];
    IMediaSample* list[3] = {&samples[0], &samples[1], &samples[2]};
    in_->receiveAnswers = {S_OK, S_FALSE, S_OK};
    LONG processed = -1;
    EXPECT_EQ(in_->ReceiveMultiple(list, 3, &processed), S_FALSE);
    EXPECT_EQ(processed, 1);
    EXPECT_EQ(in_->received.size(), 2u);

    EXPECT_EQ(in_->ReceiveMultiple(list, 0, &processed), S_OK);
    EXPECT_EQ(processed, 0);
    EXPECT_EQ(in_->ReceiveMultiple(nullptr, 1, &processed), E_POINTER);
    EXPECT_EQ(in_->ReceiveMultiple(list, 1, nullptr), E_POINTER);
}

TEST_F(PinStreamingTest, ReceiveCanBlockAsksTheConnectedOutputsPeers) {
    // "Down" gets an output pin that feeds a third filter's input.
    TestFilter* third = new TestFilter;
    ComPtr<IBaseFilter> thirdHold(third->AsBaseFilter());
    TestOutputPin* downOut = down_->Adopt(new TestOutputPin(down_, L"DownOut"));
    TestInputPin* thirdIn = third->Adopt(new TestInputPin(third, L"ThirdIn"));
    downOut->script.answers = {{1, S_OK}};
    thirdIn->script.answers = {{1, S_OK}};

    EXPECT_EQ(in_->ReceiveCanBlock(), S_OK) << "only output is unconnected";
    ASSERT_EQ(downOut->Connect(thirdIn, &type_), S_OK);
    thirdIn->canBlock = S_FALSE;
    EXPECT_EQ(in_->ReceiveCanBlock(), S_FALSE);
    thirdIn->canBlock = S_OK;
    EXPECT_EQ(in_->ReceiveCanBlock(), S_OK);
    thirdIn->canBlock = E_NOTIMPL; // the base: no connected output there
    EXPECT_EQ(in_->ReceiveCanBlock(), S_OK);

    EXPECT_EQ(downOut->Disconnect(), S_OK);
    EXPECT_EQ(thirdIn->Disconnect(), S_OK);
}

} // namespace

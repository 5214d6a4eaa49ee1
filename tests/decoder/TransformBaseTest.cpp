// TransformFilterBase with a scripted transform between the test source and
// a recording sink, in a real filter graph of the runtime (for its event
// queue): the receive path, quality handling, forwarding and state changes.
#include "CaptureSink.h"
#include "DecoderTestSupport.h"
#include "SpyAllocator.h"
#include "TestSourceFilter.h"

#include "framework/com/CountedObject.h"
#include "tests/support/BoundedWait.h"
#include "framework/filters/TransformFilterBase.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <deque>

namespace decodertest {
namespace {

using testgraph::CapturedSample;
using testgraph::CaptureOptions;
using testgraph::CapturePin;
using testgraph::CaptureSink;

// {5E1DDA11-0D3C-4C1E-9B59-7E5A1D2C0003}
constexpr CLSID kScriptedClassId = {
    0x5e1dda11, 0x0d3c, 0x4c1e, {0x9b, 0x59, 0x7e, 0x5a, 0x1d, 0x2c, 0x00, 0x03}};
// Made-up subtypes for the scripted transform's input and output.
constexpr GUID kInputSubtype = {
    0x5e1dda11, 0x0d3c, 0x4c1e, {0x9b, 0x59, 0x7e, 0x5a, 0x1d, 0x2c, 0x01, 0x01}};
constexpr GUID kOutputSubtype = {
    0x5e1dda11, 0x0d3c, 0x4c1e, {0x9b, 0x59, 0x7e, 0x5a, 0x1d, 0x2c, 0x01, 0x02}};

void MakeStreamType(const GUID& subtype, MediaTypeRecord* type) {
    type->SetMajorType(MEDIATYPE_Stream);
    type->SetSubtype(subtype);
    type->SetFormatType(FORMAT_None);
}

// Copies each input into its output and answers from a script (S_OK when
// the script is empty); counts the streaming hooks.
class ScriptedTransform : public TransformFilterBase {
public:
    ScriptedTransform() : TransformFilterBase(nullptr, nullptr, kScriptedClassId) {}

    std::deque<HRESULT> script;
    HRESULT streamingStartResult = S_OK;
    HRESULT streamingStopResult = S_OK;
    int streamingStarts = 0;
    int streamingStops = 0;

protected:
    HRESULT TransformSample(IMediaSample* input, IMediaSample* output) override {
        BYTE* in = nullptr;
        BYTE* out = nullptr;
        input->GetPointer(&in);
        output->GetPointer(&out);
        const long bytes = std::min(input->GetActualDataLength(), output->GetSize());
        CopyMemory(out, in, bytes);
        output->SetActualDataLength(bytes);
        if (script.empty()) {
            return S_OK;
        }
        const HRESULT hr = script.front();
        script.pop_front();
        return hr;
    }
    HRESULT AcceptInputType(const AM_MEDIA_TYPE* type) override {
        return IsEqualGUID(type->subtype, kInputSubtype) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT AcceptTransform(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE* output) override {
        return IsEqualGUID(output->subtype, kOutputSubtype) ? S_OK : S_FALSE;
    }
    HRESULT SizeOutputBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        request->cBuffers = 2;
        request->cbBuffer = 4096;
        ALLOCATOR_PROPERTIES granted = {};
        return allocator->SetProperties(request, &granted);
    }
    HRESULT ProposeOutputType(int position, MediaTypeRecord* type) override {
        if (position != 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        MakeStreamType(kOutputSubtype, type);
        return S_OK;
    }
    HRESULT OnStreamingStart() override {
        ++streamingStarts;
        return streamingStartResult;
    }
    HRESULT OnStreamingStop() override {
        ++streamingStops;
        return streamingStopResult;
    }
};

class TransformBaseTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        objectsBefore_ = LiveObjectCount;
        ComPtr<IMemAllocator> inner = MakeAllocator(1, 16);
        ASSERT_TRUE(inner);
        ASSERT_HRESULT_SUCCEEDED(inner->Decommit());
        spy_.reset(new SpyAllocator(inner.get()));

        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IGraphBuilder, graph_.put_void()));
        MediaTypeRecord inputType;
        MakeStreamType(kInputSubtype, &inputType);
        sourceFilter_ = new TestSourceFilter(inputType);
        source_ = ComPtr<IBaseFilter>(sourceFilter_->AsBaseFilter());
        transform_ = new ScriptedTransform();
        transformFilter_ = ComPtr<IBaseFilter>(transform_->AsBaseFilter());
        CaptureOptions capture;
        capture.allocator = spy_.get();
        sink_ = new CaptureSink(capture);
        sinkFilter_ = ComPtr<IBaseFilter>(sink_->AsBaseFilter());
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(source_.get(), L"source"));
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(transformFilter_.get(), L"transform"));
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(sinkFilter_.get(), L"sink"));
        ASSERT_HRESULT_SUCCEEDED(
            graph_->ConnectDirect(sourceFilter_->Pin()->AsPin(), Pin(L"In"), nullptr));
        ASSERT_HRESULT_SUCCEEDED(
            graph_->ConnectDirect(Pin(L"Out"), sink_->Pin()->AsPin(), nullptr));
        ComPtr<IMediaFilter> mediaFilter;
        ASSERT_HRESULT_SUCCEEDED(graph_.query_to(mediaFilter));
        ASSERT_HRESULT_SUCCEEDED(mediaFilter->SetSyncSource(nullptr));
        ASSERT_HRESULT_SUCCEEDED(graph_.query_to(control_));
        ASSERT_HRESULT_SUCCEEDED(graph_->QueryInterface(IID_IMediaEventEx, events_.put_void()));
    }
    void TearDown() override {
        if (control_) {
            control_->Stop();
        }
        control_ = nullptr;
        events_ = nullptr;
        sinkFilter_ = nullptr;
        transformFilter_ = nullptr;
        source_ = nullptr;
        graph_ = nullptr;
        if (spy_) {
            EXPECT_EQ(0, spy_->references.load()) << "allocator references leaked";
            spy_.reset();
        }
        EXPECT_EQ(objectsBefore_, LiveObjectCount) << "framework objects leaked";
        ComTest::TearDown();
    }

    // The transform's pin by identifier, without a reference of its own (the
    // filter holds it).
    IPin* Pin(const WCHAR* id) {
        ComPtr<IPin> pin;
        transformFilter_->FindPin(id, pin.put());
        return pin.get();
    }

    HRESULT Push(bool discontinuity = false) {
        static const BYTE kData[64] = {1, 2, 3};
        PushedSample properties;
        properties.start = 1000 * ++pushed_;
        properties.stop = properties.start + 1000;
        properties.discontinuity = discontinuity;
        return sourceFilter_->Push(kData, sizeof(kData), properties);
    }

    int Count(long code) {
        int count = 0;
        long event = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        while (events_->GetEvent(&event, &param1, &param2, 0) == S_OK) {
            count += event == code ? 1 : 0;
            events_->FreeEventParams(event, param1, param2);
        }
        return count;
    }

    std::vector<DWORD> Flags() {
        std::lock_guard<std::mutex> guard(spy_->mutex);
        return spy_->requestFlags;
    }

    LONG objectsBefore_ = 0;
    int pushed_ = 0;
    std::unique_ptr<SpyAllocator> spy_;
    ComPtr<IGraphBuilder> graph_;
    TestSourceFilter* sourceFilter_ = nullptr;
    ComPtr<IBaseFilter> source_;
    ScriptedTransform* transform_ = nullptr;
    ComPtr<IBaseFilter> transformFilter_;
    CaptureSink* sink_ = nullptr;
    ComPtr<IBaseFilter> sinkFilter_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEventEx> events_;
};

TEST_F(TransformBaseTest, SkippedSamplesRaiseOneQualityEventAndFlagTheNextBuffers) {
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    transform_->script = {S_FALSE, S_FALSE, S_OK, S_OK};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(S_OK, Push()) << i;
    }
    EXPECT_EQ(1, Count(EC_QUALITY_CHANGE));
    EXPECT_EQ(2u, sink_->Pin()->Samples().size());
    const std::vector<DWORD> expected = {0, AM_GBF_PREVFRAMESKIPPED, AM_GBF_PREVFRAMESKIPPED, 0};
    EXPECT_EQ(expected, Flags());

    // After a pause the event can go out again.
    ASSERT_HRESULT_SUCCEEDED(control_->Pause());
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    transform_->script = {S_FALSE};
    EXPECT_EQ(S_OK, Push());
    EXPECT_EQ(1, Count(EC_QUALITY_CHANGE));
}

TEST_F(TransformBaseTest, DiscontinuityClearsTheSkippedFlag) {
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    transform_->script = {S_FALSE};
    EXPECT_EQ(S_OK, Push());
    EXPECT_EQ(S_OK, Push(/*discontinuity=*/true));
    EXPECT_EQ(S_OK, Push());
    const std::vector<DWORD> flags = Flags();
    ASSERT_EQ(3u, flags.size());
    EXPECT_EQ(DWORD{AM_GBF_PREVFRAMESKIPPED}, flags[1]);
    EXPECT_EQ(0u, flags[2]);
    const std::vector<CapturedSample> samples = sink_->Pin()->Samples();
    ASSERT_EQ(2u, samples.size());
    EXPECT_TRUE(samples[0].discontinuity);
}

TEST_F(TransformBaseTest, FailedTransformDeliversNothingAndChangesNoFlag) {
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    transform_->script = {E_FAIL, VFW_S_NO_MORE_ITEMS};
    EXPECT_EQ(E_FAIL, Push());
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, Push());
    EXPECT_EQ(S_OK, Push());
    EXPECT_EQ(0, Count(EC_QUALITY_CHANGE));
    EXPECT_EQ(1u, sink_->Pin()->Samples().size());
    const std::vector<DWORD> expected = {0, 0, 0};
    EXPECT_EQ(expected, Flags());
}

TEST_F(TransformBaseTest, OutputCarriesTheInputTimesAndFlags) {
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    EXPECT_EQ(S_OK, Push(/*discontinuity=*/true));
    const std::vector<CapturedSample> samples = sink_->Pin()->Samples();
    ASSERT_EQ(1u, samples.size());
    const CapturedSample& received = samples[0];
    EXPECT_EQ(64u, received.bytes.size());
    ASSERT_TRUE(received.hasTime);
    EXPECT_EQ(1000, received.start);
    EXPECT_EQ(2000, received.stop);
    EXPECT_TRUE(received.discontinuity);
    EXPECT_TRUE(received.syncPoint);
    EXPECT_FALSE(received.preroll);
    std::lock_guard<std::mutex> guard(spy_->mutex);
    EXPECT_TRUE(spy_->requestHadStart[0]);
    EXPECT_TRUE(spy_->requestHadStop[0]);
}

TEST_F(TransformBaseTest, StreamNotificationsPassDownstream) {
    ASSERT_HRESULT_SUCCEEDED(control_->Pause());
    IPin* input = Pin(L"In");
    EXPECT_EQ(S_OK, input->NewSegment(10, 20, 2.0));
    EXPECT_EQ(S_OK, input->BeginFlush());
    EXPECT_EQ(S_FALSE, Push());
    EXPECT_EQ(S_OK, input->EndFlush());
    EXPECT_EQ(S_OK, input->EndOfStream());
    CapturePin* received = sink_->Pin();
    EXPECT_EQ(1, received->BeginFlushCount());
    EXPECT_EQ(1, received->EndFlushCount());
    EXPECT_EQ(1, received->EndOfStreamCount());
    const std::vector<CapturePin::Segment> segments = received->Segments();
    ASSERT_EQ(1u, segments.size());
    EXPECT_EQ(2.0, segments[0].rate);
    EXPECT_EQ(10, segments[0].start);
    EXPECT_EQ(20, segments[0].stop);
}

TEST_F(TransformBaseTest, StreamingHooksRunOnlyOnRealTransitions) {
    EXPECT_EQ(S_OK, transformFilter_->Stop());
    EXPECT_EQ(0, transform_->streamingStops);
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    EXPECT_EQ(1, transform_->streamingStarts);
    ASSERT_HRESULT_SUCCEEDED(control_->Pause());
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    EXPECT_EQ(1, transform_->streamingStarts);
    ASSERT_HRESULT_SUCCEEDED(control_->Stop());
    EXPECT_EQ(1, transform_->streamingStops);

    // A failing hook leaves the state where it was.
    transform_->streamingStartResult = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, transformFilter_->Pause());
    FILTER_STATE state = State_Running;
    ASSERT_EQ(S_OK, transformFilter_->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    transform_->streamingStartResult = S_OK;
    ASSERT_EQ(S_OK, transformFilter_->Pause());
    transform_->streamingStopResult = E_FAIL;
    EXPECT_EQ(E_FAIL, transformFilter_->Stop());
    ASSERT_EQ(S_OK, transformFilter_->GetState(0, &state));
    EXPECT_EQ(State_Paused, state);
    transform_->streamingStopResult = S_OK;
    EXPECT_EQ(S_OK, transformFilter_->Stop());
    EXPECT_EQ(3, transform_->streamingStops); // the refused stop ran its hook too
}

TEST_F(TransformBaseTest, PauseWithoutInputSendsOneEndOfStreamUntilStop) {
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(sourceFilter_->Pin()->AsPin()));
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(Pin(L"In")));
    EXPECT_EQ(S_OK, transformFilter_->Pause());
    EXPECT_EQ(S_OK, transformFilter_->Run(0));
    EXPECT_EQ(S_OK, transformFilter_->Pause());
    EXPECT_EQ(1, sink_->Pin()->EndOfStreamCount());
    EXPECT_EQ(S_OK, transformFilter_->Stop());
    EXPECT_EQ(S_OK, transformFilter_->Pause());
    EXPECT_EQ(2, sink_->Pin()->EndOfStreamCount());
    // The graph believes everything is stopped; leave it so.
    EXPECT_EQ(S_OK, transformFilter_->Stop());
}

TEST_F(TransformBaseTest, OutputTypesDependOnTheInputConnection) {
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, Pin(L"Out")->EnumMediaTypes(types.put()));
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &type, nullptr));
    EXPECT_TRUE(IsEqualGUID(kOutputSubtype, type->subtype));
    FreeTaskMediaType(type);

    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(Pin(L"Out")));
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(sink_->Pin()->AsPin()));
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(sourceFilter_->Pin()->AsPin()));
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(Pin(L"In")));
    ASSERT_EQ(S_OK, types->Reset());
    EXPECT_EQ(S_FALSE, types->Next(1, &type, nullptr));
    MediaTypeRecord output;
    MakeStreamType(kOutputSubtype, &output);
    EXPECT_EQ(S_FALSE, Pin(L"Out")->QueryAccept(&output));
    EXPECT_EQ(E_UNEXPECTED, Pin(L"Out")->Connect(sink_->Pin()->AsPin(), &output));
}

TEST_F(TransformBaseTest, PinLookup) {
    ComPtr<IPin> pin;
    EXPECT_EQ(VFW_E_NOT_FOUND, transformFilter_->FindPin(L"in", pin.put()));
    EXPECT_EQ(nullptr, pin.get());
    EXPECT_EQ(E_POINTER, transformFilter_->FindPin(L"In", nullptr));
    EXPECT_EQ(nullptr, transform_->PinAt(2));
    EXPECT_EQ(2, transform_->PinCount());
}

class TransformPinCreationTest : public ComTest {};

// Two threads enumerating a new filter's pins at once: one pair of pins is
// made and both threads see it (a fresh filter every round).
TEST_F(TransformPinCreationTest, TwoFirstEnumerationsShareOnePairOfPins) {
    constexpr int kRounds = 300;
    for (int round = 0; round < kRounds; ++round) {
        ComPtr<IBaseFilter> filter((new ScriptedTransform())->AsBaseFilter());
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        IPin* seen[2][2] = {};
        const auto enumerate = [&](int who) {
            WaitForSingleObject(go, INFINITE);
            ComPtr<IEnumPins> pins;
            IPin* got[2] = {};
            ULONG fetched = 0;
            if (SUCCEEDED(filter->EnumPins(pins.put())) &&
                SUCCEEDED(pins->Next(2, got, &fetched))) {
                for (ULONG i = 0; i < fetched; ++i) {
                    seen[who][i] = got[i];
                    got[i]->Release(); // the filter keeps its pins
                }
            }
        };
        {
            bounded::Call first([&] { enumerate(0); });
            bounded::Call second([&] { enumerate(1); });
            SetEvent(go);
            first.Join("first pin enumeration");
            second.Join("second pin enumeration");
        }
        CloseHandle(go);
        ASSERT_NE(nullptr, seen[0][1]) << "round " << round;
        ASSERT_EQ(seen[0][0], seen[1][0]) << "round " << round;
        ASSERT_EQ(seen[0][1], seen[1][1]) << "round " << round;
    }
}

} // namespace
} // namespace decodertest

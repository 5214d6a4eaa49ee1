// The decoder in real graphs of the runtime: a test source pushing ADX
// frames as the parser would, into the runtime's SampleGrabber and
// NullRenderer, without a clock. (Playback through the runtime's DirectSound
// renderer is covered with the real parser in front, by the chain tests.)
#include "DecoderTestSupport.h"
#include "TestSourceFilter.h"

#include "AdxEncoder.h"
#include "CaptureSink.h"
#include "CountingFake.h"
#include "TestSignal.h"
#include "adx/AdxWaveFormat.h"
#include "decoder/DecoderFilter.h"
#include "framework/com/CountedObject.h"

#include <corvina.h>

#include <dshow.h>
#include <evcode.h>
#include <qedit.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <ostream>
#include <string>

namespace decodertest {
namespace {

// Runtime classes that the toolchain's headers do not declare.
constexpr CLSID kSampleGrabberClassId = {
    0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
constexpr CLSID kNullRendererClassId = {
    0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

constexpr long kEventWaitMs = 10000;

// Collects the PCM the grabber sees. Counts its references so a leak or an
// over-release by the runtime shows up.
class PcmCollector : public CountingFake<ISampleGrabberCB> {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
        BYTE* data = nullptr;
        if (SUCCEEDED(sample->GetPointer(&data))) {
            const long bytes = sample->GetActualDataLength();
            const auto* pcm = reinterpret_cast<const std::int16_t*>(data);
            std::lock_guard<std::mutex> guard(mutex);
            samples.insert(samples.end(), pcm, pcm + bytes / 2);
            ++sampleCount;
            REFERENCE_TIME start = 0;
            REFERENCE_TIME stop = 0;
            if (SUCCEEDED(sample->GetTime(&start, &stop))) {
                starts.push_back(start);
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

    std::mutex mutex;
    std::vector<std::int16_t> samples;
    std::vector<REFERENCE_TIME> starts;
    int sampleCount = 0;
};

ComPtr<IPin> FindPin(IBaseFilter* filter, const WCHAR* id) {
    ComPtr<IPin> pin;
    filter->FindPin(id, pin.put());
    return pin;
}

// An ADX stream from the fixture encoder with the parser's input type.
struct EncodedCase {
    const char* name;
    AdxEncoderOptions options;
    std::int32_t samplesPerChannel;
};

// Test names show the case name, not the bytes.
void PrintTo(const EncodedCase& c, std::ostream* os) {
    *os << c.name;
}

AdxEncoderOptions Options(int channelCount, int version, std::array<std::int16_t, 4> history) {
    AdxEncoderOptions options;
    options.channelCount = channelCount;
    options.version = version;
    options.initialHistory = history;
    return options;
}

const EncodedCase kStreams[] = {
    {"MonoVersion3", Options(1, 3, {}), 44100 / 2 + 7},
    {"StereoVersion3", Options(2, 3, {}), 44100 / 2 + 31},
    {"StereoVersion4WithHistory", Options(2, 4, {1200, -800, -3000, 2500}), 20000},
    {"MonoVersion4WithHistory", Options(1, 4, {-15000, -14000, 0, 0}), 32 * 100},
};

class DecoderGraphTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        objectsBefore = LiveObjectCount;
    }
    void TearDown() override {
        if (control) {
            control->Stop();
        }
        control = nullptr;
        events = nullptr;
        grabber = nullptr;
        grabberFilter = nullptr;
        renderer = nullptr;
        sinkFilter = nullptr;
        decoder = nullptr;
        sourceFilter = nullptr;
        source = nullptr;
        graph = nullptr;
        EXPECT_EQ(0, collector.references.load());
        EXPECT_EQ(objectsBefore, LiveObjectCount) << "framework objects leaked";
        ComTest::TearDown();
    }

    void Encode(const EncodedCase& c) {
        AdxEncoder encoder(c.options);
        const std::vector<std::int16_t> signal =
            MakeSweepSignal(c.options.channelCount, c.options.sampleRate, c.samplesPerChannel, 40.0,
                            15000.0, 30000);
        ASSERT_TRUE(encoder.Encode(signal, stream));
        format = AdxFormatFields{};
        format.channelCount = static_cast<std::uint16_t>(c.options.channelCount);
        format.sampleRate = static_cast<std::uint32_t>(c.options.sampleRate);
        format.version = static_cast<std::uint16_t>(c.options.version);
        format.coef1 = static_cast<std::int16_t>(stream.coef1);
        format.coef2 = static_cast<std::int16_t>(stream.coef2);
        for (int i = 0; i < 4; ++i) {
            format.history[i] = c.options.initialHistory[i];
        }
    }

    // source -> decoder -> grabber -> null renderer, without a clock; or
    // source -> decoder -> a capture sink with `capture`.
    void BuildGraph(const testgraph::CaptureOptions* capture = nullptr) {
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IGraphBuilder, graph.put_void()));
        MediaTypeRecord adxType;
        MakeAdxType(format, &adxType);
        sourceFilter = new TestSourceFilter(adxType);
        source = ComPtr<IBaseFilter>(sourceFilter->AsBaseFilter());
        decoder = testgraph::CreateFilter<DecoderFilter>();
        ASSERT_TRUE(decoder);
        if (capture != nullptr) {
            sink = new testgraph::CaptureSink(*capture);
            sinkFilter = ComPtr<IBaseFilter>(sink->AsBaseFilter());
            ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(source.get(), L"source"));
            ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(decoder.get(), L"Quellvane"));
            ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(sinkFilter.get(), L"sink"));
            ASSERT_HRESULT_SUCCEEDED(graph->ConnectDirect(
                sourceFilter->Pin()->AsPin(), FindPin(decoder.get(), L"In").get(), nullptr));
            ASSERT_HRESULT_SUCCEEDED(graph->ConnectDirect(FindPin(decoder.get(), L"Out").get(),
                                                          sink->Pin()->AsPin(), nullptr));
            FinishGraph();
            return;
        }
        grabberFilter = testgraph::CreateRuntimeFilter(kSampleGrabberClassId);
        renderer = testgraph::CreateRuntimeFilter(kNullRendererClassId);
        ASSERT_TRUE(grabberFilter && renderer);
        ASSERT_HRESULT_SUCCEEDED(grabberFilter.query_to(grabber));
        ASSERT_HRESULT_SUCCEEDED(grabber->SetCallback(&collector, 0));
        ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(source.get(), L"source"));
        ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(decoder.get(), L"Quellvane"));
        ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(grabberFilter.get(), L"grabber"));
        ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(renderer.get(), L"renderer"));
        ASSERT_HRESULT_SUCCEEDED(graph->ConnectDirect(
            sourceFilter->Pin()->AsPin(), FindPin(decoder.get(), L"In").get(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(graph->ConnectDirect(
            FindPin(decoder.get(), L"Out").get(),
            testgraph::FirstPin(grabberFilter.get(), PINDIR_INPUT).get(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(
            graph->ConnectDirect(testgraph::FirstPin(grabberFilter.get(), PINDIR_OUTPUT).get(),
                                 testgraph::FirstPin(renderer.get(), PINDIR_INPUT).get(), nullptr));
        FinishGraph();
    }

    // No clock; the control and event interfaces.
    void FinishGraph() {
        ComPtr<IMediaFilter> mediaFilter;
        ASSERT_HRESULT_SUCCEEDED(graph.query_to(mediaFilter));
        ASSERT_HRESULT_SUCCEEDED(mediaFilter->SetSyncSource(nullptr));
        ASSERT_HRESULT_SUCCEEDED(graph.query_to(control));
        ASSERT_HRESULT_SUCCEEDED(graph->QueryInterface(IID_IMediaEventEx, events.put_void()));
    }

    // Pushes frames [firstFrame, firstFrame + frameCount) with media times
    // as the parser stamps them; the last sample ends at the stream's end.
    HRESULT PushFrames(int firstFrame, int frameCount, bool preroll = false,
                       const std::vector<std::uint8_t>* data = nullptr) {
        const std::vector<std::uint8_t>& bytes = data != nullptr ? *data : stream.bytes;
        const long frameBytes = 18L * format.channelCount;
        PushedSample properties;
        properties.mediaStart = 32LL * firstFrame;
        properties.mediaEnd =
            std::min<LONGLONG>(32LL * (firstFrame + frameCount), stream.totalSamples);
        properties.start = properties.mediaStart * 10000000 / format.sampleRate;
        properties.stop = properties.mediaEnd * 10000000 / format.sampleRate;
        properties.preroll = preroll;
        return sourceFilter->Push(bytes.data() + stream.headerLength + firstFrame * frameBytes,
                                  frameCount * frameBytes, properties);
    }

    // Pushes the whole stream in samples of up to `framesPerSample` frames.
    void PushStream(int framesPerSample) {
        for (int frame = 0; frame < stream.frameCount; frame += framesPerSample) {
            const int count = std::min(framesPerSample, stream.frameCount - frame);
            ASSERT_EQ(S_OK, PushFrames(frame, count)) << "frame " << frame;
        }
    }

    // Event codes seen so far (non-blocking).
    std::vector<long> DrainEvents() { return testgraph::DrainEvents(events.get()); }

    LONG objectsBefore = 0;
    AdxEncodedStream stream;
    AdxFormatFields format;
    PcmCollector collector;
    ComPtr<IGraphBuilder> graph;
    TestSourceFilter* sourceFilter = nullptr;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> decoder;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IBaseFilter> renderer;
    testgraph::CaptureSink* sink = nullptr; // owned through sinkFilter
    ComPtr<IBaseFilter> sinkFilter;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
};

class DecoderGraphStreamTest : public DecoderGraphTest,
                               public ::testing::WithParamInterface<EncodedCase> {};

TEST_P(DecoderGraphStreamTest, PcmEqualsTheDirectDecode) {
    Encode(GetParam());
    BuildGraph();
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    PushStream(256 / format.channelCount);
    ASSERT_EQ(S_OK, sourceFilter->Pin()->SendEndOfStream());
    long code = 0;
    ASSERT_EQ(S_OK, events->WaitForCompletion(kEventWaitMs, &code));
    EXPECT_EQ(EC_COMPLETE, code);
    std::lock_guard<std::mutex> guard(collector.mutex);
    EXPECT_EQ(stream.decoded.size(), collector.samples.size());
    EXPECT_EQ(-1, FirstMismatch(collector.samples, stream.decoded));
}

// A downstream pin may ask for buffers far smaller than one decoded sample
// (a default stereo sample of the parser decodes to 30,080 bytes): the
// decoder insists on buffers that hold the largest sample the parser sends.
TEST_P(DecoderGraphStreamTest, SmallDownstreamBuffersAreRaisedToTheLargestSample) {
    Encode(GetParam());
    testgraph::CaptureOptions small;
    small.bufferBytes = 4096;
    small.bufferCount = 2;
    ASSERT_NO_FATAL_FAILURE(BuildGraph(&small));
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    PushStream(kAdxMaxBlocksPerSample / format.channelCount);
    ASSERT_EQ(S_OK, sourceFilter->Pin()->SendEndOfStream());
    ASSERT_TRUE(sink->Pin()->WaitForEndOfStream(1, kEventWaitMs));
    const std::vector<testgraph::CapturedSample> samples = sink->Pin()->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(std::min<size_t>(32768, stream.decoded.size() * 2), samples[0].bytes.size());
    EXPECT_EQ(-1, FirstMismatch(testgraph::ToPcm(testgraph::Concatenate(samples)), stream.decoded));
}

INSTANTIATE_TEST_SUITE_P(Streams, DecoderGraphStreamTest, ::testing::ValuesIn(kStreams),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecoderGraphTest, OutputSamplesCarryTheInputTimes) {
    Encode(kStreams[1]);
    BuildGraph();
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    ASSERT_EQ(S_OK, PushFrames(0, 10));
    ASSERT_EQ(S_OK, PushFrames(10, 10));
    std::lock_guard<std::mutex> guard(collector.mutex);
    ASSERT_EQ(2u, collector.starts.size());
    EXPECT_EQ(0, collector.starts[0]);
    EXPECT_EQ(320LL * 10000000 / format.sampleRate, collector.starts[1]);
}

TEST_F(DecoderGraphTest, PrerollIsDecodedButNotDeliveredAndReportedOnce) {
    Encode(kStreams[0]);
    BuildGraph();
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    // Two preroll samples warm the history up to frame 8 and deliver nothing.
    ASSERT_EQ(S_OK, PushFrames(0, 4, /*preroll=*/true));
    ASSERT_EQ(S_OK, PushFrames(4, 4, /*preroll=*/true));
    ASSERT_EQ(S_OK, PushFrames(8, 8));
    const std::vector<long> codes = DrainEvents();
    EXPECT_EQ(1, std::count(codes.begin(), codes.end(), EC_QUALITY_CHANGE));
    {
        std::lock_guard<std::mutex> guard(collector.mutex);
        EXPECT_EQ(1, collector.sampleCount);
        const std::vector<std::int16_t> expected(stream.decoded.begin() + 8 * 32,
                                                 stream.decoded.begin() + 16 * 32);
        EXPECT_EQ(-1, FirstMismatch(collector.samples, expected));
    }
    // A pause lets the event go out again.
    ASSERT_HRESULT_SUCCEEDED(control->Pause());
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    ASSERT_EQ(S_OK, PushFrames(0, 4, /*preroll=*/true));
    const std::vector<long> later = DrainEvents();
    EXPECT_EQ(1, std::count(later.begin(), later.end(), EC_QUALITY_CHANGE));
}

TEST_F(DecoderGraphTest, BadScaleWordFailsOneSampleAndTheStreamGoesOn) {
    Encode(kStreams[1]);
    BuildGraph();
    std::vector<std::uint8_t> bad = stream.bytes;
    bad[stream.headerLength + 36 * 5] = 0x80; // frame 5, channel 0: bit 15
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    ASSERT_EQ(S_OK, PushFrames(0, 4, false, &bad));
    EXPECT_EQ(VFW_E_FILE_TOO_SHORT, PushFrames(4, 4, false, &bad));
    ASSERT_EQ(S_OK, PushFrames(8, 4, false, &bad));
    ASSERT_EQ(S_OK, sourceFilter->Pin()->SendEndOfStream());
    long code = 0;
    ASSERT_EQ(S_OK, events->WaitForCompletion(kEventWaitMs, &code));
    std::lock_guard<std::mutex> guard(collector.mutex);
    EXPECT_EQ(2, collector.sampleCount);
    EXPECT_EQ(8u * 32 * 2, collector.samples.size());
}

TEST_F(DecoderGraphTest, StoppedOrFlushingDecoderTurnsSamplesAway) {
    Encode(kStreams[0]);
    BuildGraph();
    ComPtr<IPin> decoderIn = FindPin(decoder.get(), L"In");
    ComPtr<IMemInputPin> input;
    ASSERT_HRESULT_SUCCEEDED(decoderIn.query_to(input));
    ComPtr<IMemAllocator> allocator = MakeAllocator(1, 18 * 4);
    ASSERT_TRUE(allocator);
    ComPtr<IMediaSample> sample =
        MakeInputSample(allocator.get(), stream.bytes.data() + stream.headerLength, 18 * 4, 0, 128);
    ASSERT_TRUE(sample);

    EXPECT_EQ(VFW_E_WRONG_STATE, input->Receive(sample.get()));
    // Running without a clock: a paused renderer would hold the sample.
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    ASSERT_EQ(S_OK, decoderIn->BeginFlush());
    EXPECT_EQ(S_FALSE, input->Receive(sample.get()));
    EXPECT_EQ(S_FALSE, decoderIn->EndOfStream());
    ASSERT_EQ(S_OK, decoderIn->EndFlush());
    EXPECT_EQ(S_OK, input->Receive(sample.get()));
    std::lock_guard<std::mutex> guard(collector.mutex);
    EXPECT_EQ(1, collector.sampleCount);
}

TEST_F(DecoderGraphTest, SeekingRequestsPassUpstream) {
    Encode(kStreams[0]);
    BuildGraph();
    ComPtr<IPin> decoderOut = FindPin(decoder.get(), L"Out");
    ComPtr<IMediaSeeking> seeking;
    ASSERT_HRESULT_SUCCEEDED(decoderOut.query_to(seeking));
    ComPtr<IMediaPosition> position;
    ASSERT_HRESULT_SUCCEEDED(decoderOut->QueryInterface(IID_IMediaPosition, position.put_void()));
    // The test source does not seek: the answer is the upstream pin's refusal.
    LONGLONG duration = 0;
    EXPECT_TRUE(FAILED(seeking->GetDuration(&duration)));
}

TEST_F(DecoderGraphTest, PinsAndIdentifiers) {
    Encode(kStreams[0]);
    decoder = testgraph::CreateFilter<DecoderFilter>();
    ASSERT_TRUE(decoder);
    ComPtr<IPin> pin;
    EXPECT_EQ(VFW_E_NOT_FOUND, decoder->FindPin(L"in", pin.put()));
    EXPECT_EQ(nullptr, pin.get());
    EXPECT_EQ(VFW_E_NOT_FOUND, decoder->FindPin(L"XForm In", pin.put()));
    for (const WCHAR* id : {L"In", L"Out"}) {
        ComPtr<IPin> found = FindPin(decoder.get(), id);
        ASSERT_TRUE(found);
        LPWSTR queried = nullptr;
        ASSERT_EQ(S_OK, found->QueryId(&queried));
        EXPECT_STREQ(id, queried);
        CoTaskMemFree(queried);
    }
    PIN_INFO info = {};
    ASSERT_EQ(S_OK, FindPin(decoder.get(), L"Out")->QueryPinInfo(&info));
    EXPECT_STREQ(L"XForm Out", info.achName);
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    info.pFilter->Release();
    // No output type and no output connection before the input is connected.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, FindPin(decoder.get(), L"Out")->EnumMediaTypes(types.put()));
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(S_FALSE, types->Next(1, &type, nullptr));

    ComPtr<IDecoderInfo> decoderInfo;
    ASSERT_HRESULT_SUCCEEDED(decoder.query_to(decoderInfo));
    AdxFormatInfo streamInfo = {1, 1, 1, 1, 1, 1};
    ASSERT_EQ(S_OK, decoderInfo->GetStreamInfo(&streamInfo));
    EXPECT_EQ(0, streamInfo.version);
    EXPECT_EQ(0, streamInfo.sampleRate);
    EXPECT_EQ(E_POINTER, decoderInfo->GetStreamInfo(nullptr));

    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_HRESULT_SUCCEEDED(decoder.query_to(pages));
    CAUUID ids = {};
    ASSERT_EQ(S_OK, pages->GetPages(&ids));
    ASSERT_EQ(1u, ids.cElems);
    EXPECT_TRUE(IsEqualGUID(CLSID_AdxDecoderPropertyPage, ids.pElems[0]));
    CoTaskMemFree(ids.pElems);
}

TEST_F(DecoderGraphTest, StreamInfoFollowsTheInputType) {
    Encode(kStreams[2]);
    BuildGraph();
    ComPtr<IDecoderInfo> decoderInfo;
    ASSERT_HRESULT_SUCCEEDED(decoder.query_to(decoderInfo));
    AdxFormatInfo info = {};
    ASSERT_EQ(S_OK, decoderInfo->GetStreamInfo(&info));
    EXPECT_EQ(4, info.version);
    EXPECT_EQ(18, info.blockSize);
    EXPECT_EQ(4, info.bitsPerSample);
    EXPECT_EQ(32, info.samplesPerBlock);
    EXPECT_EQ(2, info.channelCount);
    EXPECT_EQ(44100, info.sampleRate);

    AM_MEDIA_TYPE output = {};
    ASSERT_EQ(S_OK, FindPin(decoder.get(), L"Out")->ConnectionMediaType(&output));
    ASSERT_EQ(sizeof(WAVEFORMATEX), output.cbFormat);
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(output.pbFormat);
    EXPECT_EQ(WAVE_FORMAT_PCM, wave->wFormatTag);
    EXPECT_EQ(2, wave->nChannels);
    EXPECT_EQ(44100u, wave->nSamplesPerSec);
    EXPECT_EQ(176400u, wave->nAvgBytesPerSec);
    EXPECT_EQ(4, wave->nBlockAlign);
    EXPECT_EQ(16, wave->wBitsPerSample);
    ReleaseContents(&output);
}

TEST_F(DecoderGraphTest, ReconnectedInputMustSuitTheConnectedOutput) {
    Encode(kStreams[1]);
    BuildGraph();
    ComPtr<IPin> decoderIn = FindPin(decoder.get(), L"In");
    ASSERT_HRESULT_SUCCEEDED(graph->Disconnect(sourceFilter->Pin()->AsPin()));
    ASSERT_HRESULT_SUCCEEDED(graph->Disconnect(decoderIn.get()));

    // Another rate would need another PCM type downstream: refused.
    AdxFormatFields other = format;
    other.sampleRate = 48000;
    MediaTypeRecord otherType;
    MakeAdxType(other, &otherType);
    auto* otherSource = new TestSourceFilter(otherType);
    ComPtr<IBaseFilter> otherFilter(otherSource->AsBaseFilter());
    ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(otherFilter.get(), L"other source"));
    EXPECT_TRUE(
        FAILED(graph->ConnectDirect(otherSource->Pin()->AsPin(), decoderIn.get(), nullptr)));
    EXPECT_EQ(S_FALSE, decoderIn->QueryAccept(&otherType));

    // The same stream format connects again.
    EXPECT_HRESULT_SUCCEEDED(
        graph->ConnectDirect(sourceFilter->Pin()->AsPin(), decoderIn.get(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(graph->RemoveFilter(otherFilter.get()));
}

} // namespace
} // namespace decodertest

// The decoder in real graphs of the runtime: a test source pushing ADX
// frames as the parser would, into the runtime's SampleGrabber and
// NullRenderer, without a clock. (Playback through the runtime's DirectSound
// renderer is covered with the real parser in front, by the chain tests.)
#include "DecoderTestSupport.h"
#include "TestSourceFilter.h"

#include "adx/AdxEncoder.h"
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
        objectsBefore_ = LiveObjectCount;
    }
    void TearDown() override {
        if (control_) {
            control_->Stop();
        }
        control_ = nullptr;
        events_ = nullptr;
        grabber_ = nullptr;
        grabberFilter_ = nullptr;
        renderer_ = nullptr;
        sinkFilter_ = nullptr;
        decoder_ = nullptr;
        sourceFilter_ = nullptr;
        source_ = nullptr;
        graph_ = nullptr;
        EXPECT_EQ(0, collector_.references.load());
        EXPECT_EQ(objectsBefore_, LiveObjectCount) << "framework objects leaked";
        ComTest::TearDown();
    }

    void Encode(const EncodedCase& c) {
        AdxEncoder encoder(c.options);
        const std::vector<std::int16_t> signal =
            MakeSweepSignal(c.options.channelCount, c.options.sampleRate, c.samplesPerChannel, 40.0,
                            15000.0, 30000);
        ASSERT_TRUE(encoder.Encode(signal, stream_) == AdxEncodeStatus::kOk);
        format_ = AdxFormatFields{};
        format_.channelCount = static_cast<std::uint16_t>(c.options.channelCount);
        format_.sampleRate = static_cast<std::uint32_t>(c.options.sampleRate);
        format_.version = static_cast<std::uint16_t>(c.options.version);
        format_.coef1 = static_cast<std::int16_t>(stream_.coef1);
        format_.coef2 = static_cast<std::int16_t>(stream_.coef2);
        for (int i = 0; i < 4; ++i) {
            format_.history[i] = c.options.initialHistory[i];
        }
    }

    // source -> decoder -> grabber -> null renderer, without a clock; or
    // source -> decoder -> a capture sink with `capture`.
    void BuildGraph(const testgraph::CaptureOptions* capture = nullptr) {
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IGraphBuilder, graph_.put_void()));
        MediaTypeRecord adxType;
        MakeAdxType(format_, &adxType);
        sourceFilter_ = new TestSourceFilter(adxType);
        source_ = ComPtr<IBaseFilter>(sourceFilter_->AsBaseFilter());
        decoder_ = testgraph::CreateFilter<DecoderFilter>();
        ASSERT_TRUE(decoder_);
        if (capture != nullptr) {
            sink_ = new testgraph::CaptureSink(*capture);
            sinkFilter_ = ComPtr<IBaseFilter>(sink_->AsBaseFilter());
            ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(source_.get(), L"source"));
            ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(decoder_.get(), L"Quellvane"));
            ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(sinkFilter_.get(), L"sink"));
            ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(
                sourceFilter_->Pin()->AsPin(), FindPin(decoder_.get(), L"In").get(), nullptr));
            ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(FindPin(decoder_.get(), L"Out").get(),
                                                           sink_->Pin()->AsPin(), nullptr));
            FinishGraph();
            return;
        }
        grabberFilter_ = testgraph::CreateRuntimeFilter(kSampleGrabberClassId);
        renderer_ = testgraph::CreateRuntimeFilter(kNullRendererClassId);
        ASSERT_TRUE(grabberFilter_ && renderer_);
        ASSERT_HRESULT_SUCCEEDED(grabberFilter_.query_to(grabber_));
        ASSERT_HRESULT_SUCCEEDED(grabber_->SetCallback(&collector_, 0));
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(source_.get(), L"source"));
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(decoder_.get(), L"Quellvane"));
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(grabberFilter_.get(), L"grabber"));
        ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(renderer_.get(), L"renderer"));
        ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(
            sourceFilter_->Pin()->AsPin(), FindPin(decoder_.get(), L"In").get(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(
            FindPin(decoder_.get(), L"Out").get(),
            testgraph::FirstPin(grabberFilter_.get(), PINDIR_INPUT).get(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(
            testgraph::FirstPin(grabberFilter_.get(), PINDIR_OUTPUT).get(),
            testgraph::FirstPin(renderer_.get(), PINDIR_INPUT).get(), nullptr));
        FinishGraph();
    }

    // No clock; the control and event interfaces.
    void FinishGraph() {
        ComPtr<IMediaFilter> mediaFilter;
        ASSERT_HRESULT_SUCCEEDED(graph_.query_to(mediaFilter));
        ASSERT_HRESULT_SUCCEEDED(mediaFilter->SetSyncSource(nullptr));
        ASSERT_HRESULT_SUCCEEDED(graph_.query_to(control_));
        ASSERT_HRESULT_SUCCEEDED(graph_->QueryInterface(IID_IMediaEventEx, events_.put_void()));
    }

    // Pushes frames [firstFrame, firstFrame + frameCount) with media times
    // as the parser stamps them; the last sample ends at the stream's end.
    HRESULT PushFrames(int firstFrame, int frameCount, bool preroll = false,
                       const std::vector<std::uint8_t>* data = nullptr) {
        const std::vector<std::uint8_t>& bytes = data != nullptr ? *data : stream_.bytes;
        const long frameBytes = 18L * format_.channelCount;
        PushedSample properties;
        properties.mediaStart = 32LL * firstFrame;
        properties.mediaEnd =
            std::min<LONGLONG>(32LL * (firstFrame + frameCount), stream_.totalSamples);
        properties.start = properties.mediaStart * 10000000 / format_.sampleRate;
        properties.stop = properties.mediaEnd * 10000000 / format_.sampleRate;
        properties.preroll = preroll;
        return sourceFilter_->Push(bytes.data() + stream_.headerLength + firstFrame * frameBytes,
                                   frameCount * frameBytes, properties);
    }

    // Pushes the whole stream in samples of up to `framesPerSample` frames.
    void PushStream(int framesPerSample) {
        for (int frame = 0; frame < stream_.frameCount; frame += framesPerSample) {
            const int count = std::min(framesPerSample, stream_.frameCount - frame);
            ASSERT_EQ(S_OK, PushFrames(frame, count)) << "frame " << frame;
        }
    }

    // Event codes seen so far (non-blocking).
    std::vector<long> DrainEvents() { return testgraph::DrainEvents(events_.get()); }

    LONG objectsBefore_ = 0;
    AdxEncodedStream stream_;
    AdxFormatFields format_;
    PcmCollector collector_;
    ComPtr<IGraphBuilder> graph_;
    TestSourceFilter* sourceFilter_ = nullptr;
    ComPtr<IBaseFilter> source_;
    ComPtr<IBaseFilter> decoder_;
    ComPtr<IBaseFilter> grabberFilter_;
    ComPtr<ISampleGrabber> grabber_;
    ComPtr<IBaseFilter> renderer_;
    testgraph::CaptureSink* sink_ = nullptr; // owned through sinkFilter
    ComPtr<IBaseFilter> sinkFilter_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaEventEx> events_;
};

class DecoderGraphStreamTest : public DecoderGraphTest,
                               public ::testing::WithParamInterface<EncodedCase> {};

TEST_P(DecoderGraphStreamTest, PcmEqualsTheDirectDecode) {
    Encode(GetParam());
    BuildGraph();
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    PushStream(256 / format_.channelCount);
    ASSERT_EQ(S_OK, sourceFilter_->Pin()->SendEndOfStream());
    long code = 0;
    ASSERT_EQ(S_OK, events_->WaitForCompletion(kEventWaitMs, &code));
    EXPECT_EQ(EC_COMPLETE, code);
    std::lock_guard<std::mutex> guard(collector_.mutex);
    EXPECT_EQ(stream_.decoded.size(), collector_.samples.size());
    EXPECT_EQ(-1, FirstMismatch(collector_.samples, stream_.decoded));
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
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    PushStream(kAdxMaxBlocksPerSample / format_.channelCount);
    ASSERT_EQ(S_OK, sourceFilter_->Pin()->SendEndOfStream());
    ASSERT_TRUE(sink_->Pin()->WaitForEndOfStream(1, kEventWaitMs));
    const std::vector<testgraph::CapturedSample> samples = sink_->Pin()->Samples();
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(std::min<size_t>(32768, stream_.decoded.size() * 2), samples[0].bytes.size());
    EXPECT_EQ(-1,
              FirstMismatch(testgraph::ToPcm(testgraph::Concatenate(samples)), stream_.decoded));
}

INSTANTIATE_TEST_SUITE_P(Streams, DecoderGraphStreamTest, ::testing::ValuesIn(kStreams),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecoderGraphTest, OutputSamplesCarryTheInputTimes) {
    Encode(kStreams[1]);
    BuildGraph();
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    ASSERT_EQ(S_OK, PushFrames(0, 10));
    ASSERT_EQ(S_OK, PushFrames(10, 10));
    std::lock_guard<std::mutex> guard(collector_.mutex);
    ASSERT_EQ(2u, collector_.starts.size());
    EXPECT_EQ(0, collector_.starts[0]);
    EXPECT_EQ(320LL * 10000000 / format_.sampleRate, collector_.starts[1]);
}

TEST_F(DecoderGraphTest, PrerollIsDecodedButNotDeliveredAndReportedOnce) {
    Encode(kStreams[0]);
    BuildGraph();
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    // Two preroll samples warm the history up to frame 8 and deliver nothing.
    ASSERT_EQ(S_OK, PushFrames(0, 4, /*preroll=*/true));
    ASSERT_EQ(S_OK, PushFrames(4, 4, /*preroll=*/true));
    ASSERT_EQ(S_OK, PushFrames(8, 8));
    const std::vector<long> codes = DrainEvents();
    EXPECT_EQ(1, std::count(codes.begin(), codes.end(), EC_QUALITY_CHANGE));
    {
        std::lock_guard<std::mutex> guard(collector_.mutex);
        EXPECT_EQ(1, collector_.sampleCount);
        const std::vector<std::int16_t> expected(stream_.decoded.begin() + 8 * 32,
                                                 stream_.decoded.begin() + 16 * 32);
        EXPECT_EQ(-1, FirstMismatch(collector_.samples, expected));
    }
    // A pause lets the event go out again.
    ASSERT_HRESULT_SUCCEEDED(control_->Pause());
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    ASSERT_EQ(S_OK, PushFrames(0, 4, /*preroll=*/true));
    const std::vector<long> later = DrainEvents();
    EXPECT_EQ(1, std::count(later.begin(), later.end(), EC_QUALITY_CHANGE));
}

TEST_F(DecoderGraphTest, BadScaleWordFailsOneSampleAndTheStreamGoesOn) {
    Encode(kStreams[1]);
    BuildGraph();
    std::vector<std::uint8_t> bad = stream_.bytes;
    bad[stream_.headerLength + 36 * 5] = 0x80; // frame 5, channel 0: bit 15
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    ASSERT_EQ(S_OK, PushFrames(0, 4, false, &bad));
    EXPECT_EQ(VFW_E_FILE_TOO_SHORT, PushFrames(4, 4, false, &bad));
    ASSERT_EQ(S_OK, PushFrames(8, 4, false, &bad));
    ASSERT_EQ(S_OK, sourceFilter_->Pin()->SendEndOfStream());
    long code = 0;
    ASSERT_EQ(S_OK, events_->WaitForCompletion(kEventWaitMs, &code));
    std::lock_guard<std::mutex> guard(collector_.mutex);
    EXPECT_EQ(2, collector_.sampleCount);
    EXPECT_EQ(8u * 32 * 2, collector_.samples.size());
}

TEST_F(DecoderGraphTest, StoppedOrFlushingDecoderTurnsSamplesAway) {
    Encode(kStreams[0]);
    BuildGraph();
    ComPtr<IPin> decoderIn = FindPin(decoder_.get(), L"In");
    ComPtr<IMemInputPin> input;
    ASSERT_HRESULT_SUCCEEDED(decoderIn.query_to(input));
    ComPtr<IMemAllocator> allocator = MakeAllocator(1, 18 * 4);
    ASSERT_TRUE(allocator);
    ComPtr<IMediaSample> sample = MakeInputSample(
        allocator.get(), stream_.bytes.data() + stream_.headerLength, 18 * 4, 0, 128);
    ASSERT_TRUE(sample);

    EXPECT_EQ(VFW_E_WRONG_STATE, input->Receive(sample.get()));
    // Running without a clock: a paused renderer would hold the sample.
    ASSERT_HRESULT_SUCCEEDED(control_->Run());
    ASSERT_EQ(S_OK, decoderIn->BeginFlush());
    EXPECT_EQ(S_FALSE, input->Receive(sample.get()));
    EXPECT_EQ(S_FALSE, decoderIn->EndOfStream());
    ASSERT_EQ(S_OK, decoderIn->EndFlush());
    EXPECT_EQ(S_OK, input->Receive(sample.get()));
    std::lock_guard<std::mutex> guard(collector_.mutex);
    EXPECT_EQ(1, collector_.sampleCount);
}

TEST_F(DecoderGraphTest, SeekingRequestsPassUpstream) {
    Encode(kStreams[0]);
    BuildGraph();
    ComPtr<IPin> decoderOut = FindPin(decoder_.get(), L"Out");
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
    decoder_ = testgraph::CreateFilter<DecoderFilter>();
    ASSERT_TRUE(decoder_);
    ComPtr<IPin> pin;
    EXPECT_EQ(VFW_E_NOT_FOUND, decoder_->FindPin(L"in", pin.put()));
    EXPECT_EQ(nullptr, pin.get());
    EXPECT_EQ(VFW_E_NOT_FOUND, decoder_->FindPin(L"XForm In", pin.put()));
    for (const WCHAR* id : {L"In", L"Out"}) {
        ComPtr<IPin> found = FindPin(decoder_.get(), id);
        ASSERT_TRUE(found);
        LPWSTR queried = nullptr;
        ASSERT_EQ(S_OK, found->QueryId(&queried));
        EXPECT_STREQ(id, queried);
        CoTaskMemFree(queried);
    }
    PIN_INFO info = {};
    ASSERT_EQ(S_OK, FindPin(decoder_.get(), L"Out")->QueryPinInfo(&info));
    EXPECT_STREQ(L"XForm Out", info.achName);
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    info.pFilter->Release();
    // No output type and no output connection before the input is connected.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, FindPin(decoder_.get(), L"Out")->EnumMediaTypes(types.put()));
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(S_FALSE, types->Next(1, &type, nullptr));

    ComPtr<IDecoderInfo> decoderInfo;
    ASSERT_HRESULT_SUCCEEDED(decoder_.query_to(decoderInfo));
    AdxFormatInfo streamInfo = {1, 1, 1, 1, 1, 1};
    ASSERT_EQ(S_OK, decoderInfo->GetStreamInfo(&streamInfo));
    EXPECT_EQ(0, streamInfo.version);
    EXPECT_EQ(0, streamInfo.sampleRate);
    EXPECT_EQ(E_POINTER, decoderInfo->GetStreamInfo(nullptr));

    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_HRESULT_SUCCEEDED(decoder_.query_to(pages));
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
    ASSERT_HRESULT_SUCCEEDED(decoder_.query_to(decoderInfo));
    AdxFormatInfo info = {};
    ASSERT_EQ(S_OK, decoderInfo->GetStreamInfo(&info));
    EXPECT_EQ(4, info.version);
    EXPECT_EQ(18, info.blockSize);
    EXPECT_EQ(4, info.bitsPerSample);
    EXPECT_EQ(32, info.samplesPerBlock);
    EXPECT_EQ(2, info.channelCount);
    EXPECT_EQ(44100, info.sampleRate);

    AM_MEDIA_TYPE output = {};
    ASSERT_EQ(S_OK, FindPin(decoder_.get(), L"Out")->ConnectionMediaType(&output));
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
    ComPtr<IPin> decoderIn = FindPin(decoder_.get(), L"In");
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(sourceFilter_->Pin()->AsPin()));
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(decoderIn.get()));

    // Another rate would need another PCM type downstream: refused.
    AdxFormatFields other = format_;
    other.sampleRate = 48000;
    MediaTypeRecord otherType;
    MakeAdxType(other, &otherType);
    auto* otherSource = new TestSourceFilter(otherType);
    ComPtr<IBaseFilter> otherFilter(otherSource->AsBaseFilter());
    ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(otherFilter.get(), L"other source"));
    EXPECT_TRUE(
        FAILED(graph_->ConnectDirect(otherSource->Pin()->AsPin(), decoderIn.get(), nullptr)));
    EXPECT_EQ(S_FALSE, decoderIn->QueryAccept(&otherType));

    // The same stream format connects again.
    EXPECT_HRESULT_SUCCEEDED(
        graph_->ConnectDirect(sourceFilter_->Pin()->AsPin(), decoderIn.get(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(graph_->RemoveFilter(otherFilter.get()));
}

} // namespace
} // namespace decodertest

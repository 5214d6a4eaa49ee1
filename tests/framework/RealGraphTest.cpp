// The bases with the runtime's own graph manager, allocator, sample grabber,
// null renderer and file source.
#include "tests/support/BoundedWait.h"
#include "CountingFake.h"
#include "StreamingTestFilters.h"

#include "framework/com/ComPtr.h"
#include "framework/filters/WorkerThread.h"

#include <gtest/gtest.h>

#include <dshow.h>
#include <evcode.h>
#include <mmreg.h>
#include <qedit.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

// {C1F400A4-3F08-11D3-9F0B-006008039E37} and {C1F400A0-...}: the runtime's
// null renderer and sample grabber.
const CLSID kNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const CLSID kSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

constexpr int kSamplesToSend = 20;
constexpr LONG kSampleBytes = 1764; // 10 ms of 44.1 kHz 16-bit stereo
constexpr REFERENCE_TIME kSampleDuration = 100000;

// Offers 16-bit stereo PCM and accepts nothing else.
class PcmOutputPin : public TestOutputPin {
public:
    using TestOutputPin::TestOutputPin;

    static void FillPcm(MediaTypeRecord* type) {
        type->SetMajorType(MEDIATYPE_Audio);
        type->SetSubtype(MEDIASUBTYPE_PCM);
        type->SetFormatType(FORMAT_WaveFormatEx);
        type->SetSampleSize(4);
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = 44100;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 4;
        format.nAvgBytesPerSec = 44100 * 4;
        type->SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
    }
    HRESULT ProposeType(int position, MediaTypeRecord* type) override {
        if (position != 0) {
            return S_FALSE;
        }
        FillPcm(type);
        return S_OK;
    }
    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override {
        MediaTypeRecord pcm;
        FillPcm(&pcm);
        return pcm.Equals(*type) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
};

// Sends kSamplesToSend samples and end of stream each time it is asked to.
class Pusher : public WorkerThread {
public:
    // kIdle does nothing; its answer shows that an earlier push has ended.
    enum : DWORD { kExit = 0, kPush = 1, kIdle = 2 };
    explicit Pusher(OutputPinBase* pin) : pin_(pin) {}

    DWORD ThreadMain() override {
        for (;;) {
            const DWORD code = WaitRequest();
            Answer(S_OK);
            if (code == kExit) {
                return 0;
            }
            if (code == kPush) {
                Push();
            }
        }
    }

    std::vector<HRESULT> results; // one per sample sent, then end of stream

private:
    void Push() {
        for (int index = 0; index < kSamplesToSend; ++index) {
            IMediaSample* sample = nullptr;
            if (FAILED(pin_->GetEmptySample(&sample, nullptr, nullptr, 0))) {
                return; // stopped: the allocator is decommitted
            }
            BYTE* buffer = nullptr;
            sample->GetPointer(&buffer);
            for (LONG i = 0; i < kSampleBytes; ++i) {
                buffer[i] = static_cast<BYTE>(index);
            }
            sample->SetActualDataLength(kSampleBytes);
            REFERENCE_TIME start = index * kSampleDuration;
            REFERENCE_TIME stop = start + kSampleDuration;
            sample->SetTime(&start, &stop);
            results.push_back(pin_->SendSample(sample));
            sample->Release();
        }
        results.push_back(pin_->SendEndOfStream());
    }

    OutputPinBase* pin_;
};

// A source filter with one PCM output pin; samples start to flow when it
// leaves Stopped.
class SourceFilter : public TestFilter {
public:
    SourceFilter() : out(Adopt(new PcmOutputPin(this, L"Out"))), pusher(out) {
        out->bufferBytes = kSampleBytes;
        pusher.Start();
    }
    ~SourceFilter() override { pusher.Request(Pusher::kExit); }

    HRESULT STDMETHODCALLTYPE Pause() override {
        auto guard = FilterLock()->lock();
        const bool wasStopped = state_ == State_Stopped;
        const HRESULT result = FilterBase::Pause();
        if (SUCCEEDED(result) && wasStopped) {
            pusher.Request(Pusher::kPush);
        }
        return result;
    }

    PcmOutputPin* out;
    Pusher pusher;
};

// Counts the samples the grabber sees and remembers their first bytes.
class GrabberCallback : public CountingFake<ISampleGrabberCB> {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double /*time*/, IMediaSample* sample) override {
        BYTE* buffer = nullptr;
        sample->GetPointer(&buffer);
        firstBytes.push_back(buffer[0]);
        lengths.push_back(sample->GetActualDataLength());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }

    std::vector<int> firstBytes;
    std::vector<LONG> lengths;
};

class RealGraphTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override {
        EXPECT_EQ(TestFilter::live, 0) << "a filter reference leaked";
        CoUninitialize();
    }

    static ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
        ComPtr<IEnumPins> pins;
        if (FAILED(filter->EnumPins(pins.put()))) {
            return nullptr;
        }
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.put(), nullptr) == S_OK) {
            PIN_DIRECTION direction;
            if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) {
                return pin;
            }
        }
        return nullptr;
    }
};

TEST_F(RealGraphTest, SourceSamplesReachTheRendererAndEndAsComplete) {
    GrabberCallback callback;
    {
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.put_void()),
                  S_OK);
        auto* source = new SourceFilter;
        ComPtr<IBaseFilter> sourceHold(source->AsBaseFilter());
        ComPtr<IBaseFilter> grabber;
        ComPtr<IBaseFilter> renderer;
        ASSERT_EQ(CoCreateInstance(kSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   grabber.put_void()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(kNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   renderer.put_void()),
                  S_OK);
        ComPtr<ISampleGrabber> grabbing;
        ASSERT_EQ(grabber.query_to(grabbing), S_OK);
        ASSERT_EQ(grabbing->SetCallback(&callback, 0), S_OK);

        ASSERT_EQ(graph->AddFilter(sourceHold.get(), L"Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(grabber.get(), L"Grabber"), S_OK);
        ASSERT_EQ(graph->AddFilter(renderer.get(), L"Renderer"), S_OK);
        ASSERT_EQ(graph->Connect(source->out->AsPin(), FirstPin(grabber.get(), PINDIR_INPUT).get()),
                  S_OK);
        ASSERT_EQ(graph->Connect(FirstPin(grabber.get(), PINDIR_OUTPUT).get(),
                                 FirstPin(renderer.get(), PINDIR_INPUT).get()),
                  S_OK);
        ASSERT_NE(source->out->Allocator(), nullptr);

        ComPtr<IMediaControl> control;
        ComPtr<IMediaEvent> events;
        ASSERT_EQ(graph.query_to(control), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaEvent, events.put_void()), S_OK);
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        LONG code = 0;
        EXPECT_EQ(events->WaitForCompletion(bounded::kStepTimeoutMs, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        ASSERT_TRUE(SUCCEEDED(control->Stop()));
        bounded::Within("pusher idle", [&] { source->pusher.Request(Pusher::kIdle); });

        EXPECT_EQ(source->pusher.results, std::vector<HRESULT>(kSamplesToSend + 1, S_OK));
        ASSERT_EQ(callback.firstBytes.size(), static_cast<size_t>(kSamplesToSend));
        for (int index = 0; index < kSamplesToSend; ++index) {
            EXPECT_EQ(callback.firstBytes[index], index) << "sample " << index;
            EXPECT_EQ(callback.lengths[index], kSampleBytes) << "sample " << index;
        }
        grabbing->SetCallback(nullptr, 0);
    }
    EXPECT_EQ(callback.references, 0);
}

// A sink whose input pin, straight on PinBase, pulls from IAsyncReader and
// reads the first bytes as soon as it is connected.
class PullPin : public TestPin {
public:
    PullPin(TestFilter* filter) : TestPin(filter, L"Pull", PINDIR_INPUT, &filter->log) {}

    HRESULT AcceptType(const AM_MEDIA_TYPE* type) override {
        return IsEqualGUID(type->majortype, MEDIATYPE_Stream) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT FinishConnection(IPin* peer) override {
        HRESULT result = peer->QueryInterface(IID_IAsyncReader, reader.put_void());
        if (FAILED(result)) {
            return result;
        }
        return reader->SyncRead(0, sizeof(header), header);
    }
    HRESULT DropConnection() override {
        reader.reset();
        return S_OK;
    }

    ComPtr<IAsyncReader> reader;
    BYTE header[16] = {};
};

BYTE PatternByte(LONGLONG position) {
    return static_cast<BYTE>(position * 7 + 3);
}

TEST_F(RealGraphTest, FileSourceFeedsAPinBuiltOnPinBase) {
    WCHAR directory[MAX_PATH];
    WCHAR path[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, directory), 0u);
    ASSERT_NE(GetTempFileNameW(directory, L"pin", 0, path), 0u);
    constexpr LONGLONG kFileBytes = 100000;
    {
        std::vector<BYTE> bytes(kFileBytes);
        for (LONGLONG i = 0; i < kFileBytes; ++i) {
            bytes[i] = PatternByte(i);
        }
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, bytes.data(), kFileBytes, &written, nullptr));
        CloseHandle(file);
        ASSERT_EQ(written, kFileBytes);
    }
    {
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, graph.put_void()),
                  S_OK);
        ComPtr<IBaseFilter> fileSource;
        ASSERT_EQ(CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, fileSource.put_void()),
                  S_OK);
        ComPtr<IFileSourceFilter> loader;
        ASSERT_EQ(fileSource.query_to(loader), S_OK);
        ASSERT_EQ(loader->Load(path, nullptr), S_OK);

        auto* sink = new TestFilter;
        ComPtr<IBaseFilter> sinkHold(sink->AsBaseFilter());
        PullPin* pull = sink->Adopt(new PullPin(sink));
        ASSERT_EQ(graph->AddFilter(fileSource.get(), L"File"), S_OK);
        ASSERT_EQ(graph->AddFilter(sinkHold.get(), L"Sink"), S_OK);
        ASSERT_EQ(graph->Connect(FirstPin(fileSource.get(), PINDIR_OUTPUT).get(), pull->AsPin()),
                  S_OK);

        ASSERT_TRUE(pull->reader);
        EXPECT_TRUE(IsEqualGUID(pull->ConnectionType().majortype, MEDIATYPE_Stream));
        for (int i = 0; i < 16; ++i) {
            ASSERT_EQ(pull->header[i], PatternByte(i)) << "first mismatch at byte " << i;
        }
        LONGLONG total = 0, available = 0;
        ASSERT_TRUE(SUCCEEDED(pull->reader->Length(&total, &available)));
        EXPECT_EQ(total, kFileBytes);
        std::vector<BYTE> middle(1000);
        ASSERT_EQ(pull->reader->SyncRead(50000, 1000, middle.data()), S_OK);
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(middle[i], PatternByte(50000 + i)) << "first mismatch at byte " << 50000 + i;
        }
        // A read past the end is short, and says so.
        EXPECT_EQ(pull->reader->SyncRead(kFileBytes - 10, 20, middle.data()), S_FALSE);

        ASSERT_EQ(graph->RemoveFilter(sinkHold.get()), S_OK);
        EXPECT_FALSE(pull->IsConnected());
        EXPECT_FALSE(pull->reader);
    }
    DeleteFileW(path);
}

} // namespace

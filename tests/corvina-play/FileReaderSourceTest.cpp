// corvina-play's FileReaderSource: its IAsyncReader answers on a fixture
// file, and the module's ParserFilter and DecoderFilter pulling a whole
// stream through it in the runtime's filter graph, bit for bit the encoder's
// own decode, as they do from the runtime's file source.
#include "graph/FileReaderSource.h"

#include "adx/AdxEncoder.h"
#include "CaptureSink.h"
#include "ComTest.h"
#include "GraphHelpers.h"
#include "TempFile.h"
#include "TestSignal.h"

#include "decoder/DecoderFilter.h"
#include "parser/ParserFilter.h"
#include "tests/support/BoundedWait.h"

#include <uuids.h>
#include <vfwmsgs.h>

namespace {

using testgraph::TempFile;

constexpr DWORD kWaitMs = 10000;
constexpr LONGLONG kUnitsPerByte = 10000000;

std::vector<std::uint8_t> Counting(size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    return bytes;
}

// The reader offers `bytes` in all, every one of them available.
void ExpectLength(IAsyncReader* reader, LONGLONG bytes) {
    LONGLONG total = 0;
    LONGLONG available = 0;
    ASSERT_HRESULT_SUCCEEDED(reader->Length(&total, &available));
    EXPECT_EQ(total, bytes);
    EXPECT_EQ(available, bytes);
}

class FileReaderSourceTest : public testgraph::ComTest {
protected:
    // The reader of a new source on `path`, ending at `endBytes`.
    ComPtr<IAsyncReader> ReaderOf(const std::wstring& path, long long endBytes = -1) {
        EXPECT_HRESULT_SUCCEEDED(FileReaderSource::Create(path, endBytes, source_));
        ComPtr<IAsyncReader> reader;
        if (source_) {
            ComPtr<IPin> output = testgraph::FirstPin(source_.get(), PINDIR_OUTPUT);
            EXPECT_HRESULT_SUCCEEDED(output.query_to(reader));
        }
        return reader;
    }

    ComPtr<IBaseFilter> source_;
};

TEST_F(FileReaderSourceTest, MissingFileIsTheSystemsError) {
    ComPtr<IBaseFilter> source;
    EXPECT_EQ(FileReaderSource::Create(L"no-such-file.adx", -1, source),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

struct ReadCase {
    const char* name;
    LONGLONG position;
    LONG length;
    HRESULT expected;
    LONG bytesThere; // of `length`, from the file
};

TEST_F(FileReaderSourceTest, SyncReadGivesTheFilesBytes) {
    const std::vector<std::uint8_t> bytes = Counting(5000);
    TempFile file(bytes);
    ASSERT_TRUE(file.Written());
    ComPtr<IAsyncReader> reader = ReaderOf(file.Path());
    ASSERT_TRUE(reader);
    ExpectLength(reader.get(), 5000);

    const ReadCase cases[] = {
        {"from the start", 0, 100, S_OK, 100},
        {"inside", 4000, 1000, S_OK, 1000},
        {"across the end", 4900, 200, S_FALSE, 100},
        {"past the end", 6000, 10, S_FALSE, 0},
        {"nothing", 10, 0, S_OK, 0},
        {"before the start", -1, 10, E_INVALIDARG, 0},
    };
    for (const ReadCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::uint8_t> buffer(static_cast<size_t>(test.length) + 1, 0xEE);
        EXPECT_EQ(reader->SyncRead(test.position, test.length, buffer.data()), test.expected);
        for (LONG i = 0; i < test.bytesThere; ++i) {
            ASSERT_EQ(buffer[static_cast<size_t>(i)], bytes[static_cast<size_t>(test.position + i)])
                << "byte " << i;
        }
    }
}

// An archive member's end: the bytes after it are not offered.
TEST_F(FileReaderSourceTest, AnEndInsideTheFileCutsLengthAndReads) {
    TempFile file(Counting(5000));
    ASSERT_TRUE(file.Written());
    ComPtr<IAsyncReader> reader = ReaderOf(file.Path(), 4500);
    ASSERT_TRUE(reader);
    ExpectLength(reader.get(), 4500);
    std::vector<std::uint8_t> buffer(200, 0xEE);
    EXPECT_EQ(reader->SyncRead(4400, 200, buffer.data()), S_FALSE);
    EXPECT_EQ(buffer[99], Counting(5000)[4499]);
    EXPECT_EQ(buffer[100], 0xEE) << "a byte past the end was read";
    EXPECT_EQ(reader->SyncRead(4500, 10, buffer.data()), S_FALSE);
}

TEST_F(FileReaderSourceTest, RequestsComeBackFromWaitForNext) {
    const std::vector<std::uint8_t> bytes = Counting(3000);
    TempFile file(bytes);
    ASSERT_TRUE(file.Written());
    ComPtr<IAsyncReader> reader = ReaderOf(file.Path());
    ASSERT_TRUE(reader);
    ALLOCATOR_PROPERTIES request = {2, 1024, 0, 0};
    ComPtr<IMemAllocator> allocator;
    ASSERT_HRESULT_SUCCEEDED(reader->RequestAllocator(nullptr, &request, allocator.put()));
    ASSERT_HRESULT_SUCCEEDED(allocator->Commit());

    // The last request runs past the end: its sample is short.
    const LONGLONG starts[2] = {0, 2048};
    for (int i = 0; i < 2; ++i) {
        ComPtr<IMediaSample> sample;
        ASSERT_HRESULT_SUCCEEDED(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0));
        REFERENCE_TIME start = starts[i] * kUnitsPerByte;
        REFERENCE_TIME stop = (starts[i] + 1024) * kUnitsPerByte;
        ASSERT_HRESULT_SUCCEEDED(sample->SetTime(&start, &stop));
        ASSERT_HRESULT_SUCCEEDED(reader->Request(sample.get(), static_cast<DWORD_PTR>(i + 7)));
    }
    const LONG lengths[2] = {1024, 3000 - 2048};
    for (int i = 0; i < 2; ++i) {
        ComPtr<IMediaSample> sample;
        DWORD_PTR user = 0;
        ASSERT_HRESULT_SUCCEEDED(reader->WaitForNext(0, sample.put(), &user));
        EXPECT_EQ(user, static_cast<DWORD_PTR>(i + 7));
        EXPECT_EQ(sample->GetActualDataLength(), lengths[i]);
        BYTE* data = nullptr;
        ASSERT_HRESULT_SUCCEEDED(sample->GetPointer(&data));
        EXPECT_EQ(data[1], bytes[static_cast<size_t>(starts[i] + 1)]);
    }
    ComPtr<IMediaSample> none;
    DWORD_PTR user = 0;
    EXPECT_EQ(reader->WaitForNext(0, none.put(), &user), VFW_E_TIMEOUT);
    ASSERT_HRESULT_SUCCEEDED(reader->BeginFlush());
    EXPECT_EQ(reader->WaitForNext(0, none.put(), &user), VFW_E_WRONG_STATE);
    ASSERT_HRESULT_SUCCEEDED(reader->EndFlush());
}

TEST_F(FileReaderSourceTest, TheModulesChainDecodesThroughIt) {
    AdxEncoderOptions options;
    options.channelCount = 2;
    options.sampleRate = 32000;
    AdxEncodedStream stream;
    ASSERT_TRUE(AdxEncoder(options).Encode(MakeSweepSignal(2, 32000, 48000, 100.0, 9000.0, 12000),
                                           stream) == AdxEncodeStatus::kOk);
    TempFile file(stream.bytes);
    ASSERT_TRUE(file.Written());

    ComPtr<IGraphBuilder> graph;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IGraphBuilder, graph.put_void()));
    ComPtr<IMediaFilter> graphFilter;
    ASSERT_HRESULT_SUCCEEDED(graph.query_to(graphFilter));
    ASSERT_HRESULT_SUCCEEDED(graphFilter->SetSyncSource(nullptr));
    ASSERT_HRESULT_SUCCEEDED(FileReaderSource::Create(file.Path(), -1, source_));
    ComPtr<IBaseFilter> parser = testgraph::CreateFilter<ParserFilter>();
    ComPtr<IBaseFilter> decoder = testgraph::CreateFilter<DecoderFilter>();
    auto* sink = new testgraph::CaptureSink();
    ComPtr<IBaseFilter> sinkFilter(sink->AsBaseFilter());
    IBaseFilter* chain[4] = {source_.get(), parser.get(), decoder.get(), sinkFilter.get()};
    for (IBaseFilter* filter : chain) {
        ASSERT_HRESULT_SUCCEEDED(graph->AddFilter(filter, nullptr));
    }
    for (int i = 0; i < 3; ++i) {
        ComPtr<IPin> output = testgraph::FirstPin(chain[i], PINDIR_OUTPUT);
        ComPtr<IPin> input = testgraph::FirstPin(chain[i + 1], PINDIR_INPUT);
        ASSERT_HRESULT_SUCCEEDED(graph->ConnectDirect(output.get(), input.get(), nullptr))
            << "connection " << i;
    }
    ComPtr<IMediaControl> control;
    ASSERT_HRESULT_SUCCEEDED(graph.query_to(control));
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    ASSERT_TRUE(sink->Pin()->WaitForEndOfStream(1, kWaitMs));
    IMediaControl* graphControl = control.get();
    bounded::Within("graph Stop", [graphControl] { graphControl->Stop(); });

    const std::vector<std::int16_t> pcm =
        testgraph::ToPcm(testgraph::Concatenate(sink->Pin()->Samples()));
    EXPECT_EQ(pcm.size(), stream.decoded.size());
    EXPECT_EQ(testgraph::FirstMismatch(pcm, stream.decoded), -1) << "first mismatching sample";
}

} // namespace

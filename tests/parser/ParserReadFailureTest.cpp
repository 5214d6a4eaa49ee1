// The parser on an upstream reader that fails: the runtime's file source,
// seen through a pin that passes every call on but fails the reads, the
// length or the allocator on demand. A failed read ends the run with
// EC_ERROR_STILLPLAYING and the reader's code; a reader that cannot say its
// length or agree an allocator refuses the connection with its code.
#include "CountingFake.h"
#include "ParserFixtures.h"

#include "framework/com/CountedObject.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>

namespace parsertest {
namespace {

using testgraph::FirstPin;
using testgraph::PollUntil;

constexpr DWORD kWaitMs = 10000;
const HRESULT kReadFault = HRESULT_FROM_WIN32(ERROR_READ_FAULT);

// An output pin offering IAsyncReader over the file source's own reader.
// Reads that reach past `failReadsFrom` bytes fail. Counts its references.
class FaultyReaderPin : public CountingFake<IPin, IAsyncReader> {
public:
    FaultyReaderPin(IBaseFilter* owner, IAsyncReader* inner) : owner_(owner), inner_(inner) {}

    std::atomic<LONGLONG> failReadsFrom{LLONG_MAX};
    // The data available ends here: reads past it deliver the bytes before
    // it, leave stale bytes after them and answer S_FALSE.
    std::atomic<LONGLONG> shortReadsFrom{LLONG_MAX};
    // Whether Length counts only the bytes before shortReadsFrom.
    std::atomic<bool> lengthShrinks{true};
    // When non-zero, the buffer size the reader grants, whatever is asked.
    LONG readerBufferBytes = 0;
    HRESULT lengthResult = S_OK;
    HRESULT allocatorResult = S_OK;

    // IPin: an unconnected output pin of the file source, as far as asked.
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
        return E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** out) override {
        *out = nullptr;
        return VFW_E_NOT_CONNECTED;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override {
        return VFW_E_NOT_CONNECTED;
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override {
        info->pFilter = owner_.get();
        info->pFilter->AddRef(); // +1 for the caller
        info->dir = PINDIR_OUTPUT;
        wcscpy_s(info->achName, L"Faulty");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
        *direction = PINDIR_OUTPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
        return E_UNEXPECTED;
    }

    // IAsyncReader
    HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred,
                                               ALLOCATOR_PROPERTIES* props,
                                               IMemAllocator** actual) override {
        if (FAILED(allocatorResult)) {
            return allocatorResult;
        }
        ALLOCATOR_PROPERTIES granted = *props;
        if (readerBufferBytes > 0) {
            granted.cbBuffer = readerBufferBytes;
        }
        return inner_->RequestAllocator(preferred, &granted, actual);
    }
    HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override {
        return inner_->Request(sample, user);
    }
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeout, IMediaSample** sample,
                                          DWORD_PTR* user) override {
        return inner_->WaitForNext(timeout, sample, user);
    }
    // The sample's times name the bytes; its length says how many came.
    HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        BYTE* buffer = nullptr;
        if (FAILED(sample->GetTime(&start, &stop)) || FAILED(sample->GetPointer(&buffer))) {
            return E_UNEXPECTED;
        }
        const LONGLONG position = start / 10000000;
        const auto length = static_cast<LONG>((stop - start) / 10000000);
        const HRESULT read = SyncRead(position, length, buffer);
        if (SUCCEEDED(read)) {
            sample->SetActualDataLength(read == S_OK ? length : Delivered(position, length));
        }
        return read;
    }
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override {
        if (position + length > failReadsFrom.load()) {
            return kReadFault;
        }
        const LONG delivered = Delivered(position, length);
        if (delivered < length) {
            std::fill(buffer + delivered, buffer + length, BYTE{0xEE});
            return delivered > 0 && FAILED(inner_->SyncRead(position, delivered, buffer)) ? E_FAIL
                                                                                          : S_FALSE;
        }
        return inner_->SyncRead(position, length, buffer);
    }
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override {
        if (FAILED(lengthResult)) {
            return lengthResult;
        }
        const HRESULT result = inner_->Length(total, available);
        if (lengthShrinks.load()) {
            *available = std::min(*available, shortReadsFrom.load());
        }
        return result;
    }
    // IPin declares BeginFlush and EndFlush alike; the reader's meaning wins,
    // since nothing sends flushes into an output pin.
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return inner_->BeginFlush(); }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return inner_->EndFlush(); }

private:
    LONG Delivered(LONGLONG position, LONG length) const {
        return static_cast<LONG>(std::clamp<LONGLONG>(shortReadsFrom.load() - position, 0, length));
    }

    ComPtr<IBaseFilter> owner_;  // +1 on the file source
    ComPtr<IAsyncReader> inner_; // +1 on the file source's reader
};

class ReadFailureTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        StreamParams params;
        params.totalSamples = 200000; // several 64 KiB chunks
        stream_ = EncodeStream(params);
        fixture_ = std::make_unique<TempFile>(stream_.bytes);
        ASSERT_TRUE(fixture_->Written());
        ASSERT_NO_FATAL_FAILURE(graph_.Build(fixture_->Path()));
        ComPtr<IAsyncReader> reader;
        ASSERT_EQ(S_OK, graph_.sourceOut->QueryInterface(IID_IAsyncReader, reader.put_void()));
        faulty_ = std::make_unique<FaultyReaderPin>(graph_.source.get(), reader.get());
    }
    void TearDown() override {
        graph_.StopBounded();
        if (graph_.parserIn) {
            graph_.parserIn->Disconnect();
        }
        ComTest::TearDown();
    }

    HRESULT ConnectThroughFaultyPin() {
        AM_MEDIA_TYPE type = {};
        type.majortype = MEDIATYPE_Stream;
        return graph_.parserIn->ReceiveConnection(faulty_.get(), &type);
    }

    AdxEncodedStream stream_;
    std::unique_ptr<TempFile> fixture_;
    GraphFixture graph_;
    std::unique_ptr<FaultyReaderPin> faulty_;
};

TEST_F(ReadFailureTest, AFailedReadEndsTheRunWithAnErrorAndNoEndOfStream) {
    ASSERT_EQ(S_OK, ConnectThroughFaultyPin());
    // The header is in; from the third chunk on every read fails.
    faulty_->failReadsFrom = 2 * 65536;
    ComPtr<IPin> parserOut = FirstPin(graph_.parser.get(), PINDIR_OUTPUT);
    ASSERT_TRUE(parserOut);
    ASSERT_EQ(S_OK, graph_.graph->ConnectDirect(parserOut.get(), graph_.sinkIn.get(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(graph_.control->Run());

    // The runtime's GetEvent can give up before its timeout; poll instead.
    bool reported = false;
    LONG_PTR reportedCode = 0;
    const bool ended = PollUntil(kWaitMs, [&] {
        long code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        while (graph_.events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
            EXPECT_NE(EC_COMPLETE, code);
            if (code == EC_ERROR_STILLPLAYING) {
                reported = true;
                reportedCode = param1;
            }
            graph_.events->FreeEventParams(code, param1, param2);
        }
        return reported;
    });
    ASSERT_TRUE(ended) << "no EC_ERROR_STILLPLAYING within the wait";
    EXPECT_EQ(kReadFault, static_cast<HRESULT>(reportedCode));
    graph_.StopBounded();

    // What arrived is the stream's data up to the failed chunk, and no end.
    const std::vector<CapturedSample> samples = graph_.sink->Pin()->Samples();
    const std::vector<std::uint8_t> delivered = Concatenate(samples);
    ASSERT_FALSE(delivered.empty());
    EXPECT_LE(stream_.headerLength + delivered.size(), 2u * 65536);
    const std::vector<std::uint8_t> expected(stream_.bytes.begin() + stream_.headerLength,
                                             stream_.bytes.begin() + stream_.headerLength +
                                                 static_cast<std::ptrdiff_t>(delivered.size()));
    EXPECT_EQ(-1, FirstMismatch(delivered, expected));
    EXPECT_EQ(0, graph_.sink->Pin()->EndOfStreamCount());
}

struct ShortReadCase {
    const char* name;
    LONG readerBufferBytes; // 0: as the parser asks
    bool lengthShrinks;
    LONG dataFrames; // whole frames before the data ends
};

void PrintTo(const ShortReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ShortReadTest : public ReadFailureTest,
                      public ::testing::WithParamInterface<ShortReadCase> {};

// Whether or not the reader's length says so, a short read ends the data;
// and whatever buffers the reader grants, frames go out whole and in order.
TEST_P(ShortReadTest, UsesOnlyTheBytesReadAndEndsTheStream) {
    const ShortReadCase& param = GetParam();
    faulty_->readerBufferBytes = param.readerBufferBytes;
    ASSERT_EQ(S_OK, ConnectThroughFaultyPin());
    const LONG frames = param.dataFrames;
    faulty_->lengthShrinks = param.lengthShrinks;
    // The data ends inside the frame after the last whole one.
    faulty_->shortReadsFrom = stream_.headerLength + frames * 36 + 18;
    ComPtr<IPin> parserOut = FirstPin(graph_.parser.get(), PINDIR_OUTPUT);
    ASSERT_TRUE(parserOut);
    ASSERT_EQ(S_OK, graph_.graph->ConnectDirect(parserOut.get(), graph_.sinkIn.get(), nullptr));
    ASSERT_HRESULT_SUCCEEDED(graph_.control->Run());
    ASSERT_TRUE(graph_.sink->Pin()->WaitForEndOfStream(1, kWaitMs));
    graph_.StopBounded();

    const std::vector<CapturedSample> samples = graph_.sink->Pin()->Samples();
    ASSERT_FALSE(samples.empty());
    const auto data = stream_.bytes.begin() + stream_.headerLength;
    const std::vector<std::uint8_t> expected(data, data + frames * 36);
    EXPECT_EQ(-1, FirstMismatch(Concatenate(samples), expected));
    EXPECT_EQ(frames * 32, samples.back().mediaEnd);
    EXPECT_EQ(1, graph_.sink->Pin()->EndOfStreamCount());
}

INSTANTIATE_TEST_SUITE_P(Reads, ShortReadTest,
                         ::testing::Values(ShortReadCase{"LengthShrinks", 0, true, 100},
                                           ShortReadCase{"LengthStays", 0, false, 100},
                                           ShortReadCase{"BuffersSmallerThanAFrame", 20, true, 300},
                                           ShortReadCase{"SmallBuffersAndAShortRead", 50, false,
                                                         100}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ConnectFailureCase {
    const char* name;
    HRESULT FaultyReaderPin::*field;
};

void PrintTo(const ConnectFailureCase& c, std::ostream* os) {
    *os << c.name;
}

class ConnectFailureTest : public ReadFailureTest,
                           public ::testing::WithParamInterface<ConnectFailureCase> {};

TEST_P(ConnectFailureTest, RefusesTheConnectionWithTheReadersCode) {
    (faulty_.get()->*GetParam().field) = kReadFault;
    EXPECT_EQ(kReadFault, ConnectThroughFaultyPin());
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph_.parserIn->ConnectedTo(peer.put()));
    EXPECT_FALSE(FirstPin(graph_.parser.get(), PINDIR_OUTPUT));
    EXPECT_EQ(0, faulty_->references.load()) << "the parser kept the refused reader";
}

INSTANTIATE_TEST_SUITE_P(
    Readers, ConnectFailureTest,
    ::testing::Values(ConnectFailureCase{"Length", &FaultyReaderPin::lengthResult},
                      ConnectFailureCase{"Allocator", &FaultyReaderPin::allocatorResult}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace parsertest

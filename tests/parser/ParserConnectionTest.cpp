// Connecting the parser's input to the runtime's file source: the header is
// loaded (or the connection refused with the right code), the output pin
// appears, and the control interface reports the stream.
#include "ParserFixtures.h"

#include "framework/com/CountedObject.h"

#include <vfwmsgs.h>

#include <functional>

namespace parsertest {
namespace {

int PinCountOf(IBaseFilter* filter) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put()))) {
        return -1;
    }
    int count = 0;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        ++count;
    }
    return count;
}

struct BadInputCase {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&, std::int32_t headerLength)> spoil;
    HRESULT expected;
};

// Test names and failure messages show the case by its name.
void PrintTo(const BadInputCase& c, std::ostream* os) {
    *os << c.name;
}

class BadInputTest : public ComTest, public ::testing::WithParamInterface<BadInputCase> {};

TEST_P(BadInputTest, RefusesTheConnectionAndKeepsOnePin) {
    AdxEncodedStream stream = EncodeStream({});
    GetParam().spoil(stream.bytes, stream.headerLength);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    // Straight to the parser's pin, so that the source's own connection
    // logic cannot change the code.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_HRESULT_SUCCEEDED(graph.sourceOut->EnumMediaTypes(types.put()));
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &type, nullptr));
    EXPECT_EQ(GetParam().expected, graph.parserIn->ReceiveConnection(graph.sourceOut.get(), type));
    FreeTaskMediaType(type);

    EXPECT_EQ(1, PinCountOf(graph.parser.get()));
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph.parserIn->ConnectedTo(peer.put()));
    AdxFormatInfo info{};
    EXPECT_EQ(S_OK, graph.parserControl->GetFormatInfo(&info));
    EXPECT_EQ(0, info.version);
}

void PutU32(std::vector<std::uint8_t>& bytes, size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BadInputTest,
    ::testing::Values(
        BadInputCase{"WrongFirstByte", [](auto& b, auto) { b[0] = 0x81; },
                     VFW_E_INVALID_FILE_FORMAT},
        BadInputCase{"WrongMarker", [](auto& b, auto length) { b[length - 1] = 'X'; },
                     VFW_E_INVALID_FILE_FORMAT},
        BadInputCase{"EncodingTypeNot3", [](auto& b, auto) { b[4] = 2; },
                     VFW_E_INVALID_FILE_FORMAT},
        BadInputCase{"ZeroChannels", [](auto& b, auto) { b[7] = 0; }, VFW_E_INVALID_FILE_FORMAT},
        BadInputCase{"ZeroSampleRate", [](auto& b, auto) { PutU32(b, 8, 0); },
                     VFW_E_INVALID_FILE_FORMAT},
        // Totals past 31 bits would give a negative duration.
        BadInputCase{"TotalSamplesOf2To31", [](auto& b, auto) { PutU32(b, 12, 0x80000000U); },
                     VFW_E_INVALID_FILE_FORMAT},
        BadInputCase{"TotalSamplesAllOnes", [](auto& b, auto) { PutU32(b, 12, 0xFFFFFFFFU); },
                     VFW_E_INVALID_FILE_FORMAT},
        BadInputCase{"TruncatedPrefix", [](auto& b, auto) { b.resize(3); }, VFW_E_FILE_TOO_SHORT},
        BadInputCase{"TruncatedHeader", [](auto& b, auto length) { b.resize(length - 1); },
                     VFW_E_FILE_TOO_SHORT},
        BadInputCase{"MarkerOffsetPastTheEnd",
                     [](auto& b, auto) { b[1] = 0x7F, b[2] = 0xFF, b[3] = 0xF0; },
                     VFW_E_FILE_TOO_SHORT}),
    [](const auto& info) { return std::string(info.param.name); });

class ConnectionTest : public ComTest {};

TEST_F(ConnectionTest, ConnectedInputShowsTheOutputPinAndTheStream) {
    StreamParams params;
    params.version = 4;
    params.totalSamples = 441000;
    params.loops = {AdxEncoder::MakeLoopPoint(1000, 4000, 0x40, 2),
                    AdxEncoder::MakeLoopPoint(2000, 9000, 0x40, 2)};
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    IAdxParserControl* control = graph.parserControl.get();
    EXPECT_EQ(1, PinCountOf(graph.parser.get()));
    ASSERT_HRESULT_SUCCEEDED(graph.ConnectInput());
    EXPECT_EQ(2, PinCountOf(graph.parser.get()));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, control->SetFileOffset(16));
    EXPECT_EQ(0, control->GetFileOffset());

    AdxFormatInfo info{};
    EXPECT_EQ(E_POINTER, control->GetFormatInfo(nullptr));
    ASSERT_EQ(S_OK, control->GetFormatInfo(&info));
    EXPECT_EQ(4, info.version);
    EXPECT_EQ(18, info.blockSize);
    EXPECT_EQ(4, info.bitsPerSample);
    EXPECT_EQ(32, info.samplesPerBlock);
    EXPECT_EQ(2, info.channelCount);
    EXPECT_EQ(44100, info.sampleRate);
    EXPECT_EQ(441000, control->GetTotalSamples());

    INT32 count = 0;
    EXPECT_EQ(E_POINTER, control->GetLoopPoints(nullptr, nullptr));
    ASSERT_EQ(S_OK, control->GetLoopPoints(nullptr, &count));
    ASSERT_EQ(2, count);
    AdxLoopPoint loops[2];
    ASSERT_EQ(S_OK, control->GetLoopPoints(loops, nullptr));
    EXPECT_EQ(9000, loops[1].endSample);
    EXPECT_EQ(S_FALSE, control->SetLoop(-1, 1));
    EXPECT_EQ(S_FALSE, control->SetLoop(2, 1));
    EXPECT_EQ(S_OK, control->SetLoop(1, 1));
    INT32 index = -1;
    INT32 enabled = -1;
    EXPECT_EQ(E_POINTER, control->GetLoop(nullptr, &enabled));
    EXPECT_EQ(E_POINTER, control->GetLoop(&index, nullptr));
    ASSERT_EQ(S_OK, control->GetLoop(&index, &enabled));
    EXPECT_EQ(1, index);
    EXPECT_EQ(1, enabled);

    // The one media type: accepted as proposed, refused with one byte changed.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_HRESULT_SUCCEEDED(graph.parserOut->EnumMediaTypes(types.put()));
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &type, nullptr));
    EXPECT_EQ(S_OK, graph.parserOut->QueryAccept(type));
    ASSERT_EQ(34u, type->cbFormat);
    EXPECT_EQ(18u * 512, type->lSampleSize);
    const std::uint8_t expectedFormat[26] = {
        0x03, 0x80, 2, 0, 0x44, 0xAC, 0, 0,
        // 36 x 44100 / 32 bytes per second
        0xCC, 0xC1, 0x00, 0x00, 36, 0, 4, 0, 16, 0, 4, 0, 32, 0,
        static_cast<std::uint8_t>(stream.coef1), static_cast<std::uint8_t>(stream.coef1 >> 8),
        static_cast<std::uint8_t>(stream.coef2), static_cast<std::uint8_t>(stream.coef2 >> 8)};
    EXPECT_EQ(0, memcmp(expectedFormat, type->pbFormat, sizeof(expectedFormat)));
    const std::uint8_t history[8] = {100, 0, 0xCE, 0xFF, 30, 0, 0xEC, 0xFF};
    EXPECT_EQ(0, memcmp(history, type->pbFormat + 26, sizeof(history)));
    type->pbFormat[20] ^= 1;
    EXPECT_EQ(S_FALSE, graph.parserOut->QueryAccept(type));
    FreeTaskMediaType(type);
    EXPECT_EQ(S_FALSE, types->Next(1, &type, nullptr));

    // Disconnected, the format is gone and the output pin answers without it.
    ComPtr<IPin> output = graph.parserOut;
    ASSERT_HRESULT_SUCCEEDED(graph.graph->Disconnect(graph.parserIn.get()));
    EXPECT_EQ(1, PinCountOf(graph.parser.get()));
    ASSERT_EQ(S_OK, control->GetFormatInfo(&info));
    EXPECT_EQ(0, info.samplesPerBlock);
    AM_MEDIA_TYPE audio{};
    audio.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(S_FALSE, output->QueryAccept(&audio));
    ASSERT_HRESULT_SUCCEEDED(output->EnumMediaTypes(types.put()));
    EXPECT_EQ(S_FALSE, types->Next(1, &type, nullptr));
    LONGLONG start = 0;
    EXPECT_EQ(VFW_E_NOT_CONNECTED,
              graph.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, 0));
}

TEST_F(ConnectionTest, PagesAndFileOffsetBeforeThePinsExist) {
    ComPtr<IBaseFilter> parser = CreateFilter<ParserFilter>();
    ASSERT_TRUE(parser);
    ComPtr<IAdxParserControl> control;
    ASSERT_HRESULT_SUCCEEDED(parser.query_to(control));
    EXPECT_EQ(S_FALSE, control->SetFileOffset(0x1000));
    EXPECT_EQ(1, control->GetFileOffset());
    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_HRESULT_SUCCEEDED(parser.query_to(pages));
    CAUUID list{};
    ASSERT_EQ(S_OK, pages->GetPages(&list));
    ASSERT_EQ(1u, list.cElems);
    EXPECT_TRUE(IsEqualGUID(CLSID_AdxParserPropertyPage, list.pElems[0]));
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(1, PinCountOf(parser.get()));
    EXPECT_EQ(S_OK, control->SetFileOffset(0x1000));
    EXPECT_EQ(0x1000, control->GetFileOffset());
}

TEST_F(ConnectionTest, DataShorterThanTheTotalEndsTheStream) {
    AdxEncodedStream stream = EncodeStream({});
    stream.bytes.resize(stream.bytes.size() / 2 + 7); // also cuts a frame in two
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, 10000));
    graph.StopBounded();
    const auto bytes = Concatenate(graph.sink->Pin()->Samples());
    const size_t wholeFrames = (stream.bytes.size() - stream.headerLength) / 36 * 36;
    const std::vector<std::uint8_t> expected(stream.bytes.begin() + stream.headerLength,
                                             stream.bytes.begin() + stream.headerLength +
                                                 static_cast<long>(wholeFrames));
    EXPECT_EQ(-1, FirstMismatch(bytes, expected));
}

} // namespace
} // namespace parsertest

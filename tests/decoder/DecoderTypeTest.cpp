// The decoder's type hooks on their own: which ADX input types it takes,
// which PCM output it insists on, and how it sizes the output buffers.
#include "DecoderTestSupport.h"
#include "TestableDecoder.h"

#include <vfwmsgs.h>

#include <functional>
#include <ostream>
#include <string>

namespace decodertest {
namespace {

class DecoderTypeTest : public ComTest {
protected:
    TestableDecoder* decoder() { return holder_.decoder; }
    DecoderHolder holder_;
};

struct InputTypeCase {
    const char* name;
    std::function<void(AdxFormatFields&)> change;
    std::function<void(MediaTypeRecord&)> changeType;
    HRESULT expected;
};

// Test names show the case name, not the bytes.
void PrintTo(const InputTypeCase& c, std::ostream* os) {
    *os << c.name;
}

const InputTypeCase kInputTypeCases[] = {
    {"MonoAsTheParserBuildsIt", [](AdxFormatFields&) {}, nullptr, S_OK},
    {"Stereo", [](AdxFormatFields& f) { f.channelCount = 2; }, nullptr, S_OK},
    {"NoChannels", [](AdxFormatFields& f) { f.channelCount = 0; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"ThreeChannels", [](AdxFormatFields& f) { f.channelCount = 3; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"TwoBitsPerSample", [](AdxFormatFields& f) { f.bitsPerSample = 2; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"SixtyFourSamplesPerBlock", [](AdxFormatFields& f) { f.samplesPerBlock = 64; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"NoSampleRate", [](AdxFormatFields& f) { f.sampleRate = 0; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"OtherFormatTag", [](AdxFormatFields& f) { f.formatTag = 1; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"FormatOf15Bytes", [](AdxFormatFields& f) { f.formatBytes = 15; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    // Shorter than the 34 bytes that are read.
    {"FormatOf33Bytes", [](AdxFormatFields& f) { f.formatBytes = 33; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"FormatOf40Bytes", [](AdxFormatFields& f) { f.formatBytes = 40; }, nullptr, S_OK},
    // Frames the 18-byte blocks of the decoding routines would not fill.
    {"MonoBlockAlign36", [](AdxFormatFields& f) { f.blockAlign = 36; }, nullptr,
     VFW_E_TYPE_NOT_ACCEPTED},
    {"StereoBlockAlign18",
     [](AdxFormatFields& f) {
         f.channelCount = 2;
         f.blockAlign = 18;
     },
     nullptr, VFW_E_TYPE_NOT_ACCEPTED},
    {"StereoBlockAlign1",
     [](AdxFormatFields& f) {
         f.channelCount = 2;
         f.blockAlign = 1;
     },
     nullptr, VFW_E_TYPE_NOT_ACCEPTED},
    {"SubtypePcm", [](AdxFormatFields&) {},
     [](MediaTypeRecord& t) { t.SetSubtype(MEDIASUBTYPE_PCM); }, VFW_E_TYPE_NOT_ACCEPTED},
    {"MajorTypeVideo", [](AdxFormatFields&) {},
     [](MediaTypeRecord& t) { t.SetMajorType(MEDIATYPE_Video); }, VFW_E_TYPE_NOT_ACCEPTED},
    {"FormatTypeNone", [](AdxFormatFields&) {},
     [](MediaTypeRecord& t) { t.SetFormatType(FORMAT_None); }, VFW_E_TYPE_NOT_ACCEPTED},
};

class DecoderInputTypeTest : public DecoderTypeTest,
                             public ::testing::WithParamInterface<InputTypeCase> {};

TEST_P(DecoderInputTypeTest, AcceptsOnlyWhatTheRoutinesDecode) {
    const InputTypeCase& c = GetParam();
    AdxFormatFields fields;
    c.change(fields);
    MediaTypeRecord input;
    MakeAdxType(fields, &input);
    if (c.changeType) {
        c.changeType(input);
    }
    EXPECT_EQ(c.expected, decoder()->AcceptInputType(&input));

    // The transform check reads the format the same way.
    MediaTypeRecord output;
    MakePcmType(fields.channelCount, fields.sampleRate, &output);
    EXPECT_EQ(c.expected, decoder()->AcceptTransform(&input, &output));
}

INSTANTIATE_TEST_SUITE_P(InputTypes, DecoderInputTypeTest, ::testing::ValuesIn(kInputTypeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecoderTypeTest, NullTypeIsAPointerError) {
    EXPECT_EQ(E_POINTER, decoder()->AcceptInputType(nullptr));
}

TEST_F(DecoderTypeTest, OutputMustBeTheProposedPcmTypeApartFromItsSampleSize) {
    AdxFormatFields fields;
    fields.channelCount = 2;
    MediaTypeRecord input;
    MakeAdxType(fields, &input);

    MediaTypeRecord output;
    MakePcmType(2, 44100, &output);
    output.SetSampleSize(4);
    EXPECT_EQ(S_OK, decoder()->AcceptTransform(&input, &output));

    MakePcmType(2, 48000, &output);
    EXPECT_EQ(S_FALSE, decoder()->AcceptTransform(&input, &output));
    MakePcmType(1, 44100, &output);
    EXPECT_EQ(S_FALSE, decoder()->AcceptTransform(&input, &output));
    MakePcmType(2, 44100, &output);
    output.SetSubtype(MEDIASUBTYPE_IEEE_FLOAT);
    EXPECT_EQ(S_FALSE, decoder()->AcceptTransform(&input, &output));
}

TEST_F(DecoderTypeTest, NoOutputTypeWithoutAConnectedInput) {
    MediaTypeRecord type;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, decoder()->ProposeOutputType(0, &type));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, decoder()->ProposeOutputType(1, &type));
}

struct BufferCase {
    const char* name;
    ALLOCATOR_PROPERTIES request;
    long expectedCount;
    long expectedBytes;
};

// Test names show the case name, not the bytes.
void PrintTo(const BufferCase& c, std::ostream* os) {
    *os << c.name;
}

const BufferCase kBufferCases[] = {
    {"DefaultsWhenDownstreamStatesNothing", {0, 0, 1, 0}, 3, 32768},
    // Smaller buffers could not take one decoded sample of the parser's.
    {"SmallDownstreamBuffersRaised", {4, 8192, 1, 0}, 4, 32768},
    {"LargerDownstreamBuffersKept", {2, 65536, 1, 0}, 2, 65536},
    {"OnlyCountGiven", {6, 0, 1, 0}, 6, 32768},
};

class DecoderBufferTest : public DecoderTypeTest,
                          public ::testing::WithParamInterface<BufferCase> {};

TEST_P(DecoderBufferTest, SizesTheRuntimeAllocator) {
    const BufferCase& c = GetParam();
    AdxFormatFields fields;
    MediaTypeRecord input;
    MediaTypeRecord output;
    MakeAdxType(fields, &input);
    MakePcmType(1, 44100, &output);
    ASSERT_EQ(S_OK, decoder()->AcceptTransform(&input, &output));
    ASSERT_EQ(S_OK, decoder()->AdoptFormat(&input));

    ComPtr<IMemAllocator> allocator;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IMemAllocator, allocator.put_void()));
    ALLOCATOR_PROPERTIES request = c.request;
    ASSERT_EQ(S_OK, decoder()->SizeOutputBuffers(allocator.get(), &request));
    ALLOCATOR_PROPERTIES granted = {};
    ASSERT_HRESULT_SUCCEEDED(allocator->GetProperties(&granted));
    EXPECT_EQ(c.expectedCount, granted.cBuffers);
    EXPECT_EQ(c.expectedBytes, granted.cbBuffer);
}

INSTANTIATE_TEST_SUITE_P(Buffers, DecoderBufferTest, ::testing::ValuesIn(kBufferCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace decodertest

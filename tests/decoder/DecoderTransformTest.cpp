// TransformSample on its own: samples from the runtime's memory allocator,
// decoded PCM compared with the ADX core's direct decode of the same frames.
#include "DecoderTestSupport.h"
#include "TestableDecoder.h"

#include "adx/AdxDecoder.h"

#include <vfwmsgs.h>

#include <cstring>
#include <ostream>
#include <string>

namespace decodertest {
namespace {

constexpr long kInputBufferBytes = 18 * 2 * 600;
constexpr BYTE kSentinel = 0xCD;

// One input sample: frames [firstFrame, firstFrame + frameCount) of the test
// data with the given media times.
struct Piece {
    int firstFrame;
    int frameCount;
    LONGLONG mediaStart;
    LONGLONG mediaEnd;
    long expectedBytes; // delivered PCM bytes
};

class DecoderTransformTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        inputs_ = MakeAllocator(4, kInputBufferBytes);
        outputs_ = MakeAllocator(2, 32768);
        ASSERT_TRUE(inputs_ && outputs_);
    }
    void TearDown() override {
        inputs_ = nullptr;
        outputs_ = nullptr;
        ComTest::TearDown();
    }

    void Connect(const AdxFormatFields& format) {
        fields_ = format;
        MediaTypeRecord input;
        MediaTypeRecord output;
        MakeAdxType(format, &input);
        MakePcmType(format.channelCount, format.sampleRate, &output);
        ASSERT_EQ(S_OK, decoder()->AcceptTransform(&input, &output));
        ASSERT_EQ(S_OK, decoder()->AdoptFormat(&input)); // as connecting does
    }
    void ConnectChannels(int channelCount) {
        AdxFormatFields format;
        format.channelCount = static_cast<std::uint16_t>(channelCount);
        Connect(format);
    }

    // Runs one input sample through TransformSample. The output buffer is
    // filled with a sentinel first; on S_OK the delivered PCM is appended to
    // *pcm, and *outputBytes gets the output's actual length.
    HRESULT Transform(const std::vector<BYTE>& data, int firstFrame, int frameCount,
                      LONGLONG mediaStart, LONGLONG mediaEnd, std::vector<std::int16_t>* pcm,
                      bool preroll = false, bool withMediaTime = true,
                      IMemAllocator* outputAllocator = nullptr, long byteCount = -1) {
        const long frameBytes = 18L * fields_.channelCount;
        if (byteCount < 0) {
            byteCount = frameCount * frameBytes;
        }
        ComPtr<IMediaSample> input =
            MakeInputSample(inputs_.get(), data.data() + firstFrame * frameBytes, byteCount,
                            mediaStart, mediaEnd, preroll, withMediaTime);
        if (input && prerollContinues_) {
            input->SetDiscontinuity(FALSE);
        }
        ComPtr<IMediaSample> output;
        IMemAllocator* allocator = outputAllocator != nullptr ? outputAllocator : outputs_.get();
        EXPECT_HRESULT_SUCCEEDED(allocator->GetBuffer(output.put(), nullptr, nullptr, 0));
        if (!input || !output) {
            return E_UNEXPECTED;
        }
        BYTE* outputBytes = nullptr;
        output->GetPointer(&outputBytes);
        std::memset(outputBytes, kSentinel, output->GetSize());
        output->SetActualDataLength(0);

        const HRESULT hr = decoder()->TransformSample(input.get(), output.get());
        lastOutput_.assign(outputBytes, outputBytes + output->GetSize());
        lastSyncPoint_ = output->IsSyncPoint() == S_OK;
        lastOutputLength_ = output->GetActualDataLength();
        if (hr == S_OK && pcm != nullptr) {
            const auto* samples = reinterpret_cast<const std::int16_t*>(outputBytes);
            pcm->insert(pcm->end(), samples, samples + lastOutputLength_ / 2);
        }
        return hr;
    }

    // The ADX core's decode of every frame of `data` from the format's
    // initial history: the golden PCM.
    std::vector<std::int16_t> Golden(const std::vector<BYTE>& data) const {
        const int frameCount = static_cast<int>(data.size() / (18 * fields_.channelCount));
        std::vector<std::int16_t> pcm(static_cast<size_t>(frameCount) * 32 * fields_.channelCount);
        AdxChannelHistory history0{fields_.history[0], fields_.history[1]};
        AdxChannelHistory history1{fields_.history[2], fields_.history[3]};
        std::int32_t bytes = 0;
        const AdxDecodeStatus status =
            fields_.channelCount == 2
                ? DecodeFramesStereo(pcm.data(), data.data(), frameCount, history0, history1,
                                     fields_.coef1, fields_.coef2, bytes)
                : DecodeFramesMono(pcm.data(), data.data(), frameCount, history0, fields_.coef1,
                                   fields_.coef2, bytes);
        EXPECT_EQ(kAdxDecodeOk, status);
        return pcm;
    }

    bool OutputUntouched() const {
        for (BYTE b : lastOutput_) {
            if (b != kSentinel) {
                return false;
            }
        }
        return true;
    }

    TestableDecoder* decoder() { return holder_.decoder; }

    DecoderHolder holder_;
    AdxFormatFields fields_;
    ComPtr<IMemAllocator> inputs_;
    ComPtr<IMemAllocator> outputs_;
    std::vector<BYTE> lastOutput_;
    bool prerollContinues_ = false; // preroll samples continue a warm-up (not discontinuous)
    bool lastSyncPoint_ = false;
    long lastOutputLength_ = 0;
};

// Consecutive input samples whose delivered PCM, joined, must equal the
// direct decode of the stream from its first sample.
struct SpanCase {
    const char* name;
    int channelCount;
    int frameCount; // frames of test data
    std::vector<Piece> pieces;
};

// Test names show the case name, not the bytes.
void PrintTo(const SpanCase& c, std::ostream* os) {
    *os << c.name;
}

const SpanCase kSpanCases[] = {
    {"MonoTenWholeFrames", 1, 10, {{0, 10, 0, 320, 640}}},
    // Samples 8 … 31 of frame 0, frame 1, samples 0 … 7 of frame 2, after a
    // first sample that ends at sample 8 of frame 0.
    {"MonoPartialFirstAndLastFrame", 1, 3, {{0, 1, 992, 1000, 16}, {0, 3, 1000, 1064, 128}}},
    {"StereoOneFrameInThreePieces",
     2,
     1,
     {{0, 1, 0, 5, 20}, {0, 1, 5, 20, 60}, {0, 1, 20, 32, 48}}},
    {"StereoTwoFramesAcrossABoundary",
     2,
     3,
     {{0, 1, 0, 31, 124}, {0, 2, 31, 33, 8}, {1, 2, 33, 96, 252}}},
    {"MonoFramesSplitBetweenSamples",
     1,
     6,
     {{0, 2, 0, 40, 80}, {1, 4, 40, 136, 192}, {4, 2, 136, 192, 112}}},
    {"MonoLargestSample", 1, 512, {{0, 512, 0, 16384, 32768}}},
    {"StereoLargestSample", 2, 256, {{0, 256, 0, 8192, 32768}}},
};

class DecoderSpanTest : public DecoderTransformTest,
                        public ::testing::WithParamInterface<SpanCase> {};

TEST_P(DecoderSpanTest, DeliversTheAskedSamplesSeamlessly) {
    const SpanCase& c = GetParam();
    ConnectChannels(c.channelCount);
    const std::vector<BYTE> data = MakeFrames(c.frameCount, c.channelCount, 7);
    std::vector<std::int16_t> pcm;
    for (size_t i = 0; i < c.pieces.size(); ++i) {
        const Piece& p = c.pieces[i];
        ASSERT_EQ(S_OK, Transform(data, p.firstFrame, p.frameCount, p.mediaStart, p.mediaEnd, &pcm))
            << "piece " << i;
        EXPECT_EQ(p.expectedBytes, lastOutputLength_) << "piece " << i;
        EXPECT_TRUE(lastSyncPoint_) << "piece " << i;
    }
    std::vector<std::int16_t> golden = Golden(data);
    golden.resize(pcm.size());
    EXPECT_EQ(-1, FirstMismatch(pcm, golden));
}

INSTANTIATE_TEST_SUITE_P(Spans, DecoderSpanTest, ::testing::ValuesIn(kSpanCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecoderTransformTest, MissingMediaTimesDecodeWholeFrames) {
    ConnectChannels(2);
    const std::vector<BYTE> data = MakeFrames(3, 2, 11);
    std::vector<std::int16_t> pcm;
    ASSERT_EQ(S_OK, Transform(data, 0, 3, 0, 0, &pcm, false, /*withMediaTime=*/false));
    EXPECT_EQ(-1, FirstMismatch(pcm, Golden(data)));
}

TEST_F(DecoderTransformTest, CoefficientsComeFromTheFormatBlock) {
    ConnectChannels(1); // 7334, -3283, zero history
    std::vector<BYTE> frame(18, 0);
    frame[1] = 0x10; // scale word 0x0010: multiplier 17
    frame[2] = 0x7F;
    frame[3] = 0x80;
    std::vector<std::int16_t> pcm;
    ASSERT_EQ(S_OK, Transform(frame, 0, 1, 0, 6, &pcm));
    const std::vector<std::int16_t> expected = {119, 196, 119, 55, 3, -39};
    EXPECT_EQ(-1, FirstMismatch(pcm, expected));
}

// Scale word 0x1FFF gives a multiplier of 0: every sample is the prediction
// from the history alone, which shows where each history word went.
TEST_F(DecoderTransformTest, InitialHistoryComesFromTheFormatBlock) {
    AdxFormatFields format;
    format.channelCount = 2;
    format.version = 4;
    format.history[0] = 1000;
    format.history[1] = 500;
    format.history[2] = -2000;
    format.history[3] = 300;
    Connect(format);
    std::vector<BYTE> frame(36, 0);
    frame[0] = frame[18] = 0x1F;
    frame[1] = frame[19] = 0xFF;
    const std::vector<std::int16_t> expected = {1389, -3822, 1685, -5241};

    std::vector<std::int16_t> pcm;
    ASSERT_EQ(S_OK, Transform(frame, 0, 1, 0, 2, &pcm));
    EXPECT_EQ(-1, FirstMismatch(pcm, expected));
    // A preroll sample starts again from the same history.
    ASSERT_EQ(S_FALSE, Transform(frame, 0, 1, 0, 2, nullptr, /*preroll=*/true));
    const auto* decoded = reinterpret_cast<const std::int16_t*>(lastOutput_.data());
    EXPECT_EQ(-1, FirstMismatch({decoded, decoded + 4}, expected));
}

TEST_F(DecoderTransformTest, PrerollResetsAndAdvancesTheHistoryWithoutDelivering) {
    ConnectChannels(1);
    const std::vector<BYTE> data = MakeFrames(6, 1, 23);
    const std::vector<std::int16_t> golden = Golden(data);
    std::vector<std::int16_t> pcm;
    ASSERT_EQ(S_OK, Transform(data, 0, 2, 0, 64, &pcm));

    // Frames 0 and 1 again, as preroll: decoded from the initial history into
    // the output buffer, reported as S_FALSE (not delivered).
    ASSERT_EQ(S_FALSE, Transform(data, 0, 2, 0, 64, &pcm, /*preroll=*/true));
    const auto* decoded = reinterpret_cast<const std::int16_t*>(lastOutput_.data());
    EXPECT_EQ(-1, FirstMismatch({decoded, decoded + 64}, {golden.begin(), golden.begin() + 64}));
    EXPECT_EQ(64u, pcm.size());

    // Frames 2 … 5 continue from the history the preroll left.
    pcm.clear();
    ASSERT_EQ(S_OK, Transform(data, 2, 4, 64, 192, &pcm));
    EXPECT_EQ(-1, FirstMismatch(pcm, {golden.begin() + 64, golden.end()}));

    // A warm-up in several preroll samples: only the first (discontinuous)
    // one resets, the next continues its history.
    ASSERT_EQ(S_FALSE, Transform(data, 0, 2, 0, 64, &pcm, /*preroll=*/true));
    prerollContinues_ = true;
    ASSERT_EQ(S_FALSE, Transform(data, 2, 2, 64, 128, &pcm, /*preroll=*/true));
    prerollContinues_ = false;
    pcm.clear();
    ASSERT_EQ(S_OK, Transform(data, 4, 2, 128, 192, &pcm));
    EXPECT_EQ(-1, FirstMismatch(pcm, {golden.begin() + 128, golden.end()}));
}

TEST_F(DecoderTransformTest, BadScaleWordFailsTheSampleAndKeepsTheHistory) {
    for (int channelCount : {1, 2}) {
        SCOPED_TRACE(channelCount);
        ConnectChannels(channelCount);
        const std::vector<BYTE> data = MakeFrames(3, channelCount, 31);
        const std::vector<std::int16_t> golden = Golden(data);
        std::vector<BYTE> bad = data;
        const size_t badBlock =
            18u * channelCount + 18u * (channelCount - 1); // frame 1, last channel
        bad[badBlock] = 0x80;
        bad[badBlock + 1] = 0x01;

        std::vector<std::int16_t> pcm;
        ASSERT_EQ(S_OK, Transform(data, 0, 1, 0, 32, &pcm));
        EXPECT_EQ(VFW_E_FILE_TOO_SHORT, Transform(bad, 1, 2, 32, 96, &pcm));
        EXPECT_EQ(0, lastOutputLength_);
        // The good frames 1 and 2 continue from the history after frame 0.
        ASSERT_EQ(S_OK, Transform(data, 1, 2, 32, 96, &pcm));
        EXPECT_EQ(-1, FirstMismatch(pcm, golden));
    }
}

// Samples that must be refused before anything is written.
struct RefusalCase {
    const char* name;
    int channelCount;
    long inputBytes;
    LONGLONG mediaStart;
    LONGLONG mediaEnd;
    long outputBufferBytes;
    HRESULT expected;
};

// Test names show the case name, not the bytes.
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

const RefusalCase kRefusalCases[] = {
    {"StereoLengthNotWholeFrames", 2, 37, 0, 0, 32768, VFW_E_BADALIGN},
    {"MonoLengthNotWholeFrames", 1, 19, 0, 0, 32768, VFW_E_BADALIGN},
    {"MoreThan512Frames", 1, 513 * 18, 0, 0, 32768, VFW_E_BUFFER_OVERFLOW},
    // Decoded sizes above the output buffer's size.
    {"MonoOutputBufferTooSmall", 1, 129 * 18, 0, 0, 8192, VFW_E_BUFFER_OVERFLOW},
    {"StereoMoreThan256Frames", 2, 257 * 36, 0, 0, 32768, VFW_E_BUFFER_OVERFLOW},
    {"PartialSpanTooLarge", 2, 66 * 36, 1, 2, 8192, VFW_E_BUFFER_OVERFLOW},
    // Nothing to deliver, which is not a failure of the stream.
    {"EmptySample", 1, 0, 5, 9, 32768, S_FALSE},
    {"EmptyWholeSample", 2, 0, 0, 0, 32768, S_FALSE},
    {"ReversedRangeInOneFrame", 2, 36, 20, 10, 32768, S_FALSE},
    {"EmptyRangeInOneFrame", 1, 18, 7, 7, 32768, S_FALSE},
};

class DecoderRefusalTest : public DecoderTransformTest,
                           public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(DecoderRefusalTest, WritesNothingAndKeepsTheHistory) {
    const RefusalCase& c = GetParam();
    ConnectChannels(c.channelCount);
    const std::vector<BYTE> data = MakeFrames(600 / c.channelCount, c.channelCount, 5);
    ComPtr<IMemAllocator> small = MakeAllocator(1, c.outputBufferBytes);
    ASSERT_TRUE(small);

    std::vector<std::int16_t> pcm;
    ASSERT_EQ(S_OK, Transform(data, 0, 1, 0, 32, &pcm));
    EXPECT_EQ(c.expected, Transform(data, 1, 0, c.mediaStart, c.mediaEnd, &pcm, false, true,
                                    small.get(), c.inputBytes));
    EXPECT_TRUE(OutputUntouched());
    // The next frame continues from the history after frame 0.
    ASSERT_EQ(S_OK, Transform(data, 1, 1, 32, 64, &pcm));
    std::vector<std::int16_t> golden = Golden(data);
    golden.resize(pcm.size());
    EXPECT_EQ(-1, FirstMismatch(pcm, golden));
}

INSTANTIATE_TEST_SUITE_P(Refusals, DecoderRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace decodertest

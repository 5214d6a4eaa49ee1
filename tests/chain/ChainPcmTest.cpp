// The whole chain in the runtime's graph, without a clock: its file source,
// ParserFilter, DecoderFilter and a capture sink. The PCM that arrives is the
// ADX core's own decode of the file, bit for bit; damaged files end the
// stream or report an error, and never hang it.
#include "ChainFixtures.h"

#include "tests/support/BoundedWait.h"

#include <evcode.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <ostream>
#include <string>

namespace chaintest {
namespace {

struct PcmCase {
    const char* name;
    StreamParams params;
    std::int32_t fileOffset; // where the stream starts in the file
};

// Test names and failure messages show the case by its name.
void PrintTo(const PcmCase& c, std::ostream* os) {
    *os << c.name;
}

StreamParams Params(std::int32_t channels, std::int32_t rate, std::int32_t version,
                    std::array<std::int16_t, 4> history, std::int32_t samples, Signal signal) {
    StreamParams params;
    params.channelCount = channels;
    params.sampleRate = rate;
    params.version = version;
    params.history = history;
    params.totalSamples = samples;
    params.signal = signal;
    return params;
}

StreamParams LongHeader(StreamParams params) {
    params.headerLength = 0xFFFF + 4; // the largest copyright offset, plus 4
    return params;
}

class ChainPcmTest : public ComTest, public ::testing::WithParamInterface<PcmCase> {};

TEST_P(ChainPcmTest, PcmEqualsTheCoreDecodeOfTheFile) {
    const PcmCase& param = GetParam();
    const AdxEncodedStream stream = EncodeStream(param.params);
    std::vector<std::uint8_t> file(static_cast<size_t>(param.fileOffset), 0x5A);
    file.insert(file.end(), stream.bytes.begin(), stream.bytes.end());
    TempFile fixture(file);
    ASSERT_TRUE(fixture.Written());

    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), ChainToSink()));
    ASSERT_EQ(S_OK, graph.parserControl->SetFileOffset(param.fileOffset));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    ASSERT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, kWaitMs));
    graph.StopBounded();

    const std::vector<std::int16_t> expected = DecodeDirect(stream.bytes);
    ASSERT_EQ(static_cast<size_t>(param.params.totalSamples) * param.params.channelCount,
              expected.size());
    const std::vector<CapturedSample> samples = graph.sink->Pin()->Samples();
    const std::vector<std::int16_t> pcm = CapturedPcm(samples);
    EXPECT_EQ(expected.size(), pcm.size());
    EXPECT_EQ(-1, FirstMismatch(pcm, expected)) << "first mismatching PCM sample";
    // One continuous timeline, ending once.
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(0, samples.front().start);
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i - 1].stop, samples[i].start) << "sample " << i;
    }
    EXPECT_EQ(1, graph.sink->Pin()->EndOfStreamCount());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ChainPcmTest,
    ::testing::Values(
        PcmCase{"MonoV3", Params(1, 44100, 3, {}, 44100 + 7, Signal::kSweep), 0},
        PcmCase{"StereoV3", Params(2, 44100, 3, {}, 44100 + 31, Signal::kTone), 0},
        PcmCase{"StereoV4WithHistory",
                Params(2, 44100, 4, {1200, -800, -3000, 2500}, 40000, Signal::kSweep), 0},
        PcmCase{"MonoV4WithHistory",
                Params(1, 22050, 4, {-15000, -14000, 0, 0}, 30001, Signal::kNoise), 0},
        PcmCase{"StereoAtFileOffset", Params(2, 48000, 3, {}, 30000, Signal::kNoise), 0x1000},
        PcmCase{"MonoV4AtOddFileOffset",
                Params(1, 32000, 4, {300, 200, 0, 0}, 50000, Signal::kTone), 1237},
        // Several 64 KiB reads: frames straddle the ends of the pulled chunks.
        PcmCase{"LongStereo", Params(2, 44100, 3, {}, 44100 * 4 + 5, Signal::kSweep), 0},
        // The longest header there is: the first 64 KiB read lies wholly inside it.
        PcmCase{"HeaderLongerThanAPulledChunk",
                LongHeader(Params(1, 44100, 3, {}, 20000, Signal::kTone)), 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Damaged files: the chain ends the stream (or reports an error) in bounded
// time, and what it delivers before the damage is the core's decode.
struct BadStreamCase {
    const char* name;
    // Spoils the stream's bytes; returns the index of the first damaged frame
    // (or the frame count when the data is only cut short).
    std::function<std::int32_t(std::vector<std::uint8_t>&, const AdxEncodedStream&)> spoil;
    bool framesCut; // the data is shorter than the header says, nothing else
};

void PrintTo(const BadStreamCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr std::int32_t kFrameBytes = 36; // the stereo fixture

std::int32_t SetScaleBit15(std::vector<std::uint8_t>& bytes, const AdxEncodedStream& stream,
                           std::int32_t frame, std::int32_t channel) {
    bytes[static_cast<size_t>(stream.headerLength) + frame * kFrameBytes + channel * 18] |= 0x80;
    return frame;
}

std::int32_t CutData(std::vector<std::uint8_t>& bytes, const AdxEncodedStream& stream,
                     std::int32_t dataBytes) {
    bytes.resize(static_cast<size_t>(stream.headerLength) + dataBytes);
    return dataBytes / kFrameBytes;
}

class ChainBadStreamTest : public ComTest, public ::testing::WithParamInterface<BadStreamCase> {};

TEST_P(ChainBadStreamTest, EndsOrReportsAndNeverHangs) {
    const BadStreamCase& param = GetParam();
    const AdxEncodedStream stream = EncodeStream(Params(2, 44100, 3, {}, 88200, Signal::kSweep));
    std::vector<std::uint8_t> bytes = stream.bytes;
    const std::int32_t damagedFrame = param.spoil(bytes, stream);
    TempFile fixture(bytes);
    ASSERT_TRUE(fixture.Written());

    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), ChainToSink()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    ASSERT_HRESULT_SUCCEEDED(graph.control->Run());
    CapturePin* pin = graph.sink->Pin();
    std::vector<long> events;
    const auto errorReported = [&events] {
        return std::any_of(events.begin(), events.end(), [](long code) {
            return code == EC_ERRORABORT || code == EC_ERROR_STILLPLAYING;
        });
    };
    const bool settled = testgraph::PollUntil(kWaitMs, [&] {
        const std::vector<long> more = testgraph::DrainEvents(graph.events.get());
        events.insert(events.end(), more.begin(), more.end());
        return pin->EndOfStreamCount() > 0 || errorReported();
    });
    graph.StopBounded();
    ASSERT_TRUE(settled) << "neither end of stream nor an error within " << kWaitMs << " ms";

    // Up to the damage the PCM is the core's decode of the intact stream.
    const std::vector<std::int16_t> expected = DecodeDirect(stream.bytes);
    const std::vector<std::int16_t> pcm = CapturedPcm(pin->Samples());
    const long long mismatch = FirstMismatch(pcm, expected);
    if (param.framesCut) {
        // Every whole frame that is there plays; the cut frame does not.
        EXPECT_EQ(static_cast<size_t>(damagedFrame) * 32 * 2, pcm.size());
        EXPECT_EQ(static_cast<long long>(pcm.size()), mismatch);
        EXPECT_EQ(1, pin->EndOfStreamCount());
    } else {
        // The parser sample holding the damaged frame is lost (with the rest
        // of its pulled chunk); everything before it arrives intact.
        const std::int32_t bufferFrames = 470 * 18 / kFrameBytes;
        EXPECT_LE(mismatch, static_cast<long long>(damagedFrame) * 32 * 2);
        EXPECT_GE(mismatch, static_cast<long long>(damagedFrame + 1 - bufferFrames) * 32 * 2);
        EXPECT_LT(pcm.size(), expected.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ChainBadStreamTest,
    ::testing::Values(
        BadStreamCase{"ScaleBit15MidStreamChannel0",
                      [](auto& bytes, const auto& s) { return SetScaleBit15(bytes, s, 1300, 0); },
                      false},
        BadStreamCase{"ScaleBit15MidStreamChannel1",
                      [](auto& bytes, const auto& s) { return SetScaleBit15(bytes, s, 2000, 1); },
                      false},
        BadStreamCase{"ScaleBit15InTheFirstFrame",
                      [](auto& bytes, const auto& s) { return SetScaleBit15(bytes, s, 0, 0); },
                      false},
        BadStreamCase{"DataEndsMidFrame",
                      [](auto& bytes, const auto& s) { return CutData(bytes, s, 1234 * 36 + 17); },
                      true},
        BadStreamCase{"DataEndsInTheFirstChunk",
                      [](auto& bytes, const auto& s) { return CutData(bytes, s, 10 * 36 + 5); },
                      true},
        BadStreamCase{"NoData", [](auto& bytes, const auto& s) { return CutData(bytes, s, 0); },
                      true}),
    [](const auto& info) { return std::string(info.param.name); });

class ChainQueryTest : public ComTest {};

// Type queries while the stream flows are only queries: a player's
// QueryAccept of the connected PCM type, a QueryAccept of another ADX type
// of the same rate and channels, and the output's type list, over and over,
// leave the PCM the core's decode.
TEST_F(ChainQueryTest, QueriesDuringPlaybackLeaveThePcmBitIdentical) {
    StreamParams params;
    params.totalSamples = 441000; // 10 s
    const AdxEncodedStream stream = EncodeStream(params);
    TempFile fixture(stream.bytes);
    GraphFixture graph;
    ASSERT_NO_FATAL_FAILURE(graph.Build(fixture.Path(), ChainToSink()));
    ASSERT_NO_FATAL_FAILURE(graph.ConnectAll());
    AM_MEDIA_TYPE pcm = {};
    AM_MEDIA_TYPE otherAdx = {};
    ASSERT_EQ(S_OK, graph.decoderOut->ConnectionMediaType(&pcm));
    ASSERT_EQ(S_OK, graph.decoderIn->ConnectionMediaType(&otherAdx));
    ASSERT_GE(otherAdx.cbFormat, 26U);
    otherAdx.pbFormat[22] ^= 0x55; // other coefficients
    std::atomic<bool> done{false};
    std::atomic<int> rounds{0};
    {
        bounded::Call querier([&] {
            while (!done) {
                graph.decoderOut->QueryAccept(&pcm);
                graph.decoderIn->QueryAccept(&otherAdx);
                ComPtr<IEnumMediaTypes> types;
                AM_MEDIA_TYPE* proposed = nullptr;
                if (SUCCEEDED(graph.decoderOut->EnumMediaTypes(types.put())) &&
                    types->Next(1, &proposed, nullptr) == S_OK) {
                    FreeTaskMediaType(proposed);
                }
                ++rounds;
            }
        });
        EXPECT_HRESULT_SUCCEEDED(graph.control->Run());
        EXPECT_TRUE(graph.sink->Pin()->WaitForEndOfStream(1, kWaitMs));
        done = true;
        querier.Join("type queries");
    }
    graph.StopBounded();
    ReleaseContents(&pcm);
    ReleaseContents(&otherAdx);
    EXPECT_GT(rounds.load(), 0);
    const std::vector<std::int16_t> pcmOut = CapturedPcm(graph.sink->Pin()->Samples());
    EXPECT_EQ(-1, FirstMismatch(pcmOut, DecodeDirect(stream.bytes)))
        << "first mismatching PCM sample";
}

} // namespace
} // namespace chaintest

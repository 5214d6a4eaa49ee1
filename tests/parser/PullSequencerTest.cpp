// The shared pull loop with a port that records what it is asked: chunk
// sizes, positions after reads that consume nothing, failures and quiet ends.
#include "parser/PullSequencer.h"
#include "tests/support/adx/TestHeader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t kFrame = 36;
constexpr std::int64_t kData = 0x120;

class RecordingPort : public PullSequencer::Port {
public:
    explicit RecordingPort(StreamPlanner& planner) : planner_(planner) {}

    std::vector<std::int64_t> readBytes;   // the lengths asked for
    std::vector<std::int64_t> sampleBytes; // stream positions of the samples
    PullSequencer::Result readResult = PullSequencer::kDone;
    PullSequencer::Result deliverResult = PullSequencer::kDone;
    int ends = 0;

    bool Interrupted() override { return false; }
    PullSequencer::Result Read(std::int64_t, std::int64_t lengthBytes,
                               PullSequencer::ReadChunk& chunk) override {
        readBytes.push_back(lengthBytes);
        chunk.bytesRead = lengthBytes;
        return readResult;
    }
    PullSequencer::Result Deliver(const StreamPlanner::Chunk& chunk, const std::uint8_t*,
                                  PullSequencer::ChunkPlan& plan) override {
        for (const auto& sample : plan.Make(planner_, kFrame).samples) {
            sampleBytes.push_back(chunk.streamByte + sample.chunkOffsetBytes);
        }
        return deliverResult;
    }
    void EndOfStream() override { ++ends; }

private:
    StreamPlanner& planner_;
};

struct Fixture {
    Fixture() : port(planner) {
        planner.SetStream(MakeTestHeader(2, 44100, kData, 320, {}));
        sequencer.SetFrameBytes(kFrame);
        sequencer.SetRange(0, kData + 10 * kFrame);
    }
    StreamPlanner planner;
    RecordingPort port;
    PullSequencer sequencer;
};

// Reader buffers smaller than a frame: chunks still hold two frames, and
// every sample starts on the frame grid.
TEST(PullSequencerTest, ChunksHoldTwoFramesWhateverTheBuffers) {
    for (const std::int64_t chunkBytes : {std::int64_t{1}, std::int64_t{20}, kFrame + 1}) {
        Fixture fixture;
        fixture.sequencer.SetChunkBytes(chunkBytes);
        EXPECT_EQ(PullSequencer::Status::kEnded, fixture.sequencer.Run(fixture.port));
        EXPECT_EQ(1, fixture.port.ends);
        for (std::size_t index = 0; index + 1 < fixture.port.readBytes.size(); ++index) {
            EXPECT_GE(fixture.port.readBytes[index], 2 * kFrame) << chunkBytes;
        }
        ASSERT_EQ(10u, fixture.port.sampleBytes.size());
        for (std::size_t index = 0; index < 10; ++index) {
            EXPECT_EQ(kData + static_cast<std::int64_t>(index) * kFrame,
                      fixture.port.sampleBytes[index]);
        }
    }
}

TEST(PullSequencerTest, FailuresAndQuietEndsSendNoEndOfStream) {
    const struct {
        PullSequencer::Result read;
        PullSequencer::Result deliver;
        PullSequencer::Status status;
    } cases[] = {{-5, PullSequencer::kDone, PullSequencer::Status::kFailed},
                 {PullSequencer::kDone, -7, PullSequencer::Status::kFailed},
                 {PullSequencer::kDone, PullSequencer::kQuiet, PullSequencer::Status::kQuiet}};
    for (const auto& c : cases) {
        Fixture fixture;
        fixture.port.readResult = c.read;
        fixture.port.deliverResult = c.deliver;
        EXPECT_EQ(c.status, fixture.sequencer.Run(fixture.port));
        EXPECT_EQ(c.status == PullSequencer::Status::kFailed ? (c.read < 0 ? c.read : c.deliver)
                                                             : PullSequencer::kDone,
                  fixture.sequencer.Error());
        EXPECT_EQ(0, fixture.port.ends);
    }
}

} // namespace

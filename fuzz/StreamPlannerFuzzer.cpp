// libFuzzer target over the parser's pull loop and streaming planner: a
// random stream geometry and loop table, then a random sequence of reads of
// random sizes, short reads, loop changes, seeks, stops and rate changes,
// carried out by the in-memory reader over the filter's own sequencer.
// Checked throughout: no byte outside the data read is planned, samples hold
// whole frames on the frame grid, media times are ordered within a pass and
// never pass the stream's end, presentation times run on and are those of
// the media samples carried, and playback never spins: a run without
// controls delivers or ends, and no two loop jumps follow each other with
// nothing delivered between them.
#include "FuzzCheck.h"
#include "parser/StreamPlanner.h"
#include "parser/PlannedReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Reads the input front to back; 0 once it is used up.
class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    std::uint32_t Take(int byteCount) {
        std::uint32_t value = 0;
        for (int index = 0; index < byteCount; ++index) {
            value = (value << 8) | (position_ < size_ ? data_[position_] : 0u);
            ++position_;
        }
        return value;
    }
    // A value in [low, high].
    std::int64_t Range(std::int64_t low, std::int64_t high) {
        const std::uint32_t raw = Take(high - low > 0xFFFF ? 4 : 2);
        return low + static_cast<std::int64_t>(raw % static_cast<std::uint64_t>(high - low + 1));
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

AdxHeader MakeHeader(ByteSource& input) {
    AdxHeader header;
    header.version = 3;
    header.channelCount = static_cast<std::int32_t>(input.Range(1, 2));
    header.blockSize = static_cast<std::int32_t>(input.Range(3, 32));
    header.samplesPerBlock = (header.blockSize - 2) * 2;
    header.bitsPerSample = 4;
    header.sampleRate = static_cast<std::int32_t>(input.Range(100, 96000));
    header.dataOffset = static_cast<std::int32_t>(input.Range(4, 600));
    header.totalSamples = static_cast<std::int32_t>(input.Range(0, 5000));
    const int loopCount = static_cast<int>(input.Range(0, 3));
    const std::int64_t frameBytes = std::int64_t{header.blockSize} * header.channelCount;
    const std::int64_t frames = header.totalSamples / header.samplesPerBlock + 1;
    for (int index = 0; index < loopCount; ++index) {
        AdxLoopPoint loop;
        if (input.Take(1) % 4 == 0) { // anything at all
            loop.startSample = static_cast<std::int32_t>(input.Take(4));
            loop.startByte = static_cast<std::int32_t>(input.Take(4));
            loop.startTrim = static_cast<std::int32_t>(input.Take(1));
            loop.endSample = static_cast<std::int32_t>(input.Take(4));
            loop.endByte = static_cast<std::int32_t>(input.Take(4));
            loop.endTrim = static_cast<std::int32_t>(input.Take(1));
        } else { // near the stream, sometimes off the grid or past the end
            const std::int64_t startFrame = input.Range(0, frames + 2);
            loop.startByte = static_cast<std::int32_t>(header.dataOffset + startFrame * frameBytes +
                                                       (input.Take(1) % 8 == 0 ? 1 : 0));
            loop.startTrim = static_cast<std::int32_t>(input.Range(0, header.samplesPerBlock - 1));
            loop.startSample =
                static_cast<std::int32_t>(startFrame * header.samplesPerBlock + loop.startTrim);
            loop.endSample = static_cast<std::int32_t>(input.Range(-2, header.totalSamples + 300));
            loop.endTrim = static_cast<std::int32_t>(input.Range(0, 255));
            const std::int64_t endFrame = input.Range(0, frames + 4);
            loop.endByte = static_cast<std::int32_t>(header.dataOffset + endFrame * frameBytes);
        }
        header.loops.push_back(loop);
    }
    return header;
}

// The checks over everything planned, and the no-spin bookkeeping.
class Checker {
public:
    Checker(const StreamPlanner& planner, std::int64_t dataEndBytes)
        : planner_(planner), dataEnd_(dataEndBytes) {}

    // Before and after each read.
    void BeforeStep(int jumps) {
        if (jumps != jumps_) {
            // A loop jump: nothing may have been delivered since the last one
            // only if this is the first jump since delivery resumed.
            FUZZ_CHECK(!(emptyJump_ && bytesSinceJump_ == 0));
            emptyJump_ = bytesSinceJump_ == 0;
            bytesSinceJump_ = 0;
            jumps_ = jumps;
            previous_ = nullptr;
        }
    }
    void Sample(const StreamPlanner::Sample& sample, std::int64_t streamByte) {
        const StreamGeometry& geometry = planner_.Geometry();
        FUZZ_CHECK(sample.sizeBytes >= 0);
        FUZZ_CHECK(sample.sizeBytes % geometry.FrameBytes() == 0);
        FUZZ_CHECK(streamByte >= geometry.DataOffset());
        FUZZ_CHECK((streamByte - geometry.DataOffset()) % geometry.FrameBytes() == 0);
        FUZZ_CHECK(streamByte + sample.sizeBytes <= std::min(dataEnd_, readableEnd_));
        FUZZ_CHECK(sample.mediaStart <= sample.mediaEnd);
        FUZZ_CHECK(sample.mediaEnd <=
                   std::max<std::int64_t>(geometry.TotalSamples(), sample.mediaStart));
        FUZZ_CHECK(sample.timeStart <= sample.timeStop);
        // Times count the media samples carried since the last rebase.
        if (!timed_) {
            timed_ = true;
            timeBase_ = sample.timeStart;
            samplesTimed_ = 0;
        }
        samplesTimed_ += sample.mediaEnd - sample.mediaStart;
        FUZZ_CHECK(sample.timeStop == timeBase_ + geometry.PlayedUnits(samplesTimed_, rate_));
        if (previous_ != nullptr) {
            FUZZ_CHECK(sample.mediaStart >= previousSample_.mediaEnd);
            FUZZ_CHECK(sample.timeStart == previousSample_.timeStop);
        }
        previousSample_ = sample;
        previous_ = &previousSample_;
        bytesSinceJump_ += sample.sizeBytes;
        delivered_ += sample.sizeBytes;
    }
    // A control changed the timeline or the pass: ordering starts afresh.
    void Control() {
        previous_ = nullptr;
        emptyJump_ = false;
        bytesSinceJump_ = 0;
    }
    // A seek, stop or rate change: times count afresh from the next sample.
    void Rebase(double rate) {
        Control();
        timed_ = false;
        rate_ = rate;
    }
    void SetReadableEnd(std::int64_t readableEndByte) { readableEnd_ = readableEndByte; }
    std::int64_t Delivered() const { return delivered_; }

private:
    const StreamPlanner& planner_;
    std::int64_t dataEnd_;
    std::int64_t readableEnd_ = StreamGeometry::kMaxStreamBytes;
    bool timed_ = false;
    std::int64_t timeBase_ = 0;
    std::int64_t samplesTimed_ = 0;
    double rate_ = 1.0;
    int jumps_ = 0;
    bool emptyJump_ = false;
    std::int64_t bytesSinceJump_ = 0;
    std::int64_t delivered_ = 0;
    StreamPlanner::Sample previousSample_;
    const StreamPlanner::Sample* previous_ = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteSource input(data, size);
    const AdxHeader header = MakeHeader(input);
    StreamPlanner planner;
    planner.SetStream(header);
    const StreamGeometry& geometry = planner.Geometry();
    FUZZ_CHECK(geometry.IsUsable());
    const std::int64_t frameBytes = geometry.FrameBytes();
    const std::int64_t frames = header.totalSamples / header.samplesPerBlock + 1;
    const std::int64_t dataEnd =
        std::max<std::int64_t>(header.dataOffset + frames * frameBytes + input.Range(-60, 60), 0);
    const std::int64_t bufferBytes =
        input.Take(1) % 16 == 0 ? input.Range(1, frameBytes) : frameBytes * input.Range(1, 16);
    // Reader buffers of any size, also smaller than a frame.
    PlannedReader reader(planner, dataEnd, input.Range(1, 5000), bufferBytes);
    reader.Range(0, StreamGeometry::kMaxStreamBytes);
    Checker checker(planner, dataEnd);
    const auto sink = [&checker](const StreamPlanner::Sample& sample, std::int64_t streamByte) {
        checker.Sample(sample, streamByte);
    };
    const auto step = [&] {
        checker.BeforeStep(reader.Jumps());
        const bool more = reader.Step(sink);
        checker.BeforeStep(reader.Jumps());
        return more;
    };

    double rate = 1.0;
    for (int operation = 0; operation < 64 && !input.Empty(); ++operation) {
        switch (input.Take(1) % 10) {
        case 4:
            planner.SetLoop(static_cast<std::int32_t>(input.Range(-1, 3)), input.Take(1) % 2 == 0);
            checker.Control();
            break;
        case 5:
            reader.Seek(header.dataOffset + input.Range(0, frames + 2) * frameBytes);
            checker.Rebase(rate);
            break;
        case 6:
            rate = 0.25 * static_cast<double>(input.Range(1, 16));
            planner.SetRate(rate);
            reader.Restart();
            checker.Rebase(rate);
            break;
        case 7:
            reader.SetStop(header.dataOffset + input.Range(0, frames + 2) * frameBytes);
            reader.Restart();
            checker.Rebase(rate);
            break;
        case 8:
            reader.SetChunkBytes(input.Range(1, 5000));
            break;
        case 9: {
            // Reads past here come back short; the reader's length stays.
            const std::int64_t readableEnd = input.Range(0, dataEnd);
            reader.SetReadableEnd(readableEnd);
            checker.SetReadableEnd(readableEnd);
            break;
        }
        default:
            for (std::int64_t chunk = input.Range(1, 16); chunk > 0; --chunk) {
                if (!step()) {
                    break;
                }
            }
            break;
        }
    }
    // Left alone, the run delivers or ends: every read that delivers nothing
    // consumes at least a frame or ends a pass, so reads enough to cover the
    // whole data twice deliver something unless the run ends.
    // A few passes over the data are enough to see that: a loop that plays
    // on for ever is not followed further.
    const std::int64_t bound = 2 * (dataEnd / frameBytes + 2) + 8;
    const std::int64_t deliveredBefore = checker.Delivered();
    std::int64_t idleSteps = 0;
    for (std::int64_t chunk = 0; chunk < 3 * bound && idleSteps <= bound; ++chunk) {
        const std::int64_t before = checker.Delivered();
        if (!step() || before - deliveredBefore > 4 * dataEnd) {
            return 0;
        }
        idleSteps = checker.Delivered() == before ? idleSteps + 1 : 0;
    }
    FUZZ_CHECK(idleSteps <= bound);
    return 0;
}

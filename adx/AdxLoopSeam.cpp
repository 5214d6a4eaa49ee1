#include "adx/AdxLoopSeam.h"

#include <algorithm>
#include <utility>

namespace {

// Codes tried per position, and rounds over all positions at most.
constexpr std::int32_t kCodeMin = -8;
constexpr std::int32_t kCodeMax = 7;
constexpr std::int32_t kMaxRounds = 3;
// The last codes before the loop end that the aim tries in every
// combination, and the multipliers it tries around the block's own (in
// sixteenths, in steps of about 1/kAimStepDivisor).
constexpr std::int32_t kAimedCodes = 2;
constexpr std::int32_t kAimLowestSixteenths = 10;
constexpr std::int32_t kAimHighestSixteenths = 26;
constexpr std::int32_t kAimStepDivisor = 128;

void ReadBlock(const std::uint8_t* block, std::int32_t& multiplier,
               std::array<std::int8_t, kAdxBlockSamples>& codes) {
    const std::uint32_t scaleWord = (std::uint32_t{block[0]} << 8) | block[1];
    multiplier = static_cast<std::int32_t>((scaleWord + 1) & 0x1FFF);
    for (std::int32_t i = 0; i < kAdxBlockSamples; i += 2) {
        const std::int32_t byte = block[2 + i / 2];
        codes[i] = static_cast<std::int8_t>((byte >> 4) - ((byte & 0x80) >> 3));
        codes[i + 1] = static_cast<std::int8_t>((byte & 0xF) - ((byte & 0x8) << 1));
    }
}

} // namespace

AdxLoopSeam::AdxLoopSeam(const AdxBlockEncoder& encoder, const AdxSampleLoop& loop)
    : encoder_(encoder), loop_(loop), startFrame_(loop.startSample / kAdxBlockSamples),
      endFrame_((loop.endSample - 1) / kAdxBlockSamples),
      editedFrame_(std::max<std::int64_t>(0, endFrame_ - 1)),
      gain_(SeamGain(encoder.Coef1(), encoder.Coef2())) {}

std::int64_t AdxLoopSeam::NearestCodes(const std::int16_t* samples, std::int32_t first,
                                       std::int32_t end, std::int32_t multiplier,
                                       AdxChannelHistory& history, std::int8_t* codes) const {
    std::int64_t squaredError = 0;
    std::int16_t decoded = 0;
    for (std::int32_t i = first; i < end; ++i) {
        const std::int32_t prediction =
            (encoder_.Coef1() * history.prev1 + encoder_.Coef2() * history.prev2) >> 12;
        const std::int32_t residual = samples[i] - prediction;
        codes[i] = static_cast<std::int8_t>(std::clamp(
            (2 * residual + (residual >= 0 ? multiplier : -multiplier)) / (2 * multiplier),
            kCodeMin, kCodeMax));
        squaredError += encoder_.Decode(samples + i, 1, multiplier, codes + i, history, &decoded);
    }
    return squaredError;
}

AdxLoopSeam::Gain AdxLoopSeam::SeamGain(std::int32_t coef1, std::int32_t coef2) {
    // A history off by (d1, d2) puts the loop pass off by the predictor's
    // free response, as long as the codes are the same: its energy over the
    // window is the quadratic form of d with these weights.
    Gain gain;
    double a1 = 1;
    double a2 = 0; // the response to d = (1, 0)
    double b1 = 0;
    double b2 = 1; // the response to d = (0, 1)
    for (std::int64_t n = 0; n < kWindowSamples; ++n) {
        const double a = (coef1 * a1 + coef2 * a2) / 4096;
        const double b = (coef1 * b1 + coef2 * b2) / 4096;
        gain.first += a * a;
        gain.cross += 2 * a * b;
        gain.second += b * b;
        a2 = a1;
        a1 = a;
        b2 = b1;
        b1 = b;
    }
    return gain;
}

void AdxLoopSeam::AimEndFrame(const std::int16_t* samples, const AdxChannelHistory& history,
                              const AdxChannelHistory& target, Frame& frame) const {
    // Positions of the frame up to the loop's last sample; the aim needs two
    // of them to steer both history samples.
    const std::int32_t played =
        static_cast<std::int32_t>((loop_.endSample - 1) % kAdxBlockSamples) + 1;
    if (played < 2) {
        return;
    }
    const std::int32_t aimed = std::min(kAimedCodes, played);
    const std::int32_t lowest = std::max(1, frame.multiplier * kAimLowestSixteenths / 16);
    const std::int32_t highest =
        std::min(kAdxMaxMultiplier, frame.multiplier * kAimHighestSixteenths / 16 + 1);
    double bestCost = -1;
    AdxEncodedBlock block;
    AdxChannelHistory bestEnd;
    std::array<std::int16_t, kAdxBlockSamples> decoded{};
    for (std::int32_t multiplier = lowest; multiplier <= highest;
         multiplier += std::max(1, multiplier / kAimStepDivisor)) {
        // The nearest codes up to the aimed ones, then every combination of
        // those, judged by their own error and the seam they leave.
        AdxChannelHistory lead = history;
        std::array<std::int8_t, kAdxBlockSamples> codes{};
        const std::int64_t leadError =
            NearestCodes(samples, 0, played - aimed, multiplier, lead, codes.data());
        std::int32_t combinations = 1;
        for (std::int32_t i = 0; i < aimed; ++i) {
            combinations *= kCodeMax - kCodeMin + 1;
        }
        for (std::int32_t combination = 0; combination < combinations; ++combination) {
            std::int32_t rest = combination;
            for (std::int32_t i = played - aimed; i < played; ++i) {
                codes[i] = static_cast<std::int8_t>(rest % (kCodeMax - kCodeMin + 1) + kCodeMin);
                rest /= kCodeMax - kCodeMin + 1;
            }
            AdxChannelHistory end = lead;
            const std::int64_t tailError =
                encoder_.Decode(samples + played - aimed, aimed, multiplier,
                                codes.data() + played - aimed, end, decoded.data());
            const double d1 = end.prev1 - target.prev1;
            const double d2 = end.prev2 - target.prev2;
            const double cost = static_cast<double>(leadError + tailError) + gain_.first * d1 * d1 +
                                gain_.cross * d1 * d2 + gain_.second * d2 * d2;
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                block.multiplier = multiplier;
                std::copy(codes.begin(), codes.end(), block.codes.begin());
                bestEnd = end;
            }
        }
    }
    // The samples after the loop end play only without the loop.
    NearestCodes(samples, played, kAdxBlockSamples, block.multiplier, bestEnd, block.codes.data());
    frame.multiplier = block.multiplier;
    frame.codes = block.codes;
}

const AdxLoopSeam::Frame& AdxLoopSeam::FrameAt(std::int64_t frame, const std::vector<Frame>& edited,
                                               const std::vector<Frame>& window) const {
    if (frame >= editedFrame_) {
        return edited[static_cast<std::size_t>(frame - editedFrame_)];
    }
    return window[static_cast<std::size_t>(frame - startFrame_)];
}

AdxLoopSeam::Score AdxLoopSeam::Cost(const std::int16_t* samples, std::int64_t totalSamples,
                                     const AdxChannelHistory& before,
                                     const std::vector<Frame>& edited,
                                     const std::vector<Frame>& window,
                                     std::int16_t* firstPass) const {
    // The first pass over the revisited frames, to the stream's end at most.
    const std::int64_t firstSample = editedFrame_ * kAdxBlockSamples;
    const std::int64_t firstEnd =
        std::min(totalSamples, (endFrame_ + 1) * std::int64_t{kAdxBlockSamples});
    AdxChannelHistory history = before;
    std::int64_t squaredError = 0;
    for (std::int64_t frame = editedFrame_; frame <= endFrame_; ++frame) {
        const std::int64_t first = frame * kAdxBlockSamples;
        const std::int32_t count =
            static_cast<std::int32_t>(std::min<std::int64_t>(kAdxBlockSamples, firstEnd - first));
        const Frame& block = edited[static_cast<std::size_t>(frame - editedFrame_)];
        squaredError +=
            encoder_.Decode(samples + first, count, block.multiplier, block.codes.data(), history,
                            firstPass + first - firstSample);
    }
    const std::int32_t firstPassPeak =
        AdxBlockEncoder::PeakError(samples + firstSample, firstPass, loop_.endSample - firstSample);
    // The history at the loop end: its last two samples of the first pass.
    const std::int64_t last = loop_.endSample - 1 - firstSample;
    AdxChannelHistory loopHistory{firstPass[last], last >= 1 ? firstPass[last - 1] : before.prev1};

    // The loop pass after a jump, over the window; a loop shorter than the
    // window plays several passes, each from the end of the one before.
    const std::int64_t windowEnd = std::min(loop_.endSample, loop_.startSample + kWindowSamples);
    const std::int32_t passes = windowEnd == loop_.endSample ? kShortLoopPasses : 1;
    std::array<std::int16_t, kAdxBlockSamples> scratch{};
    Score score;
    for (std::int32_t pass = 0; pass < passes; ++pass) {
        std::int32_t& loopPassPeak = score.loopPassPeaks[static_cast<std::size_t>(pass)];
        for (std::int64_t position = loop_.startSample; position < windowEnd;) {
            const std::int64_t frame = position / kAdxBlockSamples;
            const std::int32_t offset = static_cast<std::int32_t>(position % kAdxBlockSamples);
            const std::int32_t count = static_cast<std::int32_t>(
                std::min<std::int64_t>(kAdxBlockSamples - offset, windowEnd - position));
            const Frame& block = FrameAt(frame, edited, window);
            squaredError +=
                encoder_.Decode(samples + position, count, block.multiplier,
                                block.codes.data() + offset, loopHistory, scratch.data());
            loopPassPeak =
                std::max(loopPassPeak,
                         AdxBlockEncoder::PeakError(samples + position, scratch.data(), count));
            position += count;
        }
    }
    score.squaredError = squaredError;
    score.firstPassPeak = firstPassPeak;
    return score;
}

std::int64_t AdxLoopSeam::Refine(const std::int16_t* samples, std::int64_t totalSamples,
                                 const AdxChannelHistory& initialHistory, std::int16_t* decoded,
                                 std::uint8_t* firstBlock, std::size_t frameBytes) const {
    const std::int64_t firstSample = editedFrame_ * kAdxBlockSamples;
    const AdxChannelHistory before =
        editedFrame_ == 0 ? initialHistory
                          : AdxChannelHistory{decoded[firstSample - 1], decoded[firstSample - 2]};
    auto read = [&](std::int64_t first, std::int64_t end) {
        std::vector<Frame> frames(static_cast<std::size_t>(std::max<std::int64_t>(0, end - first)));
        for (std::int64_t frame = first; frame < end; ++frame) {
            Frame& block = frames[static_cast<std::size_t>(frame - first)];
            ReadBlock(firstBlock + frameBytes * frame, block.multiplier, block.codes);
        }
        return frames;
    };
    std::vector<Frame> edited = read(editedFrame_, endFrame_ + 1);
    const std::int64_t windowEnd = std::min(loop_.endSample, loop_.startSample + kWindowSamples);
    const std::vector<Frame> window =
        read(startFrame_, std::min(editedFrame_, (windowEnd - 1) / kAdxBlockSamples + 1));

    std::array<std::int16_t, 2 * kAdxBlockSamples> firstPass{};
    // The search trades error between the passes for a cleaner seam, but
    // first keeps them within the stray limit of the encoding it starts
    // from: the first pass always (its samples up to the loop end, where
    // every playback goes; a short loop may need those after it, played only
    // without the loop, to stray further), the loop passes as far as it
    // finds. By the squared error alone the loop passes, counted several
    // times over, could buy a saturated first-pass sample, and the sum of a
    // short loop's passes one saturated pass.
    const std::int64_t firstEnd =
        std::min(totalSamples, (endFrame_ + 1) * std::int64_t{kAdxBlockSamples});
    const std::int32_t peakLimit = AdxBlockEncoder::StrayLimit(
        samples + firstSample, decoded + firstSample, loop_.endSample - firstSample);
    // Whether `score` is the better state: the first pass less beyond the
    // limit, then the loop passes, then the lower squared error.
    auto better = [&](const Score& score, const Score& than) {
        auto beyond = [&](const Score& of) {
            std::int32_t loopExcess = 0;
            for (std::int32_t peak : of.loopPassPeaks) {
                loopExcess = std::max(loopExcess, peak - peakLimit);
            }
            return std::make_pair(std::max(0, of.firstPassPeak - peakLimit), loopExcess);
        };
        const auto excess = beyond(score);
        const auto thanExcess = beyond(than);
        return excess < thanExcess ||
               (excess == thanExcess && score.squaredError < than.squaredError);
    };
    if (loop_.startSample <= firstSample) {
        // The history before the loop start is settled: aim the loop end at it.
        AdxChannelHistory endFrameHistory = before;
        if (endFrame_ > editedFrame_) {
            const Frame& previous = edited[0];
            encoder_.Decode(samples + firstSample, kAdxBlockSamples, previous.multiplier,
                            previous.codes.data(), endFrameHistory, firstPass.data());
        }
        const AdxChannelHistory target =
            loop_.startSample == 0
                ? initialHistory
                : AdxChannelHistory{decoded[loop_.startSample - 1],
                                    loop_.startSample >= 2 ? decoded[loop_.startSample - 2]
                                                           : initialHistory.prev1};
        const Frame straight = edited.back();
        const Score unaimed = Cost(samples, totalSamples, before, edited, window, firstPass.data());
        AimEndFrame(samples + endFrame_ * kAdxBlockSamples, endFrameHistory, target, edited.back());
        if (better(unaimed,
                   Cost(samples, totalSamples, before, edited, window, firstPass.data()))) {
            edited.back() = straight;
        }
    }
    Score best = Cost(samples, totalSamples, before, edited, window, firstPass.data());
    const std::int64_t positionCount = firstEnd - firstSample;
    // Coordinate descent, the last samples (the loop end's history) first.
    for (std::int32_t round = 0; round < kMaxRounds; ++round) {
        bool improved = false;
        for (std::int64_t position = positionCount - 1; position >= 0; --position) {
            std::int8_t& code = edited[static_cast<std::size_t>(position / kAdxBlockSamples)]
                                    .codes[static_cast<std::size_t>(position % kAdxBlockSamples)];
            const std::int8_t kept = code;
            std::int8_t bestCode = kept;
            for (std::int32_t candidate = kCodeMin; candidate <= kCodeMax; ++candidate) {
                if (candidate == kept) {
                    continue;
                }
                code = static_cast<std::int8_t>(candidate);
                const Score score =
                    Cost(samples, totalSamples, before, edited, window, firstPass.data());
                if (better(score, best)) {
                    best = score;
                    bestCode = code;
                    improved = true;
                }
            }
            code = bestCode;
        }
        if (!improved) {
            break;
        }
    }

    // Write the revisited frames back, and their first-pass output.
    AdxChannelHistory history = before;
    for (std::int64_t frame = editedFrame_; frame <= endFrame_; ++frame) {
        const Frame& frameCodes = edited[static_cast<std::size_t>(frame - editedFrame_)];
        AdxEncodedBlock block;
        block.multiplier = frameCodes.multiplier;
        block.codes = frameCodes.codes;
        AdxBlockEncoder::Write(block, firstBlock + frameBytes * frame);
        const std::int64_t first = frame * kAdxBlockSamples;
        encoder_.Decode(samples + first, kAdxBlockSamples, block.multiplier, block.codes.data(),
                        history, decoded + first);
    }
    return endFrame_ + 1;
}

// The seam of a sample loop, one channel at a time. After a jump the player
// decodes the loop start from the history the loop end left, not from the
// history of the first pass. Once a channel is encoded straight through,
// this revisits the frames up to the loop end: first the loop end's frame is
// aimed (its multiplier, and its last codes in every combination) at the
// first pass's history before the loop start, for then the loop passes play
// the loop start exactly as the first pass does; then a descent over the
// codes of the last two frames brings the first pass there and the loop
// pass after the jump (decoded from the loop end's history over a window)
// together as close to the input as it finds, with no first-pass sample
// before the loop end beyond the stray limit (AdxBlockEncoder::StrayLimit)
// and the loop passes' samples as little beyond it as it finds.
#pragma once

#include "adx/AdxBlockEncoder.h"
#include "adx/AdxEncoder.h"

#include <cstdint>
#include <vector>

class AdxLoopSeam {
public:
    // Samples after a jump whose error the seam search counts.
    static constexpr std::int64_t kWindowSamples = 256;
    // Passes a loop shorter than the window plays in the search.
    static constexpr std::int32_t kShortLoopPasses = 3;

    AdxLoopSeam(const AdxBlockEncoder& encoder, const AdxSampleLoop& loop);

    // samples and decoded: the channel, padded to whole blocks; firstBlock:
    // the channel's block of frame 0, later frames frameBytes apart. Changes
    // the blocks and decoded samples of the frames it revisits and returns
    // the frame after them: later frames were encoded from another history
    // and must be encoded again.
    std::int64_t Refine(const std::int16_t* samples, std::int64_t totalSamples,
                        const AdxChannelHistory& initialHistory, std::int16_t* decoded,
                        std::uint8_t* firstBlock, std::size_t frameBytes) const;

private:
    // One block's multiplier and codes.
    struct Frame {
        std::int32_t multiplier = 1;
        std::array<std::int8_t, kAdxBlockSamples> codes{};
    };

    // Weights of the loop pass's squared error for a history off by (d1, d2):
    // first * d1^2 + cross * d1 * d2 + second * d2^2.
    struct Gain {
        double first = 0;
        double cross = 0;
        double second = 0;
    };
    // What the search weighs: the squared error of Cost, the largest error
    // of a first-pass sample before the loop end, and that of each loop
    // pass's (one unless the loop is shorter than the window).
    struct Score {
        std::int64_t squaredError = 0;
        std::int32_t firstPassPeak = 0;
        std::array<std::int32_t, kShortLoopPasses> loopPassPeaks{};
    };

    static Gain SeamGain(std::int32_t coef1, std::int32_t coef2);
    // Chooses the multiplier and codes of the loop end's frame (samples at
    // its first sample, decoded from `history`) whose error up to the loop
    // end plus the seam its end history leaves against `target` is least.
    void AimEndFrame(const std::int16_t* samples, const AdxChannelHistory& history,
                     const AdxChannelHistory& target, Frame& frame) const;
    // Nearest codes for samples[first, end) with `multiplier` from `history`
    // (which moves on); returns their squared error.
    std::int64_t NearestCodes(const std::int16_t* samples, std::int32_t first, std::int32_t end,
                              std::int32_t multiplier, AdxChannelHistory& history,
                              std::int8_t* codes) const;
    // The error of the first pass over the revisited frames plus that of the
    // loop pass's window, with the revisited frames' codes in `edited`.
    Score Cost(const std::int16_t* samples, std::int64_t totalSamples,
               const AdxChannelHistory& before, const std::vector<Frame>& edited,
               const std::vector<Frame>& window, std::int16_t* firstPass) const;
    const Frame& FrameAt(std::int64_t frame, const std::vector<Frame>& edited,
                         const std::vector<Frame>& window) const;

    const AdxBlockEncoder& encoder_;
    AdxSampleLoop loop_;
    std::int64_t startFrame_;  // holds the loop start
    std::int64_t endFrame_;    // holds the loop's last sample
    std::int64_t editedFrame_; // the first frame revisited
    Gain gain_;
};

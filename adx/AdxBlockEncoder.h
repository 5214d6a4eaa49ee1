// One channel's block search: the multiplier and the 32 codes of an 18-byte
// block that bring the decoder's output closest to the input, closed loop
// through the decoder's exact arithmetic (prediction, flooring shift,
// saturation). Plain C++, no allocation; one object serves any number of
// blocks and threads (it holds only constants).
#pragma once

#include "adx/AdxDecoder.h"

#include <array>
#include <cstdint>

// A chosen block and what the decoder makes of it.
struct AdxEncodedBlock {
    std::int32_t multiplier = 1; // 1..kAdxMaxMultiplier; the scale word is one less
    std::array<std::int8_t, kAdxBlockSamples> codes{};    // -8..7
    std::array<std::int16_t, kAdxBlockSamples> decoded{}; // the decoder's output
    std::int64_t squaredError = 0;                        // over the counted samples
};

// The largest multiplier a scale word gives: (0x1FFE + 1) & 0x1FFF. The word
// 0x1FFF would give 0.
constexpr std::int32_t kAdxMaxMultiplier = 0x1FFF;

// Multipliers the fast quantiser tries at once.
constexpr std::int32_t kAdxGreedyLanes = 8;

class AdxBlockEncoder {
public:
    // thorough: a wider, denser search: about twice the time for about
    // 0.05 dB.
    AdxBlockEncoder(std::int32_t coef1, std::int32_t coef2, bool thorough);

    // Encodes samples[0 .. sampleCount) (sampleCount 1..32; later codes are
    // 0 and count for nothing) from `history`, the two decoded samples
    // before the block.
    void Encode(const std::int16_t* samples, std::int32_t sampleCount,
                const AdxChannelHistory& history, AdxEncodedBlock& out) const;

    // Encodes a block that two decoders play from different histories: the
    // first over every sample, the second from sample secondFrom on (the
    // loop start, played again after a jump from the loop end's history).
    // Minimises the sum of both errors among the blocks whose outputs both
    // keep within the block's StrayLimit (Encode's block for the first
    // decoder among them); where none does, takes the one whose worse output
    // strays least. out.decoded is the first's output, secondEnd the
    // second's history after the block.
    void EncodeShared(const std::int16_t* samples, std::int32_t sampleCount,
                      const AdxChannelHistory& first, AdxChannelHistory second,
                      std::int32_t secondFrom, AdxEncodedBlock& out,
                      AdxChannelHistory& secondEnd) const;

    // The squared error of the codes, decoded from `history` with
    // `multiplier`, against samples[0 .. sampleCount); the decoded samples go
    // to `decoded` and the history moves on.
    std::int64_t Decode(const std::int16_t* samples, std::int32_t sampleCount,
                        std::int32_t multiplier, const std::int8_t* codes,
                        AdxChannelHistory& history, std::int16_t* decoded) const;

    // The largest distance of decoded[i] from samples[i], i < sampleCount.
    static std::int32_t PeakError(const std::int16_t* samples, const std::int16_t* decoded,
                                  std::int64_t sampleCount);
    // How far a sample may stray from the input where a loop makes the
    // encoder trade error between the first pass and the passes after a
    // jump, with `straight` the decoding the trade starts from: as far as
    // its worst sample, or twice the input's peak (the signal's own swing
    // from one extreme to the other). Beyond that the seam would be bought
    // with a click louder than the signal.
    static std::int32_t StrayLimit(const std::int16_t* samples, const std::int16_t* straight,
                                   std::int64_t sampleCount);

    std::int32_t Coef1() const { return coef1_; }
    std::int32_t Coef2() const { return coef2_; }

    // The 18 bytes of the block: scale word (multiplier - 1), then the codes.
    static void Write(const AdxEncodedBlock& block, std::uint8_t* bytes);

    // The fast quantiser for kAdxGreedyLanes multipliers at once: the
    // squared error of each, from the history prev1, prev2.
    using GreedyFunction = void (*)(const std::int32_t* samples, std::int32_t sampleCount,
                                    const std::int32_t* multipliers, std::int32_t prev1,
                                    std::int32_t prev2, std::int32_t coef1, std::int32_t coef2,
                                    float* errors);

private:
    // The multiplier that covers the largest residual of the input predicted
    // from itself: the centre of the multipliers worth trying.
    std::int32_t PeakMultiplier(const std::int32_t* samples, std::int32_t sampleCount,
                                std::int32_t prev1, std::int32_t prev2) const;
    // The nearest codes with `multiplier`; fills out and returns its error.
    std::int64_t Quantise(const std::int32_t* samples, std::int32_t sampleCount,
                          std::int32_t multiplier, std::int32_t prev1, std::int32_t prev2,
                          AdxEncodedBlock& out) const;

    std::int32_t coef1_;
    std::int32_t coef2_;
    bool thorough_;
    GreedyFunction greedyLanes_; // the fastest this processor runs
};

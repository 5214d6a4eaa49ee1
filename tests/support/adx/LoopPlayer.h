// Plays an ADX stream held in memory as the parser sequences it (the
// planner and its in-memory reader) and decodes what it plans as the decoder
// filter does: the frames of each planned sample from its stream position,
// the first from its media start's index within the frame, the last up to
// its media end. For tests and the fuzzer of the encoder's loops.
#pragma once

#include <cstdint>
#include <vector>

struct PlayedPasses {
    bool ok = false; // the stream parsed, its blocks decoded, the ranges fitted
    // Interleaved PCM of each pass: the first from the stream's start, each
    // further one after a loop jump.
    std::vector<std::vector<std::int16_t>> passes;
};

class LoopPlayer {
public:
    // Plays loop `loopIndex` for `passCount` passes (or the stream once,
    // without looping, for a negative index).
    static PlayedPasses Play(const std::vector<std::uint8_t>& stream, std::int32_t loopIndex,
                             std::int32_t passCount);
};

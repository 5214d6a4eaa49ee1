// A parsed header of the common 4-bit layout (version 3, 18-byte blocks of 32
// samples) for tests that plan or measure a stream without its bytes.
#pragma once

#include "adx/AdxHeader.h"

#include <cstdint>
#include <utility>
#include <vector>

inline AdxHeader MakeTestHeader(std::int32_t channelCount, std::int32_t sampleRate,
                                std::int32_t dataOffset, std::int32_t totalSamples,
                                std::vector<AdxLoopPoint> loops = {}) {
    AdxHeader header;
    header.version = 3;
    header.blockSize = 18;
    header.bitsPerSample = 4;
    header.samplesPerBlock = 32;
    header.channelCount = channelCount;
    header.sampleRate = sampleRate;
    header.dataOffset = dataOffset;
    header.totalSamples = totalSamples;
    header.loops = std::move(loops);
    return header;
}

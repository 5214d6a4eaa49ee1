// The ADX stream header: the 4-byte prefix that gives the header length, the
// parsed header record and its loop table.
#pragma once

#include <AdxLoopPoint.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The parsed header. Copying it copies the loop table too.
struct AdxHeader {
    std::int32_t version = 0;
    std::int32_t blockSize = 0;     // bytes in one channel's block
    std::int32_t bitsPerSample = 0; // bits per encoded sample
    std::int32_t samplesPerBlock = 0;
    std::int32_t channelCount = 0;
    std::int32_t sampleRate = 0;   // per channel, in Hz
    std::int32_t dataOffset = 0;   // the header length: where the first frame starts
    std::int32_t totalSamples = 0; // per channel
    // Version 4: the initial prediction history in header order (channel 0
    // prev1, prev2, channel 1 prev1, prev2); otherwise all zero.
    std::array<std::uint16_t, 4> extraWords{};
    std::int32_t coef1 = 0;
    std::int32_t coef2 = 0;
    std::vector<AdxLoopPoint> loops;
};

// Bytes in the prefix that AdxHeaderLength reads.
constexpr std::int32_t kAdxPrefixBytes = 4;

// Given the stream's first kAdxPrefixBytes bytes, the header length L (the
// marker offset plus 4; the first frame starts at byte L), or nothing when
// the stream is not ADX (byte 0 is not 0x80).
std::optional<std::int32_t> AdxHeaderLength(const std::uint8_t* prefixBytes);

// ParseAdxHeader results.
constexpr int kAdxHeaderAccepted = 0;
constexpr int kAdxHeaderRejected = 1;

// Parses the headerLength bytes at headerBytes (the stream's bytes 0 to L-1)
// into out. Returns kAdxHeaderAccepted, or kAdxHeaderRejected when the
// header is not one this system can use; out.loops is emptied in both cases,
// and a rejected header leaves every other field of out as it was. Nothing
// outside the headerLength bytes is read.
int ParseAdxHeader(std::int32_t headerLength, const std::uint8_t* headerBytes, AdxHeader& out);

// The one place where corvina-encode calls the ADX encoder: the decoded WAV
// audio and the chosen loop in, the whole ADX stream out.
#pragma once

#include "ExitStatus.h"
#include "WavReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct AdxEncodeSettings {
    std::int32_t cutoffFrequency = 500; // Hz, written to the header
    std::int32_t headerVersion = 3;     // 3 or 4
    std::int32_t threadCount = 1;       // the encoder's own threads; 0: every core
    std::optional<WavLoop> loop;        // played seamlessly: [startSample, endSample)
};

// Encodes `audio` into `stream`. kDone, or another status with the reason
// in `problem` (without the file name).
ExitStatus EncodeAdx(const WavAudio& audio, const AdxEncodeSettings& settings,
                     std::vector<std::uint8_t>& stream, std::string& problem);

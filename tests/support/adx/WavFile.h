// Reading and writing 16-bit PCM WAV files, for the encoder's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WavAudio {
    std::int32_t channelCount = 0;
    std::int32_t sampleRate = 0;
    std::vector<std::int16_t> samples; // interleaved, channel 0 first
};

// Reads a RIFF/WAVE file of 16-bit PCM. On failure returns false and puts a
// message (without the file name) in error.
bool ReadWavFile(const std::string& path, WavAudio& audio, std::string& error);

// Writes audio as a 16-bit PCM RIFF/WAVE file; false and a message on failure.
bool WriteWavFile(const std::string& path, const WavAudio& audio, std::string& error);

// One input of corvina-encode: checks the output, reads and converts the
// WAV file, settles the loop, encodes and writes the ADX file whole or not
// at all. Its messages ("corvina-encode: FILE: reason") are collected, so
// that jobs running side by side print them one after another.
#pragma once

#include "EncodeOptions.h"
#include "ExitStatus.h"
#include "WavReader.h"

#include <cstdint>
#include <optional>
#include <string>

class EncodeJob {
public:
    EncodeJob(const EncodeOptions& options, std::string input, std::string output,
              std::int32_t threadCount);

    ExitStatus Run();

    // After Run: what went wrong, as lines for standard error; empty when
    // nothing did.
    const std::string& Messages() const { return messages_; }
    // After a successful Run: sample frames per channel, and the loop.
    std::int64_t FrameCount() const { return frameCount_; }
    const std::optional<WavLoop>& Loop() const { return loop_; }

private:
    ExitStatus CheckOutput();
    ExitStatus ReadInput(WavAudio& audio);
    // The loop the options ask for, or the input's own; checked against the
    // stream.
    ExitStatus ChooseLoop(const WavAudio& audio);
    ExitStatus Write(const std::vector<std::uint8_t>& stream);
    ExitStatus Fail(ExitStatus status, const std::string& file, const std::string& reason);

    const EncodeOptions& options_;
    const std::string input_;
    const std::string output_;
    const std::int32_t threadCount_;
    std::string messages_;
    std::int64_t frameCount_ = 0;
    std::optional<WavLoop> loop_;
};

// Reads a RIFF/WAVE file held in memory into 16-bit PCM for the encoder:
// PCM of 8, 16, 24 or 32 bits, 32-bit float, and WAVE_FORMAT_EXTENSIBLE
// with either subformat; one or two channels. Wider samples are rounded to
// the nearest 16-bit value (halves upward), without dither, so a 16-bit
// file comes out bit for bit. The first sampler loop of a `smpl`
// chunk is kept. Every read is checked against the bytes that remain; bad
// data is a status with a message, never an assertion. No platform code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class WavStatus {
    kOk,
    kNotWav,      // no RIFF/WAVE signature, or no fmt or data chunk
    kTruncated,   // a chunk or the data is cut short
    kUnsupported, // a sample format or channel count this reader does not take
    kEmpty,       // no sample frames
    kTooLong,     // more sample frames than an ADX header can count
};

struct WavLoop {
    std::int64_t startSample = 0; // first sample frame of the loop
    std::int64_t endSample = 0;   // one past its last sample frame
};

struct WavAudio {
    std::int32_t channelCount = 0;
    std::int32_t sampleRate = 0;
    std::vector<std::int16_t> samples; // interleaved, channel 0 first
    std::optional<WavLoop> loop;       // the smpl chunk's first loop, as stored
    std::string sourceFormat;          // e.g. "24-bit PCM", for messages

    std::int64_t FrameCount() const {
        return channelCount > 0 ? static_cast<std::int64_t>(samples.size()) / channelCount : 0;
    }
};

class WavReader {
public:
    // The most sample frames an ADX header can count.
    static constexpr std::int64_t kMaxFrames = 0x7FFFFFFF;

    // `bytes` must outlive the reader.
    WavReader(const std::uint8_t* bytes, std::size_t byteCount);

    // Fills `audio` (replacing what it held) or says why not in Problem().
    WavStatus Read(WavAudio& audio);
    // Why Read failed, in words, without the file name.
    const std::string& Problem() const { return problem_; }

private:
    struct Format {
        std::uint32_t tag = 0; // 1 PCM, 3 float (the subformat's, for extensible)
        std::uint32_t channelCount = 0;
        std::uint32_t sampleRate = 0;
        std::uint32_t blockAlign = 0;
        std::uint32_t bitsPerSample = 0;
    };

    // Where the chunks that matter lie in the file.
    struct Chunks {
        Format format;
        bool formatFound = false;
        std::size_t dataAt = 0;
        std::uint64_t dataBytes = 0;
        bool dataFound = false;
        std::size_t samplerAt = 0;
        std::size_t samplerBytes = 0;
        bool samplerFound = false;
    };

    WavStatus Fail(WavStatus status, std::string problem);
    // Walks the chunks up to `limit`, reading the fmt chunk on the way.
    WavStatus FindChunks(std::size_t limit, Chunks& chunks);
    // The sample frames that `dataBytes` hold, checked.
    WavStatus CountFrames(const Format& format, std::uint64_t dataBytes, std::uint64_t& frameCount);
    WavStatus ReadFormat(std::size_t at, std::size_t chunkBytes, Format& format);
    WavStatus ReadSamplerLoop(std::size_t at, std::size_t chunkBytes, WavAudio& audio);
    WavStatus CheckFormat(const Format& format, WavAudio& audio);
    static void ConvertSamples(const Format& format, const std::uint8_t* data,
                               std::size_t sampleCount, std::int16_t* out);

    std::uint32_t U16At(std::size_t at) const;
    std::uint32_t U32At(std::size_t at) const;

    const std::uint8_t* bytes_;
    std::size_t byteCount_;
    std::string problem_;
};

#include "WavReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr std::uint32_t kFormatPcm = 1;
constexpr std::uint32_t kFormatFloat = 3;
constexpr std::uint32_t kFormatExtensible = 0xFFFE;
constexpr std::uint32_t kUnknownSize = 0xFFFFFFFF; // streamed WAV: up to the end of the file
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::size_t kFormatBytes = 16;
constexpr std::size_t kExtensibleBytes = 40;
constexpr std::size_t kSubformatOffset = 24;
constexpr std::size_t kSamplerBytes = 36;
constexpr std::size_t kSamplerLoopBytes = 24;
// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT after their first two bytes.
constexpr std::uint8_t kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool IdIs(const std::uint8_t* at, const char* id) {
    return std::memcmp(at, id, 4) == 0;
}

std::int16_t Clamp16(std::int64_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -32768, 32767));
}

} // namespace

WavReader::WavReader(const std::uint8_t* bytes, std::size_t byteCount)
    : bytes_(bytes), byteCount_(byteCount) {}

std::uint32_t WavReader::U16At(std::size_t at) const {
    return static_cast<std::uint32_t>(bytes_[at]) |
           (static_cast<std::uint32_t>(bytes_[at + 1]) << 8);
}

std::uint32_t WavReader::U32At(std::size_t at) const {
    return U16At(at) | (U16At(at + 2) << 16);
}

WavStatus WavReader::Fail(WavStatus status, std::string problem) {
    problem_ = std::move(problem);
    return status;
}

WavStatus WavReader::Read(WavAudio& audio) {
    audio = WavAudio();
    problem_.clear();
    if (byteCount_ < 12 || !IdIs(bytes_, "RIFF") || !IdIs(bytes_ + 8, "WAVE")) {
        return Fail(WavStatus::kNotWav, "not a WAV file (no RIFF/WAVE header)");
    }
    // Chunks end where the RIFF size says (trailing bytes are not ours), or
    // at the end of the file when the size is unknown or larger.
    const std::uint64_t riffEnd = std::uint64_t{U32At(4)} + kChunkHeaderBytes;
    const std::size_t limit =
        U32At(4) == kUnknownSize
            ? byteCount_
            : static_cast<std::size_t>(std::clamp<std::uint64_t>(riffEnd, 12, byteCount_));
    Chunks chunks;
    WavStatus status = FindChunks(limit, chunks);
    if (status != WavStatus::kOk) {
        return status;
    }
    if (!chunks.formatFound) {
        return Fail(WavStatus::kNotWav, "not a WAV file (no fmt chunk)");
    }
    if (!chunks.dataFound) {
        return Fail(WavStatus::kNotWav, "not a WAV file (no data chunk)");
    }
    status = CheckFormat(chunks.format, audio);
    if (status == WavStatus::kOk && chunks.samplerFound) {
        status = ReadSamplerLoop(chunks.samplerAt, chunks.samplerBytes, audio);
    }
    std::uint64_t frameCount = 0;
    if (status == WavStatus::kOk) {
        status = CountFrames(chunks.format, chunks.dataBytes, frameCount);
    }
    if (status != WavStatus::kOk) {
        return status;
    }
    const std::size_t sampleCount =
        static_cast<std::size_t>(frameCount) * chunks.format.channelCount;
    audio.samples.resize(sampleCount);
    ConvertSamples(chunks.format, bytes_ + chunks.dataAt, sampleCount, audio.samples.data());
    return WavStatus::kOk;
}

WavStatus WavReader::FindChunks(std::size_t limit, Chunks& chunks) {
    std::size_t at = 12;
    while (limit - at >= kChunkHeaderBytes) {
        const std::uint8_t* id = bytes_ + at;
        const std::uint32_t chunkBytes = U32At(at + 4);
        const std::size_t body = at + kChunkHeaderBytes;
        const std::size_t bytesRemaining = limit - body;
        if (IdIs(id, "data")) {
            chunks.dataFound = true;
            chunks.dataAt = body;
            const std::size_t fileRemaining = byteCount_ - body;
            if (chunkBytes == kUnknownSize) {
                chunks.dataBytes = fileRemaining;
                break; // streamed: nothing follows the data
            }
            if (chunkBytes > fileRemaining) {
                return Fail(WavStatus::kTruncated,
                            "truncated: the data chunk holds " + std::to_string(fileRemaining) +
                                " of its " + std::to_string(chunkBytes) + " bytes (" +
                                std::to_string(chunkBytes - fileRemaining) + " missing)");
            }
            chunks.dataBytes = chunkBytes;
        } else if (chunkBytes > bytesRemaining) {
            return Fail(WavStatus::kTruncated,
                        "truncated: the " + std::string(reinterpret_cast<const char*>(id), 4) +
                            " chunk is cut short");
        } else if (IdIs(id, "fmt ")) {
            const WavStatus status = ReadFormat(body, chunkBytes, chunks.format);
            if (status != WavStatus::kOk) {
                return status;
            }
            chunks.formatFound = true;
        } else if (IdIs(id, "smpl")) {
            chunks.samplerFound = true;
            chunks.samplerAt = body;
            chunks.samplerBytes = chunkBytes;
        }
        // Chunks are padded to an even length.
        const std::uint64_t next = std::uint64_t{body} + chunkBytes + (chunkBytes & 1U);
        if (next > limit) {
            break;
        }
        at = static_cast<std::size_t>(next);
    }
    return WavStatus::kOk;
}

WavStatus WavReader::CountFrames(const Format& format, std::uint64_t dataBytes,
                                 std::uint64_t& frameCount) {
    frameCount = dataBytes / format.blockAlign;
    if (dataBytes % format.blockAlign != 0) {
        return Fail(WavStatus::kTruncated, "truncated: the data ends inside a sample frame (" +
                                               std::to_string(dataBytes % format.blockAlign) +
                                               " stray bytes)");
    }
    if (frameCount == 0) {
        return Fail(WavStatus::kEmpty, "no samples: the data chunk is empty");
    }
    if (frameCount > static_cast<std::uint64_t>(kMaxFrames)) {
        return Fail(WavStatus::kTooLong, "too long: " + std::to_string(frameCount) +
                                             " sample frames; an ADX stream holds at most " +
                                             std::to_string(kMaxFrames));
    }
    return WavStatus::kOk;
}

WavStatus WavReader::ReadFormat(std::size_t at, std::size_t chunkBytes, Format& format) {
    if (chunkBytes < kFormatBytes) {
        return Fail(WavStatus::kTruncated, "truncated: the fmt chunk holds " +
                                               std::to_string(chunkBytes) + " of 16 bytes");
    }
    format.tag = U16At(at);
    format.channelCount = U16At(at + 2);
    format.sampleRate = U32At(at + 4);
    format.blockAlign = U16At(at + 12);
    format.bitsPerSample = U16At(at + 14);
    if (format.tag == kFormatExtensible) {
        if (chunkBytes < kExtensibleBytes) {
            return Fail(WavStatus::kTruncated, "truncated: the extensible fmt chunk holds " +
                                                   std::to_string(chunkBytes) + " of 40 bytes");
        }
        const std::uint8_t* subformat = bytes_ + at + kSubformatOffset;
        if (std::memcmp(subformat + 2, kSubformatTail, sizeof kSubformatTail) != 0) {
            return Fail(WavStatus::kUnsupported,
                        "unsupported: an extensible format whose subformat is neither PCM nor "
                        "float");
        }
        format.tag = U16At(at + kSubformatOffset);
    }
    return WavStatus::kOk;
}

WavStatus WavReader::CheckFormat(const Format& format, WavAudio& audio) {
    const std::uint32_t bits = format.bitsPerSample;
    const bool pcm =
        format.tag == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const bool floating = format.tag == kFormatFloat && bits == 32;
    if (!pcm && !floating) {
        return Fail(WavStatus::kUnsupported,
                    "unsupported sample format (format tag " + std::to_string(format.tag) + ", " +
                        std::to_string(bits) +
                        " bits); PCM of 8, 16, 24 or 32 bits and 32-bit float can be encoded");
    }
    if (format.channelCount != 1 && format.channelCount != 2) {
        return Fail(WavStatus::kUnsupported, "unsupported: it has " +
                                                 std::to_string(format.channelCount) +
                                                 " channels; mono and stereo can be encoded");
    }
    if (format.blockAlign != format.channelCount * bits / 8) {
        return Fail(WavStatus::kUnsupported, "unsupported: a block alignment of " +
                                                 std::to_string(format.blockAlign) + " bytes for " +
                                                 std::to_string(bits) + "-bit " +
                                                 (format.channelCount == 1 ? "mono" : "stereo"));
    }
    if (format.sampleRate == 0 || format.sampleRate > 0x7FFFFFFF) {
        return Fail(WavStatus::kUnsupported,
                    "unsupported sample rate " + std::to_string(format.sampleRate) + " Hz");
    }
    audio.channelCount = static_cast<std::int32_t>(format.channelCount);
    audio.sampleRate = static_cast<std::int32_t>(format.sampleRate);
    audio.sourceFormat = std::to_string(bits) + (floating ? "-bit float" : "-bit PCM");
    return WavStatus::kOk;
}

WavStatus WavReader::ReadSamplerLoop(std::size_t at, std::size_t chunkBytes, WavAudio& audio) {
    if (chunkBytes < kSamplerBytes) {
        return Fail(WavStatus::kTruncated, "truncated: the smpl chunk holds " +
                                               std::to_string(chunkBytes) + " of 36 bytes");
    }
    if (U32At(at + 28) == 0) {
        return WavStatus::kOk; // a sampler chunk without loops
    }
    if (chunkBytes - kSamplerBytes < kSamplerLoopBytes) {
        return Fail(WavStatus::kTruncated,
                    "truncated: the smpl chunk counts loops it does not hold");
    }
    // dwStart and dwEnd of the first loop; dwEnd is the last sample played.
    const std::size_t loopAt = at + kSamplerBytes;
    audio.loop = WavLoop{U32At(loopAt + 8), std::int64_t{U32At(loopAt + 12)} + 1};
    return WavStatus::kOk;
}

void WavReader::ConvertSamples(const Format& format, const std::uint8_t* data,
                               std::size_t sampleCount, std::int16_t* out) {
    if (format.tag == kFormatFloat) {
        for (std::size_t i = 0; i < sampleCount; ++i, data += 4) {
            const std::uint32_t raw = static_cast<std::uint32_t>(data[0]) |
                                      (static_cast<std::uint32_t>(data[1]) << 8) |
                                      (static_cast<std::uint32_t>(data[2]) << 16) |
                                      (static_cast<std::uint32_t>(data[3]) << 24);
            float value = 0.0F;
            std::memcpy(&value, &raw, sizeof value);
            const double scaled = static_cast<double>(value) * 32768.0 + 0.5;
            // Clamped before the conversion; NaN becomes silence.
            std::int16_t sample = 0;
            if (scaled >= 32767.0) {
                sample = 32767;
            } else if (scaled <= -32768.0) {
                sample = -32768;
            } else if (!std::isnan(scaled)) {
                sample = static_cast<std::int16_t>(std::floor(scaled));
            }
            out[i] = sample;
        }
        return;
    }
    switch (format.bitsPerSample) {
    case 8: // unsigned, 128 is silence
        for (std::size_t i = 0; i < sampleCount; ++i) {
            out[i] = static_cast<std::int16_t>((data[i] - 128) * 256);
        }
        break;
    case 16:
        for (std::size_t i = 0; i < sampleCount; ++i, data += 2) {
            out[i] =
                static_cast<std::int16_t>(static_cast<std::uint16_t>(data[0] | (data[1] << 8)));
        }
        break;
    case 24:
        for (std::size_t i = 0; i < sampleCount; ++i, data += 3) {
            const std::uint32_t raw = (static_cast<std::uint32_t>(data[0]) << 8) |
                                      (static_cast<std::uint32_t>(data[1]) << 16) |
                                      (static_cast<std::uint32_t>(data[2]) << 24);
            // To nearest, halves upward: add half a step, drop the low byte.
            const std::int64_t value = static_cast<std::int32_t>(raw) / 256;
            out[i] = Clamp16((value + 128) >> 8);
        }
        break;
    default: // 32
        for (std::size_t i = 0; i < sampleCount; ++i, data += 4) {
            const std::uint32_t raw = static_cast<std::uint32_t>(data[0]) |
                                      (static_cast<std::uint32_t>(data[1]) << 8) |
                                      (static_cast<std::uint32_t>(data[2]) << 16) |
                                      (static_cast<std::uint32_t>(data[3]) << 24);
            const std::int64_t value = static_cast<std::int32_t>(raw);
            out[i] = Clamp16((value + 32768) >> 16);
        }
        break;
    }
}

#include "WavFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::uint32_t ReadU16LE(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8);
}

std::uint32_t ReadU32LE(const std::uint8_t* bytes) {
    return ReadU16LE(bytes) | (ReadU16LE(bytes + 2) << 16);
}

void PutU16LE(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32LE(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    PutU16LE(bytes, value & 0xFFFF);
    PutU16LE(bytes, value >> 16);
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    std::uint8_t buffer[65536];
    bool ok = true;
    for (;;) {
        const std::size_t bytesRead = std::fread(buffer, 1, sizeof(buffer), file);
        bytes.insert(bytes.end(), buffer, buffer + bytesRead);
        if (bytesRead < sizeof(buffer)) {
            if (std::ferror(file)) {
                error = "read error";
                ok = false;
            }
            break;
        }
    }
    std::fclose(file);
    return ok;
}

} // namespace

bool ReadWavFile(const std::string& path, WavAudio& audio, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error)) {
        return false;
    }
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = "not a RIFF/WAVE file";
        return false;
    }
    WavAudio result;
    bool haveFormat = false;
    std::size_t offset = 12;
    while (bytes.size() - offset >= 8) {
        const std::uint8_t* chunk = bytes.data() + offset;
        const std::size_t chunkBytes = ReadU32LE(chunk + 4);
        const std::size_t bytesRemaining = bytes.size() - offset - 8;
        if (chunkBytes > bytesRemaining) {
            error = "chunk runs past the end of the file";
            return false;
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (chunkBytes < 16) {
                error = "format chunk too short";
                return false;
            }
            const std::uint32_t formatTag = ReadU16LE(chunk + 8);
            result.channelCount = static_cast<std::int32_t>(ReadU16LE(chunk + 10));
            const std::uint32_t sampleRate = ReadU32LE(chunk + 12);
            const std::uint32_t bitsPerSample = ReadU16LE(chunk + 22);
            if (formatTag != 1 || bitsPerSample != 16 || result.channelCount == 0 ||
                sampleRate == 0 || sampleRate > 0x7FFFFFFF) {
                error = "only 16-bit PCM is supported";
                return false;
            }
            result.sampleRate = static_cast<std::int32_t>(sampleRate);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "data chunk before the format chunk";
                return false;
            }
            const std::size_t frameBytes = 2 * static_cast<std::size_t>(result.channelCount);
            const std::size_t sampleCount = chunkBytes / frameBytes * result.channelCount;
            result.samples.resize(sampleCount);
            for (std::size_t i = 0; i < sampleCount; ++i) {
                const std::uint32_t word = ReadU16LE(chunk + 8 + 2 * i);
                result.samples[i] = static_cast<std::int16_t>(
                    word >= 0x8000 ? static_cast<std::int32_t>(word) - 0x10000
                                   : static_cast<std::int32_t>(word));
            }
            audio = std::move(result);
            return true;
        }
        offset += 8 + chunkBytes + (chunkBytes & 1);
        if (offset > bytes.size()) {
            break;
        }
    }
    error = "no data chunk";
    return false;
}

bool WriteWavFile(const std::string& path, const WavAudio& audio, std::string& error) {
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(audio.samples.size() * 2);
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(audio.channelCount) * 2;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(44 + dataBytes);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    PutU32LE(bytes, 36 + dataBytes);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutU32LE(bytes, 16);
    PutU16LE(bytes, 1); // PCM
    PutU16LE(bytes, static_cast<std::uint32_t>(audio.channelCount));
    PutU32LE(bytes, static_cast<std::uint32_t>(audio.sampleRate));
    PutU32LE(bytes, static_cast<std::uint32_t>(audio.sampleRate) * blockAlign);
    PutU16LE(bytes, blockAlign);
    PutU16LE(bytes, 16);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    PutU32LE(bytes, dataBytes);
    for (const std::int16_t sample : audio.samples) {
        PutU16LE(bytes, static_cast<std::uint16_t>(sample));
    }

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "write error";
        return false;
    }
    return true;
}

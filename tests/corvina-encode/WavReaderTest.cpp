// The WAV reader on files built byte by byte: every sample format it takes,
// with the rounding to 16 bits, the smpl loop, and every refusal with its
// words.
#include "WavReader.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& bytes, std::uint32_t value) {
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

Bytes Chunk(const char* id, const Bytes& body, std::uint32_t declaredBytes = 0xFFFFFFF0) {
    Bytes chunk(id, id + 4);
    Put32(chunk,
          declaredBytes == 0xFFFFFFF0 ? static_cast<std::uint32_t>(body.size()) : declaredBytes);
    chunk.insert(chunk.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) {
        chunk.push_back(0);
    }
    return chunk;
}

// A fmt chunk body; an extensible one when `subformat` is non-zero.
Bytes Format(std::uint32_t tag, std::uint32_t channels, std::uint32_t bits,
             std::uint32_t subformat = 0, std::uint32_t rate = 8000) {
    Bytes body;
    Put16(body, subformat != 0 ? 0xFFFE : tag);
    Put16(body, channels);
    Put32(body, rate);
    Put32(body, rate * channels * bits / 8);
    Put16(body, channels * bits / 8);
    Put16(body, bits);
    if (subformat != 0) {
        Put16(body, 22);
        Put16(body, bits);
        Put32(body, channels == 1 ? 4 : 3);
        Put32(body, subformat);
        const std::uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                       0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        body.insert(body.end(), tail, tail + 12);
    }
    return body;
}

Bytes Sampler(std::uint32_t loopCount, std::uint32_t start, std::uint32_t end) {
    Bytes body(28, 0);
    Put32(body, loopCount);
    Put32(body, 0);
    for (std::uint32_t i = 0; i < loopCount; ++i) {
        Put32(body, i);
        Put32(body, 0);
        Put32(body, start);
        Put32(body, end);
        Put32(body, 0);
        Put32(body, 0);
    }
    return body;
}

Bytes Prefix(const Bytes& bytes, std::size_t byteCount) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(byteCount));
}

Bytes Riff(const std::vector<Bytes>& chunks, std::uint32_t declaredBytes = 0xFFFFFFF0) {
    Bytes body = {'W', 'A', 'V', 'E'};
    for (const Bytes& chunk : chunks) {
        body.insert(body.end(), chunk.begin(), chunk.end());
    }
    Bytes file = {'R', 'I', 'F', 'F'};
    Put32(file,
          declaredBytes == 0xFFFFFFF0 ? static_cast<std::uint32_t>(body.size()) : declaredBytes);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

Bytes Wav(const Bytes& format, const Bytes& data) {
    return Riff({Chunk("fmt ", format), Chunk("data", data)});
}

const Bytes kPcm16 = {0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0xFF, 0xFF};
const std::vector<std::int16_t> kPcm16Samples = {1, 32767, -32768, -1};
const Bytes kFloats = {0x00, 0x00, 0x00, 0x3F,  // 0.5
                       0x00, 0x00, 0x80, 0xBF,  // -1.0
                       0x00, 0x00, 0xC0, 0x3F,  // 1.5: clamped
                       0x00, 0x00, 0xC0, 0x7F,  // NaN: silence
                       0x00, 0x00, 0x00, 0x38}; // 2^-15 = half a step: upward

struct GoodCase {
    const char* name;
    Bytes file;
    std::vector<std::int16_t> samples;
    std::int32_t channelCount;
    const char* loop; // "START:END", or empty for none
};

TEST(WavReaderTest, ReadsEveryFormatRoundedTo16Bits) {
    const Bytes mono16 = Format(1, 1, 16);
    const GoodCase cases[] = {
        {"16-bit mono", Wav(mono16, kPcm16), kPcm16Samples, 1, ""},
        {"16-bit stereo", Wav(Format(1, 2, 16), kPcm16), kPcm16Samples, 2, ""},
        {"8-bit unsigned",
         Wav(Format(1, 1, 8), {0x80, 0x00, 0xFF, 0x81}),
         {0, -32768, 32512, 256},
         1,
         ""},
        // 0x123480 rounds up (a half), 0x12347F down, the ends clamp.
        {"24-bit rounded",
         Wav(Format(1, 1, 24), {0x80, 0x34, 0x12, 0x7F, 0x34, 0x12, 0xFF, 0xFF, 0x7F, 0, 0, 0x80}),
         {0x1235, 0x1234, 32767, -32768},
         1,
         ""},
        {"32-bit rounded",
         Wav(Format(1, 1, 32), {0x00, 0x80, 0x34, 0x12, 0xFF, 0x7F, 0x34, 0x12}),
         {0x1235, 0x1234},
         1,
         ""},
        {"32-bit float", Wav(Format(3, 1, 32), kFloats), {16384, -32768, 32767, 0, 1}, 1, ""},
        {"extensible PCM", Wav(Format(0, 2, 16, 1), kPcm16), kPcm16Samples, 2, ""},
        {"extensible float", Wav(Format(0, 1, 32, 3), Prefix(kFloats, 4)), {16384}, 1, ""},
        // dwEnd is the last sample played: the end is one past it.
        {"smpl after the data",
         Riff({Chunk("fmt ", mono16), Chunk("data", kPcm16), Chunk("smpl", Sampler(2, 1, 2))}),
         kPcm16Samples, 1, "1:3"},
        {"smpl before, an odd chunk padded",
         Riff({Chunk("fmt ", mono16), Chunk("smpl", Sampler(1, 0, 3)), Chunk("LIST", {1, 2, 3}),
               Chunk("data", kPcm16)}),
         kPcm16Samples, 1, "0:4"},
        {"smpl without loops",
         Riff({Chunk("fmt ", mono16), Chunk("smpl", Sampler(0, 0, 0)), Chunk("data", kPcm16)}),
         kPcm16Samples, 1, ""},
        // Streamed WAV (sizes unknown): the data runs to the end of the file.
        {"streamed sizes",
         Riff({Chunk("fmt ", mono16), Chunk("data", kPcm16, 0xFFFFFFFF)}, 0xFFFFFFFF),
         kPcm16Samples, 1, ""},
    };
    for (const GoodCase& test : cases) {
        SCOPED_TRACE(test.name);
        WavReader reader(test.file.data(), test.file.size());
        WavAudio audio;
        ASSERT_EQ(reader.Read(audio), WavStatus::kOk) << reader.Problem();
        EXPECT_EQ(audio.channelCount, test.channelCount);
        EXPECT_EQ(audio.sampleRate, 8000);
        ASSERT_EQ(audio.samples.size(), test.samples.size());
        for (std::size_t i = 0; i < test.samples.size(); ++i) {
            ASSERT_EQ(audio.samples[i], test.samples[i]) << "first mismatch at sample " << i;
        }
        const std::string loop = audio.loop ? std::to_string(audio.loop->startSample) + ":" +
                                                  std::to_string(audio.loop->endSample)
                                            : std::string();
        EXPECT_EQ(loop, test.loop);
    }
}

struct BadCase {
    const char* name;
    Bytes file;
    WavStatus status;
    const char* problem;
};

TEST(WavReaderTest, RefusesInWords) {
    const Bytes mono16 = Format(1, 1, 16);
    const std::string formats = "; PCM of 8, 16, 24 or 32 bits and 32-bit float can be encoded";
    const std::string alaw = "unsupported sample format (format tag 6, 8 bits)" + formats;
    const std::string twelveBits = "unsupported sample format (format tag 1, 12 bits)" + formats;
    const std::string doubles = "unsupported sample format (format tag 3, 64 bits)" + formats;
    const std::string other = "unsupported sample format (format tag 146, 16 bits)" + formats;
    const BadCase cases[] = {
        {"not RIFF", Bytes(64, 'x'), WavStatus::kNotWav, "not a WAV file (no RIFF/WAVE header)"},
        {"too short for RIFF", Bytes{'R', 'I', 'F', 'F'}, WavStatus::kNotWav,
         "not a WAV file (no RIFF/WAVE header)"},
        {"no fmt", Riff({Chunk("data", kPcm16)}), WavStatus::kNotWav,
         "not a WAV file (no fmt chunk)"},
        {"no data", Riff({Chunk("fmt ", mono16)}), WavStatus::kNotWav,
         "not a WAV file (no data chunk)"},
        {"data cut short", Riff({Chunk("fmt ", mono16), Chunk("data", kPcm16, 100)}),
         WavStatus::kTruncated, "truncated: the data chunk holds 8 of its 100 bytes (92 missing)"},
        {"fmt cut short", Riff({Chunk("fmt ", Bytes(10, 0), 16)}), WavStatus::kTruncated,
         "truncated: the fmt  chunk is cut short"},
        {"fmt too small", Riff({Chunk("fmt ", Bytes(14, 0)), Chunk("data", kPcm16)}),
         WavStatus::kTruncated, "truncated: the fmt chunk holds 14 of 16 bytes"},
        {"extensible too small",
         Riff({Chunk("fmt ", Prefix(Format(0, 1, 16, 1), 30)), Chunk("data", kPcm16)}),
         WavStatus::kTruncated, "truncated: the extensible fmt chunk holds 30 of 40 bytes"},
        {"partial frame", Wav(Format(1, 2, 16), Prefix(kPcm16, 6)), WavStatus::kTruncated,
         "truncated: the data ends inside a sample frame (2 stray bytes)"},
        {"smpl too small",
         Riff({Chunk("fmt ", mono16), Chunk("smpl", Bytes(20, 0)), Chunk("data", kPcm16)}),
         WavStatus::kTruncated, "truncated: the smpl chunk holds 20 of 36 bytes"},
        {"smpl without its loop",
         Riff({Chunk("fmt ", mono16), Chunk("smpl", Prefix(Sampler(1, 0, 1), 40)),
               Chunk("data", kPcm16)}),
         WavStatus::kTruncated, "truncated: the smpl chunk counts loops it does not hold"},
        {"six channels", Wav(Format(1, 6, 16), Bytes(12, 0)), WavStatus::kUnsupported,
         "unsupported: it has 6 channels; mono and stereo can be encoded"},
        {"12-bit", Wav(Format(1, 1, 12), Bytes(12, 0)), WavStatus::kUnsupported,
         twelveBits.c_str()},
        {"64-bit float", Wav(Format(3, 1, 64), Bytes(16, 0)), WavStatus::kUnsupported,
         doubles.c_str()},
        {"A-law", Wav(Format(6, 1, 8), Bytes(4, 0)), WavStatus::kUnsupported, alaw.c_str()},
        {"extensible of another kind", Wav(Format(0, 1, 16, 0x92), kPcm16), WavStatus::kUnsupported,
         other.c_str()},
        {"rate 0", Wav(Format(1, 1, 16, 0, 0), kPcm16), WavStatus::kUnsupported,
         "unsupported sample rate 0 Hz"},
        {"empty", Wav(mono16, {}), WavStatus::kEmpty, "no samples: the data chunk is empty"},
    };
    for (const BadCase& test : cases) {
        SCOPED_TRACE(test.name);
        WavReader reader(test.file.data(), test.file.size());
        WavAudio audio;
        EXPECT_EQ(reader.Read(audio), test.status);
        EXPECT_EQ(reader.Problem(), test.problem);
    }
}

// More frames than a header counts: an 8-bit mono stream of 2^31 frames,
// its sizes unknown (streamed), in memory that is never touched past the
// header, since the count is checked before any sample is read.
TEST(WavReaderTest, RefusesMoreFramesThanAHeaderCounts) {
    const std::size_t frameCount = std::size_t{1} << 31;
    Bytes header =
        Riff({Chunk("fmt ", Format(1, 1, 8)), Chunk("data", {}, 0xFFFFFFFF)}, 0xFFFFFFFF);
    const std::size_t fileBytes = header.size() + frameCount;
    void* memory = mmap(nullptr, fileBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* bytes = static_cast<std::uint8_t*>(memory);
    std::copy(header.begin(), header.end(), bytes);
    WavReader reader(bytes, fileBytes);
    WavAudio audio;
    EXPECT_EQ(reader.Read(audio), WavStatus::kTooLong);
    EXPECT_EQ(reader.Problem(),
              "too long: 2147483648 sample frames; an ADX stream holds at most 2147483647");
    munmap(memory, fileBytes);
}

} // namespace

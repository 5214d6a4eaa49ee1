#include "adx/AdxHeader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The fields of a header to build; bytes are only written where they lie
// inside the length, so that a header can be made as short as a case needs.
struct HeaderFields {
    std::int32_t length = 0x32;
    std::uint8_t encodingType = 3;
    std::uint8_t blockSize = 18;
    std::uint8_t bitsPerSample = 4;
    std::uint8_t channelCount = 2;
    std::uint32_t sampleRate = 44100;
    std::uint32_t totalSamples = 123456;
    std::uint16_t cutoff = 500;
    std::uint8_t versionByte = 3;
    std::uint8_t flags = 0;
};

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value,
         std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t at = offset + i;
        if (at < bytes.size()) {
            bytes[at] = static_cast<std::uint8_t>(value >> (8 * (size - 1 - i)));
        }
    }
}

// Exactly `length` bytes, so that a read past the end trips AddressSanitizer.
std::vector<std::uint8_t> BuildHeader(const HeaderFields& fields) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fields.length), 0);
    Put(bytes, 0, 0x80, 1);
    Put(bytes, 1, static_cast<std::uint32_t>(fields.length - 4), 3);
    Put(bytes, 0x04, fields.encodingType, 1);
    Put(bytes, 0x05, fields.blockSize, 1);
    Put(bytes, 0x06, fields.bitsPerSample, 1);
    Put(bytes, 0x07, fields.channelCount, 1);
    Put(bytes, 0x08, fields.sampleRate, 4);
    Put(bytes, 0x0C, fields.totalSamples, 4);
    Put(bytes, 0x10, fields.cutoff, 2);
    Put(bytes, 0x12, fields.versionByte, 1);
    Put(bytes, 0x13, fields.flags, 1);
    if (fields.length >= 6) {
        std::memcpy(bytes.data() + fields.length - 6, "(c)CRI", 6);
    }
    return bytes;
}

// A loop record at offset. The start trim is the presence word's second
// byte, so it is only written into a present record.
void PutLoop(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t presence,
             const AdxLoopPoint& loop) {
    Put(bytes, offset, presence, 4);
    if (presence != 0) {
        Put(bytes, offset + 1, static_cast<std::uint32_t>(loop.startTrim), 1);
    }
    Put(bytes, offset + 5, static_cast<std::uint32_t>(loop.endTrim), 1);
    Put(bytes, offset + 8, static_cast<std::uint32_t>(loop.startSample), 4);
    Put(bytes, offset + 12, static_cast<std::uint32_t>(loop.startByte), 4);
    Put(bytes, offset + 16, static_cast<std::uint32_t>(loop.endSample), 4);
    Put(bytes, offset + 20, static_cast<std::uint32_t>(loop.endByte), 4);
}

int Parse(const std::vector<std::uint8_t>& bytes, AdxHeader& out) {
    return ParseAdxHeader(static_cast<std::int32_t>(bytes.size()), bytes.data(), out);
}

bool SameLoop(const AdxLoopPoint& a, const AdxLoopPoint& b) {
    return a.startSample == b.startSample && a.startByte == b.startByte &&
           a.startTrim == b.startTrim && a.endSample == b.endSample && a.endByte == b.endByte &&
           a.endTrim == b.endTrim;
}

const AdxLoopPoint kLoopA{1000, 0x1234, 7, 50000, 0x5678, 9};
const AdxLoopPoint kLoopB{-2, -0x10, 255, 0x7FFFFFFF, static_cast<std::int32_t>(0x80000000u), 0};

TEST(AdxHeaderLength, AnswersTheLengthOrNotAdx) {
    struct Case {
        std::uint8_t prefix[4];
        std::optional<std::int32_t> expected;
    };
    const Case cases[] = {
        {{0x80, 0x00, 0x00, 0x1C}, 0x20},         {{0x80, 0x00, 0x01, 0xFC}, 0x200},
        {{0x80, 0xFF, 0xFF, 0xFF}, 0x1000003},    {{0x80, 0x00, 0x00, 0x00}, 4},
        {{0x00, 0x00, 0x00, 0x1C}, std::nullopt}, {{0x81, 0x00, 0x00, 0x1C}, std::nullopt},
        {{'R', 'I', 'F', 'F'}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AdxHeaderLength(c.prefix), c.expected) << "prefix byte 0 " << int(c.prefix[0]);
    }
}

TEST(ParseAdxHeader, FillsEveryFieldOfAVersion3Header) {
    HeaderFields fields;
    fields.sampleRate = 44100;
    fields.totalSamples = 0xFFFFFFFF; // taken as read: -1
    std::vector<std::uint8_t> bytes = BuildHeader(fields);
    PutLoop(bytes, 0x14, 0x00070001, kLoopA);

    AdxHeader header;
    ASSERT_EQ(Parse(bytes, header), kAdxHeaderAccepted);
    EXPECT_EQ(header.version, 3);
    EXPECT_EQ(header.blockSize, 18);
    EXPECT_EQ(header.bitsPerSample, 4);
    EXPECT_EQ(header.samplesPerBlock, 32);
    EXPECT_EQ(header.channelCount, 2);
    EXPECT_EQ(header.sampleRate, 44100);
    EXPECT_EQ(header.dataOffset, 0x32);
    EXPECT_EQ(header.totalSamples, -1);
    EXPECT_EQ(header.extraWords, (std::array<std::uint16_t, 4>{}));
    EXPECT_EQ(header.coef1, 7334);
    EXPECT_EQ(header.coef2, -3283);
    ASSERT_EQ(header.loops.size(), 1u);
    EXPECT_TRUE(SameLoop(header.loops[0], kLoopA));
}

TEST(ParseAdxHeader, Version4ReadsHistoryWordsAndTheTableAt0x20) {
    HeaderFields fields;
    fields.length = 0x20 + 3 * 24 + 6;
    fields.versionByte = 4;
    std::vector<std::uint8_t> bytes = BuildHeader(fields);
    Put(bytes, 0x14, 0xDEADBEEF, 4); // not read
    Put(bytes, 0x18, 0x0102, 2);
    Put(bytes, 0x1A, 0xFFFE, 2);
    Put(bytes, 0x1C, 0x8000, 2);
    Put(bytes, 0x1E, 0x7FFF, 2);
    PutLoop(bytes, 0x20, 0x01000000, kLoopA);
    PutLoop(bytes, 0x38, 0x00000001, kLoopB);
    PutLoop(bytes, 0x50, 0, kLoopA); // presence word zero: the end

    AdxHeader header;
    ASSERT_EQ(Parse(bytes, header), kAdxHeaderAccepted);
    EXPECT_EQ(header.version, 4);
    EXPECT_EQ(header.extraWords, (std::array<std::uint16_t, 4>{0x0102, 0xFFFE, 0x8000, 0x7FFF}));
    ASSERT_EQ(header.loops.size(), 2u);
    EXPECT_TRUE(SameLoop(header.loops[0], kLoopA));
    EXPECT_TRUE(SameLoop(header.loops[1], kLoopB));
}

TEST(ParseAdxHeader, LoopTableWalkStopsAtZeroPresenceOrTheMarker) {
    struct Case {
        const char* name;
        std::uint8_t versionByte;
        std::int32_t length;
        std::vector<std::uint32_t> presenceWords; // one per record slot from the table start
        std::size_t expectedLoops;
    };
    const Case cases[] = {
        // The marker at 0x1A-0x1F: a record at 0x14 would end at 0x2C.
        {"v3 record overlapping the marker", 3, 0x20, {0xFFFFFFFF}, 0},
        // One record ends exactly at the marker; the next would run past it
        // even though the bytes where its presence word would be are the
        // marker itself (non-zero).
        {"v3 record ending at the marker", 3, 0x32, {1}, 1},
        {"v3 zero presence word ends the table", 3, 0x14 + 3 * 24 + 6, {1, 0, 1}, 1},
        {"v3 first presence word zero", 3, 0x14 + 2 * 24 + 6, {0, 1}, 0},
        {"v3 table filling the header", 3, 0x14 + 4 * 24 + 6, {1, 2, 3, 4}, 4},
        {"v3 marker right after the fixed fields", 3, 0x1A, {}, 0},
        {"v4 record overlapping the marker", 4, 0x26, {0xFFFFFFFF}, 0},
        // The marker ends at 0x1F: a presence word at 0x20 would lie past
        // the header's last byte and must not be read.
        {"v4 marker right after the history words", 4, 0x20, {}, 0},
        {"v4 two records, room left", 4, 0x20 + 5 * 24 + 6, {1, 1, 0}, 2},
    };
    for (const Case& c : cases) {
        HeaderFields fields;
        fields.length = c.length;
        fields.versionByte = c.versionByte;
        std::vector<std::uint8_t> bytes = BuildHeader(fields);
        const std::size_t tableStart = c.versionByte == 4 ? 0x20 : 0x14;
        for (std::size_t i = 0; i < c.presenceWords.size(); ++i) {
            AdxLoopPoint loop = kLoopA;
            loop.startSample = static_cast<std::int32_t>(i);
            PutLoop(bytes, tableStart + 24 * i, c.presenceWords[i], loop);
        }
        std::memcpy(bytes.data() + c.length - 6, "(c)CRI", 6);

        AdxHeader header;
        ASSERT_EQ(Parse(bytes, header), kAdxHeaderAccepted) << c.name;
        ASSERT_EQ(header.loops.size(), c.expectedLoops) << c.name;
        for (std::size_t i = 0; i < header.loops.size(); ++i) {
            EXPECT_EQ(header.loops[i].startSample, static_cast<std::int32_t>(i)) << c.name;
        }
    }
}

TEST(ParseAdxHeader, VersionWordCases) {
    struct Case {
        std::uint8_t versionByte;
        std::uint8_t flags;
        std::int32_t expectedVersion;
        bool expectLoops;
        bool expectWords;
    };
    const Case cases[] = {
        {3, 0x00, 3, true, false},  {4, 0x00, 4, true, true},        {4, 0x08, 4, false, false},
        {3, 0x01, 3, false, false}, {5, 0x00, 5, false, false},      {2, 0x00, 2, false, false},
        {0, 0x00, 0, false, false}, {0xFF, 0xFF, 255, false, false},
    };
    for (const Case& c : cases) {
        HeaderFields fields;
        fields.length = 0x80;
        fields.versionByte = c.versionByte;
        fields.flags = c.flags;
        std::vector<std::uint8_t> bytes = BuildHeader(fields);
        Put(bytes, 0x18, 0x11112222, 4);
        Put(bytes, 0x1C, 0x33334444, 4);
        // A present record in both table positions (0x14 overlaps the v4
        // words; only the v3 walk reads it there).
        PutLoop(bytes, 0x20, 1, kLoopA);
        Put(bytes, 0x14, 0x00000001, 4);

        AdxHeader header;
        const std::string name = "version word " + std::to_string(c.versionByte * 256 + c.flags);
        ASSERT_EQ(Parse(bytes, header), kAdxHeaderAccepted) << name;
        EXPECT_EQ(header.version, c.expectedVersion) << name;
        EXPECT_EQ(!header.loops.empty(), c.expectLoops) << name;
        EXPECT_EQ(header.extraWords != (std::array<std::uint16_t, 4>{}), c.expectWords) << name;
    }
}

TEST(ParseAdxHeader, SamplesPerBlockTruncates) {
    struct Case {
        std::uint8_t blockSize;
        std::uint8_t bitsPerSample;
        std::int32_t expected;
    };
    const Case cases[] = {{18, 4, 32}, {18, 5, 25}, {3, 8, 1}, {255, 1, 2024}, {33, 16, 15}};
    for (const Case& c : cases) {
        HeaderFields fields;
        fields.blockSize = c.blockSize;
        fields.bitsPerSample = c.bitsPerSample;
        AdxHeader header;
        ASSERT_EQ(Parse(BuildHeader(fields), header), kAdxHeaderAccepted);
        EXPECT_EQ(header.samplesPerBlock, c.expected)
            << int(c.blockSize) << " bytes at " << int(c.bitsPerSample) << " bits";
    }
}

// Every rejected header leaves the record's loops empty and its other fields
// as they were.
TEST(ParseAdxHeader, RejectedHeadersLeaveTheRecordAlone) {
    struct Case {
        const char* name;
        HeaderFields fields;
        const char* marker; // written at length - 6 when the length allows
    };
    auto with = [](auto change) {
        HeaderFields fields;
        change(fields);
        return fields;
    };
    const Case cases[] = {
        {"encoding type 2", with([](HeaderFields& f) { f.encodingType = 2; }), "(c)CRI"},
        {"marker differs", with([](HeaderFields&) {}), "(C)CRI"},
        {"marker's last byte missing", with([](HeaderFields&) {}), "(c)CR\0"},
        {"length below the fixed fields", with([](HeaderFields& f) { f.length = 0x13; }), "(c)CRI"},
        {"length 6: the marker alone", with([](HeaderFields& f) { f.length = 6; }), "(c)CRI"},
        {"length 0", with([](HeaderFields& f) { f.length = 0; }), nullptr},
        {"v4 without room for its words", with([](HeaderFields& f) {
             f.versionByte = 4;
             f.length = 0x1F;
         }),
         "(c)CRI"},
        {"0 bits per sample", with([](HeaderFields& f) { f.bitsPerSample = 0; }), "(c)CRI"},
        {"0 channels", with([](HeaderFields& f) { f.channelCount = 0; }), "(c)CRI"},
        {"block size 0", with([](HeaderFields& f) { f.blockSize = 0; }), "(c)CRI"},
        {"block size 2", with([](HeaderFields& f) { f.blockSize = 2; }), "(c)CRI"},
        {"no whole sample in a block", with([](HeaderFields& f) {
             f.blockSize = 3;
             f.bitsPerSample = 9;
         }),
         "(c)CRI"},
        {"sample rate 0", with([](HeaderFields& f) { f.sampleRate = 0; }), "(c)CRI"},
        {"negative sample rate", with([](HeaderFields& f) { f.sampleRate = 0x80000000u; }),
         "(c)CRI"},
    };

    // A good header with loop records parsed first.
    HeaderFields goodFields;
    goodFields.channelCount = 1;
    goodFields.sampleRate = 22050;
    std::vector<std::uint8_t> good = BuildHeader(goodFields);
    PutLoop(good, 0x14, 1, kLoopB);
    AdxHeader before;
    ASSERT_EQ(Parse(good, before), kAdxHeaderAccepted);
    ASSERT_EQ(before.loops.size(), 1u);

    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = BuildHeader(c.fields);
        if (c.marker != nullptr && c.fields.length >= 6) {
            std::memcpy(bytes.data() + c.fields.length - 6, c.marker, 6);
        }
        AdxHeader header = before;
        EXPECT_EQ(Parse(bytes, header), kAdxHeaderRejected) << c.name;
        EXPECT_TRUE(header.loops.empty()) << c.name;
        EXPECT_EQ(header.sampleRate, 22050) << c.name;
        EXPECT_EQ(header.channelCount, 1) << c.name;
        EXPECT_EQ(header.coef1, before.coef1) << c.name;
        EXPECT_EQ(header.dataOffset, before.dataOffset) << c.name;
        EXPECT_EQ(header.version, before.version) << c.name;
    }
}

TEST(ParseAdxHeader, NegativeLengthIsRejected) {
    const std::uint8_t bytes[1] = {0x80};
    AdxHeader header;
    header.loops.resize(3);
    EXPECT_EQ(ParseAdxHeader(-1, bytes, header), kAdxHeaderRejected);
    EXPECT_TRUE(header.loops.empty());
}

TEST(ParseAdxHeader, ASecondHeaderReplacesTheLoopRecords) {
    HeaderFields fields;
    fields.length = 0x14 + 2 * 24 + 6;
    std::vector<std::uint8_t> twoLoops = BuildHeader(fields);
    PutLoop(twoLoops, 0x14, 1, kLoopA);
    PutLoop(twoLoops, 0x2C, 1, kLoopB);
    std::vector<std::uint8_t> noLoops = BuildHeader(HeaderFields{});

    AdxHeader header;
    ASSERT_EQ(Parse(twoLoops, header), kAdxHeaderAccepted);
    ASSERT_EQ(header.loops.size(), 2u);
    ASSERT_EQ(Parse(noLoops, header), kAdxHeaderAccepted);
    EXPECT_TRUE(header.loops.empty());
}

} // namespace

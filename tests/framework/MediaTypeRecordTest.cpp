// MediaTypeRecord operations and the free media-type helpers.
#include "CountingFakes.h"

#include "framework/media/MediaTypeRecord.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <uuids.h>

#include <cstring>

namespace {

const BYTE kBlock[4] = {1, 2, 3, 4};

// Audio / PCM / WAVEFORMATEX with the 4-byte block above.
void MakeConcrete(MediaTypeRecord& type) {
    type.SetMajorType(MEDIATYPE_Audio);
    type.SetSubtype(MEDIASUBTYPE_PCM);
    type.SetFormatType(FORMAT_WaveFormatEx);
    ASSERT_TRUE(type.SetFormat(kBlock, sizeof(kBlock)));
}

TEST(MediaTypeRecord, IsPartial) {
    struct Case {
        GUID major, sub, format;
        bool partial;
    };
    const Case cases[] = {
        {MEDIATYPE_Audio, GUID_NULL, FORMAT_WaveFormatEx, false}, // no subtype is fine
        {MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, false},
        {MEDIATYPE_Audio, MEDIASUBTYPE_PCM, GUID_NULL, true},
        {GUID_NULL, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, true},
        {GUID_NULL, GUID_NULL, GUID_NULL, true},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        MediaTypeRecord type;
        type.SetMajorType(cases[i].major);
        type.SetSubtype(cases[i].sub);
        type.SetFormatType(cases[i].format);
        EXPECT_EQ(type.IsPartial(), cases[i].partial) << "case " << i;
    }
}

TEST(MediaTypeRecord, MatchesPattern) {
    MediaTypeRecord concrete;
    MakeConcrete(concrete);
    const BYTE otherBlock[4] = {1, 2, 3, 5};
    struct Case {
        const char* what;
        GUID major, sub, format;
        const BYTE* block;
        ULONG blockBytes;
        bool matches;
    };
    const Case cases[] = {
        {"all GUID_NULL", GUID_NULL, GUID_NULL, GUID_NULL, nullptr, 0, true},
        {"major only", MEDIATYPE_Audio, GUID_NULL, GUID_NULL, nullptr, 0, true},
        {"wrong major", MEDIATYPE_Video, GUID_NULL, GUID_NULL, nullptr, 0, false},
        {"wrong subtype", GUID_NULL, MEDIASUBTYPE_MPEG1Audio, GUID_NULL, nullptr, 0, false},
        {"no format type ignores the block", GUID_NULL, GUID_NULL, GUID_NULL, otherBlock, 4, true},
        {"format type with the same block", GUID_NULL, GUID_NULL, FORMAT_WaveFormatEx, kBlock, 4,
         true},
        {"format type with another block", GUID_NULL, GUID_NULL, FORMAT_WaveFormatEx, otherBlock, 4,
         false},
        {"format type with an empty block", GUID_NULL, GUID_NULL, FORMAT_WaveFormatEx, nullptr, 0,
         false},
        {"wrong format type", GUID_NULL, GUID_NULL, FORMAT_VideoInfo, kBlock, 4, false},
    };
    for (const Case& c : cases) {
        MediaTypeRecord pattern;
        pattern.SetMajorType(c.major);
        pattern.SetSubtype(c.sub);
        pattern.SetFormatType(c.format);
        if (c.blockBytes != 0) {
            ASSERT_TRUE(pattern.SetFormat(c.block, c.blockBytes));
        }
        EXPECT_EQ(concrete.MatchesPattern(pattern), c.matches) << c.what;
    }

    // A pattern naming a format type with an empty block matches only types
    // of that format type with an empty block.
    MediaTypeRecord emptyBlock, pattern;
    emptyBlock.SetMajorType(MEDIATYPE_Audio);
    emptyBlock.SetFormatType(FORMAT_WaveFormatEx);
    pattern.SetFormatType(FORMAT_WaveFormatEx);
    EXPECT_TRUE(emptyBlock.MatchesPattern(pattern));
}

TEST(MediaTypeRecord, EqualsIgnoresSampleSizeTemporalCompressionAndPUnk) {
    FakePin attached;
    MediaTypeRecord left, right;
    MakeConcrete(left);
    MakeConcrete(right);
    right.SetSampleSize(4096);
    right.bTemporalCompression = TRUE;
    right.pUnk = &attached;
    attached.AddRef();
    EXPECT_TRUE(left.Equals(right));
    EXPECT_TRUE(left == right);

    right.pbFormat[3] = 9;
    EXPECT_FALSE(left.Equals(right)) << "block bytes differ";
    EXPECT_TRUE(left != right);
    ASSERT_TRUE(right.SetFormat(kBlock, 3));
    EXPECT_FALSE(left.Equals(right)) << "block sizes differ";
    ASSERT_TRUE(right.SetFormat(kBlock, 4));
    right.SetSubtype(MEDIASUBTYPE_MPEG1Audio);
    EXPECT_FALSE(left.Equals(right)) << "subtypes differ";
}

TEST(MediaTypeRecord, SetSampleSizeZeroKeepsTheSize) {
    MediaTypeRecord type;
    type.SetSampleSize(4);
    EXPECT_EQ(type.bFixedSizeSamples, TRUE);
    EXPECT_EQ(type.lSampleSize, 4u);
    type.SetSampleSize(0);
    EXPECT_EQ(type.bFixedSizeSamples, FALSE);
    EXPECT_EQ(type.lSampleSize, 4u);
}

TEST(MediaTypeRecord, ReserveAndSetFormatCorners) {
    MediaTypeRecord type;
    EXPECT_EQ(type.ReserveFormat(0), nullptr) << "no block asked, none there";
    EXPECT_EQ(type.SetFormat(kBlock, 0), FALSE);

    BYTE* block = type.ReserveFormat(4);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(type.cbFormat, 4u);
    EXPECT_EQ(type.ReserveFormat(4), block) << "same size keeps the block";
    EXPECT_EQ(type.ReserveFormat(0), block) << "size 0 keeps the block";
    EXPECT_EQ(type.cbFormat, 4u);
    EXPECT_EQ(type.SetFormat(kBlock, 0), TRUE);

    ASSERT_TRUE(type.SetFormat(kBlock, 3));
    EXPECT_EQ(type.cbFormat, 3u);
    EXPECT_EQ(std::memcmp(type.pbFormat, kBlock, 3), 0);
}

TEST(MediaTypeRecord, AssignCopiesDeeplyAndToItselfChangesNothing) {
    FakePin attached;
    MediaTypeRecord source;
    MakeConcrete(source);
    source.pUnk = &attached;
    attached.AddRef();

    BYTE* const block = source.pbFormat;
    EXPECT_EQ(source.Assign(source), S_OK);
    EXPECT_EQ(source.pbFormat, block);
    EXPECT_EQ(std::memcmp(source.pbFormat, kBlock, 4), 0);
    EXPECT_EQ(attached.references, 1);

    {
        MediaTypeRecord copy;
        ASSERT_TRUE(copy.SetFormat(kBlock, 2)); // replaced without a leak
        EXPECT_EQ(copy.Assign(source), S_OK);
        EXPECT_TRUE(copy.Equals(source));
        EXPECT_NE(copy.pbFormat, source.pbFormat) << "a block of its own";
        EXPECT_EQ(attached.references, 2) << "a pUnk reference of its own";
    }
    EXPECT_EQ(attached.references, 1) << "destruction released the copy's pUnk";
    ReleaseContents(&source);
    EXPECT_EQ(attached.references, 0);
    EXPECT_EQ(source.cbFormat, 0u);
    EXPECT_EQ(source.pbFormat, nullptr);
}

TEST(MediaTypeRecord, TaskMemoryHelpers) {
    FakePin attached;
    MediaTypeRecord source;
    MakeConcrete(source);
    source.pUnk = &attached;
    attached.AddRef();

    auto* handed = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    ASSERT_EQ(DeepCopyMediaType(handed, &source), S_OK);
    EXPECT_EQ(attached.references, 2);
    FreeTaskMediaType(handed);
    EXPECT_EQ(attached.references, 1);
    FreeTaskMediaType(nullptr);

    // A peer's type that claims a block it does not have is not read.
    AM_MEDIA_TYPE broken = source;
    broken.pbFormat = nullptr;
    broken.pUnk = nullptr;
    AM_MEDIA_TYPE copy;
    EXPECT_EQ(DeepCopyMediaType(&copy, &broken), E_POINTER);
    EXPECT_EQ(copy.cbFormat, 0u);
    EXPECT_EQ(copy.pbFormat, nullptr);

    LPWSTR text = nullptr;
    EXPECT_EQ(MakeTaskString(L"Input", nullptr), E_POINTER);
    ASSERT_EQ(MakeTaskString(L"Input", &text), S_OK);
    EXPECT_STREQ(text, L"Input");
    CoTaskMemFree(text);
    ASSERT_EQ(MakeTaskString(nullptr, &text), S_OK);
    EXPECT_STREQ(text, L"");
    CoTaskMemFree(text);
}

} // namespace

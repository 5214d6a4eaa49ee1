// The archive builder's layout, read back independently: the skerrin cases
// and later graph tests rely on it placing every byte where its table says.
#include "AfsBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

uint32_t ReadUint32Le(const std::vector<uint8_t>& bytes, size_t offset) {
    EXPECT_LE(offset + 4, bytes.size());
    if (offset + 4 > bytes.size()) {
        return 0;
    }
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
           uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
}

struct LayoutCase {
    const char* label;
    afstest::AfsBuilder::Options options;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const LayoutCase& layout, std::ostream* stream) {
    *stream << layout.label;
}

class AfsBuilderLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(AfsBuilderLayout, TableAndLocatorPointAtMembersAndNames) {
    const LayoutCase& layout = GetParam();
    afstest::AfsBuilder builder(layout.options);
    const std::vector<std::string> names = {"first.adx", "empty", "third"};
    const std::vector<uint64_t> sizes = {5000, 0, 2049};
    for (size_t i = 0; i < names.size(); ++i) {
        builder.AddMember(names[i], afstest::AfsBuilder::GeneratedBytes(sizes[i], i + 7));
    }
    const std::vector<uint8_t> archive = builder.Build();
    ASSERT_EQ(archive.size(), builder.ArchiveBytes());

    EXPECT_EQ(ReadUint32Le(archive, 0), 0x00534641u);
    ASSERT_EQ(ReadUint32Le(archive, 4), names.size());
    size_t locator = 8 + 8 * names.size() + 8 * layout.options.zeroPairs;
    for (size_t pair = 8 + 8 * names.size(); pair < locator; pair += 8) {
        EXPECT_EQ(ReadUint32Le(archive, pair), 0u) << "zero pair at " << pair;
    }
    const uint32_t listOffset = ReadUint32Le(archive, locator);
    EXPECT_EQ(ReadUint32Le(archive, locator + 4), 48 * names.size());
    EXPECT_EQ(listOffset, builder.ListOffset());
    // A reader needs the locator to end before the first member's data.
    EXPECT_LT(locator + 8, ReadUint32Le(archive, 8));

    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const uint32_t offset = ReadUint32Le(archive, 8 + 8 * i);
        const uint32_t size = ReadUint32Le(archive, 12 + 8 * i);
        EXPECT_EQ(offset % layout.options.alignmentBytes, 0u);
        ASSERT_EQ(size, sizes[i]);
        ASSERT_LE(uint64_t{offset} + size, archive.size());
        const std::vector<uint8_t> expected = afstest::AfsBuilder::GeneratedBytes(size, i + 7);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), archive.begin() + offset));
        const size_t record = listOffset + 48 * i;
        ASSERT_LE(record + 48, archive.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&archive[record])), names[i]);
    }
}

afstest::AfsBuilder::Options MakeOptions(uint32_t alignmentBytes, uint32_t zeroPairs,
                                         bool listBeforeData) {
    afstest::AfsBuilder::Options options;
    options.alignmentBytes = alignmentBytes;
    options.zeroPairs = zeroPairs;
    options.listBeforeData = listBeforeData;
    return options;
}

INSTANTIATE_TEST_SUITE_P(Layouts, AfsBuilderLayout,
                         testing::Values(LayoutCase{"Default", MakeOptions(2048, 0, false)},
                                         LayoutCase{"Unaligned", MakeOptions(1, 0, false)},
                                         LayoutCase{"ZeroPairs", MakeOptions(16, 3, false)},
                                         LayoutCase{"ListFirst", MakeOptions(2048, 0, true)}),
                         [](const testing::TestParamInfo<LayoutCase>& info) {
                             return std::string(info.param.label);
                         });

TEST(AfsBuilder, TruncationCutsTheArchiveAndOverridesReplaceStoredValues) {
    afstest::AfsBuilder::Options options;
    options.truncateBytes = 2100;
    options.storedCount = 0xFFFFFFFF;
    afstest::AfsBuilder builder(options);
    builder.AddMember("a", std::vector<uint8_t>(300, 0xAB));
    builder.SetEntry(0, 0x80000000u, 7);
    builder.SetNameRecord(0, std::vector<uint8_t>(48, 'x'));
    const std::vector<uint8_t> archive = builder.Build();
    ASSERT_EQ(archive.size(), 2100u);
    EXPECT_EQ(ReadUint32Le(archive, 4), 0xFFFFFFFFu);
    EXPECT_EQ(ReadUint32Le(archive, 8), 0x80000000u);
    EXPECT_EQ(ReadUint32Le(archive, 12), 7u);
    EXPECT_EQ(archive[2048], 0xAB);
}

} // namespace

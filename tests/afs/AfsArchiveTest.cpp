// The archive reader on archives laid out byte by byte here, so that each
// expectation follows from the layout and not from another writer.
#include "afs/AfsArchive.h"
#include "afs/AfsSpanSource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using afs::AfsArchive;
using Status = AfsArchive::Status;

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    if (bytes.size() < at + 4) {
        bytes.resize(at + 4);
    }
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// Two members: "first.adx" (5 bytes at 0x800, dated 2024-02-29 23:59:58)
// and "second" (0 bytes at 0x1000, no date); the locator right after the
// table points at a list of 96 bytes at 0x1000.
std::vector<uint8_t> TwoMembers() {
    std::vector<uint8_t> bytes(0x1000 + 96, 0);
    std::memcpy(bytes.data(), "AFS", 4);
    Put32(bytes, 4, 2);
    Put32(bytes, 8, 0x800);
    Put32(bytes, 12, 5);
    Put32(bytes, 16, 0x1000);
    Put32(bytes, 20, 0);
    Put32(bytes, 24, 0x1000);
    Put32(bytes, 28, 96);
    std::memcpy(&bytes[0x800], "hello", 5);
    std::memcpy(&bytes[0x1000], "first.adx", 9);
    const uint16_t date[6] = {2024, 2, 29, 23, 59, 58};
    for (int i = 0; i < 6; ++i) {
        Put16(bytes, 0x1000 + 32 + 2 * i, date[i]);
    }
    Put32(bytes, 0x1000 + 44, 5);
    std::memcpy(&bytes[0x1000 + 48], "second", 6);
    return bytes;
}

Status Open(AfsArchive& archive, const std::vector<uint8_t>& bytes) {
    afs::AfsSpanSource source(bytes.data(), bytes.size());
    return archive.Open(source);
}

TEST(AfsArchive, ReadsEntriesNamesAndDates) {
    const std::vector<uint8_t> bytes = TwoMembers();
    AfsArchive archive;
    ASSERT_EQ(Open(archive, bytes), Status::kOk);
    ASSERT_EQ(archive.MemberCount(), 2u);
    EXPECT_EQ(archive.LocatorEndBytes(), 32u);
    EXPECT_EQ(archive.Entry(0).offsetBytes, 0x800u);
    EXPECT_EQ(archive.Entry(0).sizeBytes, 5u);
    EXPECT_EQ(archive.Entry(1).offsetBytes, 0x1000u);
    EXPECT_EQ(archive.Entry(1).sizeBytes, 0u);
    EXPECT_EQ(archive.Name(0), "first.adx");
    EXPECT_EQ(archive.Name(1), "second");
    const std::optional<afs::AfsDate> date = archive.Date(0);
    ASSERT_TRUE(date);
    EXPECT_EQ(date->year, 2024);
    EXPECT_EQ(date->month, 2);
    EXPECT_EQ(date->day, 29);
    EXPECT_EQ(date->hour, 23);
    EXPECT_EQ(date->minute, 59);
    EXPECT_EQ(date->second, 58);
    EXPECT_FALSE(archive.Date(1));
    EXPECT_EQ(archive.FindByName("second"), 1u);
    EXPECT_FALSE(archive.FindByName("first"));
}

struct Malformed {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> change;
    Status status;
    bool hasCount;
    bool hasEntries;
};

TEST(AfsArchive, RefusesWhatIsNotThere) {
    const Malformed cases[] = {
        {"three bytes", [](auto& b) { b.resize(3); }, Status::kHeaderShort, false, false},
        {"other magic", [](auto& b) { b[3] = 1; }, Status::kNotAfs, false, false},
        {"count cut short", [](auto& b) { b.resize(6); }, Status::kCountUnreadable, false, false},
        {"count all ones", [](auto& b) { Put32(b, 4, 0xFFFFFFFF); }, Status::kCountUnreadable,
         false, false},
        {"count zero", [](auto& b) { Put32(b, 4, 0); }, Status::kNoMembers, true, false},
        {"table over 2 GiB", [](auto& b) { Put32(b, 4, 0x10000000); }, Status::kCountOutOfRange,
         true, false},
        {"table past the end", [](auto& b) { Put32(b, 4, 100000); }, Status::kTableShort, true,
         false},
        {"end of data before the locator", [](auto& b) { b.resize(24); },
         Status::kLocatorUnreadable, true, true},
        {"locator size all ones", [](auto& b) { Put32(b, 28, 0xFFFFFFFF); },
         Status::kLocatorUnreadable, true, true},
        {"locator ends at member 0's data", [](auto& b) { Put32(b, 8, 32); },
         Status::kLocatorNotBeforeData, true, true},
        {"no locator before the data", [](auto& b) { Put32(b, 24, 0), Put32(b, 28, 0); },
         Status::kLocatorNotBeforeData, true, true},
        {"list of 95 bytes", [](auto& b) { Put32(b, 28, 95); }, Status::kListTooShort, true, true},
        {"list cut short", [](auto& b) { b.resize(b.size() - 1); }, Status::kListUnreadable, true,
         true},
        {"list at 2 GiB", [](auto& b) { Put32(b, 24, 0x80000000); }, Status::kListUnreadable, true,
         true},
        {"list ending past 4 GiB", [](auto& b) { Put32(b, 24, 0xFFFFFF00), Put32(b, 28, 0x200); },
         Status::kListUnreadable, true, true},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = TwoMembers();
        c.change(bytes);
        AfsArchive archive;
        EXPECT_EQ(Open(archive, bytes), c.status);
        EXPECT_EQ(archive.HasCount(), c.hasCount);
        EXPECT_EQ(archive.HasEntries(), c.hasEntries);
        EXPECT_FALSE(archive.HasNameList());
        EXPECT_STRNE(AfsArchive::StatusText(c.status), "unknown status");
    }
}

TEST(AfsArchive, SkipsZeroPairsAcrossReads) {
    // 600 zero pairs (4800 bytes) between table and locator: more than one
    // read of the locator search.
    std::vector<uint8_t> bytes = TwoMembers();
    const size_t locatorAt = 24 + 600 * 8;
    bytes.insert(bytes.begin() + 24, 600 * 8, 0);
    const uint32_t shift = 0x2000;
    bytes.insert(bytes.begin() + locatorAt + 8, shift - 600 * 8, 0);
    Put32(bytes, 8, 0x800 + shift);
    Put32(bytes, 16, 0x1000 + shift);
    Put32(bytes, locatorAt, 0x1000 + shift);
    AfsArchive archive;
    ASSERT_EQ(Open(archive, bytes), Status::kOk);
    EXPECT_EQ(archive.LocatorEndBytes(), locatorAt + 8);
    EXPECT_EQ(archive.Name(1), "second");
    EXPECT_EQ(bytes[archive.Entry(0).offsetBytes], 'h');
}

TEST(AfsArchive, ReadsOffsetsAndSizesUnsigned) {
    std::vector<uint8_t> bytes = TwoMembers();
    Put32(bytes, 16, 0xF0000000);
    Put32(bytes, 20, 0xFFFFFFF0);
    AfsArchive archive;
    ASSERT_EQ(Open(archive, bytes), Status::kOk);
    EXPECT_EQ(archive.Entry(1).offsetBytes, 0xF0000000u);
    EXPECT_EQ(archive.Entry(1).sizeBytes, 0xFFFFFFF0u);
}

TEST(AfsArchive, NamesWithoutZeroByteOrDate) {
    std::vector<uint8_t> bytes = TwoMembers();
    std::memset(&bytes[0x1000 + 48], 'x', 48); // no terminator at all
    Put16(bytes, 0x1000 + 34, 13);             // month 13
    AfsArchive archive;
    ASSERT_EQ(Open(archive, bytes), Status::kOk);
    EXPECT_FALSE(archive.Name(1));
    EXPECT_EQ(archive.NameRecord(1), std::string(48, 'x'));
    EXPECT_FALSE(archive.Date(1));
    EXPECT_EQ(archive.Name(0), "first.adx");
    EXPECT_FALSE(archive.Date(0));
}

// A source that cannot tell its size: the reader must rely on the reads
// alone.
class UnsizedSource final : public afs::AfsByteSource {
public:
    explicit UnsizedSource(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    size_t ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) override {
        afs::AfsSpanSource span(bytes_.data(), bytes_.size());
        return span.ReadAt(positionBytes, destination, byteCount);
    }
    bool SizeBytes(uint64_t&) override { return false; }

private:
    const std::vector<uint8_t>& bytes_;
};

TEST(AfsArchive, SourceOfUnknownSize) {
    const struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> change;
        Status status;
    } cases[] = {
        {"well formed", [](auto&) {}, Status::kOk},
        {"table past the end", [](auto& b) { Put32(b, 4, 100000); }, Status::kTableShort},
        {"end of data before the locator", [](auto& b) { b.resize(28); },
         Status::kLocatorUnreadable},
        {"list cut short", [](auto& b) { b.resize(b.size() - 1); }, Status::kListUnreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = TwoMembers();
        c.change(bytes);
        UnsizedSource source(bytes);
        AfsArchive archive;
        EXPECT_EQ(archive.Open(source), c.status);
    }
}

TEST(AfsArchive, OpenAgainForgetsTheLastArchive) {
    const std::vector<uint8_t> good = TwoMembers();
    const std::vector<uint8_t> bad(good.begin(), good.begin() + 3);
    AfsArchive archive;
    ASSERT_EQ(Open(archive, good), Status::kOk);
    EXPECT_EQ(Open(archive, bad), Status::kHeaderShort);
    EXPECT_FALSE(archive.HasEntries());
    EXPECT_FALSE(archive.FindByName("second"));
    EXPECT_EQ(archive.MemberCount(), 0u);
}

} // namespace

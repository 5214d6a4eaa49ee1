// The directory of an AFS archive: header, entry table, list locator and
// name list, read through an AfsByteSource with every range checked. It
// reads no member data; callers copy a member from Entry(i).offsetBytes,
// Entry(i).sizeBytes bytes long.
//
// Layout (all numbers 32-bit little-endian, offsets absolute):
//   0        magic "AFS\0"
//   4        member count N
//   8        N entries: data offset, data size
//   8 + 8N   zero pairs (skipped), then the list locator: name-list offset,
//            name-list size; it must end before member 0's data
//   list     one 48-byte record per member: the name, zero-terminated; in
//            the usual layout a 32-byte name field, then year, month, day,
//            hour, minute, second (16 bits each) and the member's size.
// Offsets and sizes are unsigned, so archives up to 4 GiB are read.
#pragma once

#include "AfsByteSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace afs {

struct AfsEntry {
    uint32_t offsetBytes = 0;
    uint32_t sizeBytes = 0;
};

struct AfsDate {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
};

class AfsArchive {
public:
    static constexpr size_t kMagicBytes = 4;
    static constexpr uint8_t kMagic[kMagicBytes] = {0x41, 0x46, 0x53, 0x00};
    static constexpr uint32_t kEntryBytes = 8;
    static constexpr uint32_t kNameRecordBytes = 48;
    // The name field of a record that also holds a date and a size.
    static constexpr uint32_t kNameFieldBytes = 32;
    // The entry table's byte size must fit a signed 32-bit number.
    static constexpr uint32_t kMaxMemberCount = 0x7FFFFFFF / kEntryBytes;

    // In the order Open meets them; each stops it.
    enum class Status {
        kOk,
        kHeaderShort,     // fewer than 4 bytes
        kNotAfs,          // the magic differs
        kCountUnreadable, // the count is cut short or all ones
        kNoMembers,       // a count of 0
        kCountOutOfRange, // more members than MaxMemberCount
        kTableShort,      // the entry table is cut short
        kTableAllocationFailed,
        kLocatorUnreadable,    // end of data, or a word of all ones, before the locator
        kLocatorNotBeforeData, // the locator does not end before member 0's data
        kListTooShort,         // fewer than 48 bytes of name list per member
        kListAllocationFailed,
        kListUnreadable, // the name list lies past the end of the data
    };

    AfsArchive() = default;
    AfsArchive(const AfsArchive&) = delete;
    AfsArchive& operator=(const AfsArchive&) = delete;

    // Reads the directory; may be called again for another source. What was
    // read before a failure stays available: the count after the count
    // (HasCount), the entries after the table (HasEntries), so that an
    // archive without a usable name list can still be listed by index.
    Status Open(AfsByteSource& source);

    static const char* StatusText(Status status);

    bool HasCount() const { return hasCount_; }
    bool HasEntries() const { return table_ != nullptr; }
    bool HasNameList() const { return list_ != nullptr; }

    // The count as stored (also when Open refused it).
    uint32_t MemberCount() const { return memberCount_; }
    // Where the locator ended, and what it holds (when it was found).
    uint64_t LocatorEndBytes() const { return locatorEndBytes_; }
    uint32_t ListOffsetBytes() const { return listOffsetBytes_; }
    uint32_t ListSizeBytes() const { return listSizeBytes_; }

    // Index below MemberCount(), with HasEntries().
    AfsEntry Entry(uint32_t index) const;
    // The member's name up to its zero byte; none without a name list or
    // when the record holds no zero byte.
    std::optional<std::string_view> Name(uint32_t index) const;
    // The whole 48-byte record (empty without a name list).
    std::string_view NameRecord(uint32_t index) const;
    // The stored date, when the record has a name field of 32 bytes and a
    // plausible date after it.
    std::optional<AfsDate> Date(uint32_t index) const;
    // The first member of that name.
    std::optional<uint32_t> FindByName(std::string_view name) const;

private:
    void Reset();
    Status ReadLocator(AfsByteSource& source, uint64_t sizeBytes, bool sizeKnown);

    bool hasCount_ = false;
    uint32_t memberCount_ = 0;
    uint64_t locatorEndBytes_ = 0;
    uint32_t listOffsetBytes_ = 0;
    uint32_t listSizeBytes_ = 0;
    std::unique_ptr<uint8_t[]> table_;
    std::unique_ptr<uint8_t[]> list_;
};

} // namespace afs

#include "AfsArchive.h"

#include <cassert>
#include <cstring>
#include <new>

namespace afs {

namespace {

constexpr uint32_t kAllOnes = 0xFFFFFFFF;
// The locator search reads this much at a time.
constexpr size_t kLocatorChunkBytes = 4096;

uint32_t ReadU32Le(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint16_t ReadU16Le(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

bool ReadExactly(AfsByteSource& source, uint64_t positionBytes, uint8_t* destination,
                 size_t byteCount) {
    return source.ReadAt(positionBytes, destination, byteCount) == byteCount;
}

bool Fits(bool sizeKnown, uint64_t sizeBytes, uint64_t positionBytes, uint64_t byteCount) {
    return !sizeKnown || (positionBytes <= sizeBytes && byteCount <= sizeBytes - positionBytes);
}

} // namespace

void AfsArchive::Reset() {
    hasCount_ = false;
    memberCount_ = 0;
    locatorEndBytes_ = 0;
    listOffsetBytes_ = 0;
    listSizeBytes_ = 0;
    table_.reset();
    list_.reset();
}

AfsArchive::Status AfsArchive::Open(AfsByteSource& source) {
    Reset();
    uint64_t sizeBytes = 0;
    const bool sizeKnown = source.SizeBytes(sizeBytes);

    uint8_t header[kMagicBytes + 4];
    const size_t headerBytes = source.ReadAt(0, header, sizeof header);
    if (headerBytes < kMagicBytes) {
        return Status::kHeaderShort;
    }
    if (std::memcmp(header, kMagic, kMagicBytes) != 0) {
        return Status::kNotAfs;
    }
    if (headerBytes < sizeof header) {
        return Status::kCountUnreadable;
    }
    // All ones cannot be told from a failed read by the classic tools; it
    // is refused the same way.
    const uint32_t count = ReadU32Le(header + kMagicBytes);
    if (count == kAllOnes) {
        return Status::kCountUnreadable;
    }
    hasCount_ = true;
    memberCount_ = count;
    if (count == 0) {
        return Status::kNoMembers;
    }
    if (count > kMaxMemberCount) {
        return Status::kCountOutOfRange;
    }

    const uint64_t tableOffsetBytes = sizeof header;
    const size_t tableBytes = static_cast<size_t>(count) * kEntryBytes;
    if (!Fits(sizeKnown, sizeBytes, tableOffsetBytes, tableBytes)) {
        return Status::kTableShort;
    }
    std::unique_ptr<uint8_t[]> table(new (std::nothrow) uint8_t[tableBytes]);
    if (!table) {
        return Status::kTableAllocationFailed;
    }
    if (!ReadExactly(source, tableOffsetBytes, table.get(), tableBytes)) {
        return Status::kTableShort;
    }
    table_ = std::move(table);

    const Status locatorStatus = ReadLocator(source, sizeBytes, sizeKnown);
    if (locatorStatus != Status::kOk) {
        return locatorStatus;
    }

    // Every member's record must lie inside the list.
    if (static_cast<uint64_t>(listSizeBytes_) < static_cast<uint64_t>(count) * kNameRecordBytes) {
        return Status::kListTooShort;
    }
    if (!Fits(sizeKnown, sizeBytes, listOffsetBytes_, listSizeBytes_)) {
        return Status::kListUnreadable;
    }
    std::unique_ptr<uint8_t[]> list(new (std::nothrow) uint8_t[listSizeBytes_]);
    if (!list) {
        return Status::kListAllocationFailed;
    }
    if (!ReadExactly(source, listOffsetBytes_, list.get(), listSizeBytes_)) {
        return Status::kListUnreadable;
    }
    list_ = std::move(list);
    return Status::kOk;
}

// Zero pairs after the table are skipped; the first other pair locates the
// name list.
AfsArchive::Status AfsArchive::ReadLocator(AfsByteSource& source, uint64_t sizeBytes,
                                           bool sizeKnown) {
    uint8_t chunk[kLocatorChunkBytes];
    uint64_t positionBytes = 8 + static_cast<uint64_t>(memberCount_) * kEntryBytes;
    for (;;) {
        size_t wantBytes = sizeof chunk;
        if (sizeKnown) {
            const uint64_t bytesRemaining =
                positionBytes < sizeBytes ? sizeBytes - positionBytes : 0;
            if (bytesRemaining < wantBytes) {
                wantBytes = static_cast<size_t>(bytesRemaining);
            }
        }
        const size_t chunkBytes =
            wantBytes == 0 ? 0 : source.ReadAt(positionBytes, chunk, wantBytes);
        const size_t pairBytes = chunkBytes - chunkBytes % kEntryBytes;
        for (size_t at = 0; at < pairBytes; at += kEntryBytes) {
            const uint32_t listOffsetBytes = ReadU32Le(chunk + at);
            const uint32_t listSizeBytes = ReadU32Le(chunk + at + 4);
            if (listOffsetBytes == kAllOnes || listSizeBytes == kAllOnes) {
                return Status::kLocatorUnreadable;
            }
            if (listOffsetBytes != 0) {
                locatorEndBytes_ = positionBytes + at + kEntryBytes;
                listOffsetBytes_ = listOffsetBytes;
                listSizeBytes_ = listSizeBytes;
                if (!(locatorEndBytes_ < Entry(0).offsetBytes)) {
                    return Status::kLocatorNotBeforeData;
                }
                return Status::kOk;
            }
        }
        if (chunkBytes < sizeof chunk) {
            return Status::kLocatorUnreadable; // the data ends before a locator
        }
        positionBytes += chunkBytes;
    }
}

const char* AfsArchive::StatusText(Status status) {
    switch (status) {
    case Status::kOk:
        return "an AFS archive";
    case Status::kHeaderShort:
        return "too short for an AFS header";
    case Status::kNotAfs:
        return "not an AFS archive";
    case Status::kCountUnreadable:
        return "member count unreadable";
    case Status::kNoMembers:
        return "archive holds no files";
    case Status::kCountOutOfRange:
        return "member count out of range";
    case Status::kTableShort:
        return "entry table cut short";
    case Status::kTableAllocationFailed:
        return "no memory for the entry table";
    case Status::kLocatorUnreadable:
        return "no name list locator";
    case Status::kLocatorNotBeforeData:
        return "name list locator not before the first member's data";
    case Status::kListTooShort:
        return "name list too short for its members";
    case Status::kListAllocationFailed:
        return "no memory for the name list";
    case Status::kListUnreadable:
        return "name list lies past the end of the archive";
    }
    return "unknown status";
}

AfsEntry AfsArchive::Entry(uint32_t index) const {
    assert(table_ != nullptr && index < memberCount_);
    const uint8_t* entry = table_.get() + static_cast<size_t>(index) * kEntryBytes;
    return AfsEntry{ReadU32Le(entry), ReadU32Le(entry + 4)};
}

std::string_view AfsArchive::NameRecord(uint32_t index) const {
    assert(index < memberCount_);
    if (list_ == nullptr) {
        return {};
    }
    return std::string_view(reinterpret_cast<const char*>(list_.get()) +
                                static_cast<size_t>(index) * kNameRecordBytes,
                            kNameRecordBytes);
}

std::optional<std::string_view> AfsArchive::Name(uint32_t index) const {
    const std::string_view record = NameRecord(index);
    const size_t zeroAt = record.find('\0');
    if (zeroAt == std::string_view::npos) {
        return std::nullopt;
    }
    return record.substr(0, zeroAt);
}

std::optional<AfsDate> AfsArchive::Date(uint32_t index) const {
    const std::string_view record = NameRecord(index);
    if (record.empty() || record.substr(0, kNameFieldBytes).find('\0') == std::string_view::npos) {
        return std::nullopt;
    }
    const uint8_t* field = reinterpret_cast<const uint8_t*>(record.data()) + kNameFieldBytes;
    AfsDate date;
    date.year = ReadU16Le(field);
    date.month = ReadU16Le(field + 2);
    date.day = ReadU16Le(field + 4);
    date.hour = ReadU16Le(field + 6);
    date.minute = ReadU16Le(field + 8);
    date.second = ReadU16Le(field + 10);
    const bool plausible = date.year >= 1 && date.year <= 9999 && date.month >= 1 &&
                           date.month <= 12 && date.day >= 1 && date.day <= 31 && date.hour <= 23 &&
                           date.minute <= 59 && date.second <= 59;
    if (!plausible) {
        return std::nullopt;
    }
    return date;
}

std::optional<uint32_t> AfsArchive::FindByName(std::string_view name) const {
    if (list_ == nullptr) {
        return std::nullopt;
    }
    for (uint32_t index = 0; index < memberCount_; ++index) {
        const std::optional<std::string_view> stored = Name(index);
        if (stored && *stored == name) {
            return index;
        }
    }
    return std::nullopt;
}

} // namespace afs

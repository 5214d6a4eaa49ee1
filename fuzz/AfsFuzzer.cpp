// libFuzzer target over the AFS archive reader: whatever the bytes, Open
// stays inside them, and what it accepts agrees with itself.
#include "FuzzCheck.h"
#include "afs/AfsArchive.h"
#include "afs/AfsSpanSource.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using afs::AfsArchive;

void CheckAccepted(const AfsArchive& archive, std::size_t size) {
    const uint32_t count = archive.MemberCount();
    FUZZ_CHECK(count >= 1 && count <= AfsArchive::kMaxMemberCount);
    FUZZ_CHECK(8 + static_cast<uint64_t>(count) * AfsArchive::kEntryBytes + 8 <= size);
    FUZZ_CHECK(archive.LocatorEndBytes() < archive.Entry(0).offsetBytes);
    FUZZ_CHECK(static_cast<uint64_t>(archive.ListOffsetBytes()) + archive.ListSizeBytes() <= size);
    FUZZ_CHECK(static_cast<uint64_t>(count) * AfsArchive::kNameRecordBytes <=
               archive.ListSizeBytes());
    for (uint32_t index = 0; index < count; ++index) {
        FUZZ_CHECK(archive.NameRecord(index).size() == AfsArchive::kNameRecordBytes);
        const std::optional<std::string_view> name = archive.Name(index);
        if (name) {
            FUZZ_CHECK(name->size() < AfsArchive::kNameRecordBytes);
            const std::optional<uint32_t> found = archive.FindByName(*name);
            FUZZ_CHECK(found && *found <= index && archive.Name(*found) == name);
        }
        if (const std::optional<afs::AfsDate> date = archive.Date(index)) {
            FUZZ_CHECK(name && name->size() < AfsArchive::kNameFieldBytes);
            FUZZ_CHECK(date->month >= 1 && date->month <= 12 && date->second <= 59);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    afs::AfsSpanSource source(data, size);
    AfsArchive archive;
    const AfsArchive::Status status = archive.Open(source);
    FUZZ_CHECK(archive.HasNameList() == (status == AfsArchive::Status::kOk));
    if (status == AfsArchive::Status::kOk) {
        CheckAccepted(archive, size);
    }
    return 0;
}

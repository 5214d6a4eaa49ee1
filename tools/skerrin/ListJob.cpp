#include "ListJob.h"

#include "ArchiveInput.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

ExitStatus ListJob::Run() {
    ArchiveInput input(options_, reporter_, streamBuffer_);
    std::vector<uint32_t> indices;
    if (!input.Open(indices)) {
        return ExitStatus::kRefused;
    }
    const afs::AfsArchive& archive = input.Directory();
    uint64_t archiveBytes = 0;
    const bool sized = input.File().SizeBytes(archiveBytes);
    // Offsets in decimal: corvina-play --offset takes them as shown.
    std::printf("%5s %10s %10s  %-19s  %s\n", "index", "offset", "size", "date", "name");
    uint64_t totalBytes = 0;
    std::vector<uint32_t> pastTheEnd;
    for (const uint32_t index : indices) {
        const afs::AfsEntry entry = archive.Entry(index);
        char date[40] = "-"; // the widest six fields fit
        if (const std::optional<afs::AfsDate> stored = archive.Date(index)) {
            std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", stored->year,
                          stored->month, stored->day, stored->hour, stored->minute, stored->second);
        }
        std::printf("%5u %10" PRIu32 " %10" PRIu32 "  %-19s  %s\n", static_cast<unsigned>(index),
                    entry.offsetBytes, entry.sizeBytes, date, input.MemberName(index).c_str());
        totalBytes += entry.sizeBytes;
        if (sized && entry.sizeBytes != 0 &&
            uint64_t{entry.offsetBytes} + entry.sizeBytes > archiveBytes) {
            pastTheEnd.push_back(index);
        }
    }
    const std::string archiveSize =
        sized ? ", archive " + std::to_string(archiveBytes) + " bytes" : "";
    std::printf("%zu of %u files, %" PRIu64 " bytes of member data%s\n", indices.size(),
                static_cast<unsigned>(archive.MemberCount()), totalBytes, archiveSize.c_str());
    for (const uint32_t index : pastTheEnd) {
        const afs::AfsEntry entry = archive.Entry(index);
        reporter_.Problem(input.Path(),
                          "cut short: member " + std::to_string(index) + " (" +
                              input.MemberName(index) + ") ends at byte " +
                              std::to_string(uint64_t{entry.offsetBytes} + entry.sizeBytes) +
                              ", past the end of the archive");
    }
    return pastTheEnd.empty() ? ExitStatus::kDone : ExitStatus::kShort;
}

#include "ClassicExtraction.h"

#include "afs/AfsArchive.h"
#include "ArchiveMessages.h"
#include "FileSource.h"
#include "MemberExtractor.h"
#include "StdioFile.h"
#include "StreamBuffers.h"

#include <cstdio>
#include <vector>

namespace {

using ArchiveStatus = afs::AfsArchive::Status;

// The count line follows the count's checks and precedes the table.
bool CountAccepted(ArchiveStatus status) {
    return status == ArchiveStatus::kOk || status >= ArchiveStatus::kTableShort;
}

} // namespace

ClassicExtraction::Status ClassicExtraction::Run(const std::string& archivePath,
                                                 char* streamBuffer) {
    StdioFile file = StdioFile::Open(archivePath.c_str(), "rb");
    if (!file) {
        std::perror("file open failed.");
        return kRefused;
    }
    file.SetBuffer(streamBuffer, StreamBuffers::kStreamBufferBytes);
    FileSource source(file);
    afs::AfsArchive archive;
    const ArchiveStatus status = archive.Open(source);
    if (CountAccepted(status)) {
        std::printf("%u files in %s.\n", static_cast<unsigned>(archive.MemberCount()),
                    archivePath.c_str());
    }
    const ArchiveMessages messages(reporter_, archivePath, ArchiveMessages::Voice::kClassic);
    if (status != ArchiveStatus::kOk) {
        messages.ArchiveRefused(status, archive, "");
        return kRefused;
    }
    MemberExtractor extractor(file, archive, messages, MemberExtractor::Settings());
    std::vector<uint32_t> indices(archive.MemberCount());
    for (uint32_t i = 0; i < archive.MemberCount(); ++i) {
        indices[i] = i;
    }
    std::vector<std::string> written;
    return extractor.Extract(indices, written) ? kAllWritten : kMemberFailed;
}

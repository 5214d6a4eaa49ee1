#include "ArchiveInput.h"

#include "FileSource.h"
#include "FileSystem.h"
#include "MemberNames.h"
#include "StreamBuffers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

using Status = afs::AfsArchive::Status;

bool ParseIndex(const std::string& text, uint32_t& index) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    index = static_cast<uint32_t>(value);
    return value <= UINT32_MAX;
}

} // namespace

bool ArchiveInput::Open(std::vector<uint32_t>& indices) {
    return ReadDirectory() && Select(indices);
}

bool ArchiveInput::ReadDirectory() {
    const Reporter& reporter = messages_.GetReporter();
    FileSystem::FileStatus status;
    if (FileSystem::Status(Path(), status) && status.isDirectory) {
        reporter.Problem(Path(), "is a folder, not an archive (skerrin -c OUT.afs FOLDER "
                                 "builds one from its files)");
        return false;
    }
    file_ = StdioFile::Open(Path().c_str(), "rb");
    if (!file_) {
        reporter.Problem(Path(), std::strerror(errno));
        return false;
    }
    file_.SetBuffer(streamBuffer_, StreamBuffers::kStreamBufferBytes);
    FileSource source(file_);
    const Status opened = archive_.Open(source);
    // An archive of no members is listed and extracted as such.
    if (opened == Status::kOk || opened == Status::kNoMembers ||
        (options_.numbered && archive_.HasEntries())) {
        return true;
    }
    messages_.ArchiveRefused(opened, archive_,
                             archive_.HasEntries() ? " (--numbered reads the members without names)"
                                                   : "");
    return false;
}

std::string ArchiveInput::MemberName(uint32_t index) const {
    if (options_.numbered) {
        return MemberNames::Numbered(index);
    }
    return MemberNames::Shown(archive_, index);
}

bool ArchiveInput::Select(std::vector<uint32_t>& indices) const {
    const uint32_t memberCount = archive_.HasEntries() ? archive_.MemberCount() : 0;
    std::vector<bool> chosen(memberCount, options_.operands.size() == 1);
    for (size_t i = 1; i < options_.operands.size(); ++i) {
        const std::string& selector = options_.operands[i];
        std::optional<uint32_t> index;
        if (options_.numbered) {
            for (uint32_t m = 0; m < memberCount && !index; ++m) {
                if (MemberNames::Numbered(m) == selector) {
                    index = m;
                }
            }
        } else if (archive_.HasNameList()) {
            index = MemberNames::Find(archive_, selector);
        }
        uint32_t number = 0;
        if (!index && ParseIndex(selector, number) && number < memberCount) {
            index = number;
        }
        if (!index) {
            messages_.GetReporter().Problem(Path(),
                                            "no member \"" + MemberNames::Escaped(selector) + "\"");
            return false;
        }
        chosen[*index] = true;
    }
    indices.clear();
    for (uint32_t m = 0; m < memberCount; ++m) {
        if (chosen[m]) {
            indices.push_back(m);
        }
    }
    return true;
}

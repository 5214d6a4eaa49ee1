#include "ExtractJob.h"

#include "FileSystem.h"
#include "Interrupt.h"
#include "MemberExtractor.h"
#include "ReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kExists = "already exists (-y or --overwrite replaces it)";

} // namespace

ExitStatus ExtractJob::Run() {
    std::vector<uint32_t> indices;
    if (!input_.Open(indices)) {
        return ExitStatus::kRefused;
    }
    MemberExtractor::Settings settings;
    settings.outputDirectory = options_.outputDirectory;
    settings.numberedNames = options_.numbered;
    settings.keepDates = true;
    MemberExtractor extractor(input_.File(), input_.Directory(), input_.Messages(), settings);
    if (!OutputsAllowed(indices, extractor)) {
        return ExitStatus::kUsage;
    }
    if (!options_.outputDirectory.empty() &&
        !FileSystem::MakeDirectories(options_.outputDirectory)) {
        reporter_.Problem(options_.outputDirectory, std::strerror(errno));
        return ExitStatus::kUsage;
    }
    std::printf("%u files in %s.\n", static_cast<unsigned>(input_.Directory().MemberCount()),
                input_.Path().c_str());
    std::vector<std::string> written;
    ExitStatus status =
        extractor.Extract(indices, written) ? ExitStatus::kDone : ExitStatus::kFailed;
    if (Interrupted()) {
        return ExitStatus::kInterrupted;
    }
    if (!options_.orderPath.empty() && !WriteOrder(written)) {
        status = Worse(status, Interrupted() ? ExitStatus::kInterrupted : ExitStatus::kFailed);
    }
    return status;
}

bool ExtractJob::OutputsAllowed(const std::vector<uint32_t>& indices,
                                const MemberExtractor& extractor) {
    const std::string& order = options_.orderPath;
    if (!order.empty() && FileSystem::SameFile(order, input_.Path())) {
        reporter_.Problem(order, "is the archive being read, not overwritten");
        return false;
    }
    if (options_.overwrite) {
        return true;
    }
    std::vector<std::string> existing = extractor.ExistingOutputs(indices);
    if (!order.empty() && FileSystem::Exists(order)) {
        existing.push_back(order);
    }
    for (const std::string& path : existing) {
        reporter_.Problem(path, kExists);
    }
    return existing.empty();
}

bool ExtractJob::WriteOrder(const std::vector<std::string>& writtenPaths) {
    ReplacingFile order;
    bool written =
        order.Create(options_.orderPath, FileSystem::kTemporaryInfix, FileSystem::kTemporarySuffix);
    for (size_t i = 0; written && i < writtenPaths.size() && !Interrupted(); ++i) {
        written = std::fprintf(order.Get(), "%s\n", writtenPaths[i].c_str()) >= 0;
    }
    if (written && !Interrupted() &&
        order.Commit(true, false) == ReplacingFile::CommitResult::kCommitted) {
        return true;
    }
    if (!Interrupted()) {
        reporter_.Problem(options_.orderPath, std::strerror(errno));
    }
    return false;
}

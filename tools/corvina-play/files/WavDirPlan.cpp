#include "files/WavDirPlan.h"

#include "FilePath.h"
#include "WindowsFileName.h"
#include "commandline/ConsoleText.h"
#include "files/ArchiveMember.h"
#include "files/FilePaths.h"

#include <windows.h>

#include <map>

namespace {

// Creates `path` after its missing parents; true when it is a directory.
bool MakeDirectories(const std::wstring& path, DWORD& reason) {
    const size_t end = path.find_last_not_of(L"/\\");
    const size_t separator = end == std::wstring::npos ? end : path.find_last_of(L"/\\", end);
    if (separator != std::wstring::npos && separator > 0) {
        const std::wstring parent = path.substr(0, separator);
        if (KindOf(parent) == PathKind::kMissing && !MakeDirectories(parent, reason)) {
            return false;
        }
    }
    if (CreateDirectoryW(path.c_str(), nullptr)) {
        return true;
    }
    reason = GetLastError();
    return KindOf(path) == PathKind::kDirectory; // made meanwhile
}

// The output's name: after the member with --member, when the archive
// names it; else after the input.
std::string StemFor(const std::string& input, const std::string& member) {
    ArchiveMember found;
    std::string error;
    if (!member.empty() && FindArchiveMember(Widen(input), member, found, error)) {
        return found.name.empty() ? FilePath::Stem(input) + "-" + std::to_string(found.index)
                                  : FilePath::Stem(found.name);
    }
    return FilePath::Stem(input); // a refused input gets its message when it is converted
}

} // namespace

WavDirPlan::WavDirPlan(const Options& options) : options_(options) {
    for (const std::string& input : options.inputPaths) {
        const std::string name = StemFor(input, options.member) + ".wav";
        outputs_.push_back(FilePath::Join(options.wavDir, name));
        names_.push_back(name);
    }
}

ExitStatus WavDirPlan::CheckNames(const Reporter& reporter) const {
    ExitStatus status = ExitStatus::kDone;
    std::map<std::string, size_t> firstByKey;
    for (size_t i = 0; i < outputs_.size(); ++i) {
        const std::string& input = options_.inputPaths[i];
        if (WindowsFileName::IsDevice(names_[i])) {
            reporter.Problem(input, "its output " + outputs_[i] +
                                        " would be a Windows device, not a file");
            status = ExitStatus::kUsage;
            continue;
        }
        const auto [first, added] = firstByKey.emplace(WindowsFileName::Key(names_[i]), i);
        if (!added) {
            reporter.Problem(input, "its output " + outputs_[i] + " is one file with " +
                                        outputs_[first->second] + " (from " +
                                        options_.inputPaths[first->second] + ") on Windows");
            status = ExitStatus::kUsage;
        }
    }
    return status;
}

ExitStatus WavDirPlan::PrepareDirectory(const Reporter& reporter) const {
    const std::string& shown = options_.wavDir;
    const std::wstring directory = Widen(shown);
    switch (KindOf(directory)) {
    case PathKind::kDirectory:
        return ExitStatus::kDone;
    case PathKind::kMissing: {
        DWORD reason = ERROR_SUCCESS;
        if (MakeDirectories(directory, reason)) {
            return ExitStatus::kDone;
        }
        reporter.Problem(shown,
                         "cannot create the directory: " + ResultText(HRESULT_FROM_WIN32(reason)));
        return ExitStatus::kFailed;
    }
    case PathKind::kDiskFile:
    case PathKind::kOther:
    default:
        reporter.Problem(shown, "not a directory");
        return ExitStatus::kUsage;
    }
}

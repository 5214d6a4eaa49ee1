#include "CreateJob.h"

#include "ArchiveCreator.h"
#include "FileSystem.h"
#include "StdioFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

ExitStatus CreateJob::Run() {
    if (!TargetAllowed()) {
        return ExitStatus::kUsage;
    }
    std::vector<std::string> paths = options_.operands;
    if (!options_.orderPath.empty() && !ReadOrder(paths)) {
        return ExitStatus::kRefused;
    }
    ArchiveCreator creator(reporter_, options_.createPath);
    bool allAdded = true;
    for (const std::string& path : paths) {
        allAdded = creator.AddPath(path) && allAdded;
    }
    return allAdded ? creator.Write() : ExitStatus::kRefused;
}

bool CreateJob::TargetAllowed() {
    const std::string& target = options_.createPath;
    FileSystem::FileStatus status;
    if (!FileSystem::Status(target, status)) {
        return true;
    }
    // Only a file is replaced.
    const char* problem = nullptr;
    if (!status.isRegular) {
        problem = "not a regular file";
    } else if (!options_.orderPath.empty() && FileSystem::SameFile(target, options_.orderPath)) {
        problem = "is the order file being read, not overwritten";
    } else if (!options_.overwrite) {
        problem = "already exists (-y or --overwrite replaces it)";
    }
    if (problem != nullptr) {
        reporter_.Problem(target, problem);
        return false;
    }
    return true;
}

bool CreateJob::ReadOrder(std::vector<std::string>& paths) {
    const std::string& orderPath = options_.orderPath;
    StdioFile order = StdioFile::Open(orderPath.c_str(), "rb");
    if (!order) {
        reporter_.Problem(orderPath, std::strerror(errno));
        return false;
    }
    std::string line;
    bool firstLine = true;
    const auto flush = [&]() {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // Notepad starts a UTF-8 file with a byte order mark.
        if (firstLine && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);
        }
        firstLine = false;
        if (!line.empty()) {
            paths.push_back(line);
        }
        line.clear();
    };
    for (int c; (c = std::fgetc(order.Get())) != EOF;) {
        if (c == '\n') {
            flush();
        } else {
            line += static_cast<char>(c);
        }
    }
    flush();
    if (std::ferror(order.Get())) {
        reporter_.Problem(orderPath, std::strerror(errno));
        return false;
    }
    return true;
}

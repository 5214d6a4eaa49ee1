// skerrin: lists, extracts and builds AFS archives.
//
// `skerrin ARCHIVE` alone writes every member into the working directory
// with the classic messages; everything else is behind options (--help).
//
// Exit status: 0 success; 1 bad usage, or the archive could not be read
// before extraction began (--create: the archive was not written); 2 the
// member loop was reached but a member failed or extraction stopped early.
#include "afs/AfsArchive.h"
#include "ArchiveCreator.h"
#include "FilePath.h"
#include "FileSource.h"
#include "FileSystem.h"
#include "MemberExtractor.h"
#include "MemberNames.h"
#include "StdioFile.h"
#include "StreamBuffers.h"

#include "corvina_version.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

enum ExitStatus {
    kStatusAllWritten = 0,
    kStatusRefused = 1,
    kStatusMemberFailed = 2,
};

using afs::AfsArchive;
using Status = AfsArchive::Status;

const char kHelpText[] =
    "Usage: skerrin ARCHIVE.afs\n"
    "       skerrin [-x] [-n] [-o DIR] [-T FILE] ARCHIVE.afs [MEMBER]...\n"
    "       skerrin -l [-n] ARCHIVE.afs [MEMBER]...\n"
    "       skerrin -c OUT.afs [-T FILE] [FILE | FOLDER]...\n"
    "Lists, extracts and builds AFS archives.\n"
    "\n"
    "With the archive alone, writes every member into the current directory\n"
    "under its stored name: one line a member, its name when it was written\n"
    "whole, FAILED:name when it was not.\n"
    "\n"
    "Stored names are read as UTF-8 where they are valid UTF-8 (as --create\n"
    "stores them), otherwise as Shift-JIS (code page 932); a name that is\n"
    "neither is not written. Where two names would be one file (on Windows:\n"
    "names that differ in case or trailing dots and spaces, or a name of the\n"
    "8.3 alias an earlier name gets), the later member is written as\n"
    "NAME~1.EXT, and its line says so.\n"
    "\n"
    "  -x, --extract         extract (the default); the MEMBERs, by name or by\n"
    "                        index from 0, select which\n"
    "  -o, --output DIR      extract into DIR (created if missing)\n"
    "  -n, --numbered        name members by index (00000.bin, 00001.bin, ...);\n"
    "                        reads archives without a name list too\n"
    "  -l, --list            list index, offset, size, stored date and name of\n"
    "                        each member, then the totals\n"
    "  -c, --create OUT.afs  build OUT.afs from the FILEs in the order given (a\n"
    "                        FOLDER adds its files in name order)\n"
    "  -T, --order FILE      with --create, the member files are also those FILE\n"
    "                        lists, one path a line, in its order; when extracting,\n"
    "                        write FILE: the paths written, in archive order\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version and exit\n"
    "  --                    end of options\n"
    "\n"
    "Extraction keeps the stored dates when options are given, so that\n"
    "  skerrin -o DIR -T DIR.txt A.afs && skerrin -c B.afs -T DIR.txt\n"
    "rebuilds an archive that skerrin made as the same bytes.\n"
    "\n"
    "Exit status: 0 success; 1 bad usage, or the archive could not be read\n"
    "(--create: the archive was not written); 2 a member failed or\n"
    "extraction stopped early.\n";

struct Options {
    enum class Mode { kExtract, kList, kCreate } mode = Mode::kExtract;
    bool modeGiven = false;
    bool numbered = false;
    std::string outputDirectory;
    std::string orderPath;
    std::string createPath;
    std::vector<std::string> operands;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "skerrin: %s\nTry 'skerrin --help' for more information.\n",
                 message.c_str());
    return kStatusRefused;
}

void Report(const std::string& file, const char* reason) {
    std::fprintf(stderr, "skerrin: %s: %s\n", file.c_str(), reason);
}

// --- the classic mode -----------------------------------------------------

// The classic texts, in the order of the steps that print them.
bool ReportClassic(Status status, const AfsArchive& archive, const char* path) {
    switch (status) {
    case Status::kOk:
        return true;
    case Status::kHeaderShort:
        std::fputs("read header failed.\n", stderr);
        break;
    case Status::kNotAfs:
        std::fprintf(stderr, "%s is not ASF file.\n", path);
        break;
    case Status::kCountUnreadable:
        std::fputs("read file number failed.\n", stderr);
        break;
    case Status::kNoMembers:
        std::fprintf(stderr, "%s: archive holds no files.\n", path);
        break;
    case Status::kCountOutOfRange:
        std::fprintf(stderr, "%s: file number %d out of range.\n", path,
                     static_cast<int>(static_cast<int32_t>(archive.MemberCount())));
        break;
    case Status::kTableAllocationFailed:
        errno = ENOMEM;
        std::perror("malloc failed at reading file offset table.");
        break;
    case Status::kTableShort:
        std::fputs("read offset table failed.\n", stderr);
        break;
    case Status::kLocatorUnreadable:
        std::fputs("read list offset or size failed.\n", stderr);
        break;
    case Status::kLocatorNotBeforeData:
        std::fputs("can't find read list offset or size.\n", stderr);
        break;
    case Status::kListTooShort:
        std::fprintf(stderr, "%s: name list of %u bytes too short for %u files.\n", path,
                     static_cast<unsigned>(archive.ListSizeBytes()),
                     static_cast<unsigned>(archive.MemberCount()));
        break;
    case Status::kListAllocationFailed:
        errno = ENOMEM;
        std::perror("malloc failed at reading file list.");
        break;
    case Status::kListUnreadable:
        std::fputs("read file list failed.\n", stderr);
        break;
    }
    return false;
}

// The count line follows the count's checks and precedes the table.
bool CountAccepted(Status status) {
    return status == Status::kOk || status >= Status::kTableShort;
}

std::vector<uint32_t> AllMembers(const AfsArchive& archive) {
    std::vector<uint32_t> indices(archive.MemberCount());
    for (uint32_t i = 0; i < archive.MemberCount(); ++i) {
        indices[i] = i;
    }
    return indices;
}

int RunClassic(const char* path, char* archiveStreamBuffer) {
    StdioFile file = StdioFile::Open(path, "rb");
    if (!file) {
        std::perror("file open failed.");
        return kStatusRefused;
    }
    file.SetBuffer(archiveStreamBuffer, StreamBuffers::kStreamBufferBytes);
    FileSource source(file);
    AfsArchive archive;
    const Status status = archive.Open(source);
    if (CountAccepted(status)) {
        std::printf("%u files in %s.\n", static_cast<unsigned>(archive.MemberCount()), path);
    }
    if (!ReportClassic(status, archive, path)) {
        return kStatusRefused;
    }
    MemberExtractor::Settings settings;
    settings.archivePath = path;
    MemberExtractor extractor(file, archive, settings);
    std::vector<std::string> written;
    return extractor.Extract(AllMembers(archive), written) ? kStatusAllWritten
                                                           : kStatusMemberFailed;
}

// --- the option modes -----------------------------------------------------

// Opens the archive and reads its directory; reports and returns false when
// it cannot be used (with --numbered the entry table is enough).
bool OpenArchive(const Options& options, StdioFile& file, AfsArchive& archive, char* streamBuffer) {
    const std::string& path = options.operands[0];
    file = StdioFile::Open(path.c_str(), "rb");
    if (!file) {
        Report(path, std::strerror(errno));
        return false;
    }
    file.SetBuffer(streamBuffer, StreamBuffers::kStreamBufferBytes);
    FileSource source(file);
    const Status status = archive.Open(source);
    if (status == Status::kOk || (options.numbered && archive.HasEntries())) {
        return true;
    }
    std::string reason = AfsArchive::StatusText(status);
    if (archive.HasEntries()) {
        reason += " (--numbered reads the members without names)";
    }
    Report(path, reason.c_str());
    return false;
}

std::string MemberName(const AfsArchive& archive, uint32_t index, bool numbered) {
    if (numbered) {
        return MemberNames::Numbered(index);
    }
    return MemberNames::Shown(archive, index);
}

bool ParseIndex(const std::string& text, uint32_t& index) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    index = static_cast<uint32_t>(value);
    return value <= UINT32_MAX;
}

// The members the operands after the archive name (a name first, else an
// index), in archive order; all members when none is named.
bool SelectMembers(const Options& options, const AfsArchive& archive,
                   std::vector<uint32_t>& indices) {
    if (options.operands.size() == 1) {
        indices = AllMembers(archive);
        return true;
    }
    std::vector<bool> chosen(archive.MemberCount(), false);
    for (size_t i = 1; i < options.operands.size(); ++i) {
        const std::string& selector = options.operands[i];
        std::optional<uint32_t> index;
        if (options.numbered) {
            for (uint32_t m = 0; m < archive.MemberCount() && !index; ++m) {
                if (MemberNames::Numbered(m) == selector) {
                    index = m;
                }
            }
        } else {
            index = MemberNames::Find(archive, selector);
        }
        uint32_t number = 0;
        if (!index && ParseIndex(selector, number) && number < archive.MemberCount()) {
            index = number;
        }
        if (!index) {
            const std::string reason = "no member \"" + MemberNames::Escaped(selector) + "\"";
            Report(options.operands[0], reason.c_str());
            return false;
        }
        chosen[*index] = true;
    }
    indices.clear();
    for (uint32_t m = 0; m < archive.MemberCount(); ++m) {
        if (chosen[m]) {
            indices.push_back(m);
        }
    }
    return true;
}

int RunList(const Options& options, char* streamBuffer) {
    StdioFile file;
    AfsArchive archive;
    std::vector<uint32_t> indices;
    if (!OpenArchive(options, file, archive, streamBuffer) ||
        !SelectMembers(options, archive, indices)) {
        return kStatusRefused;
    }
    // Offsets in decimal: corvina-play --offset takes them as shown.
    std::printf("%5s %10s %10s  %-19s  %s\n", "index", "offset", "size", "date", "name");
    uint64_t totalBytes = 0;
    for (const uint32_t index : indices) {
        const afs::AfsEntry entry = archive.Entry(index);
        char date[40] = "-"; // the widest six fields fit
        if (const std::optional<afs::AfsDate> stored = archive.Date(index)) {
            std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", stored->year,
                          stored->month, stored->day, stored->hour, stored->minute, stored->second);
        }
        std::printf("%5u %10" PRIu32 " %10" PRIu32 "  %-19s  %s\n", static_cast<unsigned>(index),
                    entry.offsetBytes, entry.sizeBytes, date,
                    MemberName(archive, index, options.numbered).c_str());
        totalBytes += entry.sizeBytes;
    }
    uint64_t archiveBytes = 0;
    const std::string archiveSize =
        file.SizeBytes(archiveBytes) ? ", archive " + std::to_string(archiveBytes) + " bytes" : "";
    std::printf("%zu of %u files, %" PRIu64 " bytes of member data%s\n", indices.size(),
                static_cast<unsigned>(archive.MemberCount()), totalBytes, archiveSize.c_str());
    return kStatusAllWritten;
}

int RunExtract(const Options& options, char* streamBuffer) {
    StdioFile file;
    AfsArchive archive;
    std::vector<uint32_t> indices;
    if (!OpenArchive(options, file, archive, streamBuffer) ||
        !SelectMembers(options, archive, indices)) {
        return kStatusRefused;
    }
    if (!options.outputDirectory.empty() && !FileSystem::MakeDirectories(options.outputDirectory)) {
        Report(options.outputDirectory, std::strerror(errno));
        return kStatusRefused;
    }
    StdioFile order;
    if (!options.orderPath.empty()) {
        order = StdioFile::Open(options.orderPath.c_str(), "wb");
        if (!order) {
            Report(options.orderPath, std::strerror(errno));
            return kStatusRefused;
        }
    }
    std::printf("%u files in %s.\n", static_cast<unsigned>(archive.MemberCount()),
                options.operands[0].c_str());

    MemberExtractor::Settings settings;
    settings.archivePath = options.operands[0];
    settings.outputDirectory = options.outputDirectory;
    settings.classicMessages = false;
    settings.numberedNames = options.numbered;
    settings.keepDates = true;
    MemberExtractor extractor(file, archive, settings);
    std::vector<std::string> written;
    int status = extractor.Extract(indices, written) ? kStatusAllWritten : kStatusMemberFailed;
    if (order) {
        bool orderWritten = true;
        for (const std::string& path : written) {
            orderWritten = orderWritten && std::fprintf(order.Get(), "%s\n", path.c_str()) >= 0;
        }
        if (!order.Close() || !orderWritten) {
            Report(options.orderPath, std::strerror(errno));
            status = kStatusMemberFailed;
        }
    }
    return status;
}

// The lines of an order file: paths, blank lines skipped, a CR before the
// newline tolerated.
bool ReadOrder(const std::string& orderPath, std::vector<std::string>& paths) {
    StdioFile order = StdioFile::Open(orderPath.c_str(), "rb");
    if (!order) {
        Report(orderPath, std::strerror(errno));
        return false;
    }
    std::string line;
    const auto flush = [&]() {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
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
        Report(orderPath, std::strerror(errno));
        return false;
    }
    return true;
}

int RunCreate(const Options& options) {
    std::vector<std::string> paths = options.operands;
    if (!options.orderPath.empty() && !ReadOrder(options.orderPath, paths)) {
        return kStatusRefused;
    }
    ArchiveCreator creator(options.createPath);
    bool allAdded = true;
    for (const std::string& path : paths) {
        allAdded = creator.AddPath(path) && allAdded;
    }
    return allAdded && creator.Write() ? kStatusAllWritten : kStatusRefused;
}

// GNU-style: short options bundle (-ln), take a value attached or next
// (-oDIR, -o DIR, --output=DIR), and `--` ends them. False when the program
// ends here, with exitStatus (help, version, usage errors).
bool ParseOptions(int argc, char** argv, Options& options, int& exitStatus) {
    bool endOfOptions = false;
    const auto setMode = [&](Options::Mode mode) {
        if (options.modeGiven && options.mode != mode) {
            exitStatus = UsageError("--list, --extract and --create exclude each other");
            return false;
        }
        options.mode = mode;
        options.modeGiven = true;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (endOfOptions || argument.size() < 2 || argument[0] != '-') {
            options.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            endOfOptions = true;
            continue;
        }
        // Each option as (name, attached value or none).
        std::vector<std::pair<std::string, std::optional<std::string>>> given;
        if (argument[1] == '-') {
            const size_t equals = argument.find('=');
            if (equals == std::string::npos) {
                given.emplace_back(argument, std::nullopt);
            } else {
                given.emplace_back(argument.substr(0, equals), argument.substr(equals + 1));
            }
        } else {
            for (size_t c = 1; c < argument.size(); ++c) {
                const std::string name = std::string("-") + argument[c];
                const bool takesValue = name == "-o" || name == "-c" || name == "-T";
                if (takesValue && c + 1 < argument.size()) {
                    given.emplace_back(name, argument.substr(c + 1));
                    break;
                }
                given.emplace_back(name, std::nullopt);
            }
        }
        for (auto& [name, attached] : given) {
            std::string* valueTarget = nullptr;
            if (name == "-h" || name == "--help") {
                std::fputs(kHelpText, stdout);
                exitStatus = kStatusAllWritten;
                return false;
            } else if (name == "-V" || name == "--version") {
                std::printf("skerrin %s\n", CORVINA_VERSION_STRING);
                exitStatus = kStatusAllWritten;
                return false;
            } else if (name == "-l" || name == "--list") {
                if (!setMode(Options::Mode::kList)) {
                    return false;
                }
            } else if (name == "-x" || name == "--extract") {
                if (!setMode(Options::Mode::kExtract)) {
                    return false;
                }
            } else if (name == "-n" || name == "--numbered") {
                options.numbered = true;
            } else if (name == "-o" || name == "--output") {
                valueTarget = &options.outputDirectory;
            } else if (name == "-T" || name == "--order") {
                valueTarget = &options.orderPath;
            } else if (name == "-c" || name == "--create") {
                if (!setMode(Options::Mode::kCreate)) {
                    return false;
                }
                valueTarget = &options.createPath;
            } else {
                exitStatus = UsageError("unknown option " + MemberNames::Escaped(name));
                return false;
            }
            if (valueTarget == nullptr) {
                if (attached) {
                    exitStatus = UsageError("option " + name + " takes no value");
                    return false;
                }
                continue;
            }
            if (attached) {
                *valueTarget = *attached;
            } else if (i + 1 < argc) {
                *valueTarget = argv[++i];
            } else {
                exitStatus = UsageError("option " + name + " needs a value");
                return false;
            }
            if (valueTarget->empty()) {
                exitStatus = UsageError("option " + name + " needs a value");
                return false;
            }
        }
    }
    return true;
}

// Checks the options against the mode.
bool CheckOptions(const Options& options, int& exitStatus) {
    const char* problem = nullptr;
    if (options.mode == Options::Mode::kCreate) {
        if (options.numbered || !options.outputDirectory.empty()) {
            problem = "--numbered and --output do not go with --create";
        } else if (options.operands.empty() && options.orderPath.empty()) {
            problem = "--create needs member files";
        }
    } else if (options.operands.empty()) {
        problem = "no archive given";
    } else if (options.mode == Options::Mode::kList &&
               (!options.outputDirectory.empty() || !options.orderPath.empty())) {
        problem = "--output and --order do not go with --list";
    }
    if (problem != nullptr) {
        exitStatus = UsageError(problem);
        return false;
    }
    return true;
}

bool LooksLikeOption(const char* argument) {
    return argument[0] == '-' && argument[1] != '\0';
}

int Run(int argc, char** argv, char* streamBuffer) {
    bool anyOption = false;
    for (int i = 1; i < argc; ++i) {
        anyOption = anyOption || LooksLikeOption(argv[i]);
    }
    if (!anyOption) {
        if (argc != 2) {
            std::printf("Usage: %s input.afs\n", argc > 0 ? argv[0] : "skerrin");
            return kStatusRefused;
        }
        return RunClassic(argv[1], streamBuffer);
    }
    Options options;
    int exitStatus = kStatusRefused;
    if (!ParseOptions(argc, argv, options, exitStatus)) {
        return exitStatus;
    }
    if (!CheckOptions(options, exitStatus)) {
        return exitStatus;
    }
    switch (options.mode) {
    case Options::Mode::kList:
        return RunList(options, streamBuffer);
    case Options::Mode::kCreate:
        return RunCreate(options);
    case Options::Mode::kExtract:
        break;
    }
    return RunExtract(options, streamBuffer);
}

} // namespace

namespace {

int Main(int argc, char** argv) {
    // Without the large buffer the program still works, only slower.
    std::unique_ptr<char[]> streamBuffer(
        new (std::nothrow) char[StreamBuffers::kStreamBufferBytes]);
    int status = Run(argc, argv, streamBuffer.get());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("write to standard output failed");
        if (status == kStatusAllWritten) {
            status = kStatusMemberFailed;
        }
    }
    return status;
}

} // namespace

#ifdef _WIN32
// wmain: the command line as the system has it, in UTF-16, so that any file
// name arrives; inside, paths are UTF-8.
int wmain(int argc, wchar_t** wideArguments) {
    std::vector<std::string> arguments = FilePath::Utf8Arguments(argc, wideArguments);
    arguments.insert(arguments.begin(), argc > 0 ? FilePath::Utf8(wideArguments[0]) : "skerrin");
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return Main(static_cast<int>(arguments.size()), argv.data());
}
#else
int main(int argc, char** argv) {
    return Main(argc, argv);
}
#endif

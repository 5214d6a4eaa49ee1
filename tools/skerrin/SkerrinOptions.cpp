#include "SkerrinOptions.h"

#include "CommandLine.h"

#include <CLI/CLI.hpp>

const char kSkerrinHelpText[] =
    "Usage: skerrin ARCHIVE.afs\n"
    "       skerrin [-x] [-n] [-y] [-o DIR] [-T FILE] ARCHIVE.afs [MEMBER]...\n"
    "       skerrin -l [-n] ARCHIVE.afs [MEMBER]...\n"
    "       skerrin -c OUT.afs [-y] [-T FILE] [FILE | FOLDER]...\n"
    "Lists, extracts and builds AFS archives.\n"
    "\n"
    "With the archive alone, writes every member into the current directory\n"
    "under its stored name, replacing files of that name: one line a member,\n"
    "its name when it was written whole, FAILED:name when it was not.\n"
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
    "                        each member, then the totals; warns about members\n"
    "                        that run past the end of a cut archive\n"
    "  -c, --create OUT.afs  build OUT.afs from the FILEs in the order given (a\n"
    "                        FOLDER adds its files in name order, not its\n"
    "                        subfolders)\n"
    "  -T, --order FILE      with --create, the member files are also those FILE\n"
    "                        lists, one path a line, in its order; when extracting,\n"
    "                        write FILE: the paths written, in archive order\n"
    "  -y, --overwrite       replace existing output files (never the archive\n"
    "                        being read, nor a member file); -f and --force are\n"
    "                        the same\n"
    "  -h, --help            show this help and exit (also /?)\n"
    "  -V, --version         show the version and exit\n"
    "  --                    end of options\n"
    "\n"
    "With options, an output file that exists is refused before anything is\n"
    "written, unless -y is given. The archive of --create and the FILE of -T\n"
    "appear whole or not at all: they are written to a temporary file beside\n"
    "them and renamed when complete, so a failure or Ctrl+C leaves the old\n"
    "file as it was. Extraction keeps the stored dates when options are given,\n"
    "so that\n"
    "  skerrin -o DIR -T DIR.txt A.afs && skerrin -c B.afs -T DIR.txt\n"
    "rebuilds an archive that skerrin made as the same bytes.\n"
    "\n"
    "Exit status of skerrin ARCHIVE.afs: 0 every member written; 1 bad usage,\n"
    "or the archive could not be read; 2 a member failed or extraction\n"
    "stopped early.\n"
    "Exit status with options:\n"
    "  0    done\n"
    "  1    usage error, including an output that exists (without -y) or that\n"
    "       is an input, and an output folder (-o) that cannot be made\n"
    "  2    an input refused: the archive (missing, unreadable, not an AFS\n"
    "       archive, a folder), a MEMBER it does not hold, a member file of\n"
    "       --create (missing, unusable name, too large) or the -T list\n"
    "  3    a member could not be extracted, or writing failed\n"
    "  4    --list: the archive is cut short, members run past its end\n"
    "  130  stopped by Ctrl+C (incomplete outputs are removed)\n";

bool IsPlainCommandLine(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if ((argument.size() > 1 && argument[0] == '-') || argument == "/?") {
            return false;
        }
    }
    return true;
}

namespace {

// Checks the options against the mode; the problem, or null.
const char* ModeProblem(const SkerrinOptions& options) {
    if (options.mode == SkerrinOptions::Mode::kCreate) {
        if (options.numbered || !options.outputDirectory.empty()) {
            return "--numbered and --output do not go with --create";
        }
        if (options.operands.empty() && options.orderPath.empty()) {
            return "--create needs member files";
        }
        return nullptr;
    }
    if (options.operands.empty()) {
        return "no archive given";
    }
    if (options.mode == SkerrinOptions::Mode::kList &&
        (!options.outputDirectory.empty() || !options.orderPath.empty() || options.overwrite)) {
        return "--output, --order and --overwrite do not go with --list";
    }
    return nullptr;
}

} // namespace

bool ParseSkerrinOptions(const std::vector<std::string>& arguments, SkerrinOptions& options,
                         std::string& error) {
    CLI::App app;
    app.set_help_flag(); // --help prints skerrin's own text
    bool list = false;
    bool extract = false;
    app.add_flag("-h,--help", options.help)->disable_flag_override();
    app.add_flag("-V,--version", options.version)->disable_flag_override();
    app.add_flag("-l,--list", list)->disable_flag_override();
    app.add_flag("-x,--extract", extract)->disable_flag_override();
    app.add_flag("-n,--numbered", options.numbered)->disable_flag_override();
    AddOverwriteFlag(app, options.overwrite)->disable_flag_override();
    CLI::Option* output = app.add_option("-o,--output", options.outputDirectory);
    CLI::Option* order = app.add_option("-T,--order", options.orderPath);
    CLI::Option* create = app.add_option("-c,--create", options.createPath);
    app.add_option("operands", options.operands);
    if (!ParseArguments(app, WithWindowsHelp(arguments), error)) {
        // skerrin's usage errors end with a hint line of their own.
        const std::string hint = " (see --help)";
        if (error.size() >= hint.size() &&
            error.compare(error.size() - hint.size(), hint.size(), hint) == 0) {
            error.resize(error.size() - hint.size());
        }
        return false;
    }
    if (options.help || options.version) {
        return true;
    }
    for (const CLI::Option* valued : {output, order, create}) {
        if (valued->count() != 0 && valued->as<std::string>().empty()) {
            error = "option " + valued->get_name() + " needs a value";
            return false;
        }
    }
    if (int{list} + int{extract} + int{!options.createPath.empty()} > 1) {
        error = "--list, --extract and --create exclude each other";
        return false;
    }
    if (list) {
        options.mode = SkerrinOptions::Mode::kList;
    } else if (!options.createPath.empty()) {
        options.mode = SkerrinOptions::Mode::kCreate;
    }
    if (const char* problem = ModeProblem(options)) {
        error = problem;
        return false;
    }
    return true;
}

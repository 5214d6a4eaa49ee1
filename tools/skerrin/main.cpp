// skerrin: lists, extracts and builds AFS archives.
//
// `skerrin ARCHIVE` alone writes every member into the working directory
// with the classic messages and statuses; everything else is behind
// options, with the tools' shared exit statuses (--help).
#include "ClassicExtraction.h"
#include "CreateJob.h"
#include "ExitStatus.h"
#include "ExtractJob.h"
#include "FilePath.h"
#include "HelpAndVersion.h"
#include "Interrupt.h"
#include "ListJob.h"
#include "Reporter.h"
#include "SkerrinOptions.h"
#include "StreamBuffers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

int RunClassic(const std::vector<std::string>& arguments, const std::string& programName,
               const Reporter& reporter, char* streamBuffer) {
    if (arguments.size() != 1) {
        std::printf("Usage: %s input.afs\n", programName.c_str());
        return ClassicExtraction::kRefused;
    }
    int status = ClassicExtraction(reporter).Run(arguments[0], streamBuffer);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("write to standard output failed");
        if (status == ClassicExtraction::kAllWritten) {
            status = ClassicExtraction::kMemberFailed;
        }
    }
    return status;
}

ExitStatus RunWithOptions(const std::vector<std::string>& arguments, const Reporter& reporter,
                          char* streamBuffer) {
    SkerrinOptions options;
    std::string error;
    if (!ParseSkerrinOptions(arguments, options, error)) {
        reporter.Usage(error);
        return ExitStatus::kUsage;
    }
    if (options.help || options.version) {
        PrintHelpOrVersion("skerrin", kSkerrinHelpText, options.help);
        return ExitStatus::kDone;
    }
    CatchInterrupts();
    switch (options.mode) {
    case SkerrinOptions::Mode::kList:
        return ListJob(options, reporter, streamBuffer).Run();
    case SkerrinOptions::Mode::kCreate:
        return CreateJob(options, reporter).Run();
    case SkerrinOptions::Mode::kExtract:
        break;
    }
    return ExtractJob(options, reporter, streamBuffer).Run();
}

// Says why the run stopped early; what standard output could not take is a
// failure too.
int FinishOptions(ExitStatus status, const Reporter& reporter) {
    if (status == ExitStatus::kInterrupted) {
        reporter.Message("interrupted; incomplete outputs removed");
    }
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        reporter.Problem("standard output", std::strerror(errno != 0 ? errno : EIO));
        status = Worse(status, ExitStatus::kFailed);
    }
    return static_cast<int>(status);
}

int Run(const std::vector<std::string>& arguments, const std::string& programName) {
    const Reporter reporter("skerrin");
    // Without the large buffer the program still works, only slower.
    const std::unique_ptr<char[]> streamBuffer(
        new (std::nothrow) char[StreamBuffers::kStreamBufferBytes]);
    if (IsPlainCommandLine(arguments)) {
        return RunClassic(arguments, programName, reporter, streamBuffer.get());
    }
    return FinishOptions(RunWithOptions(arguments, reporter, streamBuffer.get()), reporter);
}

} // namespace

#ifdef _WIN32
// wmain: the command line as the system has it, in UTF-16.
int wmain(int argc, wchar_t** argv) {
    return Run(FilePath::Utf8Arguments(argc, argv), argc > 0 ? FilePath::Utf8(argv[0]) : "skerrin");
}
#else
int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc), argc > 0 ? argv[0] : "skerrin");
}
#endif

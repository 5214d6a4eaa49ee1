#include "HelpAndVersion.h"

#include <corvina_version.h>

#include <cstdio>

void PrintHelpOrVersion(const char* toolName, const char* helpText, bool help) {
    if (help) {
        std::fputs(helpText, stdout);
    } else {
        std::printf("%s %s\n", toolName, CORVINA_VERSION_STRING);
    }
}

// The tools' answer to --help and --version.
#pragma once

// On standard output: `helpText` when `help`, else "TOOL VERSION".
void PrintHelpOrVersion(const char* toolName, const char* helpText, bool help);

// What the tools' command lines share on top of CLI11: the Windows spelling
// of help, the one flag that replaces outputs, and parsing in order.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

// The arguments with "/?" (the Windows habit) spelled "--help".
std::vector<std::string> WithWindowsHelp(std::vector<std::string> arguments);

// -y/--overwrite, with -f/--force as its alias: the same flag in every tool.
CLI::Option* AddOverwriteFlag(CLI::App& app, bool& overwrite);

// Parses `arguments` (without the program name) in the order given; false
// with CLI11's message and " (see --help)" for a usage error.
bool ParseArguments(CLI::App& app, const std::vector<std::string>& arguments, std::string& error);

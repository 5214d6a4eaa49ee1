#include "CommandLine.h"

std::vector<std::string> WithWindowsHelp(std::vector<std::string> arguments) {
    for (std::string& argument : arguments) {
        if (argument == "/?") {
            argument = "--help";
        }
    }
    return arguments;
}

CLI::Option* AddOverwriteFlag(CLI::App& app, bool& overwrite) {
    return app.add_flag("-y,--overwrite,-f,--force", overwrite);
}

bool ParseArguments(CLI::App& app, const std::vector<std::string>& arguments, std::string& error) {
    // On Windows CLI11 would take "/tmp/a.wav" for an option; "/?" alone is
    // one, spelled "--help" by WithWindowsHelp.
    app.allow_windows_style_options(false);
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& parseError) {
        error = std::string(parseError.what()) + " (see --help)";
        return false;
    }
    return true;
}

// The one voice of a console tool on stderr: "tool: file: reason" for a
// problem with a file, "tool: message" for the rest. No platform code.
#pragma once

#include <string>

class Reporter {
public:
    explicit Reporter(std::string tool) : tool_(std::move(tool)) {}

    const std::string& Tool() const { return tool_; }

    // "tool: file: reason"
    void Problem(const std::string& file, const std::string& reason) const;
    // "tool: message"
    void Message(const std::string& message) const;
    // "tool: message" and the hint "Try 'tool --help' for more information."
    void Usage(const std::string& message) const;
    // A text written as it stands (it carries its own newline).
    void Raw(const std::string& text) const;

private:
    std::string tool_;
};

// How corvina-play words what went wrong with one input, or what came out
// short: "corvina-play: FILE: what: reason" on stderr, the reason being a
// result code in words; a progress line under way is ended first.
#pragma once

#include "ExitStatus.h"
#include "Reporter.h"
#include "playback/ProgressLine.h"

#include <windows.h>

#include <string>

class PlayerVoice {
public:
    explicit PlayerVoice(ProgressLine& progress);

    // Says `what` about `file` (with `hr` in words, none for S_OK); returns
    // `status`.
    ExitStatus Fail(ExitStatus status, HRESULT hr, const std::wstring& file,
                    const std::string& what) const;
    // The same about no file in particular.
    ExitStatus Fail(ExitStatus status, HRESULT hr, const std::string& what) const;
    // "FILE: warning: what".
    void Warn(const std::wstring& file, const std::string& what) const;

private:
    ProgressLine& progress_;
    const Reporter reporter_;
};

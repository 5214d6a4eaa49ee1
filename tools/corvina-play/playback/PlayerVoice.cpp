#include "playback/PlayerVoice.h"

#include "commandline/ConsoleText.h"
#include "commandline/Options.h"

PlayerVoice::PlayerVoice(ProgressLine& progress) : progress_(progress), reporter_(kToolName) {}

ExitStatus PlayerVoice::Fail(ExitStatus status, HRESULT hr, const std::wstring& file,
                             const std::string& what) const {
    return Fail(status, hr, Utf8(file) + ": " + what);
}

ExitStatus PlayerVoice::Fail(ExitStatus status, HRESULT hr, const std::string& what) const {
    progress_.Break();
    reporter_.Message(hr != S_OK ? what + ": " + ResultText(hr) : what);
    return status;
}

void PlayerVoice::Warn(const std::wstring& file, const std::string& what) const {
    (void)Fail(ExitStatus::kShort, S_OK, file, "warning: " + what);
}

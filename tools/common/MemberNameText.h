// How the bytes of a member name stored in an archive become text: as
// UTF-8 where they are valid UTF-8 (what skerrin -c stores), otherwise as
// Shift-JIS, code page 932 (the usual encoding of Japanese games'
// archives). No platform code: the same names on every system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class MemberNameText {
public:
    // The name as UTF-8; none when the bytes are neither UTF-8 nor
    // Shift-JIS.
    static std::optional<std::string> Decode(std::string_view storedBytes);
    // Shift-JIS bytes as UTF-8; none where a byte or a pair stands for no
    // character.
    static std::optional<std::string> FromShiftJis(std::string_view shiftJisBytes);
};

// Member names as file names: which stored names may be used, how a name
// from an archive is shown, and the names one run has written, so that no
// member overwrites another.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

class MemberNames {
public:
    // Why a stored name may not be used as a file name in the output
    // directory, or null when it may.
    static const char* UnsafeReason(std::string_view name);
    // The name with control characters (below 0x20, and 0x7F) written as
    // \xNN, so that nothing from an archive drives the terminal.
    static std::string Escaped(std::string_view name);
    // The name of member `index` in an archive read without its names.
    static std::string Numbered(uint32_t index);
    // Equal for names that are one file here (Windows ignores ASCII case).
    static std::string Key(const std::string& name);

    // The file name a member of this name is written under: the name itself
    // the first time, later a distinct one ("voice~1.adx") that this run
    // has not written and that `taken` says is free.
    template <typename IsTaken> std::string Claim(const std::string& name, IsTaken taken) {
        std::string candidate = name;
        const size_t dot = name.rfind('.');
        const size_t stemBytes = dot == std::string::npos || dot == 0 ? name.size() : dot;
        for (unsigned suffix = 1; Written(candidate) || (candidate != name && taken(candidate));
             ++suffix) {
            candidate =
                name.substr(0, stemBytes) + "~" + std::to_string(suffix) + name.substr(stemBytes);
        }
        written_.insert(Key(candidate));
        return candidate;
    }

private:
    bool Written(const std::string& name) const { return written_.count(Key(name)) != 0; }

    std::set<std::string> written_;
};

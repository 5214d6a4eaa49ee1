// How Windows' file systems tell file names apart, so that outputs that
// would land in one file are found before anything is written. No platform
// code: the same rules hold whatever the host.
#pragma once

#include <string>

class WindowsFileName {
public:
    // The key under which Windows knows the one path component `utf8Name`:
    // trailing dots and spaces dropped, letters folded to one case. Two
    // names with one key are one file.
    static std::string Key(const std::string& utf8Name);

    // A reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also with
    // an extension or trailing dots and spaces).
    static bool IsDevice(const std::string& utf8Name);
};

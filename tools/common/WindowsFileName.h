// How Windows' file systems tell file names apart, so that outputs that
// would land in one file are found before anything is written. No platform
// code: the same rules hold whatever the host.
#pragma once

#include <string>

class WindowsFileName {
public:
    // The key under which Windows knows the one path component `utf8Name`:
    // trailing dots and spaces dropped, letters folded to upper case as
    // NTFS folds them (ASCII, and Latin, Greek, Cyrillic, Armenian and
    // fullwidth letters beyond it). Two names with one key are one file.
    static std::string Key(const std::string& utf8Name);

    // A reserved device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9,
    // COM¹²³, LPT0-9, LPT¹²³, also with an extension or trailing dots and
    // spaces).
    static bool IsDevice(const std::string& utf8Name);

    // The 8.3 alias ("BGM_ST~1.ADX" for "bgm_stage01.adx") that Windows
    // gives a name that does not fit 8.3 when it is the `ordinal`-th name
    // of that form in its folder (1 to 4; later ones get hashed aliases).
    // Empty for a name that fits 8.3 as it is, whatever its case.
    static std::string ShortAlias(const std::string& utf8Name, unsigned ordinal);
};

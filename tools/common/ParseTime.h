// Times as the command-line tools take them, shared by corvina-play and
// corvina-encode. No platform code.
#pragma once

#include <string>

// A time as seconds ("83.5") or [hh:]mm:ss[.frac] ("1:23.5"), up to a day.
// False, and `seconds` untouched, for anything else.
bool ParseTime(const std::string& text, double& seconds);

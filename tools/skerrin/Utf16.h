// UTF-8, skerrin's spelling of paths and arguments, and the UTF-16 of
// Windows' own calls, both ways. Windows only.
#pragma once

#ifdef _WIN32
#include <string>

std::wstring Widen(const std::string& text);
std::string Utf8(const std::wstring& text);
#endif

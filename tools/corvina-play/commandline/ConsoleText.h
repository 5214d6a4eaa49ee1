// Text for the console: UTF-8 and wide strings both ways, result codes in words, and
// times in minutes and seconds.
#pragma once

#include <windows.h>

#include <string>

// `text` as UTF-8, and UTF-8 `text` as the system's UTF-16.
std::string Utf8(const std::wstring& text);
std::wstring Widen(const std::string& text);

// What a result code means, in words (no trailing period or newline).
std::string ResultText(HRESULT result);

// "1 loop", "2 loops".
std::string Plural(long long count, const char* noun);

// A time in 100-ns units as "m:ss.fff" ("h:mm:ss.fff" from an hour on), with
// `decimals` (0 to 3) digits after the point.
std::string ClockText(LONGLONG units, int decimals);

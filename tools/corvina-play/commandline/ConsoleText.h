// Text for the console: wide strings as UTF-8, result codes in words, and
// times in minutes and seconds.
#pragma once

#include <windows.h>

#include <string>

// `text` as UTF-8.
std::string Utf8(const std::wstring& text);

// What a result code means, in words (no trailing period or newline).
std::string ResultText(HRESULT result);

// A time in 100-ns units as "m:ss.fff" ("h:mm:ss.fff" from an hour on), with
// `decimals` (0 to 3) digits after the point.
std::string ClockText(LONGLONG units, int decimals);

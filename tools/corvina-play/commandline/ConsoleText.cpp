#include "commandline/ConsoleText.h"

#include <vfwmsgs.h>

#include <cstdio>

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::string();
    }
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &result[0], bytes, nullptr, nullptr);
    return result;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int length = static_cast<int>(text.size());
    const int characters = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (characters <= 0) {
        return std::wstring();
    }
    std::wstring result(static_cast<size_t>(characters), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &result[0], characters);
    return result;
}

std::string Plural(long long count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string ResultText(HRESULT result) {
    // The media platform's codes that this program meets, in its own words;
    // the system's message table has none of them.
    switch (result) {
    case VFW_E_INVALID_FILE_FORMAT:
        return "not an ADX stream";
    case VFW_E_FILE_TOO_SHORT:
        return "file too short";
    case VFW_E_NOT_CONNECTED:
        return "pins not connected";
    case VFW_E_CANNOT_CONNECT:
    case VFW_E_NO_ACCEPTABLE_TYPES:
    case VFW_E_TYPE_NOT_ACCEPTED:
        return "the filters found no media type to agree on";
    case VFW_E_CANNOT_RENDER:
    case VFW_E_UNSUPPORTED_STREAM:
        return "no registered filter takes the stream";
    case VFW_E_NOT_FOUND:
        return "not found";
    case VFW_E_BADALIGN:
        return "sample length not a whole number of ADX frames";
    case VFW_E_BUFFER_OVERFLOW:
        return "sample too large for the buffer";
    case VFW_E_NO_CLOCK:
        return "no reference clock";
    case E_OUTOFMEMORY:
        return "out of memory";
    case E_UNEXPECTED:
        return "unexpected failure";
    case E_FAIL:
        return "unspecified failure";
    default:
        break;
    }
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text;
    if (length != 0 && message != nullptr) {
        text.assign(message, length);
    }
    LocalFree(message);
    // The system's texts end with a period and a line break.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    char code[24];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(result));
    if (text.empty()) {
        return std::string("error ") + code;
    }
    return Utf8(text) + " (" + code + ")";
}

std::string ClockText(LONGLONG units, int decimals) {
    if (units < 0) {
        units = 0;
    }
    static const LONGLONG kScale[] = {10000000, 1000000, 100000, 10000};
    if (decimals < 0 || decimals > 3) {
        decimals = 3;
    }
    const LONGLONG fractionUnit = kScale[decimals];
    const LONGLONG fractions = units / fractionUnit; // truncated, as a clock shows it
    LONGLONG perSecond = 1;
    for (int i = 0; i < decimals; ++i) {
        perSecond *= 10;
    }
    const LONGLONG seconds = fractions / perSecond;
    const LONGLONG fraction = fractions % perSecond;
    char text[48];
    int length = 0;
    if (seconds >= 3600) {
        length = std::snprintf(text, sizeof(text), "%lld:%02lld:%02lld", seconds / 3600,
                               seconds / 60 % 60, seconds % 60);
    } else {
        length = std::snprintf(text, sizeof(text), "%lld:%02lld", seconds / 60, seconds % 60);
    }
    if (decimals > 0 && length > 0) {
        std::snprintf(text + length, sizeof(text) - static_cast<size_t>(length), ".%0*lld",
                      decimals, fraction);
    }
    return text;
}

#include "parser/UserSettings.h"

#include <windows.h>

namespace {

constexpr const wchar_t* kSettingsKey = L"Software\\corvina";
constexpr const wchar_t* kLoopByDefaultValue = L"LoopByDefault";

} // namespace

bool UserSettings::LoopByDefault() {
    DWORD value = 0;
    DWORD valueBytes = sizeof(value);
    // Absent, unreadable or of another type: the built-in default, off.
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kLoopByDefaultValue,
                                        RRF_RT_REG_DWORD, nullptr, &value, &valueBytes);
    return status == ERROR_SUCCESS && value == 1;
}

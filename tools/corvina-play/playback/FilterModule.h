// corvina.ax loaded by path, the way the COM run-time would load it, without
// registration: its class factories make the filters.
#pragma once

#include "playback/FilterFactory.h"

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>

class FilterModule final : public FilterFactory {
public:
    FilterModule() = default;
    // Unloads the module once every object made from it is released.
    ~FilterModule();
    FilterModule(const FilterModule&) = delete;
    FilterModule& operator=(const FilterModule&) = delete;

    // Loads `path`. The failure names what went wrong: the system's error for
    // a module that cannot be loaded, or ERROR_PROC_NOT_FOUND as an HRESULT
    // for a file without the COM entry point.
    HRESULT Load(const std::wstring& path);

    // The loaded module's file version from its version resource, the four
    // numbers in 16 bits each (major first); false when it has none.
    bool FileVersion(std::uint64_t& version) const;
    // This program's own version, packed the same way.
    static std::uint64_t ProgramVersion();
    // "major.minor.patch" of a packed version (".build" when not 0).
    static std::string VersionText(std::uint64_t version);

    // A new filter of `classId` through the module's class factory; *out
    // holds the only reference.
    HRESULT CreateFilter(REFCLSID classId, IBaseFilter** out) const override;

    // corvina.ax in the directory of this program.
    static std::wstring BesideProgram();

private:
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

    std::wstring fullPath_; // the loaded module's file
    HMODULE handle_ = nullptr;
    GetClassObjectFunction getClassObject_ = nullptr;
};

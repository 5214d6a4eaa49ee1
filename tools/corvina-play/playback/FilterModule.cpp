#include "playback/FilterModule.h"

#include "framework/com/ComPtr.h"
#include "framework/com/ResultMacros.h"

#include <corvina_version.h>

#include <string>
#include <vector>

FilterModule::~FilterModule() {
    if (handle_ == nullptr) {
        return;
    }
    // Unloaded only when none of its objects lives on (a graph that kept a
    // filter would run code that is gone); otherwise it stays until exit.
    using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
    const auto canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
        reinterpret_cast<void*>(GetProcAddress(handle_, "DllCanUnloadNow")));
    if (canUnloadNow != nullptr && canUnloadNow() == S_OK) {
        FreeLibrary(handle_);
    }
}

HRESULT FilterModule::Load(const std::wstring& path) {
    // A full path, so that the module's own directory is searched for what
    // it imports and a bare name is not looked up on the system's path.
    std::vector<wchar_t> fullPath(MAX_PATH);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(fullPath.size()),
                                    fullPath.data(), nullptr);
    if (length >= fullPath.size()) {
        fullPath.resize(length + 1);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(fullPath.size()),
                                  fullPath.data(), nullptr);
    }
    if (length == 0 || length >= fullPath.size()) {
        return ResultFromWin32Error(ERROR_BAD_PATHNAME);
    }
    // No error boxes from the loader: the message goes to the console.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    handle_ = LoadLibraryExW(fullPath.data(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD loadError = GetLastError();
    SetErrorMode(previousMode);
    if (handle_ == nullptr) {
        return ResultFromWin32Error(loadError != 0 ? loadError : ERROR_MOD_NOT_FOUND);
    }
    fullPath_.assign(fullPath.data(), length);
    getClassObject_ = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(handle_, "DllGetClassObject")));
    if (getClassObject_ == nullptr) {
        return ResultFromWin32Error(ERROR_PROC_NOT_FOUND);
    }
    return S_OK;
}

bool FilterModule::FileVersion(std::uint64_t& version) const {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(fullPath_.c_str(), &ignored);
    if (size == 0) {
        return false;
    }
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedBytes = 0;
    if (!GetFileVersionInfoW(fullPath_.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedBytes) ||
        fixed == nullptr || fixedBytes < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    version = (std::uint64_t{fixed->dwFileVersionMS} << 32) | fixed->dwFileVersionLS;
    return true;
}

std::uint64_t FilterModule::ProgramVersion() {
    return (std::uint64_t{CORVINA_VERSION_MAJOR} << 48) |
           (std::uint64_t{CORVINA_VERSION_MINOR} << 32) |
           (std::uint64_t{CORVINA_VERSION_PATCH} << 16);
}

std::string FilterModule::VersionText(std::uint64_t version) {
    std::string text = std::to_string((version >> 48) & 0xFFFF) + "." +
                       std::to_string((version >> 32) & 0xFFFF) + "." +
                       std::to_string((version >> 16) & 0xFFFF);
    if ((version & 0xFFFF) != 0) {
        text += "." + std::to_string(version & 0xFFFF);
    }
    return text;
}

HRESULT FilterModule::CreateFilter(REFCLSID classId, IBaseFilter** out) const {
    RETURN_HR_IF_NULL(E_POINTER, out);
    *out = nullptr;
    RETURN_HR_IF_NULL(E_UNEXPECTED, getClassObject_);
    ComPtr<IClassFactory> factory; // +1 on the module's factory for this class
    RETURN_IF_FAILED(getClassObject_(classId, IID_IClassFactory, factory.put_void()));
    return factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(out));
}

std::wstring FilterModule::BesideProgram() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"corvina.ax";
        }
        if (length < path.size()) {
            std::wstring directory(path.data(), length);
            const size_t slash = directory.find_last_of(L"\\/");
            directory.erase(slash == std::wstring::npos ? 0 : slash + 1);
            return directory + L"corvina.ax";
        }
        path.resize(path.size() * 2); // truncated: try again with more room
    }
}

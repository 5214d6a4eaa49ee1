// corvina.ax loaded the way the COM run-time loads it: by path, its entry
// points looked up by name. The tests create objects through its class
// factories, so the module's own resources, tables and counts are used.
#pragma once

#include <windows.h>

#include <string>

class LoadedModule {
public:
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using PlainFunction = HRESULT(STDAPICALLTYPE*)();

    LoadedModule() {
        handle_ = LoadLibraryW(Path().c_str());
        if (handle_ != nullptr) {
            getClassObject_ = reinterpret_cast<GetClassObjectFunction>(
                reinterpret_cast<void*>(GetProcAddress(handle_, "DllGetClassObject")));
            canUnloadNow_ = reinterpret_cast<PlainFunction>(
                reinterpret_cast<void*>(GetProcAddress(handle_, "DllCanUnloadNow")));
        }
    }
    ~LoadedModule() {
        if (handle_ != nullptr) {
            FreeLibrary(handle_);
        }
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool loaded() const {
        return handle_ != nullptr && getClassObject_ != nullptr && canUnloadNow_ != nullptr;
    }
    HMODULE handle() const { return handle_; }

    HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** out) const {
        return getClassObject_(classId, iid, out);
    }
    HRESULT CanUnloadNow() const { return canUnloadNow_(); }
    // DllRegisterServer or DllUnregisterServer, called in this process.
    HRESULT CallRegistrationExport(const char* name) const {
        const auto function =
            reinterpret_cast<PlainFunction>(reinterpret_cast<void*>(GetProcAddress(handle_, name)));
        return function != nullptr ? function() : E_NOTIMPL;
    }

    // Creates an object of `classId` through its class factory, as
    // CoCreateInstance would with the module registered.
    HRESULT Create(REFCLSID classId, REFIID iid, void** out) const {
        IClassFactory* factory = nullptr;
        HRESULT result =
            GetClassObject(classId, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (FAILED(result)) {
            return result;
        }
        result = factory->CreateInstance(nullptr, iid, out);
        factory->Release();
        return result;
    }

    // The build tree's corvina.ax as a Windows path.
    static std::wstring Path() { return WindowsPath(CORVINA_MODULE_FILE); }

    // A path of the build machine as the test prefix sees it (Wine maps / to
    // drive Z:).
    static std::wstring WindowsPath(const char* unixPath) {
        std::wstring path = L"Z:";
        for (const char* c = unixPath; *c != '\0'; ++c) {
            path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
        }
        return path;
    }

private:
    HMODULE handle_ = nullptr;
    GetClassObjectFunction getClassObject_ = nullptr;
    PlainFunction canUnloadNow_ = nullptr;
};

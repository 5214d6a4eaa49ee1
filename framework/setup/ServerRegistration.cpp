#include "framework/setup/ServerRegistration.h"

#include "framework/com/ComPtr.h"
#include "framework/com/FactoryTemplate.h"
#include "framework/com/ModuleHandle.h"
#include "framework/com/ResultMacros.h"

#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

namespace {

// Every string that goes into the registry is held in a buffer of this many
// characters and so cut at one less.
constexpr int kRegistryTextChars = MAX_PATH;

void CopyCut(WCHAR (&buffer)[kRegistryTextChars], const WCHAR* text) {
    lstrcpynW(buffer, text != nullptr ? text : L"", kRegistryTextChars);
}

DWORD StringBytes(const WCHAR* text) {
    const DWORD characters = static_cast<DWORD>(lstrlenW(text)) + 1; // with the terminator
    return characters * static_cast<DWORD>(sizeof(WCHAR));
}

// "CLSID\{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
void MakeClassKeyName(REFCLSID classId, WCHAR (&keyName)[kRegistryTextChars]) {
    WCHAR classText[39];
    StringFromGUID2(classId, classText, 39);
    CopyCut(keyName, L"CLSID\\");
    lstrcatW(keyName, classText);
}

} // namespace

HRESULT UpdateModuleRegistration(bool registering) {
    // The wide file name directly: an ANSI round trip would register a path
    // with characters outside the code page as '?'.
    WCHAR modulePath[MAX_PATH];
    const DWORD pathChars = GetModuleFileNameW(ModuleHandle, modulePath, MAX_PATH);
    if (pathChars == 0) {
        return ResultFromWin32Error(GetLastError());
    }
    if (pathChars >= MAX_PATH) {
        // The name was cut; registering it would point at a file that is
        // not there.
        return ResultFromWin32Error(ERROR_INSUFFICIENT_BUFFER);
    }

    if (registering) {
        RETURN_IF_FAILED(UpdateAllServerKeys(modulePath, true));
    }

    // Only a successful initialisation is undone: uninitialising after a
    // refusal (a thread already in the multithreaded apartment) would tear
    // down the caller's own.
    const HRESULT initialised = CoInitialize(nullptr);

    // The probe: some filter mapper must be creatable.
    ComPtr<IUnknown> mapper;
    HRESULT result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFilterMapper2, mapper.put_void());
    if (FAILED(result)) {
        result = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper, mapper.put_void());
    }
    mapper.reset(); // -1: the probe's only reference, before COM is uninitialised

    CoFreeUnusedLibraries();
    if (SUCCEEDED(initialised)) {
        CoUninitialize();
    }

    if (!registering && SUCCEEDED(result)) {
        result = UpdateAllServerKeys(modulePath, false);
    }
    return result;
}

HRESULT UpdateAllServerKeys(const WCHAR* modulePath, bool registering) {
    for (int row = 0; row < FactoryTableRowCount; ++row) {
        const FactoryTemplate& entry = FactoryTable[row];
        if (registering) {
            RETURN_IF_FAILED(WriteServerKeys(*entry.classId, entry.name, modulePath, L"Both",
                                             L"InprocServer32"));
        } else {
            WCHAR keyName[kRegistryTextChars];
            MakeClassKeyName(*entry.classId, keyName);
            // A key that will not go stays behind; the other rows still go.
            DeleteKeyTree(HKEY_CLASSES_ROOT, keyName);
        }
    }
    return S_OK;
}

HRESULT WriteServerKeys(REFCLSID classId, const WCHAR* description, const WCHAR* modulePath,
                        const WCHAR* threadingModel, const WCHAR* serverType) {
    WCHAR keyName[kRegistryTextChars];
    WCHAR descriptionText[kRegistryTextChars];
    WCHAR serverTypeText[kRegistryTextChars];
    WCHAR pathText[kRegistryTextChars];
    WCHAR threadingModelText[kRegistryTextChars];
    MakeClassKeyName(classId, keyName);
    CopyCut(descriptionText, description);
    CopyCut(serverTypeText, serverType);
    CopyCut(pathText, modulePath);
    CopyCut(threadingModelText, threadingModel);

    HKEY classKey = nullptr;
    LONG status = RegCreateKeyW(HKEY_CLASSES_ROOT, keyName, &classKey);
    if (status != ERROR_SUCCESS) {
        return ResultFromWin32Error(static_cast<DWORD>(status));
    }
    status = RegSetValueW(classKey, nullptr, REG_SZ, descriptionText, StringBytes(descriptionText));
    if (status != ERROR_SUCCESS) {
        RegCloseKey(classKey);
        return ResultFromWin32Error(static_cast<DWORD>(status));
    }

    HKEY serverKey = nullptr;
    status = RegCreateKeyW(classKey, serverTypeText, &serverKey);
    if (status != ERROR_SUCCESS) {
        RegCloseKey(classKey);
        return ResultFromWin32Error(static_cast<DWORD>(status));
    }
    status = RegSetValueW(serverKey, nullptr, REG_SZ, pathText, StringBytes(pathText));
    if (status != ERROR_SUCCESS) {
        RegCloseKey(serverKey);
        RegCloseKey(classKey);
        return ResultFromWin32Error(static_cast<DWORD>(status));
    }
    status = RegSetValueExW(serverKey, L"ThreadingModel", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(threadingModelText),
                            StringBytes(threadingModelText));
    RegCloseKey(serverKey);
    RegCloseKey(classKey);
    return status == ERROR_SUCCESS ? S_OK : ResultFromWin32Error(status & 0xFFFF);
}

HRESULT DeleteKeyTree(HKEY parent, const WCHAR* name) {
    if (name == nullptr || name[0] == L'\0') {
        return E_FAIL;
    }
    HKEY key = nullptr;
    const LONG openStatus = RegOpenKeyExW(parent, name, 0, MAXIMUM_ALLOWED, &key);
    if (openStatus == ERROR_FILE_NOT_FOUND) {
        return S_OK; // nothing to remove
    }
    if (openStatus != ERROR_SUCCESS) {
        return ResultFromWin32Error(static_cast<DWORD>(openStatus));
    }

    // Each removal shifts the next child to index 0. A child that stays
    // would be found there again for ever, so the first one ends the loop.
    HRESULT result = S_OK;
    WCHAR previousChild[kRegistryTextChars] = L"";
    for (;;) {
        WCHAR child[kRegistryTextChars];
        DWORD childChars = kRegistryTextChars;
        if (RegEnumKeyExW(key, 0, child, &childChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (lstrcmpW(child, previousChild) == 0) {
            result = E_FAIL; // reported as removed, yet still there
            break;
        }
        result = DeleteKeyTree(key, child);
        if (FAILED(result)) {
            break;
        }
        CopyCut(previousChild, child);
    }
    RegCloseKey(key);

    const LONG deleteStatus = RegDeleteKeyW(parent, name);
    if (SUCCEEDED(result) && deleteStatus != ERROR_SUCCESS &&
        deleteStatus != ERROR_FILE_NOT_FOUND) {
        result = ResultFromWin32Error(static_cast<DWORD>(deleteStatus));
    }
    return result;
}

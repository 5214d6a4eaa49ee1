// The five entry points of corvina.ax.
#include "framework/com/ClassFactory.h"
#include "framework/com/ModuleHandle.h"
#include "framework/com/ResultMacros.h"
#include "framework/setup/ServerRegistration.h"
#include "module/FilterRegistration.h"

#include <windows.h>

HINSTANCE ModuleHandle = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Nothing here needs per-thread notifications.
        DisableThreadLibraryCalls(instance);
        ModuleHandle = instance;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    return FrameworkGetClassObject(classId, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return FrameworkCanUnloadNow();
}

// Class keys first, then the filter-mapper entries. Keys written before a
// later failure stay.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    RETURN_IF_FAILED(UpdateModuleRegistration(true));
    return RegisterFilters();
}

// Class keys removed first, then the filter-mapper entries.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    RETURN_IF_FAILED(UpdateModuleRegistration(false));
    return UnregisterFilters();
}

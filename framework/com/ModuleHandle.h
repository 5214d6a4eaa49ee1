// The module's instance handle, stored by the module's DllMain at process
// attach; the registry code reads its file name, pages load their resources.
#pragma once

#include <windows.h>

extern HINSTANCE ModuleHandle;

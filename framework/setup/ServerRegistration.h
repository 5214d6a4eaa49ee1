// The per-class server keys under HKEY_CLASSES_ROOT\CLSID for every row of
// FactoryTable, written when the module registers and removed when it
// unregisters.
#pragma once

#include <windows.h>

// Registers: writes every row's keys, then checks that a filter mapper can be
// created (the keys stay if it cannot). Unregisters: checks the mapper first,
// then removes the keys. Needs ModuleHandle for the module's path.
HRESULT UpdateModuleRegistration(bool registering);
// Writes (or removes) the keys of every FactoryTable row for `modulePath`.
HRESULT UpdateAllServerKeys(const WCHAR* modulePath, bool registering);
// HKCR\CLSID\{classId} = description; its `serverType` sub-key = modulePath
// with the value "ThreadingModel" = threadingModel.
HRESULT WriteServerKeys(REFCLSID classId, const WCHAR* description, const WCHAR* modulePath,
                        const WCHAR* threadingModel, const WCHAR* serverType);
// Removes parent\name with all its sub-keys. A key that is not there counts
// as removed; E_FAIL for an empty name or when some sub-key would not go.
HRESULT DeleteKeyTree(HKEY parent, const WCHAR* name);

// One row of the module's table of creatable classes, and the table itself,
// which the module defines.
#pragma once

#include "framework/com/UnknownBase.h"

#include <windows.h>

// The creation contract of every creatable class: `outer` is the aggregating
// IUnknown or null; `*result` is S_OK on entry. Returns the new object's
// non-delegating IUnknown with a count of 0, or null. Stores E_OUTOFMEMORY in
// *result when the object cannot be allocated; a constructor may store
// another failure and still return the object (the caller then destroys it).
using CreateFunction = UnknownBase* (*)(IUnknown* outer, HRESULT* result);

struct FactoryTemplate {
    const WCHAR* name; // display name, the default value of the class key
    const CLSID* classId;
    CreateFunction create;
};

// Supplied by the module: its rows in registration and search order.
extern const FactoryTemplate FactoryTable[];
extern const int FactoryTableRowCount;

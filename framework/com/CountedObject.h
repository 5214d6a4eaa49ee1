// Module-wide object accounting: the module may be unloaded only when no
// framework object lives and no client holds a server lock.
#pragma once

#include <windows.h>

// Framework objects alive in this module (filters, pins, pages, enumerators'
// owners, class factories); changed only with interlocked operations.
extern volatile LONG LiveObjectCount;
// Net IClassFactory::LockServer calls, negative counts as 0. Interlocked:
// clients of a "Both" server may lock and unlock from several threads.
extern volatile LONG ServerLockCount;

// Counts itself in LiveObjectCount for its whole life.
class CountedObject {
public:
    CountedObject() { InterlockedIncrement(&LiveObjectCount); }
    ~CountedObject() { InterlockedDecrement(&LiveObjectCount); }
    CountedObject(const CountedObject&) = delete;
    CountedObject& operator=(const CountedObject&) = delete;
};

#include "framework/CountedObject.h"

volatile LONG LiveObjectCount = 0;
LONG ServerLockCount = 0;

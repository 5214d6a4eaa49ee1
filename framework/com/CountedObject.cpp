#include "framework/com/CountedObject.h"

volatile LONG LiveObjectCount = 0;
volatile LONG ServerLockCount = 0;

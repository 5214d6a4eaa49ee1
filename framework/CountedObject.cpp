#include "framework/CountedObject.h"

volatile LONG LiveObjectCount = 0;
volatile LONG ServerLockCount = 0;

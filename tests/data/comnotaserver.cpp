// A library that answers DllCanUnloadNow but hands out no class objects: registering it as a
// server is an error in the DLL, not a missing DLL.
#include "platform/com.h"

extern "C" HRESULT DllCanUnloadNow() { return S_OK; }

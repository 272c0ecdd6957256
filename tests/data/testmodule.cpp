// An ELF library as the package builds them: exports found by name, an entry point that the
// loader calls on attach and detach, resources in ".vxres". The tests read the counters below
// through GetProcAddressW.
#include "platform/modules.h"

extern "C" {

int g_vxAttachCount = 0;
int g_vxDetachCount = 0;
// Set by a test before loading to make the attach fail.
int g_vxRefuseAttach = 0;
HINSTANCE g_vxInstance = nullptr;
// Length of GetModuleFileNameW(instance) seen at the last detach: proves the device is still
// reachable while the table frees the library.
int g_vxDetachNameLength = -1;

BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ++g_vxAttachCount;
        g_vxInstance = instance;
        return g_vxRefuseAttach ? FALSE : TRUE;
    }
    if (reason == DLL_PROCESS_DETACH) {
        ++g_vxDetachCount;
        WCHAR name[MAX_PATH];
        g_vxDetachNameLength = static_cast<int>(GetModuleFileNameW(instance, name, MAX_PATH));
    }
    return TRUE;
}

int VxTestAdd(int a, int b) { return a + b; }

// Reads a string of the module through its own instance handle, as the package's code does.
int VxTestLoadString(UINT id, WCHAR* buffer, int size) { return LoadStringW(g_vxInstance, id, buffer, size); }

}

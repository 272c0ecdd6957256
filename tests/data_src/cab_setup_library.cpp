// A cabinet's setup library for the installer tests. Its answers come from the device's registry
// (HKLM\Software\VxCabTest: "InitAnswer", "UninstallAnswer", 0 when absent) and it notes each call
// there ("InitDir", "ExitCalls" with the failure counts it was given, "UninstallExitCalls").
#include "platform/cesetup.h"
#include "platform/registry.h"
#include "platform/winerror.h"
#include "platform/wintypes.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const WCHAR kKey[] = u"Software\\VxCabTest";

DWORD Answer(const WCHAR* name) {
    HKEY key = nullptr;
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, 0, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
            value = 0;
        RegCloseKey(key);
    }
    return value;
}

void Note(const WCHAR* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

DWORD Length(LPCWSTR text) {
    DWORD n = 0;
    while (text && text[n]) ++n;
    return n;
}

}  // namespace

VX_EXPORT codeINSTALL_INIT Install_Init(HWND, BOOL firstCall, BOOL previouslyInstalled, LPCWSTR installDir) {
    Note(u"InitDir", REG_SZ, installDir, (Length(installDir) + 1) * sizeof(WCHAR));
    const DWORD flags = (firstCall ? 1 : 0) | (previouslyInstalled ? 2 : 0);
    Note(u"InitFlags", REG_DWORD, &flags, sizeof flags);
    return static_cast<codeINSTALL_INIT>(Answer(u"InitAnswer"));
}

VX_EXPORT codeINSTALL_EXIT Install_Exit(HWND, LPCWSTR, WORD dirs, WORD files, WORD keys, WORD values, WORD shortcuts) {
    const WORD counts[] = {dirs, files, keys, values, shortcuts};
    Note(u"ExitCalls", REG_BINARY, counts, sizeof counts);
    return codeINSTALL_EXIT_DONE;
}

VX_EXPORT codeUNINSTALL_INIT Uninstall_Init(HWND, LPCWSTR installDir) {
    Note(u"UninstallDir", REG_SZ, installDir, (Length(installDir) + 1) * sizeof(WCHAR));
    return static_cast<codeUNINSTALL_INIT>(Answer(u"UninstallAnswer"));
}

VX_EXPORT codeUNINSTALL_EXIT Uninstall_Exit(HWND) {
    const DWORD one = 1;
    Note(u"UninstallExitCalls", REG_DWORD, &one, sizeof one);
    return codeUNINSTALL_EXIT_DONE;
}

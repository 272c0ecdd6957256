// After the installation: the installer's temporary record names the package, whose permanent
// record is removed with it, and the device preparation program runs to its end.
#include "packhook.h"

#include <cstring>

#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace setup {

namespace {

constexpr DWORD kValueBytes = 510;
// The installer names its keys from the root ("\SOFTWARE\TMPAPPS"); the registry
// calls take them relative to HKEY_LOCAL_MACHINE, without the leading backslash.
constexpr const WCHAR* kSoftware = u"SOFTWARE";
constexpr const WCHAR* kTemporaryRecord = u"SOFTWARE\\TMPAPPS";
constexpr const WCHAR* kApplicationRecords = u"SOFTWARE\\APPS";

// Appends a value of the key, cut so that the application key keeps its terminator. A value that
// cannot be read adds nothing.
void AppendValue(HKEY key, const WCHAR* name, WCHAR* applicationKey) {
    WCHAR value[kValueBytes / sizeof(WCHAR) + 1];
    std::memset(value, 0, sizeof value);
    DWORD size = kValueBytes;
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) return;
    const size_t used = wcslen(applicationKey);
    if (used < kApplicationKeyChars) wcsncat(applicationKey, value, kApplicationKeyChars - used);
}

void DeleteSubKey(const WCHAR* parent, const WCHAR* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteKeyW(key, name);
    RegCloseKey(key);
}

void PrepareDevice() {
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(kDevicePreparation, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &process))
        return;
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
}

}  // namespace

DWORD PackhookInstallExit() {
    WCHAR applicationKey[kApplicationKeyChars + 1];
    std::memset(applicationKey, 0, sizeof applicationKey);
    HKEY temporary = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTemporaryRecord, 0, KEY_ALL_ACCESS, &temporary) == ERROR_SUCCESS) {
        AppendValue(temporary, u"Provider", applicationKey);
        const size_t used = wcslen(applicationKey);
        if (used < kApplicationKeyChars) wcscat(applicationKey, u" ");
        AppendValue(temporary, u"Name", applicationKey);
        RegCloseKey(temporary);
        DeleteSubKey(kSoftware, u"TMPAPPS");
        DeleteSubKey(kApplicationRecords, applicationKey);
    }
    PrepareDevice();
    return 0;
}

}  // namespace setup

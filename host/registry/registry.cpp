// The registry calls: argument checks and error reporting over the installed device's
// RegistryStore, where names, folding and value typing live.
//
// Windows CE behaviour kept here where it differs from the desktop: access masks, options and
// security attributes are accepted and ignored (callers open with access 0 and then write), key
// classes and last-write times are not kept, and RegDeleteKeyW removes a whole subtree.
// Each call returns its error code and, on failure, also leaves it as the thread's last error;
// the device's documentation does not say whether it does the latter, and code that reads
// GetLastError after a failed call is better served by the code than by a stale value.
#include "platform/registry.h"

#include "host/kernel/device.h"
#include "host/registry/registry_store.h"

namespace {

host::RegistryStore* Store() {
    host::Device* device = host::CurrentDevice();
    return device ? &device->Registry() : nullptr;
}

LONG Done(LONG rc) {
    if (rc != ERROR_SUCCESS) host::SetLastErrorCode(static_cast<DWORD>(rc));
    return rc;
}

}  // namespace

// On failure *result is set to null, as on the desktop, so that a caller that closes it anyway
// closes nothing.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, HKEY* result) {
    if (!result) return Done(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->OpenKey(key, subKey, result));
}

// A null subkey opens the key itself, as the device documents.
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, void*, HKEY* result,
                     DWORD* disposition) {
    if (!result) return Done(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->CreateKey(key, subKey, result, disposition));
}

LONG RegCloseKey(HKEY key) {
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->CloseKey(key));
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
    if (data && !size) return Done(ERROR_INVALID_PARAMETER);
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->QueryValue(key, valueName, type, data, size));
}

// The bytes are stored exactly as given: a REG_SZ holds its terminator only when the caller
// counted it, and a REG_DWORD of another size than 4 is kept as it came.
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    if (!data && size) return Done(ERROR_INVALID_PARAMETER);
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->SetValue(key, valueName, type, data, size));
}

LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->DeleteValue(key, valueName));
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->DeleteKey(key, subKey));
}

// Class names are not kept: a class buffer receives an empty text. The last-write time is not
// kept either (the device ignores that parameter) and is left untouched.
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLen, DWORD*, LPWSTR className, DWORD* classLen,
                   FILETIME*) {
    if (!name || !nameLen) return Done(ERROR_INVALID_PARAMETER);
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    LONG rc = store->EnumKey(key, index, name, nameLen);
    if (rc == ERROR_SUCCESS && classLen) {
        if (className && *classLen) className[0] = 0;
        *classLen = 0;
    }
    return Done(rc);
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLen, DWORD*, DWORD* type, BYTE* data,
                   DWORD* dataLen) {
    if (!name || !nameLen || (data && !dataLen)) return Done(ERROR_INVALID_PARAMETER);
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->EnumValue(key, index, name, nameLen, type, data, dataLen));
}

LONG RegQueryInfoKeyW(HKEY key, LPWSTR className, DWORD* classLen, DWORD*, DWORD* subKeys, DWORD* maxSubKeyLen,
                      DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                      DWORD* securityDescriptor, FILETIME*) {
    if (className && !classLen) return Done(ERROR_INVALID_PARAMETER);
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    host::RegistryStore::KeyInfo info;
    if (LONG rc = store->QueryInfo(key, &info)) return Done(rc);
    if (classLen) {
        if (className && *classLen) className[0] = 0;
        *classLen = 0;
    }
    if (subKeys) *subKeys = info.subKeys;
    if (maxSubKeyLen) *maxSubKeyLen = info.maxSubKeyLength;
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = info.values;
    if (maxValueNameLen) *maxValueNameLen = info.maxValueNameLength;
    if (maxValueLen) *maxValueLen = info.maxValueSize;
    if (securityDescriptor) *securityDescriptor = 0;
    return ERROR_SUCCESS;
}

// Every write is already in the database when its call returns; flushing only checks the key.
LONG RegFlushKey(HKEY key) {
    host::RegistryStore* store = Store();
    if (!store) return Done(ERROR_INVALID_HANDLE);
    return Done(store->CheckKey(key));
}

#include "reghelpers.h"

#include <cstdlib>
#include <cstring>

#include "platform/registry.h"
#include "platform/text.h"

namespace {

// The read buffer's size is part of the behaviour: a larger value cannot be read.
const DWORD kReadBufferSize = 8096;

}  // namespace

BYTE* RegReadValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD* size, DWORD* type) {
    if (size) *size = 0;
    if (!size) return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, 0, &key) != ERROR_SUCCESS) return nullptr;
    BYTE buffer[kReadBufferSize];
    DWORD length = sizeof buffer;
    DWORD valueType = REG_NONE;
    LONG rc = RegQueryValueExW(key, valueName, nullptr, &valueType, buffer, &length);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return nullptr;
    // A zero-length value still yields a pointer, so that success stays distinguishable.
    auto* copy = static_cast<BYTE*>(malloc(length ? length : 1));
    if (!copy) return nullptr;
    memcpy(copy, buffer, length);
    *size = length;
    if (type) *type = valueType;
    return copy;
}

int RegReadDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD* value) {
    if (value) *value = 0;
    DWORD size = 0, type = REG_NONE;
    BYTE* data = RegReadValue(root, subKey, valueName, &size, &type);
    if (!data) return 0;
    // A longer REG_DWORD is read by its first four bytes, as the platform's reader of a DWORD
    // buffer gets them; a shorter one holds no whole number.
    int ok = type == REG_DWORD && size >= sizeof(DWORD);
    if (ok && value) memcpy(value, data, sizeof(DWORD));
    free(data);
    return ok;
}

LONG RegWriteValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, const void* data, DWORD count,
                   LPCWSTR typeName) {
    if (!typeName || wcslen(typeName) < 5) return -1;
    DWORD type;
    uint64_t bytes;
    switch (typeName[4]) {
    case 'B': type = REG_BINARY, bytes = count; break;
    case 'D': type = REG_DWORD, bytes = sizeof(DWORD); break;
    case 'S': type = REG_SZ, bytes = uint64_t(count) * sizeof(WCHAR); break;
    // Checked before the key is created, so an unknown type leaves the registry as it was.
    default: return -1;
    }
    if (bytes > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExW(root, subKey, 0, nullptr, 0, 0, nullptr, &key, &disposition);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key, valueName, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
    RegCloseKey(key);
    return rc;
}

int LanguageMatches(LPCWSTR text) {
    if (!text) return 1;
    DWORD current = 0;
    RegReadDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", &current);
    DWORD wanted = 0;
    if (ScanHex(text, &wanted) != 1) return 1;
    return wanted == current ? 0 : 1;
}

WCHAR* ReplaceFirstNoCase(WCHAR* text, DWORD capacity, LPCWSTR oldText, LPCWSTR newText) {
    if (!text || !oldText || !newText || !*text || !*oldText) return nullptr;
    WCHAR* upperText = _wcsdup(text);
    WCHAR* upperOld = _wcsdup(oldText);
    WCHAR* result = nullptr;
    if (upperText && upperOld) {
        CharUpperW(upperText);
        CharUpperW(upperOld);
        if (const WCHAR* found = wcsstr(upperText, upperOld)) {
            size_t at = static_cast<size_t>(found - upperText);
            size_t textLen = wcslen(text), oldLen = wcslen(oldText), newLen = wcslen(newText);
            if (textLen - oldLen + newLen + 1 <= capacity) {
                // The tail moves with its terminator; then the new text fills the gap.
                memmove(text + at + newLen, text + at + oldLen, (textLen - at - oldLen + 1) * sizeof(WCHAR));
                memcpy(text + at, newText, newLen * sizeof(WCHAR));
                result = text + at + newLen;
            }
        }
    }
    free(upperText);
    free(upperOld);
    return result;
}

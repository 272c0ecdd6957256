// The default input method setting.
#include "default_im.h"

#include <optional>
#include <string>

#include "CKeybInput.h"
#include "platform/registry.h"
#include "skin_catalogue.h"

namespace {

constexpr DWORD kTextChars = 260;

std::optional<std::u16string> ReadText(HKEY key, const WCHAR* name) {
    WCHAR buffer[kTextChars] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (!keyboard::IsTextSettingType(type)) return std::nullopt;
    buffer[kTextChars - 1] = 0;
    return std::u16string(buffer);
}

bool WriteText(HKEY key, const WCHAR* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() * 2 + 2)) == ERROR_SUCCESS;
}

bool CopyText(HKEY key, const WCHAR* from, const WCHAR* to) {
    std::optional<std::u16string> text = ReadText(key, from);
    if (text) return WriteText(key, to, *text);
    const LONG status = RegDeleteValueW(key, to);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

BOOL IsDefaultIm() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSipSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return FALSE;
    std::optional<std::u16string> text = ReadText(key, kDefaultImValue);
    RegCloseKey(key);
    CLSID clsid = GUID_NULL;
    return text && SUCCEEDED(CLSIDFromString(text->c_str(), &clsid)) && clsid == CLSID_KeybInput;
}

BOOL SetDefaultIm(BOOL restore) {
    std::u16string ours;
    if (!restore) {
        LPWSTR text = nullptr;
        if (FAILED(StringFromCLSID(CLSID_KeybInput, &text)) || !text) return FALSE;
        ours = text;
        CoTaskMemFree(text);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSipSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return FALSE;
    bool ok;
    if (restore)
        ok = CopyText(key, kPrevImValue, kDefaultImValue);
    else
        ok = CopyText(key, kDefaultImValue, kPrevImValue) && WriteText(key, kDefaultImValue, ours);
    RegCloseKey(key);
    return ok ? TRUE : FALSE;
}

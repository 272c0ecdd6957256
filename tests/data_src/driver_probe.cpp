// A driver library for the device manager's tests. Every PREFIX_Init it exports appends the key
// path it was given and ";" to the REG_SZ "Calls" of HKEY_LOCAL_MACHINE "DriverProbe", so a test
// reads which drivers were started and in which order. OKY_Init starts (returns 1), ZRO_Init
// refuses (returns 0).
#include <string>

#include "platform/devload.h"
#include "platform/registry.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Record(DWORD_PTR context) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"DriverProbe", 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    WCHAR calls[1024] = {};
    DWORD type = 0, size = sizeof calls - sizeof(WCHAR);
    RegQueryValueExW(key, u"Calls", nullptr, &type, reinterpret_cast<BYTE*>(calls), &size);
    std::u16string text = calls;
    text += reinterpret_cast<const WCHAR*>(context);
    text += u";";
    RegSetValueExW(key, u"Calls", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

}  // namespace

VX_EXPORT DWORD_PTR OKY_Init(DWORD_PTR context) {
    Record(context);
    return 1;
}

VX_EXPORT DWORD_PTR ZRO_Init(DWORD_PTR context) {
    Record(context);
    return 0;
}

// A control-panel applet for Dawnstep's tests. Each CPlApplet call appends one line
// "MESSAGE WINDOW PARAM1 PARAM2" (hex; for CPL_NEWINQUIRE PARAM2 is "zeroed" or "dirty", telling
// whether the NEWCPLINFO it got was cleared) to the REG_SZ "Calls" of HKEY_LOCAL_MACHINE
// "AppletProbe". CPL_NEWINQUIRE answers with application data 0x5A5A.
#include <cstdio>
#include <string>

#include "platform/cpl.h"
#include "platform/registry.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Record(const std::string& line) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"AppletProbe", 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    WCHAR calls[2048] = {};
    DWORD type = 0, size = sizeof calls - sizeof(WCHAR);
    RegQueryValueExW(key, u"Calls", nullptr, &type, reinterpret_cast<BYTE*>(calls), &size);
    std::u16string text = calls;
    for (char c : line) text += static_cast<WCHAR>(c);
    text += u"\n";
    RegSetValueExW(key, u"Calls", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

}  // namespace

VX_EXPORT LONG CPlApplet(HWND window, UINT message, LPARAM param1, LPARAM param2) {
    char line[96];
    if (message == CPL_NEWINQUIRE && param2) {
        auto* info = reinterpret_cast<NEWCPLINFO*>(param2);
        bool zeroed = true;
        for (size_t i = 0; i < sizeof *info; ++i) zeroed = zeroed && reinterpret_cast<const BYTE*>(info)[i] == 0;
        std::snprintf(line, sizeof line, "%u %p %lx %s", message, static_cast<void*>(window),
                      static_cast<long>(param1), zeroed ? "zeroed" : "dirty");
        info->lData = 0x5A5A;
    } else {
        std::snprintf(line, sizeof line, "%u %p %lx %lx", message, static_cast<void*>(window),
                      static_cast<long>(param1), static_cast<long>(param2));
    }
    Record(line);
    return 0;
}

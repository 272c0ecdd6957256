// A stand-in for the device preparation program \Windows\DevPrep.exe, for tests of what starts
// it. Each run adds one to the REG_DWORD "Runs" of HKEY_LOCAL_MACHINE "Emulator\DevPrep" (made
// when missing) and exits with the REG_DWORD "ExitCode" of that key (0 when missing), so that a
// test sees whether and how often it ran and chooses what it answers.
#include "platform/registry.h"
#include "platform/winbase.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Emulator\\DevPrep", 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 1;
    DWORD runs = 0, exitCode = 0, type = 0, size = sizeof runs;
    if (RegQueryValueExW(key, u"Runs", nullptr, &type, reinterpret_cast<BYTE*>(&runs), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        runs = 0;
    ++runs;
    RegSetValueExW(key, u"Runs", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&runs), sizeof runs);
    size = sizeof exitCode;
    if (RegQueryValueExW(key, u"ExitCode", nullptr, &type, reinterpret_cast<BYTE*>(&exitCode), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        exitCode = 0;
    RegCloseKey(key);
    return static_cast<int>(exitCode);
}

// The boot-time steps of Dawnstep, in the order they must happen: the certificates are installed
// before their cabinet is deleted, and the shortcut goes before anything that may reset the
// device, so that the program never runs at a second boot.
#include "dawnstep.h"

#include <cstring>


#include "platform/com.h"
#include "platform/cpl.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace setup {

namespace {

void InstallCertificates() {
    // The installer may write into its command line, so it gets a buffer of its own.
    WCHAR commandLine[MAX_PATH];
    wcsncpy(commandLine, kCertificateCabinet, MAX_PATH - 1);
    commandLine[MAX_PATH - 1] = 0;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(kCabinetInstaller, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                        &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// CPL_DBLCLK returns when the user closes the switcher's dialog; no owner window exists yet at
// boot.
void OpenLanguageSwitcher(NEWCPLINFO& info) {
    HMODULE applet = LoadLibraryW(kLanguageApplet);
    if (!applet) return;
    if (auto proc = reinterpret_cast<APPLET_PROC>(GetProcAddressW(applet, u"CPlApplet"))) {
        proc(nullptr, CPL_INIT, 0, 0);
        proc(nullptr, CPL_GETCOUNT, 0, 0);
        proc(nullptr, CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&info));
        proc(nullptr, CPL_DBLCLK, 0, info.lData);
    }
    FreeLibrary(applet);
}

}  // namespace

int DawnstepMain() {
    InstallCertificates();
    DeleteFileW(kStartupShortcut);
    DeleteFileW(kCertificateCabinet);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kApplicationRecord);
    // Early in a boot COM may not be ready yet; the switcher cannot work without it.
    while (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) Sleep(kComRetryMs);
    NEWCPLINFO info;
    std::memset(&info, 0, sizeof info);
    OpenLanguageSwitcher(info);
    return 0;
}

}  // namespace setup

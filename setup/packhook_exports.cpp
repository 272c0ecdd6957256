// The setup library's entry points as the cabinet installer calls them. Their arguments (the
// installer's window, the folder chosen, counts of files and keys) are not needed here.
#include "packhook.h"
#include "platform/cesetup.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

VX_EXPORT codeINSTALL_INIT Install_Init(HWND, BOOL /*firstCall*/, BOOL /*previouslyInstalled*/, LPCWSTR /*folder*/) {
    return codeINSTALL_INIT_CONTINUE;
}

VX_EXPORT codeINSTALL_EXIT Install_Exit(HWND, LPCWSTR /*folder*/, WORD /*failedDirs*/, WORD /*failedFiles*/,
                                       WORD /*failedRegKeys*/, WORD /*failedRegVals*/, WORD /*failedShortcuts*/) {
    return static_cast<codeINSTALL_EXIT>(setup::PackhookInstallExit());
}

// The package may not be removed: its removal would leave the device without its interface.
VX_EXPORT codeUNINSTALL_INIT Uninstall_Init(HWND, LPCWSTR /*folder*/) { return codeUNINSTALL_INIT_CANCEL; }

VX_EXPORT codeUNINSTALL_EXIT Uninstall_Exit(HWND) { return codeUNINSTALL_EXIT_DONE; }

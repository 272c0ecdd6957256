// The setup library's entry points as the cabinet installer calls them. Their arguments (the
// installer's window, the folder chosen, counts of files and keys) are not needed here.
#include "packhook.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

// The installer's answers: continue, done, and for a removal "cancel".
enum CodeInstallInit { codeINSTALL_INIT_CONTINUE = 0 };
enum CodeInstallExit { codeINSTALL_EXIT_DONE = 0 };
enum CodeUninstallInit { codeUNINSTALL_INIT_CONTINUE = 0, codeUNINSTALL_INIT_CANCEL = 1 };
enum CodeUninstallExit { codeUNINSTALL_EXIT_DONE = 0 };

VX_EXPORT CodeInstallInit Install_Init(HWND, BOOL /*firstCall*/, BOOL /*previouslyInstalled*/, LPCWSTR /*folder*/) {
    return codeINSTALL_INIT_CONTINUE;
}

VX_EXPORT CodeInstallExit Install_Exit(HWND, LPCWSTR /*folder*/, WORD /*failedDirs*/, WORD /*failedFiles*/,
                                       WORD /*failedRegKeys*/, WORD /*failedRegVals*/, WORD /*failedShortcuts*/) {
    return static_cast<CodeInstallExit>(setup::PackhookInstallExit());
}

// The package may not be removed: its removal would leave the device without its interface.
VX_EXPORT CodeUninstallInit Uninstall_Init(HWND, LPCWSTR /*folder*/) { return codeUNINSTALL_INIT_CANCEL; }

VX_EXPORT CodeUninstallExit Uninstall_Exit(HWND) { return codeUNINSTALL_EXIT_DONE; }

// A cabinet's setup library: the four entry points the device's cabinet installer calls while it
// installs or removes the cabinet, their answers, and the pointer types the installer finds them
// by. The arguments are the installer's window, the installation folder and, at the end of an
// installation, how many folders, files, registry keys, values and shortcuts failed.
#pragma once

#include "platform/wintypes.h"

enum codeINSTALL_INIT { codeINSTALL_INIT_CONTINUE = 0, codeINSTALL_INIT_CANCEL = 1 };
enum codeINSTALL_EXIT { codeINSTALL_EXIT_DONE = 0, codeINSTALL_EXIT_UNINSTALL = 1 };
enum codeUNINSTALL_INIT { codeUNINSTALL_INIT_CONTINUE = 0, codeUNINSTALL_INIT_CANCEL = 1 };
enum codeUNINSTALL_EXIT { codeUNINSTALL_EXIT_DONE = 0 };

using InstallInitProc = codeINSTALL_INIT (*)(HWND parent, BOOL firstCall, BOOL previouslyInstalled,
                                             LPCWSTR installDir);
using InstallExitProc = codeINSTALL_EXIT (*)(HWND parent, LPCWSTR installDir, WORD failedDirs, WORD failedFiles,
                                             WORD failedRegKeys, WORD failedRegValues, WORD failedShortcuts);
using UninstallInitProc = codeUNINSTALL_INIT (*)(HWND parent, LPCWSTR installDir);
using UninstallExitProc = codeUNINSTALL_EXIT (*)(HWND parent);

extern "C" {
codeINSTALL_INIT Install_Init(HWND parent, BOOL firstCall, BOOL previouslyInstalled, LPCWSTR installDir);
codeINSTALL_EXIT Install_Exit(HWND parent, LPCWSTR installDir, WORD failedDirs, WORD failedFiles, WORD failedRegKeys,
                              WORD failedRegValues, WORD failedShortcuts);
codeUNINSTALL_INIT Uninstall_Init(HWND parent, LPCWSTR installDir);
codeUNINSTALL_EXIT Uninstall_Exit(HWND parent);
}

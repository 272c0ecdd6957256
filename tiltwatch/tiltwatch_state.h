// The library's process-wide state. The instance is written when the library attaches, the
// thread's handle and identifier by TLT_Init before any TLT_Open can come, the window by the
// worker thread: each has one writer, so no lock guards them.
#pragma once

#include "platform/windows.h"

namespace tiltwatch {

extern HINSTANCE g_hInstance;
extern HANDLE g_hThread;
extern DWORD g_dwThreadId;
extern HWND g_hWnd;

}  // namespace tiltwatch

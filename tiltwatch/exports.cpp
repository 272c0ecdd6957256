// The stream driver's entry points as the device manager calls them, and the library entry.
// Only TLT_Init does anything: it starts the watcher thread, which nothing ever stops.
#include "platform/devload.h"
#include "platform/modules.h"
#include "platform/threads.h"
#include "tiltwatch.h"
#include "tiltwatch_state.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace tiltwatch {

HINSTANCE g_hInstance = nullptr;
HANDLE g_hThread = nullptr;
DWORD g_dwThreadId = 0;
HWND g_hWnd = nullptr;

}  // namespace tiltwatch

using namespace tiltwatch;

VX_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_hInstance = instance;
    return TRUE;
}

VX_EXPORT DWORD_PTR TLT_Init(DWORD_PTR /*registryPath*/) {
    g_hThread = CreateThread(nullptr, 0, WatcherThread, nullptr, 0, &g_dwThreadId);
    return reinterpret_cast<DWORD_PTR>(g_hThread);
}

VX_EXPORT DWORD_PTR TLT_Open(DWORD_PTR /*device*/, DWORD /*access*/, DWORD /*share*/) {
    return reinterpret_cast<DWORD_PTR>(g_hThread);
}

// Deinit and Close share one answer: nothing to undo.
static BOOL Done(DWORD_PTR) { return TRUE; }
VX_EXPORT BOOL TLT_Deinit(DWORD_PTR device) { return Done(device); }
VX_EXPORT BOOL TLT_Close(DWORD_PTR open) { return Done(open); }

VX_EXPORT void TLT_PowerUp(DWORD_PTR) {}
VX_EXPORT void TLT_PowerDown(DWORD_PTR) {}

// Reading, writing, seeking and control requests all do nothing and answer 0.
VX_EXPORT DWORD TLT_Read(DWORD_PTR, LPVOID, DWORD) { return 0; }
VX_EXPORT DWORD TLT_Write(DWORD_PTR, LPCVOID, DWORD) { return 0; }
VX_EXPORT DWORD TLT_Seek(DWORD_PTR, LONG, DWORD) { return 0; }
VX_EXPORT BOOL TLT_IOControl(DWORD_PTR, DWORD, LPBYTE, DWORD, LPBYTE, DWORD, LPDWORD) { return 0; }

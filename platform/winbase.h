// Process-wide platform calls that every subsystem uses: last error, message boxes, the debug
// trace sink, time and system metrics. Implemented by the device the host program installed.
#pragma once

#include "winerror.h"
#include "wintypes.h"

DWORD GetLastError();
void SetLastError(DWORD error);

// Message boxes. The device records each one and answers it (see the emulator's journal).
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON2 0x00000100L
#define MB_APPLMODAL 0x00000000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);

// Debug trace lines ("++PressKey\n" ...). Nothing depends on them; the device hands them to the
// trace sink a host program or test installed, and drops them when there is none.
void OutputDebugStringW(LPCWSTR text);
void DebugTrace(LPCWSTR fmt, ...);

// The trace of script runs that an author's tool installed, or null (always, on a device). One
// slot for the whole process, so that every module running the script engine reports to the same
// trace. An addition of this platform for authors' tools: the device has no such calls.
void* GetScriptTrace();
void SetScriptTrace(void* trace);

// Memory blocks that platform calls hand to their caller (CeReadRecordPropsEx's buffer). LocalFree
// returns null when it released the block.
typedef void* HLOCAL;
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
HLOCAL LocalAlloc(UINT flags, UINT bytes);
HLOCAL LocalFree(HLOCAL memory);

DWORD GetTickCount();
void Sleep(DWORD ms);

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
int GetSystemMetrics(int index);

// Kernel I/O control. The device honours IOCTL_HAL_REBOOT, the soft reset; on the emulator the
// reset is recorded in the journal and the call returns TRUE. Other codes fail with
// ERROR_NOT_SUPPORTED.
#define IOCTL_HAL_REBOOT 0x0101003C
BOOL KernelIoControl(DWORD ioControlCode, void* inBuffer, DWORD inSize, void* outBuffer, DWORD outSize,
                     DWORD* bytesReturned);

// A program's entry point, as on the device: the command line comes as one wide string, without
// the program's own name. The platform starts the program and calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

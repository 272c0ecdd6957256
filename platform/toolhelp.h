// Process snapshots: the processes running when the snapshot was taken, walked with
// Process32First and Process32Next.
#pragma once

#include "wintypes.h"
#include "winerror.h"

#define TH32CS_SNAPHEAPLIST 0x00000001
#define TH32CS_SNAPPROCESS 0x00000002
#define TH32CS_SNAPTHREAD 0x00000004
#define TH32CS_SNAPMODULE 0x00000008

struct PROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    DWORD th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    // The executable's file name, without its folder.
    WCHAR szExeFile[MAX_PATH];
    DWORD th32MemoryBase;
    DWORD th32AccessKey;
};
typedef PROCESSENTRY32* LPPROCESSENTRY32;

// INVALID_HANDLE_VALUE on failure. Only processes are recorded; the other kinds are empty.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
// entry->dwSize must be at least sizeof(PROCESSENTRY32) (ERROR_BAD_LENGTH otherwise); past the
// last process both fail with ERROR_NO_MORE_FILES.
BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry);
BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry);
BOOL CloseToolhelp32Snapshot(HANDLE snapshot);

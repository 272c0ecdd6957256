// Libraries and their resources: PE resource modules (skins), the package's own libraries,
// string tables, bitmaps and version resources.
#pragma once

#include "winbase.h"

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)

// A library's entry point, called with DLL_PROCESS_ATTACH on load and DLL_PROCESS_DETACH on free.
typedef BOOL (*DllEntryProc)(HINSTANCE instance, DWORD reason, LPVOID reserved);

HMODULE LoadLibraryW(LPCWSTR name);
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE reserved, DWORD flags);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);
// null: the running program's own module.
HMODULE GetModuleHandleW(LPCWSTR name);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
// size 0 stores a read-only pointer to the string (not terminated) in buffer and returns its
// length; otherwise copies at most size - 1 units and terminates.
int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size);
HBITMAP LoadBitmapW(HINSTANCE module, LPCWSTR name);

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

DWORD GetFileVersionInfoSizeW(LPCWSTR file, DWORD* handle);
BOOL GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data);
// "\\" gives the VS_FIXEDFILEINFO, "\\StringFileInfo\\LLLLCCCC\\Name" a string (length in units,
// terminator included), "\\VarFileInfo\\Translation" the language and code page pairs.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length);

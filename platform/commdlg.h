// The platform's open-file dialog: the person picks a file of the device, and the caller gets its
// full path and its name.
#pragma once

#include "windows.h"

// OPENFILENAMEW.Flags the package may pass.
#define OFN_HIDEREADONLY 0x00000004
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000

// CommDlgExtendedError codes.
#define CDERR_STRUCTSIZE 0x0001
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003

struct OPENFILENAMEW {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    // Pairs of a description and a pattern, each with its terminator, ended by an empty string.
    LPCWSTR lpstrFilter;
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    // In: the initial file name (may be empty); out: the chosen full path.
    LPWSTR lpstrFile;
    DWORD nMaxFile;
    // Out: the chosen file's name without its folder; may be null.
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    // Appended, after a dot, to a chosen name that has no extension of its own.
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCWSTR lpTemplateName;
};

// TRUE with the chosen file in the buffers; FALSE when the person cancelled (CommDlgExtendedError
// then 0) or the dialog failed (CommDlgExtendedError says why).
BOOL GetOpenFileNameW(OPENFILENAMEW* ofn);
DWORD CommDlgExtendedError();

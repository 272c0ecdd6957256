// The Pocket PC shell's calls on dialogs: full-screen dialogs with a Done button in the
// navigation bar, and the menu bar at the bottom of the screen.
#pragma once

#include "windows.h"

#define SHIDIM_FLAGS 0x0001
#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010

struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
// Sizes the dialog to the work area (the screen below the navigation bar and above the menu
// bar) and gives it a Done button that sends IDOK.
BOOL SHInitDialog(SHINITDLGINFO* info);

#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004

struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    COLORREF clrBk;
};
// Makes the menu bar of the parent window; with SHCMBF_EMPTYBAR it holds no commands.
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

// The control panel's side of an applet library: the messages of CPlApplet and what an applet
// tells the control panel about itself.
#pragma once

#include "windows.h"

#define CPL_INIT 1
#define CPL_GETCOUNT 2
#define CPL_INQUIRE 3
#define CPL_SELECT 4
#define CPL_DBLCLK 5
#define CPL_STOP 6
#define CPL_EXIT 7
#define CPL_NEWINQUIRE 8

struct CPLINFO {
    int idIcon;
    int idName;
    int idInfo;
    LONG_PTR lData;
};

struct NEWCPLINFO {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHelpContext;
    LONG_PTR lData;
    HICON hIcon;
    WCHAR szName[32];
    WCHAR szInfo[64];
    WCHAR szHelpFile[128];
};

typedef LONG (*APPLET_PROC)(HWND window, UINT message, LPARAM param1, LPARAM param2);

// Windows as the package's code uses them: invalidation, client rectangles, window device
// contexts, pen capture, the virtual-key codes and the pen messages. The window layer grows
// from here.
#pragma once

#include "winbase.h"

#define WM_PAINT 0x000F
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203

#define KEYEVENTF_EXTENDEDKEY 0x0001
#define KEYEVENTF_KEYUP 0x0002

#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_OEM_1 0xBA
#define VK_OEM_PLUS 0xBB
#define VK_OEM_COMMA 0xBC
#define VK_OEM_MINUS 0xBD
#define VK_OEM_PERIOD 0xBE
#define VK_OEM_2 0xBF
#define VK_OEM_3 0xC0
#define VK_OEM_4 0xDB
#define VK_OEM_5 0xDC
#define VK_OEM_6 0xDD
#define VK_OEM_7 0xDE
#define VK_PACKET 0xE7

// rect null: the whole client area.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL GetClientRect(HWND window, RECT* rect);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
// Returns the window that held the capture before, or null.
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();

// Painting: BeginPaint hands out a context clipped to the update region and validates it.
struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// rect null: the whole update region.
BOOL ValidateRect(HWND window, const RECT* rect);
// Nonzero when the update region is not empty; rect receives its bounds.
BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase);

// Window classes, windows and messages.
struct HICON__;
typedef HICON__* HICON;
typedef HICON HCURSOR;
struct HMENU__;
typedef HMENU__* HMENU;
typedef WORD ATOM;
typedef intptr_t LONG_PTR;

typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_SETTINGCHANGE 0x001A
#define WM_USER 0x0400

// WM_SETTINGCHANGE's wParam after the screen turned: every top-level window is told.
#define SETTINGCHANGE_RESET 0x3002

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008

#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_POPUP 0x80000000L
#define CW_USEDEFAULT ((int)0x80000000)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_SHOWNA 8

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

#define GWL_WNDPROC (-4)
#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)
#define GWLP_WNDPROC GWL_WNDPROC
#define GWLP_USERDATA GWL_USERDATA

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define MK_LBUTTON 0x0001

#define SIZE_RESTORED 0

#define MAKELPARAM(low, high) ((LPARAM)(DWORD)MAKELONG(low, high))
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
#define MAKEINTATOM(atom) ((LPCWSTR)(uintptr_t)((WORD)(atom)))

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    // A brush, or a system colour index plus one.
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    // A name, or an atom from MAKEINTATOM.
    LPCWSTR lpszClassName;
};

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

// Returns the class atom, or 0 (ERROR_CLASS_ALREADY_EXISTS when the name is taken).
ATOM RegisterClassW(const WNDCLASSW* wndClass);
// Fails with ERROR_CLASS_DOES_NOT_EXIST for an unknown name or another instance's class, and
// with ERROR_CLASS_HAS_WINDOWS while windows of the class exist.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
BOOL GetClassInfoW(HINSTANCE instance, LPCWSTR className, WNDCLASSW* wndClass);

// A child (WS_CHILD) is placed in its parent's client coordinates, a top-level window on the
// screen. WM_CREATE returning -1 destroys the window and the call returns null.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// WM_DESTROY goes to the window and then to its children; the children's handles die first.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
HWND GetParent(HWND window);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A window of another thread handles the message on its own thread, when that thread looks for
// messages; the caller waits for the result, handling meanwhile what is sent to its own windows.
// 0 for a window whose thread has ended.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// window null: a message to the calling thread itself. Fails for a window whose thread has ended.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Posted messages in order, then WM_PAINT for a window whose update region is not empty.
// GetMessageW waits for one and returns 0 for WM_QUIT.
BOOL GetMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
// Sends WM_PAINT at once when the update region is not empty.
BOOL UpdateWindow(HWND window);

// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
// The window and every ancestor have WS_VISIBLE.
BOOL IsWindowVisible(HWND window);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
// Screen coordinates.
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);

LONG GetWindowLongW(HWND window, int index);
LONG SetWindowLongW(HWND window, int index, LONG value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);

// Top-level windows: stacking order, titles, class names, owning processes, the foreground
// window, and synthesised keystrokes.
#ifndef WM_ACTIVATE
#define WM_ACTIVATE 0x0006
#endif
#ifndef WM_SETTEXT
#define WM_SETTEXT 0x000C
#endif
#ifndef WM_GETTEXT
#define WM_GETTEXT 0x000D
#endif
#ifndef WM_GETTEXTLENGTH
#define WM_GETTEXTLENGTH 0x000E
#endif
#ifndef WM_KEYDOWN
#define WM_KEYDOWN 0x0100
#endif
#ifndef WM_KEYUP
#define WM_KEYUP 0x0101
#endif
#ifndef WM_COMMAND
#define WM_COMMAND 0x0111
#endif
#ifndef WA_INACTIVE
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#endif
#ifndef GW_HWNDFIRST
#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
#endif
#ifndef WS_EX_CAPTIONOKBTN
#define WS_EX_CAPTIONOKBTN 0x80000000L
#endif

// GW_CHILD with a null window gives the topmost top-level window; GW_HWNDNEXT walks down the
// stack (for children, from the topmost child down).
HWND GetWindow(HWND window, UINT command);
// A top-level window whose class name (any case) and title (exactly) match; null matches any.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
// Both copy at most maxCount - 1 units plus a terminator and return the units copied.
int GetClassNameW(HWND window, LPWSTR className, int maxCount);
int GetWindowTextW(HWND window, LPWSTR text, int maxCount);
int GetWindowTextLengthW(HWND window);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
// Returns the creating thread's identifier; processId (may be null) receives the owner process.
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);
HWND GetForegroundWindow();
// Puts the window's top-level window on top of the stack and makes it the foreground window.
BOOL SetForegroundWindow(HWND window);
HWND GetActiveWindow();
// Returns the previously active window.
HWND SetActiveWindow(HWND window);
void keybd_event(BYTE vk, BYTE scan, DWORD flags, DWORD extraInfo);

// The system cursors; LoadCursorW with a null instance gives their shared handles.
#ifndef IDC_WAIT
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#endif
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
// The icon group resource of the module; null (ERROR_RESOURCE_NAME_NOT_FOUND) when it has none.
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
BOOL DestroyIcon(HICON icon);
// Returns the cursor shown before (null when none was).
HCURSOR SetCursor(HCURSOR cursor);
#ifndef HWND_TOP
#define HWND_TOP ((HWND)(intptr_t)0)
#define HWND_BOTTOM ((HWND)(intptr_t)1)
#define HWND_TOPMOST ((HWND)(intptr_t)-1)
#define HWND_NOTOPMOST ((HWND)(intptr_t)-2)
#endif

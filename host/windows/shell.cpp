// The shell's calls on dialogs: SHInitDialog makes a dialog fill the work area, the screen between
// the navigation bar at the top and the menu bar at the bottom, and gives it the Done button of the
// navigation bar; SHCreateMenuBar makes the menu bar, a window of its own along the bottom edge,
// which goes with the dialog it was made for.
#include "host/windows/dialog.h"
#include "host/windows/sip.h"
#include "platform/shell.h"

namespace host {

// The menu bar paints itself grey; an empty bar holds no commands to draw.
LRESULT MenuBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (!dc) return 0;
    RECT client{};
    GetClientRect(window, &client);
    HBRUSH brush = CreateSolidBrush(RGB(0xC8, 0xD0, 0xDC));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    EndPaint(window, &paint);
    return 0;
}

}  // namespace host

BOOL SHInitDialog(SHINITDLGINFO* info) {
    if (!info || !(info->dwMask & SHIDIM_FLAGS) || !IsWindow(info->hDlg)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    if (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        const int top = host::kSipNavigationBarHeight;
        const int bottom = info->dwFlags & SHIDIF_FULLSCREENNOMENUBAR ? height : height - host::kSipMenuBarHeight;
        MoveWindow(info->hDlg, 0, top, width, bottom - top, TRUE);
    }
    host::SetDoneButton(info->hDlg, info->dwFlags & SHIDIF_DONEBUTTON);
    return TRUE;
}

BOOL SHCreateMenuBar(SHMENUBARINFO* info) {
    if (!info || info->cbSize < sizeof(SHMENUBARINFO) - sizeof(COLORREF) || !IsWindow(info->hwndParent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    const DWORD style = WS_POPUP | (info->dwFlags & SHCMBF_HIDDEN ? 0 : WS_VISIBLE);
    HWND bar = CreateWindowExW(0, u"menu_worker", u"", style, 0, height - host::kSipMenuBarHeight, width,
                               host::kSipMenuBarHeight, nullptr, nullptr, info->hInstRes, nullptr);
    if (!bar) return FALSE;
    host::AttachToDialog(info->hwndParent, bar);
    info->hwndMB = bar;
    return TRUE;
}

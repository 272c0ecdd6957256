// A small window framework: a window object binds its handle to itself and receives every
// message of the window through ProcessWindowMessage. The window class of an implementation is
// registered on its first creation (or reused when the process already knows the name) and
// unregistered by UnregisterWndClass when the library leaves the process.
//
// Binding: the class's window procedure finds the object through the window's user data. The
// messages sent while CreateWindowExW runs arrive before that is set, so the object being
// created is handed over through a per-thread slot.
#pragma once

#include "platform/dialogs.h"
#include "platform/gdi.h"
#include "platform/windows.h"

namespace imshell {

// The handle holder.
class CWindow {
public:
    HWND m_hWnd = nullptr;
};

// The dispatch interface: true when the message was handled, with its result in result.
class CMessageMap {
public:
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

protected:
    ~CMessageMap() = default;
};

class CWindowImplRoot : public CWindow, public CMessageMap {
public:
    // Destroys the window if it still exists.
    virtual ~CWindowImplRoot();
    virtual WNDPROC GetWindowProc();
    // Called after the window's last message (WM_DESTROY); the handle is already cleared.
    virtual void OnFinalMessage(HWND window);

    CWindowImplRoot() = default;
    CWindowImplRoot(const CWindowImplRoot&) = delete;
    CWindowImplRoot& operator=(const CWindowImplRoot&) = delete;

protected:
    static LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Registers (or reuses) the class described by wndClass with instance, then creates the
    // window bound to this object. Null on failure.
    HWND CreateBound(WNDCLASSW& wndClass, HINSTANCE instance, HWND parent, const RECT& rect, LPCWSTR title,
                     DWORD style, DWORD exStyle);
};

// The implementation for one window type T; T supplies ProcessWindowMessage, and the class
// description is shared by every T window of the process.
template <class T>
class CWindowImpl : public CWindowImplRoot {
public:
    static WNDCLASSW& GetWndClassInfo() {
        static WNDCLASSW wc = {T::kClassStyle, nullptr, 0, 0, nullptr, nullptr, nullptr,
                               reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1)), nullptr, nullptr};
        return wc;
    }

    HWND Create(HINSTANCE instance, HWND parent, const RECT& rect, LPCWSTR title, DWORD style, DWORD exStyle) {
        return CreateBound(GetWndClassInfo(), instance, parent, rect, title, style, exStyle);
    }

    // Unregisters the class if this module registered it; false when it was not registered.
    static BOOL UnregisterWndClass(HINSTANCE instance) {
        WNDCLASSW& wc = GetWndClassInfo();
        return wc.lpszClassName ? UnregisterClassW(wc.lpszClassName, instance) : FALSE;
    }
};

// A modal dialog made from a template and bound to its object as a window is: every message of
// the dialog reaches ProcessWindowMessage, and a message it does not handle gets the dialog
// manager's default handling. One object may run its dialog any number of times, one at a time.
class CDialogImplBase : public CWindowImplRoot {
public:
    virtual DLGPROC GetDialogProc();

protected:
    static INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // The result EndDialog gave, or -1 when the dialog could not be made.
    INT_PTR RunModal(HINSTANCE instance, UINT templateId, HWND owner);
};

// The dialog of template T::IDD.
template <class T>
class CDialogImpl : public CDialogImplBase {
public:
    INT_PTR DoModal(HINSTANCE instance, HWND owner) { return RunModal(instance, T::IDD, owner); }
    BOOL EndDialog(int result) { return ::EndDialog(m_hWnd, result); }
};

}  // namespace imshell

// Binding of window handles to window objects and class registration.
#include "window_impl.h"

#include <utility>

namespace imshell {

namespace {

// The object whose window CreateWindowExW is making on this thread.
thread_local CWindowImplRoot* t_creating = nullptr;
// The object whose dialog DialogBoxParamW is making on this thread.
thread_local CDialogImplBase* t_creatingDialog = nullptr;

}  // namespace

CWindowImplRoot::~CWindowImplRoot() {
    if (m_hWnd && IsWindow(m_hWnd)) {
        // The derived object is gone already: the window's last messages go to the default
        // procedure.
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
    m_hWnd = nullptr;
}

WNDPROC CWindowImplRoot::GetWindowProc() { return &CWindowImplRoot::WindowProc; }

void CWindowImplRoot::OnFinalMessage(HWND) {}

LRESULT CWindowImplRoot::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* object = reinterpret_cast<CWindowImplRoot*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!object && t_creating) {
        object = t_creating;
        t_creating = nullptr;
        object->m_hWnd = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    if (!object) return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    const BOOL handled = object->ProcessWindowMessage(window, message, wParam, lParam, result);
    if (!handled) result = DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_DESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (object->m_hWnd == window) object->m_hWnd = nullptr;
        object->OnFinalMessage(window);
    }
    return result;
}

HWND CWindowImplRoot::CreateBound(WNDCLASSW& wndClass, HINSTANCE instance, HWND parent, const RECT& rect,
                                  LPCWSTR title, DWORD style, DWORD exStyle) {
    if (!wndClass.lpszClassName) return nullptr;
    WNDCLASSW known{};
    if (!GetClassInfoW(instance, wndClass.lpszClassName, &known)) {
        wndClass.lpfnWndProc = GetWindowProc();
        wndClass.hInstance = instance;
        if (!wndClass.hCursor) wndClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        if (!RegisterClassW(&wndClass)) return nullptr;
    }
    t_creating = this;
    HWND window = CreateWindowExW(exStyle, wndClass.lpszClassName, title, style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, instance, nullptr);
    // A window that got no message during creation never took the slot.
    if (t_creating == this) {
        t_creating = nullptr;
        if (window) {
            m_hWnd = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        }
    }
    return window;
}

DLGPROC CDialogImplBase::GetDialogProc() { return &CDialogImplBase::DialogProc; }

INT_PTR CDialogImplBase::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* object = reinterpret_cast<CDialogImplBase*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (!object && t_creatingDialog) {
        object = std::exchange(t_creatingDialog, nullptr);
        object->m_hWnd = dialog;
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    if (!object) return FALSE;
    LRESULT result = 0;
    const BOOL handled = object->ProcessWindowMessage(dialog, message, wParam, lParam, result);
    if (message == WM_DESTROY) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
        if (object->m_hWnd == dialog) object->m_hWnd = nullptr;
        object->OnFinalMessage(dialog);
    }
    if (!handled) return FALSE;
    // WM_INITDIALOG answers whether the focus is left to the dialog manager; other handled
    // messages answer that they were handled.
    return message == WM_INITDIALOG ? static_cast<INT_PTR>(result) : TRUE;
}

INT_PTR CDialogImplBase::RunModal(HINSTANCE instance, UINT templateId, HWND owner) {
    t_creatingDialog = this;
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, GetDialogProc(),
                                           reinterpret_cast<LPARAM>(this));
    // A dialog that was never made never took the slot.
    if (t_creatingDialog == this) t_creatingDialog = nullptr;
    m_hWnd = nullptr;
    return result;
}

}  // namespace imshell

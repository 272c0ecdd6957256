// The worker thread, its hidden window and what the window does on a rotation.
#include "tiltwatch.h"

#include "platform/registry.h"
#include "platform/text.h"
#include "tiltwatch_state.h"

namespace tiltwatch {

namespace {

constexpr const WCHAR* kClassName = u"_Tiltwatcher";
constexpr const WCHAR* kWindowName = u"Tiltwatcher";

// Only a key that exists is written: the Today skin plug-in that reads it may not be installed.
void PointSkinAtScreenShape() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSkinKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    const WCHAR* skin =
        GetSystemMetrics(SM_CXSCREEN) > GetSystemMetrics(SM_CYSCREEN) ? kLandscapeSkin : kPortraitSkin;
    const DWORD bytes = static_cast<DWORD>((wcslen(skin) + 1) * sizeof(WCHAR));
    RegSetValueExW(key, u"skin", 0, REG_SZ, reinterpret_cast<const BYTE*>(skin), bytes);
    RegCloseKey(key);
}

}  // namespace

LRESULT WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET) PointSkinAtScreenShape();
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

DWORD WatcherThread(LPVOID /*parameter*/) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WatcherProc;
    wc.hInstance = g_hInstance;
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    g_hWnd = CreateWindowExW(0, kClassName, kWindowName, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, g_hInstance, nullptr);
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<DWORD>(msg.wParam);
}

}  // namespace tiltwatch

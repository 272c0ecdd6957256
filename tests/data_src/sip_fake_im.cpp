// A fake input method for the SIP tests. It behaves as an input method must (a panel window
// created as a child of the SIP window in Select, moved by ReceiveSipInfo, the SIP window sized
// by Showing, the callback used by Showing and Hiding) and logs every call in order.
#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "host/com/server_parts.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/windows.h"
#include "sip_fake_im.h"

namespace {

std::string g_log;
std::string g_logCopy;
std::atomic<LONG> g_locks{0};
bool g_hold = false;
int g_panelHeight = 0;
HINSTANCE g_instance = nullptr;
const WCHAR kPanelClass[] = u"FakeImPanel";

void Log(const std::string& line) { g_log += line + "\n"; }

std::string RectText(const RECT& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", long(r.left), long(r.top), long(r.right), long(r.bottom));
    return text;
}

LRESULT PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const char* name = nullptr;
    switch (message) {
    case WM_LBUTTONDOWN: name = "WM_LBUTTONDOWN"; break;
    case WM_MOUSEMOVE: name = "WM_MOUSEMOVE"; break;
    case WM_LBUTTONUP: name = "WM_LBUTTONUP"; break;
    case WM_LBUTTONDBLCLK: name = "WM_LBUTTONDBLCLK"; break;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        RECT client{};
        GetClientRect(window, &client);
        HBRUSH brush = CreateSolidBrush(kFakeImPanelColour);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        EndPaint(window, &ps);
        return 0;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
    char text[96];
    std::snprintf(text, sizeof text, "%s 0x%X %d,%d", name, unsigned(wParam), GET_X_LPARAM(lParam),
                  GET_Y_LPARAM(lParam));
    Log(text);
    return 0;
}

class FakeIm final : public IInputMethod2 {
public:
    explicit FakeIm(const char* tag) : m_tag(tag) { ++g_locks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IInputMethod || riid == IID_IInputMethod2) {
            *object = static_cast<IInputMethod2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) {
            Call("Release");
            delete this;
        }
        return refs;
    }

    HRESULT STDMETHODCALLTYPE Select(HWND sip) override {
        RECT r{};
        GetWindowRect(sip, &r);
        Call("Select " + RectText(r));
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = PanelProc;
        wc.hInstance = g_instance;
        wc.lpszClassName = kPanelClass;
        RegisterClassW(&wc);  // already known after the first Select since the library loaded
        m_sip = sip;
        m_panel = CreateWindowExW(0, kPanelClass, nullptr, WS_CHILD, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                  sip, nullptr, g_instance, nullptr);
        if (!m_panel) return E_FAIL;
        ShowWindow(m_panel, SW_SHOWNOACTIVATE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deselect() override {
        Call("Deselect");
        if (m_panel) DestroyWindow(m_panel);
        m_panel = nullptr;
        return S_OK;
    }
    // Sizes the SIP window as a docked keyboard does: a third of the screen in landscape, a
    // quarter in portrait.
    HRESULT STDMETHODCALLTYPE Showing() override {
        Call("Showing");
        const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
        RECT r{};
        GetWindowRect(m_sip, &r);
        const int height = g_panelHeight ? g_panelHeight : cx > cy ? cy / 3 : cy / 4;
        if (r.bottom - r.top != height) MoveWindow(m_sip, 0, r.top, cx, height, TRUE);
        if (m_callback) m_callback->SendVirtualKey(VK_SHIFT, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Hiding() override {
        Call("Hiding");
        if (m_callback) m_callback->SendVirtualKey(VK_SHIFT, KEYEVENTF_KEYUP);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInfo(IMINFO* info) override {
        Call("GetInfo");
        if (!info) return E_POINTER;
        info->cbSize = sizeof(IMINFO);
        info->hImageNarrow = nullptr;
        info->hImageWide = nullptr;
        info->iNarrow = info->iWide = -1;
        info->fdwFlags = SIPF_DOCKED;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReceiveSipInfo(SIPINFO* info) override {
        if (!info) return E_POINTER;
        Call("ReceiveSipInfo sip=" + RectText(info->rcSipRect) + " desktop=" + RectText(info->rcVisibleDesktop) +
             " flags=" + std::to_string(info->fdwFlags));
        if (m_panel)
            MoveWindow(m_panel, 0, 0, info->rcSipRect.right - info->rcSipRect.left,
                       info->rcSipRect.bottom - info->rcSipRect.top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterCallback(IIMCallback* callback) override {
        Call(callback ? "RegisterCallback" : "RegisterCallback null");
        m_callback = callback;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImData(DWORD, void*) override { return Call("GetImData"), S_OK; }
    HRESULT STDMETHODCALLTYPE SetImData(DWORD, void*) override { return Call("SetImData"), S_OK; }
    // As an options page does while it is open: this input method is made current and shown, and
    // then the other one, which stops this object when it was the one running.
    HRESULT STDMETHODCALLTYPE UserOptionsDlg(HWND owner) override {
        Call(owner ? "UserOptionsDlg owner" : "UserOptionsDlg");
        const bool isA = m_tag[0] == 'A';
        CLSID self = isA ? CLSID_FakeImA : CLSID_FakeImB, other = isA ? CLSID_FakeImB : CLSID_FakeImA;
        SipSetCurrentIM(&self);
        SipShowIM(SIPF_ON);
        SipSetCurrentIM(&other);
        Call("UserOptionsDlg returns");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIMMActiveContext(HWND, BOOL, DWORD, DWORD, DWORD) override {
        return Call("SetIMMActiveContext"), S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterCallback2(IIMCallback2*) override { return Call("RegisterCallback2"), S_OK; }

private:
    ~FakeIm() {
        if (m_panel) DestroyWindow(m_panel);
        --g_locks;
    }
    void Call(const std::string& what) { Log(std::string(m_tag) + " " + what); }

    std::atomic<ULONG> m_refs{1};
    const char* m_tag;
    HWND m_sip = nullptr;
    HWND m_panel = nullptr;
    IIMCallback* m_callback = nullptr;
};

const char kTagA[] = "A";
const char kTagB[] = "B";

template <const char* Tag>
HRESULT Create(REFIID riid, void** object) {
    const HRESULT hr = host::CreateAndQuery<FakeIm>(riid, object, Tag);
    if (SUCCEEDED(hr)) Log(std::string(Tag) + " created");
    return hr;
}

host::StaticClassFactory g_factoryA(Create<kTagA>, g_locks);
host::StaticClassFactory g_factoryB(Create<kTagB>, g_locks);

}  // namespace

// The panel class must go with the library: its window procedure is the library's code.
extern "C" BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    if (reason == DLL_PROCESS_DETACH) UnregisterClassW(kPanelClass, instance);
    return TRUE;
}

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == CLSID_FakeImA) return g_factoryA.QueryInterface(riid, object);
    if (clsid == CLSID_FakeImB) return g_factoryB.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT DllCanUnloadNow() {
    const bool idle = g_locks == 0 && !g_hold;
    Log(idle ? "DllCanUnloadNow S_OK" : "DllCanUnloadNow S_FALSE");
    return idle ? S_OK : S_FALSE;
}

extern "C" const char* FakeImLog() {
    g_logCopy = g_log;
    return g_logCopy.c_str();
}

extern "C" void FakeImClearLog() { g_log.clear(); }

extern "C" void FakeImHold(BOOL hold) { g_hold = hold != FALSE; }

extern "C" void FakeImPanelHeight(int height) { g_panelHeight = height; }

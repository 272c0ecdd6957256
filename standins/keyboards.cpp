// The device's other keyboards, as input methods the SIP loads like the package's own: the
// platform's keyboard {42429667-AE04-11D0-A4F8-00AA00A749B9} and the companion keyboard
// {D79FF5E2-3F2D-4EDF-9DFA-8EDAE42024BB}, whose layout the language switcher picks. Each shows a
// plain panel naming itself. The companion keyboard takes its layout from its class key's
// "Current" each time it is made current (Select), and notes the layout it took in the device's
// journal ("Layout 0x00000419"), so that a reload is visible.
#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "host/com/server_parts.h"
#include "host/kernel/device.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/sip.h"
#include "platform/text.h"
#include "platform/windows.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const CLSID kPlatformKeyboard =
    DEFINE_GUID_VALUE(0x42429667, 0xAE04, 0x11D0, 0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9);
const CLSID kCompanionKeyboard =
    DEFINE_GUID_VALUE(0xD79FF5E2, 0x3F2D, 0x4EDF, 0x9D, 0xFA, 0x8E, 0xDA, 0xE4, 0x20, 0x24, 0xBB);
const WCHAR kCompanionKey[] = u"CLSID\\{D79FF5E2-3F2D-4EDF-9DFA-8EDAE42024BB}";
const WCHAR kPanelClass[] = u"StandInKeyboardPanel";
// The layout a companion keyboard without a "Current" value starts with.
constexpr DWORD kDefaultLayout = 0x0409;

std::atomic<LONG> g_locks{0};
HINSTANCE g_instance = nullptr;

DWORD CurrentLayout() {
    HKEY key = nullptr;
    DWORD layout = 0, size = sizeof layout, type = REG_NONE;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kCompanionKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, u"Current", nullptr, &type, reinterpret_cast<BYTE*>(&layout), &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof layout || layout == 0)
            layout = 0;
        RegCloseKey(key);
    }
    return layout ? layout : kDefaultLayout;
}

// The panel paints itself light grey with its caption in the middle.
LRESULT PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(window, &ps);
    RECT client{};
    GetClientRect(window, &client);
    HBRUSH brush = CreateSolidBrush(RGB(0xD8, 0xDE, 0xE9));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    WCHAR caption[64] = {};
    const int length = GetWindowTextW(window, caption, 64);
    SetBkColor(dc, RGB(0xD8, 0xDE, 0xE9));
    SetTextColor(dc, RGB(0x2E, 0x34, 0x40));
    ExtTextOutW(dc, 4, 4, 0, nullptr, caption, static_cast<UINT>(length), nullptr);
    EndPaint(window, &ps);
    return 0;
}

class Keyboard final : public IInputMethod {
public:
    explicit Keyboard(bool companion) : m_companion(companion) { ++g_locks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return host::QueryOne<IInputMethod>(this, riid, IID_IInputMethod, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT STDMETHODCALLTYPE Select(HWND sip) override {
        std::u16string caption = u"Keyboard";
        if (m_companion) {
            const DWORD layout = CurrentLayout();
            caption = FormatW(u"Keyboard layout 0x%04X", static_cast<unsigned>(layout));
            char line[32];
            std::snprintf(line, sizeof line, "Layout 0x%08X", static_cast<unsigned>(layout));
            if (host::Device* device = host::CurrentDevice()) device->Record(line);
        }
        WNDCLASSW cls{};
        if (!GetClassInfoW(g_instance, kPanelClass, &cls)) {
            cls.lpfnWndProc = PanelProc;
            cls.hInstance = g_instance;
            cls.lpszClassName = kPanelClass;
            if (!RegisterClassW(&cls)) return E_FAIL;
        }
        RECT area{};
        GetClientRect(sip, &area);
        m_panel = CreateWindowExW(0, kPanelClass, caption.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, area.right,
                                  area.bottom, sip, nullptr, g_instance, nullptr);
        return m_panel ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Deselect() override {
        if (m_panel) DestroyWindow(m_panel);
        m_panel = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Showing() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Hiding() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetInfo(IMINFO* info) override {
        if (!info) return E_INVALIDARG;
        info->fdwFlags = SIPF_DOCKED;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReceiveSipInfo(SIPINFO* info) override {
        if (!info) return E_INVALIDARG;
        if (m_panel)
            MoveWindow(m_panel, 0, 0, info->rcSipRect.right - info->rcSipRect.left,
                       info->rcSipRect.bottom - info->rcSipRect.top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterCallback(IIMCallback*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetImData(DWORD, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetImData(DWORD, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UserOptionsDlg(HWND) override { return S_OK; }

private:
    ~Keyboard() {
        if (m_panel) DestroyWindow(m_panel);
        --g_locks;
    }

    std::atomic<ULONG> m_refs{1};
    bool m_companion;
    HWND m_panel = nullptr;
};

HRESULT CreatePlatform(REFIID riid, void** object) { return host::CreateAndQuery<Keyboard>(riid, object, false); }
HRESULT CreateCompanion(REFIID riid, void** object) { return host::CreateAndQuery<Keyboard>(riid, object, true); }

host::StaticClassFactory g_platform(CreatePlatform, g_locks);
host::StaticClassFactory g_companion(CreateCompanion, g_locks);

}  // namespace

VX_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    // The panel's procedure is this library's code: the class goes with it.
    if (reason == DLL_PROCESS_DETACH) UnregisterClassW(kPanelClass, instance);
    return TRUE;
}

VX_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid == kPlatformKeyboard) return g_platform.QueryInterface(riid, object);
    if (clsid == kCompanionKeyboard) return g_companion.QueryInterface(riid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

VX_EXPORT HRESULT DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }

namespace {

// HKCR\CLSID\{clsid}: its name, the library that serves it and the SIP's marker.
HRESULT RegisterKeyboard(const CLSID& clsid, const WCHAR* name, const WCHAR* library) {
    WCHAR text[40] = {};
    StringFromGUID2(clsid, text, 40);
    const std::u16string key = u"CLSID\\" + std::u16string(text);
    const struct {
        std::u16string subKey;
        const WCHAR* value;
    } entries[] = {{key, name}, {key + u"\\InprocServer32", library}, {key + u"\\IsSIPInputMethod", u"1"}};
    for (const auto& entry : entries) {
        HKEY created = nullptr;
        LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.subKey.c_str(), 0, nullptr, 0, 0, nullptr, &created, nullptr);
        if (rc == ERROR_SUCCESS) {
            const DWORD bytes = static_cast<DWORD>((std::char_traits<WCHAR>::length(entry.value) + 1) * sizeof(WCHAR));
            rc = RegSetValueExW(created, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value), bytes);
            RegCloseKey(created);
        }
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

}  // namespace

// Both keyboards are registered as SIP input methods served by this library, wherever it lies.
VX_EXPORT HRESULT DllRegisterServer() {
    WCHAR library[MAX_PATH] = {};
    if (!GetModuleFileNameW(g_instance, library, MAX_PATH)) return E_FAIL;
    const HRESULT hr = RegisterKeyboard(kPlatformKeyboard, u"Keyboard", library);
    return FAILED(hr) ? hr : RegisterKeyboard(kCompanionKeyboard, u"Companion Keyboard", library);
}

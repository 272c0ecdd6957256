// The SIP: input method discovery, the SIP window, the input method's life in the platform's
// order, and the platform calls SipShowIM, SipGetCurrentIM, SipSetCurrentIM, SipEnumIM and
// SipGetInfo over the device's SIP.
#include "host/windows/sip.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/kernel/device.h"
#include "host/windows/rotation.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "host/windows/window.h"

namespace host {

namespace {

// The callback of a SIP that nobody gave one: keys go nowhere, as on a device without a
// focused application.
class DroppingCallback final : public IIMCallback {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IIMCallback) {
            *object = static_cast<IIMCallback*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetImInfo(IMINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SendVirtualKey(BYTE vk, DWORD flags) override {
        Drop(FormatW(u"SIP: no callback, key 0x%02X 0x%08X dropped\n", vk, flags));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SendCharEvents(UINT vk, UINT flags, UINT, UINT*, UINT*) override {
        Drop(FormatW(u"SIP: no callback, characters of key 0x%02X 0x%08X dropped\n", vk, flags));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SendString(BSTR, DWORD) override {
        Drop(u"SIP: no callback, string dropped\n");
        return S_OK;
    }

private:
    static void Drop(const std::u16string& line) {
        if (Device* device = CurrentDevice()) device->Trace(line);
    }
};

DroppingCallback g_droppingCallback;

// The default value of a key as text; false when the key or a REG_SZ default is missing.
bool ReadDefault(HKEY root, const std::u16string& path, const WCHAR* valueName, std::u16string* text) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0, type = 0;
    LONG result = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    std::u16string buffer(size / sizeof(WCHAR) + 1, u'\0');
    if (result == ERROR_SUCCESS && type == REG_SZ)
        result = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return false;
    buffer.resize(std::min<size_t>(size / sizeof(WCHAR), buffer.size()));
    *text = buffer.c_str();
    return true;
}

bool IsInputMethod(const CLSID& clsid) {
    for (const InputMethodInfo& im : EnumerateInputMethods())
        if (im.clsid == clsid) return true;
    return false;
}

std::u16string ClsidText(const CLSID& clsid) {
    WCHAR text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return text;
}

}  // namespace

std::vector<InputMethodInfo> EnumerateInputMethods() {
    std::vector<InputMethodInfo> found;
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &classes) != ERROR_SUCCESS) return found;
    for (DWORD i = 0;; ++i) {
        WCHAR name[MAX_PATH];
        DWORD length = MAX_PATH;
        const LONG result = RegEnumKeyExW(classes, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) continue;
        InputMethodInfo im;
        std::u16string marker;
        if (FAILED(CLSIDFromString(name, &im.clsid))) continue;
        const std::u16string key = u"CLSID\\" + std::u16string(name);
        if (!ReadDefault(HKEY_CLASSES_ROOT, key + u"\\IsSIPInputMethod", nullptr, &marker) || marker != u"1") continue;
        ReadDefault(HKEY_CLASSES_ROOT, key, nullptr, &im.name);
        found.push_back(std::move(im));
    }
    RegCloseKey(classes);
    return found;
}

Sip::Sip(Device& device) : m_device(device) {}

Sip::~Sip() {
    ScopedDevice scope(&m_device);
    Stop();
    // COM stays initialised for the SIP's life, so that stopping one input method and starting
    // the next does not make the runtime drop its libraries in between.
    if (m_comInitialized) CoUninitialize();
}

void Sip::SetCallback(IIMCallback* callback) {
    m_callback = callback;
    if (m_im) m_im->RegisterCallback(m_callback ? m_callback : &g_droppingCallback);
}

bool Sip::CurrentIM(CLSID* clsid) {
    if (!m_haveCurrent) {
        const std::vector<InputMethodInfo> all = EnumerateInputMethods();
        std::u16string text;
        CLSID wanted{};
        if (ReadDefault(HKEY_CURRENT_USER, u"ControlPanel\\Sip", u"DefaultIm", &text) &&
            SUCCEEDED(CLSIDFromString(text.c_str(), &wanted))) {
            for (const InputMethodInfo& im : all)
                if (im.clsid == wanted) m_haveCurrent = true;
            if (m_haveCurrent) m_current = wanted;
        }
        if (!m_haveCurrent && !all.empty()) {
            m_current = all.front().clsid;
            m_haveCurrent = true;
        }
    }
    if (m_haveCurrent && clsid) *clsid = m_current;
    return m_haveCurrent;
}

HRESULT Sip::SetCurrentIM(const CLSID& clsid) {
    if (!IsInputMethod(clsid)) return E_INVALIDARG;
    CLSID current{};
    if (CurrentIM(&current) && current == clsid && m_im) return S_OK;
    const bool wasRunning = m_im != nullptr, wasShown = m_shown;
    Stop();
    m_current = clsid;
    m_haveCurrent = true;
    if (!wasRunning) return S_OK;
    return wasShown ? Show() : Start();
}

namespace {

// The SIP window follows the screen's rotation as every top-level window learns of it: from the
// settings-change broadcast.
LRESULT SipWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTINGCHANGE && wParam == SETTINGCHANGE_RESET) {
        if (auto* sip = reinterpret_cast<Sip*>(GetWindowLongPtrW(window, GWLP_USERDATA))) sip->FollowRotation();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HRESULT Sip::CreateSipWindow() {
    if (m_window) return S_OK;
    const int width = m_device.ScreenWidth(), height = m_device.ScreenHeight();
    m_window = CreateHostWindow(width, DefaultHeight());
    if (!m_window) {
        m_device.Trace(FormatW(u"SIP: no window for a %dx%d screen\n", width, height));
        return E_FAIL;
    }
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SipWindowProc));
    ShowWindow(m_window, SW_HIDE);
    Dock(DefaultHeight());
    return S_OK;
}

int Sip::DefaultHeight() const {
    const int width = m_device.ScreenWidth(), height = m_device.ScreenHeight();
    return width > height ? height / 3 : height / 4;
}

void Sip::Dock(int height) {
    const int width = m_device.ScreenWidth(), screenHeight = m_device.ScreenHeight();
    MoveWindow(m_window, 0, screenHeight - kSipMenuBarHeight - height, width, height, TRUE);
}

SIPINFO Sip::Info() const {
    SIPINFO info{};
    info.cbSize = sizeof(SIPINFO);
    info.fdwFlags = SIPF_DOCKED | (m_shown ? SIPF_ON : SIPF_OFF);
    RECT sip{};
    if (m_window) GetWindowRect(m_window, &sip);
    info.rcSipRect = sip;
    const int width = m_device.ScreenWidth(), height = m_device.ScreenHeight();
    info.rcVisibleDesktop =
        RECT{0, kSipNavigationBarHeight, width, m_shown ? sip.top : height - kSipMenuBarHeight};
    return info;
}

HRESULT Sip::SendSipInfo() {
    SIPINFO info = Info();
    return m_im->ReceiveSipInfo(&info);
}

HRESULT Sip::CreateInputMethod(const CLSID& clsid, IInputMethod** im) {
    *im = nullptr;
    if (!m_comInitialized) m_comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    IClassFactory* factory = nullptr;
    HRESULT hr =
        CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IInputMethod, reinterpret_cast<void**>(im));
        factory->Release();
    }
    if (FAILED(hr)) *im = nullptr;
    return hr;
}

HRESULT Sip::OpenOptions(const CLSID& clsid, HWND owner) {
    if (!IsInputMethod(clsid)) return E_INVALIDARG;
    IInputMethod* im = nullptr;
    CLSID current{};
    if (m_im && CurrentIM(&current) && current == clsid) {
        im = m_im;
        im->AddRef();
    } else if (const HRESULT made = CreateInputMethod(clsid, &im); FAILED(made)) {
        m_device.Trace(FormatW(u"SIP: no options of input method %s (0x%08X)\n", ClsidText(clsid).c_str(),
                               static_cast<unsigned>(made)));
        return made;
    }
    const HRESULT hr = im->UserOptionsDlg(owner);
    im->Release();
    CoFreeUnusedLibraries();
    return hr;
}

HRESULT Sip::Start() {
    if (m_im) return S_OK;
    CLSID clsid{};
    if (!CurrentIM(&clsid)) {
        m_device.Trace(u"SIP: no input method is registered\n");
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = CreateSipWindow();
    if (FAILED(hr)) return hr;

    IInputMethod* im = nullptr;
    hr = CreateInputMethod(clsid, &im);
    bool selected = false;
    if (SUCCEEDED(hr)) hr = im->RegisterCallback(m_callback ? m_callback : &g_droppingCallback);
    if (SUCCEEDED(hr)) {
        IMINFO info{};
        info.cbSize = sizeof(IMINFO);
        GetWindowRect(m_window, &info.rcSipRect);
        hr = im->GetInfo(&info);
    }
    if (SUCCEEDED(hr)) {
        hr = im->Select(m_window);
        selected = SUCCEEDED(hr);
    }
    if (SUCCEEDED(hr)) {
        m_im = im;
        hr = SendSipInfo();
    }
    if (FAILED(hr)) {
        m_device.Trace(FormatW(u"SIP: input method %s did not start (0x%08X)\n", ClsidText(clsid).c_str(),
                               static_cast<unsigned>(hr)));
        if (selected) im->Deselect();
        if (im) im->Release();
        m_im = nullptr;
        CoFreeUnusedLibraries();
        DestroyHostWindow(m_window);
        m_window = nullptr;
    }
    return hr;
}

HRESULT Sip::Show() {
    HRESULT hr = Start();
    if (FAILED(hr) || m_shown) return hr;
    RECT before{}, after{};
    GetWindowRect(m_window, &before);
    ShowWindow(m_window, SW_SHOWNOACTIVATE);
    m_shown = true;
    hr = m_im->Showing();
    GetWindowRect(m_window, &after);
    // The input method sizes the SIP window in Showing; the SIP keeps it docked. Either way it
    // then passes the shown state and the final rectangle, which is also how the input method
    // notices settings changed while it was hidden.
    if (after.top != before.top || after.bottom != before.bottom || after.left != before.left ||
        after.right != before.right)
        Dock(after.bottom - after.top);
    const HRESULT told = SendSipInfo();
    return FAILED(hr) ? hr : told;
}

HRESULT Sip::Hide() {
    if (!m_shown) return S_OK;
    const HRESULT hr = m_im ? m_im->Hiding() : S_OK;
    ShowWindow(m_window, SW_HIDE);
    m_shown = false;
    return hr;
}

void Sip::Stop() {
    if (m_im) {
        m_im->Deselect();
        m_im->Release();
        m_im = nullptr;
        CoFreeUnusedLibraries();
    }
    if (m_window) DestroyHostWindow(m_window);
    m_window = nullptr;
    m_shown = false;
}

HWND Sip::Panel() const {
    const host::Window* sip = m_window ? WindowFromHandle(m_window) : nullptr;
    if (!sip) return nullptr;
    for (HWND child : sip->children)
        if (WindowFromHandle(child)) return child;
    return nullptr;
}

HRESULT Sip::PenMessage(Pen kind, int x, int y) {
    HWND panel = Panel();
    if (!panel) return E_FAIL;
    if (!m_shown) return S_FALSE;
    static const UINT kMessages[] = {WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
    const UINT message = kMessages[static_cast<int>(kind)];
    const WPARAM keys = kind == Pen::Up ? 0 : MK_LBUTTON;
    SendMessageW(panel, message, keys, MAKELPARAM(x & 0xFFFF, y & 0xFFFF));
    return S_OK;
}

HRESULT Sip::Rotate() {
    m_rotation = S_OK;
    if (!RotateScreen(m_device, nullptr)) return E_FAIL;
    return m_rotation;
}

void Sip::FollowRotation() {
    if (!m_window) return;
    Dock(DefaultHeight());
    m_rotation = m_im ? SendSipInfo() : S_OK;
}

HRESULT Sip::SettingsChanged() { return m_im ? SendSipInfo() : S_OK; }

const Bitmap* Sip::RenderPanel() {
    HWND panel = Panel();
    if (!panel) return nullptr;
    InvalidateRect(panel, nullptr, TRUE);
    // Sent directly: a hidden panel is drawn too, as a screenshot of its surface would show it.
    SendMessageW(panel, WM_PAINT, 0, 0);
    const host::Window* window = WindowFromHandle(panel);
    return window ? &window->Surface() : nullptr;
}

namespace {

std::mutex g_sipsLock;
std::map<Device*, std::unique_ptr<Sip>> g_sips;

}  // namespace

Sip* DeviceSip(Device* device) {
    if (!device) return nullptr;
    std::lock_guard guard(g_sipsLock);
    std::unique_ptr<Sip>& sip = g_sips[device];
    if (!sip) sip = std::make_unique<Sip>(*device);
    return sip.get();
}

void ReleaseDeviceSip(Device* device) {
    std::unique_ptr<Sip> doomed;
    {
        std::lock_guard guard(g_sipsLock);
        auto it = g_sips.find(device);
        if (it == g_sips.end()) return;
        doomed = std::move(it->second);
        g_sips.erase(it);
    }
}

}  // namespace host

namespace {

host::Sip* CurrentSip() {
    host::Sip* sip = host::DeviceSip(host::CurrentDevice());
    if (!sip) host::SetLastErrorCode(ERROR_NOT_READY);
    return sip;
}

BOOL Result(HRESULT hr) {
    if (SUCCEEDED(hr)) return TRUE;
    host::SetLastErrorCode(hr == E_INVALIDARG ? ERROR_INVALID_PARAMETER : ERROR_NOT_READY);
    return FALSE;
}

}  // namespace

BOOL SipShowIM(DWORD flags) {
    host::Sip* sip = CurrentSip();
    if (!sip) return FALSE;
    return Result((flags & SIPF_ON) ? sip->Show() : sip->Hide());
}

BOOL SipGetCurrentIM(CLSID* clsid) {
    if (!clsid) return Result(E_INVALIDARG);
    host::Sip* sip = CurrentSip();
    if (!sip) return FALSE;
    if (sip->CurrentIM(clsid)) return TRUE;
    host::SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL SipSetCurrentIM(CLSID* clsid) {
    if (!clsid) return Result(E_INVALIDARG);
    host::Sip* sip = CurrentSip();
    return sip ? Result(sip->SetCurrentIM(*clsid)) : FALSE;
}

int SipEnumIM(IMENUMPROC proc) {
    if (!proc) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int calls = 0;
    for (const host::InputMethodInfo& im : host::EnumerateInputMethods()) {
        IMENUMINFO info{};
        const size_t length = std::min<size_t>(im.name.size(), MAX_PATH - 1);
        im.name.copy(info.szName, length);
        info.clsid = im.clsid;
        ++calls;
        if (!proc(&info)) break;
    }
    return calls;
}

BOOL SipGetInfo(SIPINFO* info) {
    if (!info || info->cbSize < sizeof(SIPINFO)) return Result(E_INVALIDARG);
    host::Sip* sip = CurrentSip();
    if (!sip) return FALSE;
    *info = sip->Info();
    return TRUE;
}

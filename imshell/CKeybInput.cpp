// The input method object: selection, panel geometry, modifier keys across hide and show, the
// button icons and the callback.
#include "CKeybInput.h"

#include <cstring>
#include <string>

#include "platform/modules.h"
#include "platform/registry.h"
#include "skin_catalogue.h"

const CLSID CLSID_KeybInput = DEFINE_GUID_VALUE(0x0ADFAAAF, 0x2E1A, 0x4A75, 0x90, 0xA8, 0x6C, 0x1E, 0x62, 0xA3, 0xA6, 0x29);

namespace {

// The SIP's structure size on the device, which it checks.
constexpr DWORD kImInfoSize = 40;

// The stored skin, read as the engine reads it; empty when the key or value is missing or
// unreadable.
std::u16string ReadSkinSetting() {
    const keyboard::SettingsKey key(keyboard::SettingsKey::Mode::Open);
    return key.ReadString(keyboard::kSkinValue).value_or(std::u16string());
}

BITMAPINFO Header24(LONG width, LONG height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(((3 * width + 3) / 4) * 4 * height);
    info.bmiHeader.biXPelsPerMeter = 3780;
    info.bmiHeader.biYPelsPerMeter = 3780;
    return info;
}

// A 24-bit bottom-up copy of a device bitmap, made through two memory contexts.
HBITMAP CopyToSection(HBITMAP source, const BITMAPINFO& info, BYTE** bits) {
    void* pixels = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!section) return nullptr;
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    bool copied = false;
    if (from && to) {
        HGDIOBJ oldFrom = SelectObject(from, source);
        HGDIOBJ oldTo = SelectObject(to, section);
        if (oldFrom && oldTo)
            copied = BitBlt(to, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight, from, 0, 0, SRCCOPY) != FALSE;
        if (oldFrom) SelectObject(from, oldFrom);
        if (oldTo) SelectObject(to, oldTo);
    }
    if (from) DeleteDC(from);
    if (to) DeleteDC(to);
    if (!copied) {
        DeleteObject(section);
        return nullptr;
    }
    *bits = static_cast<BYTE*>(pixels);
    return section;
}

}  // namespace

HBITMAP RecolourNarrowIcon(HBITMAP bitmap) {
    DIBSECTION described{};
    const int got = GetObjectW(bitmap, sizeof described, &described);
    if (got < static_cast<int>(sizeof(BITMAP)) || described.dsBm.bmWidth <= 0 || described.dsBm.bmHeight <= 0)
        return nullptr;
    const LONG width = described.dsBm.bmWidth, height = described.dsBm.bmHeight;
    const BITMAPINFO info = Header24(width, height);

    HBITMAP converted = nullptr;
    const BYTE* source = nullptr;
    const bool usable = got == static_cast<int>(sizeof(DIBSECTION)) && described.dsBm.bmBitsPixel == 24 &&
                        described.dsBm.bmBits && described.dsBmih.biHeight > 0;
    if (usable) {
        source = static_cast<const BYTE*>(described.dsBm.bmBits);
    } else {
        BYTE* bits = nullptr;
        converted = CopyToSection(bitmap, info, &bits);
        if (!converted) return nullptr;
        source = bits;
    }

    void* outBits = nullptr;
    HBITMAP output = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &outBits, nullptr, 0);
    if (output) {
        const size_t stride = static_cast<size_t>(((3 * width + 3) / 4) * 4);
        BYTE* target = static_cast<BYTE*>(outBits);
        const BYTE key[3] = {source[0], source[1], source[2]};
        const DWORD c = GetSysColor(COLOR_CAPTIONTEXT);
        const BYTE glyph[3] = {static_cast<BYTE>((c >> 16) & 0xFF), static_cast<BYTE>((c >> 8) & 0xFF),
                               static_cast<BYTE>(c & 0xFF)};
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x) {
                const size_t at = static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
                const bool background = std::memcmp(source + at, key, 3) == 0;
                std::memcpy(target + at, background ? source + at : glyph, 3);
            }
    }
    if (converted) DeleteObject(converted);
    return output;
}

CKeybInput::CKeybInput() {
    // The class must be named before the first panel window is created.
    CMainWnd::GetWndClassInfo().lpszClassName = kPanelClassName;
    m_Kbd.m_hInstance = imshell::Module().Instance();
}

CKeybInput::~CKeybInput() {
    if (m_hImageNarrow) ImageList_Destroy(m_hImageNarrow);
    if (m_hImageWide) ImageList_Destroy(m_hImageWide);
}

const imshell::InterfaceEntry* CKeybInput::InterfaceMap() {
    static const imshell::InterfaceEntry entries[] = {
        {&IID_IInputMethod, imshell::OffsetOfBase<IInputMethod, CKeybInput>()},
        {&IID_IInputMethod2, imshell::OffsetOfBase<IInputMethod2, CKeybInput>()},
        {nullptr, 0},
    };
    return entries;
}

HRESULT CKeybInput::FinalConstruct() {
    if (m_hImageNarrow && m_hImageWide) return S_OK;
    const HINSTANCE instance = imshell::Module().Instance();
    HBITMAP narrow = nullptr, wide = nullptr;
    if (!m_hImageNarrow) {
        m_hImageNarrow = ImageList_Create(16, 16, ILC_MASK, 1, 1);
        if (m_hImageNarrow) {
            narrow = LoadBitmapW(instance, MAKEINTRESOURCEW(kNarrowIconId));
            if (HBITMAP recoloured = narrow ? RecolourNarrowIcon(narrow) : nullptr) {
                ImageList_AddMasked(m_hImageNarrow, recoloured, kIconMaskColour);
                DeleteObject(recoloured);
            }
        }
    }
    if (!m_hImageWide) {
        m_hImageWide = ImageList_Create(32, 16, ILC_MASK, 1, 1);
        if (m_hImageWide) {
            wide = LoadBitmapW(instance, MAKEINTRESOURCEW(kWideIconId));
            if (wide) ImageList_AddMasked(m_hImageWide, wide, kIconMaskColour);
        }
    }
    if (narrow) DeleteObject(narrow);
    if (wide) DeleteObject(wide);
    return S_OK;
}

HRESULT CKeybInput::Select(HWND sipWindow) {
    if (m_MainWnd.m_hWnd) return S_OK;
    m_MainWnd.m_pKbd = &m_Kbd;
    m_hSipWnd = sipWindow;
    m_Res = ScreenSize{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};

    RECT sip{};
    GetWindowRect(m_hSipWnd, &sip);
    if (!m_MainWnd.Create(imshell::Module().Instance(), m_hSipWnd, sip, nullptr, WS_CHILD, 0)) return E_FAIL;
    MoveWindow(m_hSipWnd, 0, sip.top, m_Res.cx, sip.bottom - sip.top, TRUE);
    if (!m_Kbd.Init(m_Res.cx, m_Res.cy)) return E_FAIL;
    ShowWindow(m_MainWnd.m_hWnd, SW_SHOWNOACTIVATE);
    return S_OK;
}

HRESULT CKeybInput::Deselect() {
    if (m_MainWnd.m_hWnd) {
        DestroyWindow(m_MainWnd.m_hWnd);
        m_MainWnd.m_hWnd = nullptr;
        m_Kbd.ReleaseSkin();
    }
    return S_OK;
}

void CKeybInput::SendModifiers(DWORD flags) {
    if (!m_Kbd.m_pIMCallback) return;
    if (m_Kbd.m_stKbStatus.m_bShift) m_Kbd.m_pIMCallback->SendVirtualKey(VK_SHIFT, flags);
    if (m_Kbd.m_stKbStatus.m_bCtrl) m_Kbd.m_pIMCallback->SendVirtualKey(VK_CONTROL, flags);
}

HRESULT CKeybInput::Showing() {
    if (!m_MainWnd.m_hWnd) return S_OK;
    RECT sip{};
    GetWindowRect(m_hSipWnd, &sip);
    const LONG height = sip.bottom - sip.top;
    const int third = m_Res.cy / 3, quarter = m_Res.cy / 4;
    // Either fraction is a height the SIP may have chosen itself; only other heights are fixed.
    if (height != third && height != quarter)
        MoveWindow(m_hSipWnd, 0, sip.top, m_Res.cx, m_Res.cx > m_Res.cy ? third : quarter, TRUE);
    SendModifiers(0);
    return S_OK;
}

HRESULT CKeybInput::Hiding() {
    // The latches stay set, so that Showing can press the keys again.
    SendModifiers(KEYEVENTF_KEYUP);
    return S_OK;
}

HRESULT CKeybInput::GetInfo(IMINFO* info) {
    if (!info) return E_INVALIDARG;
    info->cbSize = kImInfoSize;
    info->hImageNarrow = m_hImageNarrow;
    info->hImageWide = m_hImageWide;
    info->iNarrow = ImageList_GetImageCount(m_hImageNarrow) - 1;
    info->iWide = ImageList_GetImageCount(m_hImageWide) - 1;
    info->fdwFlags = SIPF_DOCKED;
    return S_OK;
}

HRESULT CKeybInput::ReceiveSipInfo(SIPINFO* info) {
    if (!info) return E_INVALIDARG;
    const std::u16string skin = ReadSkinSetting();
    const bool skinChanged = !skin.empty() && skin != m_Kbd.m_SkinPath;
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    if (cx != m_Res.cx || cy != m_Res.cy || skinChanged) {
        m_Res = ScreenSize{cx, cy};
        // The panel always spans the whole screen width.
        info->rcSipRect.left = 0;
        info->rcSipRect.right = cx;
        if (!m_Kbd.Init(cx, cy)) return E_FAIL;
    }
    MoveWindow(m_MainWnd.m_hWnd, 0, 0, info->rcSipRect.right - info->rcSipRect.left,
               info->rcSipRect.bottom - info->rcSipRect.top, TRUE);
    return S_OK;
}

HRESULT CKeybInput::RegisterCallback(IIMCallback* callback) {
    // No reference: the SIP keeps its callback alive while this input method is selected.
    m_Kbd.m_pIMCallback = callback;
    return S_OK;
}

HRESULT CKeybInput::GetImData(DWORD, void*) { return S_OK; }

HRESULT CKeybInput::SetImData(DWORD, void*) { return S_OK; }

HRESULT CKeybInput::UserOptionsDlg(HWND owner) {
    m_SettingsDlg.m_pKbd = &m_Kbd;
    // Ok and cancel are both a finished dialog to the SIP.
    m_SettingsDlg.DoModal(imshell::Module().Instance(), owner);
    return S_OK;
}

HRESULT CKeybInput::SetIMMActiveContext(HWND, BOOL, DWORD, DWORD, DWORD) { return S_OK; }

HRESULT CKeybInput::RegisterCallback2(IIMCallback2*) { return S_OK; }

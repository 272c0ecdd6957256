// The input method object that the SIP creates: it owns the keyboard engine, the panel window
// the engine draws into, the options dialog object and the two button icons, and turns the
// SIP's calls (select, show, hide, geometry, callback) into engine and window calls.
#pragma once

#include "CKeyboard.h"
#include "CMainWnd.h"
#include "CSettingsDlg.h"
#include "com_server.h"
#include "platform/sip.h"

// {0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}
extern const CLSID CLSID_KeybInput;

// Bitmap resources of the SIP button icons.
inline constexpr UINT kNarrowIconId = 202;
inline constexpr UINT kWideIconId = 203;
// The colour the icon bitmaps use for their background, which the image lists mask out.
inline constexpr COLORREF kIconMaskColour = 0xC0C0C0;

// Returns a 24-bit DIB section of the bitmap in which every pixel that differs from the first
// pixel of the bottom-up pixel buffer takes the caption-text colour; null on failure. The caller
// keeps the given bitmap and owns the result.
HBITMAP RecolourNarrowIcon(HBITMAP bitmap);

struct ScreenSize {
    int32_t cx;
    int32_t cy;
};

class CKeybInput : public imshell::ComObjectRoot, public imshell::ComCoClass<&CLSID_KeybInput>, public IInputMethod2 {
public:
    CKeybInput();
    ~CKeybInput();

    static const imshell::InterfaceEntry* InterfaceMap();
    HRESULT FinalConstruct();

    HRESULT STDMETHODCALLTYPE Select(HWND sipWindow) override;
    HRESULT STDMETHODCALLTYPE Deselect() override;
    HRESULT STDMETHODCALLTYPE Showing() override;
    HRESULT STDMETHODCALLTYPE Hiding() override;
    HRESULT STDMETHODCALLTYPE GetInfo(IMINFO* info) override;
    HRESULT STDMETHODCALLTYPE ReceiveSipInfo(SIPINFO* info) override;
    HRESULT STDMETHODCALLTYPE RegisterCallback(IIMCallback* callback) override;
    HRESULT STDMETHODCALLTYPE GetImData(DWORD size, void* data) override;
    HRESULT STDMETHODCALLTYPE SetImData(DWORD size, void* data) override;
    HRESULT STDMETHODCALLTYPE UserOptionsDlg(HWND owner) override;
    HRESULT STDMETHODCALLTYPE SetIMMActiveContext(HWND window, BOOL open, DWORD conversion, DWORD sentence,
                                                  DWORD hkl) override;
    HRESULT STDMETHODCALLTYPE RegisterCallback2(IIMCallback2* callback) override;

    CMainWnd m_MainWnd;
    HWND m_hSipWnd = nullptr;
    CKeyboard m_Kbd;
    HIMAGELIST m_hImageNarrow = nullptr;
    HIMAGELIST m_hImageWide = nullptr;
    CSettingsDlg m_SettingsDlg;
    // The screen size m_Kbd was last initialised for.
    ScreenSize m_Res{0, 0};

private:
    void SendModifiers(DWORD flags);
};

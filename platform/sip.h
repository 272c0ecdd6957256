// The software input panel as an input method sees it: the callback the SIP hands to the input
// method (keys go to the focused application only through it), the key-state flags of its
// character events, and the structures the SIP and the input method exchange.
#pragma once

#include "com.h"

// Key-state flags of SendCharEvents.
#define KeyStateToggledFlag 0x00000001
#define KeyStatePrevDownFlag 0x00000040
#define KeyStateDownFlag 0x00000080
#define KeyShiftNoCharacterFlag 0x00010000
#define KeyShiftDeadFlag 0x00020000
#define KeyShiftCapitalFlag 0x08000000
#define KeyShiftAnyAltFlag 0x10000000
#define KeyShiftAnyShiftFlag 0x20000000
#define KeyShiftAnyCtrlFlag 0x40000000

struct IMINFO {
    DWORD cbSize;
    HANDLE hImageNarrow;
    HANDLE hImageWide;
    int iNarrow;
    int iWide;
    DWORD fdwFlags;
    RECT rcSipRect;
};

struct SIPINFO {
    DWORD cbSize;
    DWORD fdwFlags;
    RECT rcVisibleDesktop;
    RECT rcSipRect;
    DWORD dwImDataSize;
    void* pvImData;
};

// Slot order as on the device: IUnknown, then these four.
struct IIMCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetImInfo(IMINFO* info) = 0;
    // One key event; flags 0 is a key-down, KEYEVENTF_KEYUP a key-up.
    virtual HRESULT STDMETHODCALLTYPE SendVirtualKey(BYTE vk, DWORD flags) = 0;
    // One key event carrying count characters, each with its own shift state.
    virtual HRESULT STDMETHODCALLTYPE SendCharEvents(UINT vk, UINT keyFlags, UINT count, UINT* shiftStates,
                                                     UINT* chars) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendString(BSTR text, DWORD chars) = 0;

protected:
    ~IIMCallback() = default;
};

// SIPF_ flags of IMINFO.fdwFlags and SIPINFO.fdwFlags.
#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001
#define SIPF_DOCKED 0x00000002
#define SIPF_LOCKED 0x00000004

struct IIMCallback2;

extern const IID IID_IInputMethod;   // {42429666-AE04-11D0-A4F8-00AA00A749B9}
extern const IID IID_IInputMethod2;  // {0576F2E1-AA6B-11D2-A146-0000F8757270}
extern const IID IID_IIMCallback;    // {42429669-AE04-11D0-A4F8-00AA00A749B9}

// What the SIP calls on an input method, in the platform's slot order (after IUnknown).
struct IInputMethod : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Select(HWND sipWindow) = 0;
    virtual HRESULT STDMETHODCALLTYPE Deselect() = 0;
    virtual HRESULT STDMETHODCALLTYPE Showing() = 0;
    virtual HRESULT STDMETHODCALLTYPE Hiding() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfo(IMINFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveSipInfo(SIPINFO* info) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterCallback(IIMCallback* callback) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImData(DWORD size, void* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetImData(DWORD size, void* data) = 0;
    virtual HRESULT STDMETHODCALLTYPE UserOptionsDlg(HWND owner) = 0;

protected:
    ~IInputMethod() = default;
};

struct IInputMethod2 : IInputMethod {
    virtual HRESULT STDMETHODCALLTYPE SetIMMActiveContext(HWND window, BOOL open, DWORD conversion, DWORD sentence,
                                                          DWORD hkl) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterCallback2(IIMCallback2* callback) = 0;

protected:
    ~IInputMethod2() = default;
};

// The SIP's own calls. An input method is a class registered under HKEY_CLASSES_ROOT\CLSID with
// a subkey "IsSIPInputMethod" whose default value is "1"; its name is the class key's default.
struct IMENUMINFO {
    WCHAR szName[MAX_PATH];
    CLSID clsid;
};
// Returns nonzero to go on with the enumeration, 0 to stop it.
typedef int (*IMENUMPROC)(IMENUMINFO* info);

// SIPF_ON shows the input panel (starting the current input method first if needed), SIPF_OFF
// hides it.
BOOL SipShowIM(DWORD flags);
BOOL SipGetCurrentIM(CLSID* clsid);
// Switching deselects and releases the input method that ran and starts the new one in its place.
BOOL SipSetCurrentIM(CLSID* clsid);
// Calls proc once per input method; returns how many it was called for.
int SipEnumIM(IMENUMPROC proc);
// info->cbSize must be at least sizeof(SIPINFO).
BOOL SipGetInfo(SIPINFO* info);

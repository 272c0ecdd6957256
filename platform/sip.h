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

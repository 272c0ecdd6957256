// The interface of the test in-process server, shared by the server and the tests that load it.
#pragma once

#include "platform/com.h"

// {6F1C4A2E-93B5-4D7A-8E21-5C0D3B9A7F10}
inline const CLSID CLSID_TestCounter =
    DEFINE_GUID_VALUE(0x6F1C4A2E, 0x93B5, 0x4D7A, 0x8E, 0x21, 0x5C, 0x0D, 0x3B, 0x9A, 0x7F, 0x10);
// {B2D0E7A4-1C55-4F3E-9A6B-07E4C8D2F391}
inline const IID IID_ITestCounter =
    DEFINE_GUID_VALUE(0xB2D0E7A4, 0x1C55, 0x4F3E, 0x9A, 0x6B, 0x07, 0xE4, 0xC8, 0xD2, 0xF3, 0x91);

// A counter object; ModuleLocks reports the server's lock count (live objects plus LockServer
// locks), which is what its DllCanUnloadNow looks at.
struct ITestCounter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Add(LONG amount, LONG* total) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModuleLocks(LONG* count) = 0;

protected:
    ~ITestCounter() = default;
};

// The SIP's callback as pocketsim shows it: every key event an input method sends prints one
// line, `SendVirtualKey 0xVK 0xFLAGS` or `SendCharEvents 0xVK 0xFLAGS U+XXXX`.
#pragma once

#include <cstdio>

#include "platform/sip.h"

namespace commands {

class PrintingCallback : public IIMCallback {
public:
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT SetImInfo(IMINFO*) override { return S_OK; }
    HRESULT SendVirtualKey(BYTE vk, DWORD flags) override {
        std::printf("SendVirtualKey 0x%02X 0x%08X\n", vk, flags);
        return S_OK;
    }
    HRESULT SendCharEvents(UINT vk, UINT keyFlags, UINT count, UINT*, UINT* chars) override {
        // The engine sends one character per call.
        std::printf("SendCharEvents 0x%02X 0x%08X U+%04X\n", vk, keyFlags, count > 0 && chars ? chars[0] : 0u);
        return S_OK;
    }
    HRESULT SendString(BSTR, DWORD) override { return E_NOTIMPL; }
};

}  // namespace commands

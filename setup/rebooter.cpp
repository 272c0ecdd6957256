// Whatever the user answers, the device resets: the message box only gives notice.
#include "rebooter.h"

#include "platform/modules.h"
#include "platform/winbase.h"

namespace setup {

namespace {

// The text in place in the resources: the table's entries carry their terminators, so the
// pointer is a complete string. An empty string when the entry is missing.
LPCWSTR ResourceText(HINSTANCE module, UINT id) {
    LPCWSTR text = nullptr;
    if (LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0) <= 0 || !text) return u"";
    return text;
}

}  // namespace

int RebooterMain(HINSTANCE module) {
    LPCWSTR caption = ResourceText(module, kRebootCaptionId);
    LPCWSTR text = ResourceText(module, kRebootTextId);
    MessageBoxW(nullptr, text, caption, MB_OK);
    Sleep(kRebootDelayMs);
    KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr);
    return 0;
}

}  // namespace setup

// Kernel I/O control: the only request the package makes is the soft reset, which the emulator
// records as a journal line, and counts in the image, instead of restarting anything.
#include "platform/winbase.h"

#include <cstdlib>
#include <string>

#include "host/kernel/device.h"

BOOL KernelIoControl(DWORD ioControlCode, void*, DWORD, void*, DWORD, DWORD* bytesReturned) {
    if (ioControlCode != IOCTL_HAL_REBOOT) {
        host::SetLastErrorCode(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    host::Device* device = host::CurrentDevice();
    if (!device) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    device->Record("SoftReset");
    const std::string count = device->Setting(host::kResetCountSetting, "0");
    device->SetSetting(host::kResetCountSetting, std::to_string(std::strtoull(count.c_str(), nullptr, 10) + 1));
    if (bytesReturned) *bytesReturned = 0;
    return TRUE;
}

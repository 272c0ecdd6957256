// Kernel I/O control: the only request the package makes is the soft reset, which the emulator
// records as a journal line instead of restarting anything.
#include "platform/winbase.h"

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
    if (bytesReturned) *bytesReturned = 0;
    return TRUE;
}

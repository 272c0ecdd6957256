// A keyboard layout library of the companion keyboard, as the device keeps them in \Windows\*.vxb:
// it says which layout it is through two exports. Built once per layout, with its code and name
// given by the build.
#include "platform/wintypes.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

VX_EXPORT DWORD VKeybCode() { return VX_LAYOUT_CODE; }

// Writes the layout's name, cut to room - 1 characters, and its terminator.
VX_EXPORT void VKeybName(WCHAR* buffer, int room) {
    if (!buffer || room <= 0) return;
    const char16_t name[] = VX_LAYOUT_NAME;
    int i = 0;
    for (; i < room - 1 && name[i]; ++i) buffer[i] = name[i];
    buffer[i] = 0;
}

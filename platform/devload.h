// The device manager's stream-driver protocol. A driver library registered under
// HKEY_LOCAL_MACHINE "Drivers\BuiltIn\NAME" exports PREFIX_Init and the other stream entry points
// under its three-letter prefix. The device's entries take and return 32-bit values that carry
// pointers and handles; here they are DWORD_PTR, as wide as a pointer, which is what a build for
// a 64-bit platform of the same family does.
#pragma once

#include "wintypes.h"

// context: the address of the driver key's path, a wide string "Drivers\BuiltIn\NAME".
// Returns the device context, 0 when the driver failed to start.
typedef DWORD_PTR (*PFN_STREAM_INIT)(DWORD_PTR context);

// rebooter: tells the user that the device restarts, waits for the answer and soft-resets.
#pragma once

#include "platform/wintypes.h"

namespace setup {

// The string table's entries of the program's own resources.
constexpr UINT kRebootTextId = 1;
constexpr UINT kRebootCaptionId = 2;
// How long the device stays up after the message box was closed.
constexpr DWORD kRebootDelayMs = 2000;

// module: the program's own module, which holds the texts. Returns 0 (the reset normally takes
// effect before).
int RebooterMain(HINSTANCE module);

}  // namespace setup

// Turning the device's screen: the one way the emulator rotates, used by `pocketsim rotate`, by
// the keyboard's rotate event and by the SIP, so that every part sees the same rotation.
#pragma once

#include <string>

namespace host {

class Device;

// Swaps the screen's width and height and stores them in the device's settings
// ("screen.width", "screen.height"), then sends WM_SETTINGCHANGE with SETTINGCHANGE_RESET to
// every top-level window of every thread, as the platform's broadcast does: each window's own
// thread handles it, and the call returns when all have (a window whose thread has ended is
// skipped). False with a reason when the settings cannot be stored; nothing is sent then.
bool RotateScreen(Device& device, std::string* error);

}  // namespace host

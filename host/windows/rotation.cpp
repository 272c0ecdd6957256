// The screen's rotation and the settings-change broadcast that follows it.
#include "host/windows/rotation.h"

#include <mutex>
#include <vector>

#include "host/kernel/device.h"
#include "host/windows/window_table.h"
#include "platform/windows.h"

namespace host {

bool RotateScreen(Device& device, std::string* error) {
    const int width = device.ScreenWidth(), height = device.ScreenHeight();
    if (!device.SetSetting("screen.width", std::to_string(height)) ||
        !device.SetSetting("screen.height", std::to_string(width))) {
        // Put back what may have been written, so the screen is never half turned.
        device.SetSetting("screen.width", std::to_string(width));
        if (error) *error = "the screen size could not be stored in the image's settings";
        return false;
    }
    std::vector<HWND> topLevel;
    {
        WindowTable& table = Windows();
        std::lock_guard guard(table.lock);
        topLevel = table.stack;
    }
    ScopedDevice scope(&device);
    // Windows made or destroyed by a handler are not sent to twice or looked up when gone.
    for (HWND window : topLevel)
        if (IsWindow(window)) SendMessageW(window, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
    return true;
}

}  // namespace host

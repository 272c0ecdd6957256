// The shell's start-up folder: at boot the shell starts every item of \Windows\Startup, in name
// order, each waited for before the next. A shortcut (*.lnk) starts the program it names with its
// arguments; a program (*.exe) starts as it is; anything else is passed over.
#pragma once

#include <functional>
#include <string>

#include "platform/wintypes.h"

namespace host {

class Device;

constexpr char16_t kStartupFolder[] = u"\\Windows\\Startup";

struct StartupItem {
    std::u16string file;       // the item in the start-up folder
    std::u16string program;    // what it starts (empty when it starts nothing)
    std::u16string arguments;
    bool started = false;
    DWORD exitCode = 0;        // when started
    std::string reason;        // why it started nothing
    DWORD error = 0;           // the platform's error behind the reason, if any
};

// Called before an item's program starts (started false) and after it ended or failed to start.
using StartupObserver = std::function<void(const StartupItem& item, bool done)>;

// Plays the start-up folder on the installed device and gives the number of items found. A reset
// during an item ends the boot there: the items after it do not start.
size_t RunStartupFolder(Device& device, const StartupObserver& observer);

}  // namespace host

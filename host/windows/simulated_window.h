// Windows of simulated programs: top-level windows that stand for other programs on the device
// (a media player, the taskbar, a dialog), so that code which closes, finds or activates other
// programs' windows can be run and watched. Each records every message its procedure receives
// and destroys itself on WM_CLOSE (a window of class "Dialog" on WM_COMMAND IDOK too) unless it
// is stubborn.
//
// The windows belong to one thread of the simulated programs, with a message loop of its own
// that runs while the program under test gives up the processor (host/kernel/scheduler.h). A
// message posted to them waits in that thread's queue until then, as it would on the device:
// a program that posts WM_CLOSE and looks at once finds the window still there.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/windows.h"

namespace host {

struct SimulatedWindowSpec {
    std::u16string className;
    std::u16string title;
    bool visible = true;
    // The owning process: processId when not 0, else the process listed with processPath (a
    // simulated process is added when none is), else this host process.
    DWORD processId = 0;
    std::u16string processPath;
    bool stubborn = false;
    DWORD exStyle = 0;
};

struct ReceivedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// "CLASS|TITLE|visible|PROCESS|stubborn"; every field after CLASS may be left out or empty.
// visible: 1/0, yes/no, true/false, visible/hidden (default visible). PROCESS: a process id
// (decimal or 0x hex) or a program's device path (default: this host process). stubborn:
// stubborn, 1, yes or true (default not). False with a reason for anything else.
bool ParseSimulatedWindow(std::u16string_view text, SimulatedWindowSpec* spec, std::string* error);

// Null (with the last error set) when the class cannot be registered or the window not made.
HWND CreateSimulatedWindow(const SimulatedWindowSpec& spec);

// Every message the window's procedure received after its creation, in order, also once the
// window is gone. Empty for a window that is not simulated.
std::vector<ReceivedMessage> SimulatedWindowMessages(HWND window);

// The simulated programs handle every message waiting for them now (what YieldToOtherPrograms
// does); a no-op when there are none.
void RunSimulatedPrograms();

// Destroys every simulated window, forgets their messages and unregisters the classes made
// for them.
void DestroySimulatedWindows();

}  // namespace host

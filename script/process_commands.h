// The process and window commands: StopAll asks the user's programs to close through their
// top-level windows, in four passes, and StartProcess starts a program without waiting for it.
// The close rules take the list of spared window classes as a parameter, because the
// configuration runner's build spares fewer classes than the applet's.
#pragma once

#include <cstddef>

#include "command_table.h"
#include "platform/windows.h"

// Class and title buffers of the close rules, terminator included.
constexpr int kCloseNameUnits = 48;
// Windows one pass asks to close; further eligible windows wait for the next pass that
// collects them.
constexpr int kClosePassWindows = 25;

struct CloseExclusions {
    const WCHAR* const* classes;
    size_t classCount;
};

// The applet's build: "Dialog", "Worker", "menu_worker", "HHTaskBar", "MS_SIPBUTTON".
const CloseExclusions& AppletCloseExclusions();

// 1 when the window may be closed. title and className receive up to kCloseNameUnits units
// each; excluded is set when the window belongs to a process of list (null: none), and such a
// window is never closed whatever this returns.
int IsCloseCandidate(const ProcessList* list, HWND window, WCHAR* title, WCHAR* className, int* excluded,
                     const CloseExclusions& exclusions);

// Four passes over the top-level windows, topmost first: passes 0 and 2 ask only "Worker" and
// "Dialog" windows, passes 1 and 3 every candidate; each pass asks twice the windows that did not
// close at once. The windows of listed processes, and the foreground window when spareForeground
// is set, are left alone. activateDesktop of -1 with spareForeground false brings the desktop
// window forward at the end.
void CloseAllWindows(const ProcessList* list, BOOL spareForeground, int activateDesktop,
                     const CloseExclusions& exclusions);

// Brings the window forward, sends a media player ("WMP " class) Ctrl+Q, closes a "Dialog"
// with IDOK, and posts WM_ACTIVATE (inactive) and WM_CLOSE.
void CloseWindowPolitely(HWND window);
// A "Dialog" window gets WM_COMMAND IDOK; any other is brought forward and activated.
void CloseDialogWindow(HWND window);

// Fills list with the running shell processes ("shell32.exe", "shell32r.exe"), at most four.
// 0 when no process snapshot can be taken (the list is then empty).
int CollectShellProcesses(ProcessList* list);

// The command handlers. StopAll spares the foreground window and the table's processes;
// StartProcess runs "NAME" with the command line "CMDLINE" (none when absent) and is skipped
// without "NAME". Both leave the handled flag set.
DWORD CmdStopAll(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdStartProcess(CommandTable* table, AttributeMap* attributes, int* handled);
// StopAll with another build's class exclusions.
DWORD StopAllWith(const ProcessList* list, const CloseExclusions& exclusions);

// When the device's other programs run. The emulator runs a program's code on its own host
// thread, and the programs it plays itself (simulated programs' windows) on one thread of theirs
// that runs only while this program gives up the processor: in Sleep, in a wait, while it looks
// for messages of its own and while a message box is up. So what they do between two calls of
// this program is decided by those calls, and every run prints the same lines. Threads the
// program starts with CreateThread never give the processor to them (host/kernel/threads.h).
#pragma once

namespace host {

using OtherProgramsRunner = void (*)();

// The runner that YieldToOtherPrograms calls; null removes it.
void SetOtherProgramsRunner(OtherProgramsRunner runner);

// Lets the other programs handle what is waiting for them before this program goes on.
void YieldToOtherPrograms();

}  // namespace host

// Threads started with CreateThread: their handles, and what the rest of the emulator needs to
// know of them. Not for use outside host/.
#pragma once

#include "platform/wintypes.h"

namespace host {

// Whether the calling thread was started with CreateThread. Such a thread is not the program's
// own: it never lets the simulated programs run (host/kernel/scheduler.h), so that what they do
// stays decided by the program's calls alone.
bool IsCreatedThread();

// For WaitForSingleObject: when handle is a thread CreateThread made, waits for it as asked and
// returns true with the wait's result in *result; false for any other handle.
bool WaitForCreatedThread(HANDLE handle, DWORD milliseconds, DWORD* result);

// A thread CreateThread started counts as starting until it first waits for messages or ends.
// GetMessageW tells when the calling thread is about to wait.
void NoteThreadWaitsForMessages();
// Returns when no created thread is starting any more, or after timeoutMs: what a driver's
// thread sets up (its windows) is then in place before the caller goes on. False on time-out.
bool WaitForStartingThreads(DWORD timeoutMs);

}  // namespace host

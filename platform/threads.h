// Threads of the calling process: each runs its routine on a thread of its own at once. A thread
// handle is signalled when the thread has ended (WaitForSingleObject) and is closed with
// CloseHandle; closing it does not end the thread.
#pragma once

#include "files.h"
#include "processes.h"

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

#define CREATE_SUSPENDED 0x00000004

// Security attributes and the stack size are accepted and ignored, as the device ignores them.
// CREATE_SUSPENDED is refused (ERROR_INVALID_PARAMETER): nothing here resumes a thread.
// threadId (may be null) receives the new thread's identifier.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, DWORD stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId);
// STILL_ACTIVE while the thread runs, then what its routine returned.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD GetCurrentThreadId();

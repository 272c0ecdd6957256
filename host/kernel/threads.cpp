// CreateThread: a real host thread per call. Its kernel object records the end and the exit
// code; handles and the thread itself share it, so the thread may outlive every handle.
#include "host/kernel/threads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "host/kernel/device.h"
#include "host/kernel/handles.h"
#include "platform/threads.h"

namespace host {

namespace {

thread_local bool t_created = false;
thread_local bool t_settled = false;

struct Starting {
    std::mutex lock;
    std::condition_variable changed;
    int count = 0;
};

Starting& StartingThreads() {
    static Starting* starting = new Starting;  // never destroyed: threads may outlive main
    return *starting;
}

void Settle() {
    if (!t_created || t_settled) return;
    t_settled = true;
    Starting& starting = StartingThreads();
    {
        std::lock_guard guard(starting.lock);
        --starting.count;
    }
    starting.changed.notify_all();
}

struct ThreadObject : KernelObject {
    std::mutex lock;
    std::condition_variable ended;
    bool exited = false;
    DWORD exitCode = STILL_ACTIVE;
};

std::shared_ptr<ThreadObject> CreatedThread(HANDLE handle) {
    return std::dynamic_pointer_cast<ThreadObject>(ReferenceHandle(handle, HandleType::Thread));
}

}  // namespace

bool IsCreatedThread() { return t_created; }

void NoteThreadWaitsForMessages() { Settle(); }

bool WaitForStartingThreads(DWORD timeoutMs) {
    Starting& starting = StartingThreads();
    std::unique_lock guard(starting.lock);
    return starting.changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return starting.count == 0; });
}

bool WaitForCreatedThread(HANDLE handle, DWORD milliseconds, DWORD* result) {
    auto thread = CreatedThread(handle);
    if (!thread) return false;
    std::unique_lock guard(thread->lock);
    if (milliseconds == INFINITE) {
        thread->ended.wait(guard, [&] { return thread->exited; });
        *result = WAIT_OBJECT_0;
    } else {
        const bool done =
            thread->ended.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return thread->exited; });
        *result = done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    return true;
}

}  // namespace host

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*attributes*/, DWORD /*stackSize*/, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId) {
    if (!start || (creationFlags & CREATE_SUSPENDED)) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<host::ThreadObject>();
    // The identifier is known only on the new thread; the creator waits for it so that it can
    // hand it out before the routine may have ended.
    std::mutex idLock;
    std::condition_variable idKnown;
    DWORD id = 0;
    {
        std::lock_guard guard(host::StartingThreads().lock);
        ++host::StartingThreads().count;
    }
    try {
        std::thread([object, start, parameter, &idLock, &idKnown, &id] {
            host::t_created = true;
            {
                std::lock_guard guard(idLock);
                id = static_cast<DWORD>(::syscall(SYS_gettid));
            }
            idKnown.notify_one();
            const DWORD code = start(parameter);
            host::Settle();
            {
                std::lock_guard guard(object->lock);
                object->exitCode = code;
                object->exited = true;
            }
            object->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        {
            std::lock_guard guard(host::StartingThreads().lock);
            --host::StartingThreads().count;
        }
        host::StartingThreads().changed.notify_all();
        host::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    {
        std::unique_lock guard(idLock);
        idKnown.wait(guard, [&] { return id != 0; });
    }
    if (threadId) *threadId = id;
    return host::InsertHandle(host::HandleType::Thread, object);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto object = host::CreatedThread(thread);
    if (!object) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!exitCode) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(object->lock);
    *exitCode = object->exitCode;
    return TRUE;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

// The device's sharing rules for open files: an open that asks for read or write access fails
// while another open of the same file refuses to share that access, or holds an access the
// new open refuses to share; and a file that is open cannot be deleted or moved (the device
// has no share-delete mode). The rules hold among the handles of one process.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "platform/wintypes.h"

namespace host {

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};

// One registered open; released when destroyed.
class ShareLock {
public:
    ShareLock() = default;
    ~ShareLock();
    ShareLock(ShareLock&& other) noexcept;
    ShareLock& operator=(ShareLock&& other) noexcept;
    ShareLock(const ShareLock&) = delete;
    ShareLock& operator=(const ShareLock&) = delete;

    // access: GENERIC_READ / GENERIC_WRITE bits; share: FILE_SHARE_READ / FILE_SHARE_WRITE.
    // ERROR_SHARING_VIOLATION when an open of the same file conflicts.
    static DWORD Acquire(FileId id, DWORD access, DWORD share, ShareLock* lock);

private:
    void Release();
    FileId m_id;
    uint64_t m_serial = 0;
};

bool IsFileOpen(FileId id);

}  // namespace host

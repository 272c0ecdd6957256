#include "host/store/file_sharing.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/files.h"
#include "platform/winerror.h"

namespace host {

namespace {

struct Open {
    uint64_t serial;
    DWORD access;
    DWORD share;
};

struct FileIdHash {
    size_t operator()(const FileId& id) const { return std::hash<uint64_t>()(uint64_t(id.ino) * 31 + id.dev); }
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<FileId, std::vector<Open>, FileIdHash> opens;
    uint64_t nextSerial = 1;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // outlives handles closed during exit
    return *registry;
}

bool Conflicts(DWORD access, DWORD share, const Open& other) {
    if ((access & GENERIC_READ) && !(other.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(other.share & FILE_SHARE_WRITE)) return true;
    if ((other.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((other.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
    return false;
}

}  // namespace

DWORD ShareLock::Acquire(FileId id, DWORD access, DWORD share, ShareLock* lock) {
    lock->Release();
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto& list = r.opens[id];
    for (const Open& other : list)
        if (Conflicts(access, share, other)) {
            if (list.empty()) r.opens.erase(id);
            return ERROR_SHARING_VIOLATION;
        }
    uint64_t serial = r.nextSerial++;
    list.push_back(Open{serial, access, share});
    lock->m_id = id;
    lock->m_serial = serial;
    return ERROR_SUCCESS;
}

void ShareLock::Release() {
    if (!m_serial) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto it = r.opens.find(m_id);
    if (it != r.opens.end()) {
        std::erase_if(it->second, [this](const Open& o) { return o.serial == m_serial; });
        if (it->second.empty()) r.opens.erase(it);
    }
    m_serial = 0;
}

ShareLock::~ShareLock() { Release(); }

ShareLock::ShareLock(ShareLock&& other) noexcept : m_id(other.m_id), m_serial(other.m_serial) { other.m_serial = 0; }

ShareLock& ShareLock::operator=(ShareLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_id = other.m_id;
        m_serial = other.m_serial;
        other.m_serial = 0;
    }
    return *this;
}

bool IsFileOpen(FileId id) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    return r.opens.count(id) != 0;
}

}  // namespace host

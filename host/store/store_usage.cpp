// The object store's capacity: the count of the bytes its files and databases' records hold,
// kept in the image's database (table store_usage) and changed inside the write transaction of
// the change itself, and the measurement that settles every refusal.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "host/db/database_store.h"
#include "host/kernel/database.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"

namespace host {

namespace {

bool Fits(uint64_t used, uint64_t bytes, uint64_t capacity) { return used <= capacity && bytes <= capacity - used; }

// The sizes of the regular files in the open folder and below it; symbolic links are not
// followed, so nothing outside the store is counted. Takes ownership of fd.
uint64_t SumFolder(int fd) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    uint64_t total = 0;
    while (struct dirent* e = ::readdir(dir)) {
        std::string_view name(e->d_name);
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode)) {
            total += uint64_t(st.st_size);
        } else if (S_ISDIR(st.st_mode)) {
            int child = ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) total += SumFolder(child);
        }
    }
    ::closedir(dir);
    return total;
}

}  // namespace

struct ObjectStore::WriteState {
    explicit WriteState(Database& db) : transaction(db) {}
    Database::Transaction transaction;
};

uint64_t ObjectStore::Capacity() const { return m_device.StoreCapacity(); }

void ObjectStore::BeginWrite() {
    m_mutex.lock();
    if (m_writeDepth++ == 0) m_write = new WriteState(m_device.Db());
}

void ObjectStore::EndWrite() {
    if (--m_writeDepth == 0) {
        m_write->transaction.Commit();
        delete m_write;
        m_write = nullptr;
    }
    m_mutex.unlock();
}

bool ObjectStore::WriteOk() const { return m_write && m_write->transaction.Ok(); }

bool ObjectStore::CommitWrite() {
    if (!m_write) return false;
    return m_writeDepth == 1 ? m_write->transaction.Commit() : m_write->transaction.Ok();
}

bool ObjectStore::ReadUsage(uint64_t* used) {
    auto st = m_device.Db().Prepare("SELECT bytes FROM store_usage WHERE id=1");
    if (st.Step() != SQLITE_ROW) return false;
    *used = uint64_t(std::max<int64_t>(0, st.Int(0)));
    return true;
}

void ObjectStore::StoreUsage(uint64_t used) {
    m_device.Db()
        .Prepare("INSERT INTO store_usage(id, bytes) VALUES(1, ?1) ON CONFLICT(id) DO UPDATE SET bytes=excluded.bytes")
        .Bind(1, int64_t(used))
        .Run();
}

uint64_t ObjectStore::MeasureUsage() const {
    int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return (fd < 0 ? 0 : SumFolder(fd)) + m_device.Databases().StoredBytes();
}

DWORD ObjectStore::Reserve(uint64_t bytes) {
    if (bytes == 0) return ERROR_SUCCESS;
    // Without the image's write lock the room cannot be known: another process may be filling
    // it. Adding bytes waits for the lock (the database's busy wait) and gives up after that.
    if (!m_write || !m_write->transaction.Ok()) return ERROR_SHARING_VIOLATION;
    const uint64_t capacity = Capacity();
    uint64_t used = 0;
    if (ReadUsage(&used) && Fits(used, bytes, capacity)) return ERROR_SUCCESS;
    // No count yet (a new image, or one made before the store had a capacity), or a count that
    // says no: the files decide. This also forgets bytes removed from outside the device.
    used = MeasureUsage();
    StoreUsage(used);
    return Fits(used, bytes, capacity) ? ERROR_SUCCESS : DWORD(ERROR_DISK_FULL);
}

void ObjectStore::NoteSizeChange(int64_t delta) {
    // Without a count yet there is nothing to keep current: the first check measures.
    m_device.Db()
        .Prepare("UPDATE store_usage SET bytes=max(0, bytes + ?1) WHERE id=1")
        .Bind(1, delta)
        .Run();
}

uint64_t ObjectStore::UsedBytes() {
    StoreWrite write(this);
    uint64_t used = 0;
    if (ReadUsage(&used)) return used;
    used = MeasureUsage();
    if (m_write->transaction.Ok()) StoreUsage(used);
    return used;
}

DWORD ObjectStore::CheckRoom(uint64_t bytes) {
    StoreWrite write(this);
    return Reserve(bytes);
}

}  // namespace host

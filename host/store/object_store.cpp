#include "host/store/object_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/kernel/database.h"
#include "host/kernel/device.h"
#include "host/store/device_path.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/winerror.h"

namespace host {

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS store_entries("
    " parent TEXT NOT NULL,"      // folder's host path relative to store/, '' for the root
    " name TEXT NOT NULL,"        // host name, exactly as on disk
    " seq INTEGER,"               // creation order; NULL for an entry placed from outside
    " attributes INTEGER NOT NULL,"
    " PRIMARY KEY(parent, name)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS store_entries_seq ON store_entries(seq);"
    // The bytes the store's files hold (one row; missing until first measured).
    "CREATE TABLE IF NOT EXISTS store_usage(id INTEGER PRIMARY KEY CHECK(id = 1), bytes INTEGER NOT NULL);";

constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// A folder index whose folder changed this close to the moment it was read may have missed a
// change made in the same clock tick of the host's time stamps: it is not trusted for "no
// such name" answers.
constexpr int64_t kRacyMarginNs = 20'000'000;

int64_t Nanoseconds(const struct timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

std::string Join(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string r;
    r.reserve(folder.size() + 1 + name.size());
    r += folder;
    r += '/';
    r += name;
    return r;
}

void SplitRel(const std::string& rel, std::string* parent, std::string* name) {
    size_t cut = rel.rfind('/');
    if (cut == std::string::npos) {
        parent->clear();
        *name = rel;
    } else {
        *parent = rel.substr(0, cut);
        *name = rel.substr(cut + 1);
    }
}

bool IsSameOrInside(const std::string& rel, const std::string& folder) {
    return rel == folder || (rel.size() > folder.size() && rel.compare(0, folder.size(), folder) == 0 &&
                             rel[folder.size()] == '/');
}

// A host name the device can spell: valid UTF-8 that converts back unchanged, and a valid
// device name.
bool VisibleName(std::string_view hostName, std::u16string* deviceName) {
    if (hostName == "." || hostName == "..") return false;
    *deviceName = FromUtf8(hostName);
    return ToUtf8(*deviceName) == hostName && IsValidDeviceName(*deviceName, PathKind::Entry);
}

bool IsListable(mode_t mode) { return S_ISREG(mode) || S_ISDIR(mode); }

FILETIME ToFileTime(const struct timespec& t) {
    // 100-ns intervals since 1601-01-01.
    constexpr int64_t kEpochDelta = 11644473600LL;
    int64_t v = (int64_t(t.tv_sec) + kEpochDelta) * 10'000'000 + t.tv_nsec / 100;
    if (v < 0) v = 0;
    return FILETIME{DWORD(uint64_t(v) & 0xFFFFFFFFu), DWORD(uint64_t(v) >> 32)};
}

FileId IdOf(const struct stat& st) { return FileId{st.st_dev, st.st_ino}; }

// Copies at most limit bytes: the room for them was checked before the copy began.
DWORD CopyBytes(int in, int out, uint64_t limit) {
    static constexpr size_t kChunk = 64 * 1024;
    std::vector<char> buffer(kChunk);
    for (uint64_t copied = 0; copied < limit;) {
        ssize_t got = ::read(in, buffer.data(), size_t(std::min<uint64_t>(buffer.size(), limit - copied)));
        if (got < 0) {
            if (errno == EINTR) continue;
            return ErrorFromErrno(errno);
        }
        if (got == 0) return ERROR_SUCCESS;
        copied += uint64_t(got);
        for (ssize_t done = 0; done < got;) {
            ssize_t put = ::write(out, buffer.data() + done, size_t(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return ErrorFromErrno(errno);
            }
            done += put;
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT:
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EROFS: return ERROR_WRITE_PROTECT;
    default: return ERROR_ACCESS_DENIED;  // EACCES, EPERM, EISDIR, ELOOP and the unexpected
    }
}

// Names that differ only in case share a key; the first in byte order answers for them.
void ObjectStore::AddName(FolderIndex* index, std::u16string key, std::string_view hostName) {
    auto [it, inserted] = index->names.try_emplace(std::move(key));
    IndexedName& entry = it->second;
    if (inserted) {
        entry.host = hostName;
    } else if (entry.host != hostName) {
        entry.several = true;
        if (hostName < entry.host) entry.host = hostName;
    }
}

// One entry of a folder listing, with what the database knows of it.
struct ObjectStore::Listed {
    std::string host;
    std::u16string name;
    struct stat st {};
    Meta meta;
};

ObjectStore::ObjectStore(Device& device) : m_device(device), m_root(device.StoreRoot().string()) {
    m_device.Db().Exec(kSchema);
}

ObjectStore::~ObjectStore() = default;

std::string ObjectStore::HostPath(const std::string& rel) const {
    return rel.empty() ? m_root : m_root + '/' + rel;
}

// --- resolution ---------------------------------------------------------------------------

DWORD ObjectStore::WalkFolder(const std::vector<std::u16string>& parts, size_t count, Node* folder) {
    // The root is looked at only when a lookup in it needs its time stamp: most paths resolve
    // with one host call per component.
    Node current;
    for (size_t i = 0; i < count; ++i) {
        Node next;
        if (!LookupChild(current, parts[i], &next) || !next.IsDir()) return ERROR_PATH_NOT_FOUND;
        current = std::move(next);
    }
    *folder = std::move(current);
    return ERROR_SUCCESS;
}

bool ObjectStore::StatEntry(std::string rel, Node* node) const {
    struct stat st;
    if (::lstat(HostPath(rel).c_str(), &st) != 0 || !IsListable(st.st_mode)) return false;
    node->rel = std::move(rel);
    node->st = st;
    node->statKnown = true;
    return true;
}

bool ObjectStore::StatRoot(Node* root) const {
    root->rel.clear();
    root->statKnown = ::stat(m_root.c_str(), &root->st) == 0 && S_ISDIR(root->st.st_mode);
    return root->statKnown;
}

bool ObjectStore::LookupChild(const Node& given, std::u16string_view name, Node* child, Lookup lookup) {
    std::string exact = ToUtf8(name);
    Node stated;
    const Node* folderPtr = &given;
    if (!given.statKnown) {
        if (StatEntry(Join(given.rel, exact), child)) return true;
        if (!StatRoot(&stated)) return false;
        folderPtr = &stated;
    }
    const Node& folder = *folderPtr;
    std::u16string key = UpperCase(name);
    // A current index answers with one host call, also for a spelling the host does not have.
    if (FolderIndex* index = CurrentIndex(folder)) {
        auto it = index->names.find(key);
        if (it != index->names.end()) {
            // Among names that differ only in case, the exact spelling wins when it is there.
            if (it->second.several && StatEntry(Join(folder.rel, exact), child)) return true;
            if (StatEntry(Join(folder.rel, it->second.host), child)) return true;
        } else if (!index->racy || lookup == Lookup::Create) {
            return false;
        }
    }
    // Without a usable index, the name as given is the common case and needs no listing.
    if (StatEntry(Join(folder.rel, exact), child)) return true;
    FolderIndex* index = RebuildIndex(folder);
    if (!index) return false;
    auto it = index->names.find(key);
    return it != index->names.end() && StatEntry(Join(folder.rel, it->second.host), child);
}

ObjectStore::FolderIndex* ObjectStore::CurrentIndex(const Node& folder) {
    if (!folder.statKnown) return nullptr;
    auto it = m_indexes.find(folder.rel);
    if (it == m_indexes.end()) return nullptr;
    const FolderIndex& index = it->second;
    bool current = index.ino == folder.st.st_ino && index.dev == folder.st.st_dev &&
                   Nanoseconds(index.mtime) == Nanoseconds(folder.st.st_mtim);
    return current ? &it->second : nullptr;
}

ObjectStore::FolderIndex* ObjectStore::RebuildIndex(const Node& folder) {
    FolderIndex& index = m_indexes[folder.rel];
    if (!BuildIndex(folder, &index)) {
        m_indexes.erase(folder.rel);
        return nullptr;
    }
    return &index;
}

bool ObjectStore::BuildIndex(const Node& folder, FolderIndex* index) {
    struct timespec started;
    clock_gettime(CLOCK_REALTIME_COARSE, &started);
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.rel.empty() ? 0 : O_NOFOLLOW);
    int fd = ::open(HostPath(folder.rel).c_str(), flags);
    if (fd < 0) return false;
    struct stat st;
    DIR* dir = ::fstat(fd, &st) == 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        ::close(fd);
        return false;
    }
    index->names.clear();
    std::u16string deviceName;
    while (struct dirent* e = ::readdir(dir)) {
        std::string_view hostName(e->d_name);
        if (!VisibleName(hostName, &deviceName)) continue;
        if (e->d_type == DT_UNKNOWN) {
            struct stat entry;
            if (::fstatat(::dirfd(dir), e->d_name, &entry, AT_SYMLINK_NOFOLLOW) != 0 || !IsListable(entry.st_mode))
                continue;
        } else if (e->d_type != DT_DIR && e->d_type != DT_REG) {
            continue;
        }
        AddName(index, UpperCase(deviceName), hostName);
    }
    ::closedir(dir);
    index->dev = st.st_dev;
    index->ino = st.st_ino;
    index->mtime = st.st_mtim;
    index->racy = Nanoseconds(st.st_mtim) + kRacyMarginNs >= Nanoseconds(started);
    return true;
}

void ObjectStore::NoteNameAdded(const Node& folder, const std::string& hostName) {
    auto it = m_indexes.find(folder.rel);
    if (it == m_indexes.end()) return;
    FolderIndex& index = it->second;
    struct stat now;
    // An index that was already behind the folder before this change is dropped, not patched.
    if (!folder.statKnown || index.ino != folder.st.st_ino || index.dev != folder.st.st_dev ||
        Nanoseconds(index.mtime) != Nanoseconds(folder.st.st_mtim) || ::stat(HostPath(folder.rel).c_str(), &now) != 0) {
        m_indexes.erase(it);
        return;
    }
    AddName(&index, UpperCase(FromUtf8(hostName)), hostName);
    index.mtime = now.st_mtim;
    index.racy = true;
}

void ObjectStore::ForgetIndex(const std::string& rel) { m_indexes.erase(rel); }

void ObjectStore::ForgetIndexes(const std::string& rel) {
    std::erase_if(m_indexes, [&rel](const auto& item) { return IsSameOrInside(item.first, rel); });
}

DWORD ObjectStore::Locate(std::u16string_view path, Located* located, Lookup lookup) {
    if (DWORD error = SplitDevicePath(path, PathKind::Entry, &located->parts)) return error;
    if (located->parts.empty()) {
        located->exists = true;
        return StatRoot(&located->node) ? ERROR_SUCCESS : DWORD(ERROR_PATH_NOT_FOUND);
    }
    if (DWORD error = WalkFolder(located->parts, located->parts.size() - 1, &located->folder)) return error;
    located->exists = LookupChild(located->folder, located->parts.back(), &located->node, lookup);
    return ERROR_SUCCESS;
}

// --- metadata -----------------------------------------------------------------------------

ObjectStore::Meta ObjectStore::LoadMeta(const std::string& rel) {
    std::string parent, name;
    SplitRel(rel, &parent, &name);
    auto st = m_device.Db().Prepare("SELECT seq, attributes FROM store_entries WHERE parent=?1 AND name=?2");
    st.Bind(1, parent).Bind(2, name);
    Meta meta;
    if (st.Step() == SQLITE_ROW) {
        meta.stored = true;
        meta.ordered = !st.IsNull(0);
        meta.seq = st.Int(0);
        meta.attributes = DWORD(st.Int(1));
    }
    return meta;
}

DWORD ObjectStore::StoredAttributes(const Node& node) {
    Meta meta = LoadMeta(node.rel);
    if (meta.stored) return meta.attributes;
    // Files placed from outside look as if they had been copied in: archive set.
    return node.IsDir() ? 0 : FILE_ATTRIBUTE_ARCHIVE;
}

DWORD ObjectStore::DeviceAttributes(const Node& node, DWORD stored) const {
    if (node.IsDir()) return FILE_ATTRIBUTE_DIRECTORY | (stored & (kSettableAttributes | FILE_ATTRIBUTE_TEMPORARY));
    DWORD attributes = stored & kSettableAttributes;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

void ObjectStore::ForgetEntry(const std::string& rel) {
    std::string parent, name;
    SplitRel(rel, &parent, &name);
    Database& db = m_device.Db();
    Database::Transaction transaction(db);
    db.Prepare("DELETE FROM store_entries WHERE parent=?1 AND name=?2").Bind(1, parent).Bind(2, name).Run();
    db.Prepare("DELETE FROM store_entries WHERE parent=?1").Bind(1, rel).Run();
    db.Prepare("DELETE FROM store_entries WHERE parent>=?1 AND parent<?2").Bind(1, rel + '/').Bind(2, rel + '0').Run();
    transaction.Commit();
}

void ObjectStore::NoteCreated(const std::string& rel, DWORD attributes) {
    std::string parent, name;
    SplitRel(rel, &parent, &name);
    Database& db = m_device.Db();
    Database::Transaction transaction(db);
    // Rows left by an entry that was removed from outside must not leak into the new one.
    ForgetEntry(rel);
    db.Prepare("INSERT INTO store_entries(parent, name, seq, attributes) "
               "VALUES(?1, ?2, (SELECT COALESCE(MAX(seq), 0) + 1 FROM store_entries), ?3)")
        .Bind(1, parent)
        .Bind(2, name)
        .Bind(3, int64_t(attributes))
        .Run();
    transaction.Commit();
}

void ObjectStore::NoteAttributes(const std::string& rel, DWORD attributes) {
    std::string parent, name;
    SplitRel(rel, &parent, &name);
    m_device.Db()
        .Prepare("INSERT INTO store_entries(parent, name, seq, attributes) VALUES(?1, ?2, NULL, ?3) "
                 "ON CONFLICT(parent, name) DO UPDATE SET attributes=excluded.attributes")
        .Bind(1, parent)
        .Bind(2, name)
        .Bind(3, int64_t(attributes))
        .Run();
}

void ObjectStore::NoteMoved(const std::string& from, const std::string& to, DWORD attributes) {
    Database& db = m_device.Db();
    Database::Transaction transaction(db);
    ForgetEntry(to);
    std::string parent, name;
    SplitRel(from, &parent, &name);
    db.Prepare("DELETE FROM store_entries WHERE parent=?1 AND name=?2").Bind(1, parent).Bind(2, name).Run();
    NoteCreated(to, attributes);
    db.Prepare("UPDATE store_entries SET parent=?2 || substr(parent, length(?1) + 1) "
               "WHERE parent=?1 OR (parent>=?3 AND parent<?4)")
        .Bind(1, from)
        .Bind(2, to)
        .Bind(3, from + '/')
        .Bind(4, from + '0')
        .Run();
    transaction.Commit();
}

DWORD ObjectStore::ListFolder(const Node& folder, std::vector<Listed>* out) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.rel.empty() ? 0 : O_NOFOLLOW);
    int fd = ::open(HostPath(folder.rel).c_str(), flags);
    if (fd < 0) return ErrorFromErrno(errno);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::vector<Listed> entries;
    std::unordered_map<std::string, size_t> byName;
    while (struct dirent* e = ::readdir(dir)) {
        Listed entry;
        entry.host = e->d_name;
        if (!VisibleName(entry.host, &entry.name)) continue;
        if (::fstatat(::dirfd(dir), e->d_name, &entry.st, AT_SYMLINK_NOFOLLOW) != 0 || !IsListable(entry.st.st_mode))
            continue;
        byName.emplace(entry.host, entries.size());
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);

    std::vector<std::string> stale;
    {
        auto st = m_device.Db().Prepare("SELECT name, seq, attributes FROM store_entries WHERE parent=?1");
        st.Bind(1, folder.rel);
        while (st.Step() == SQLITE_ROW) {
            std::string name = st.Text(0);
            auto it = byName.find(name);
            if (it == byName.end()) {
                stale.push_back(std::move(name));
                continue;
            }
            Meta& meta = entries[it->second].meta;
            meta.stored = true;
            meta.ordered = !st.IsNull(1);
            meta.seq = st.Int(1);
            meta.attributes = DWORD(st.Int(2));
        }
    }
    // An entry removed from outside leaves its row behind; a later entry of that name is new.
    for (const std::string& name : stale) ForgetEntry(Join(folder.rel, name));

    std::sort(entries.begin(), entries.end(), [](const Listed& a, const Listed& b) {
        if (a.meta.ordered != b.meta.ordered) return a.meta.ordered;
        if (a.meta.ordered) return a.meta.seq < b.meta.seq;
        return a.host < b.host;
    });
    *out = std::move(entries);
    return ERROR_SUCCESS;
}

// --- the platform's calls -----------------------------------------------------------------

DWORD ObjectStore::CreateDirectory(std::u16string_view path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located at;
    if (DWORD error = Locate(path, &at, Lookup::Create)) return error;
    if (at.exists) return ERROR_ALREADY_EXISTS;
    std::string name = ToUtf8(at.parts.back());
    std::string rel = Join(at.folder.rel, name);
    if (::mkdir(HostPath(rel).c_str(), 0755) != 0) return ErrorFromErrno(errno);
    NoteNameAdded(at.folder, name);
    NoteCreated(rel, 0);
    return ERROR_SUCCESS;
}

DWORD ObjectStore::RemoveDirectory(std::u16string_view path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located at;
    if (DWORD error = Locate(path, &at)) return error;
    if (at.parts.empty()) return ERROR_ACCESS_DENIED;
    if (!at.exists) return ERROR_FILE_NOT_FOUND;
    if (!at.node.IsDir()) return ERROR_DIRECTORY;
    DWORD stored = StoredAttributes(at.node);
    if (stored & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_TEMPORARY)) return ERROR_ACCESS_DENIED;
    if (::rmdir(HostPath(at.node.rel).c_str()) != 0)
        return errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno);
    ForgetIndex(at.folder.rel);
    ForgetIndexes(at.node.rel);
    ForgetEntry(at.node.rel);
    return ERROR_SUCCESS;
}

DWORD ObjectStore::DeleteFile(std::u16string_view path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located at;
    if (DWORD error = Locate(path, &at)) return error;
    if (at.parts.empty()) return ERROR_ACCESS_DENIED;
    if (!at.exists) return ERROR_FILE_NOT_FOUND;
    if (at.node.IsDir()) return ERROR_ACCESS_DENIED;
    if (StoredAttributes(at.node) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (IsFileOpen(IdOf(at.node.st))) return ERROR_SHARING_VIOLATION;
    StoreWrite write(this);
    struct stat now;
    const int64_t size = ::lstat(HostPath(at.node.rel).c_str(), &now) == 0 ? int64_t(now.st_size) : 0;
    if (::unlink(HostPath(at.node.rel).c_str()) != 0) return ErrorFromErrno(errno);
    write.Changed(-size);
    ForgetIndex(at.folder.rel);
    ForgetEntry(at.node.rel);
    return ERROR_SUCCESS;
}

DWORD ObjectStore::GetAttributes(std::u16string_view path, DWORD* attributes) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located at;
    if (DWORD error = Locate(path, &at)) return error;
    if (!at.exists) return ERROR_FILE_NOT_FOUND;
    *attributes = at.parts.empty() ? FILE_ATTRIBUTE_DIRECTORY : DeviceAttributes(at.node, StoredAttributes(at.node));
    return ERROR_SUCCESS;
}

DWORD ObjectStore::SetAttributes(std::u16string_view path, DWORD attributes) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (attributes == INVALID_FILE_ATTRIBUTES) return ERROR_INVALID_PARAMETER;
    Located at;
    if (DWORD error = Locate(path, &at)) return error;
    if (at.parts.empty()) return ERROR_ACCESS_DENIED;
    if (!at.exists) return ERROR_FILE_NOT_FOUND;
    // Directory, normal and temporary are not the caller's to set: they describe the entry.
    DWORD stored = StoredAttributes(at.node);
    NoteAttributes(at.node.rel, (attributes & kSettableAttributes) | (stored & FILE_ATTRIBUTE_TEMPORARY));
    return ERROR_SUCCESS;
}

DWORD ObjectStore::Find(std::u16string_view pattern, std::vector<StoreEntryInfo>* found) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::u16string> parts;
    if (DWORD error = SplitDevicePath(pattern, PathKind::Pattern, &parts)) return error;
    if (parts.empty()) return ERROR_FILE_NOT_FOUND;
    Node folder;
    if (DWORD error = WalkFolder(parts, parts.size() - 1, &folder)) return error;

    auto info = [this](const Node& node, std::u16string name, DWORD stored) {
        StoreEntryInfo i;
        i.name = std::move(name);
        i.attributes = DeviceAttributes(node, stored);
        i.size = node.IsDir() ? 0 : uint64_t(node.st.st_size);
        i.creationTime = ToFileTime(node.st.st_mtim);
        i.accessTime = ToFileTime(node.st.st_atim);
        i.writeTime = ToFileTime(node.st.st_mtim);
        i.oid = DWORD(node.st.st_ino);
        return i;
    };

    std::vector<StoreEntryInfo> result;
    const std::u16string& last = parts.back();
    if (!HasWildcards(last)) {
        Node node;
        if (!LookupChild(folder, last, &node)) return ERROR_FILE_NOT_FOUND;
        std::string parent, name;
        SplitRel(node.rel, &parent, &name);
        result.push_back(info(node, FromUtf8(name), StoredAttributes(node)));
    } else {
        std::vector<Listed> entries;
        if (DWORD error = ListFolder(folder, &entries)) return error;
        for (Listed& entry : entries) {
            if (!MatchesPattern(entry.name, last)) continue;
            Node node{Join(folder.rel, entry.host), entry.st, true};
            DWORD stored = entry.meta.stored ? entry.meta.attributes : (node.IsDir() ? 0 : FILE_ATTRIBUTE_ARCHIVE);
            result.push_back(info(node, std::move(entry.name), stored));
        }
    }
    if (result.empty()) return ERROR_FILE_NOT_FOUND;
    *found = std::move(result);
    return ERROR_SUCCESS;
}

DWORD ObjectStore::OpenFile(std::u16string_view path, const OpenRequest& request, OpenedFile* file) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (request.disposition < CREATE_NEW || request.disposition > TRUNCATE_EXISTING) return ERROR_INVALID_PARAMETER;
    if (request.disposition == TRUNCATE_EXISTING && !(request.access & GENERIC_WRITE)) return ERROR_INVALID_PARAMETER;
    bool mayCreate = request.disposition == CREATE_NEW || request.disposition == CREATE_ALWAYS ||
                     request.disposition == OPEN_ALWAYS;
    Located at;
    if (DWORD error = Locate(path, &at, mayCreate ? Lookup::Create : Lookup::Find)) return error;
    if (at.parts.empty()) return ERROR_ACCESS_DENIED;

    bool write = request.access & GENERIC_WRITE;
    int flags = O_CLOEXEC | O_NOFOLLOW | (request.append ? O_APPEND : 0);
    flags |= write ? ((request.access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    DWORD newAttributes = (request.attributes & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;

    OpenedFile opened;
    if (at.exists) {
        if (at.node.IsDir()) return ERROR_ACCESS_DENIED;
        if (request.disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
        bool truncate = request.disposition == CREATE_ALWAYS || request.disposition == TRUNCATE_EXISTING;
        if ((write || truncate) && (StoredAttributes(at.node) & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
        // Sharing is checked before anything changes, so a refused open truncates nothing.
        if (DWORD error = ShareLock::Acquire(IdOf(at.node.st), request.access, request.share, &opened.share))
            return error;
        opened.fd = ::open(HostPath(at.node.rel).c_str(), flags);
        if (opened.fd < 0) return ErrorFromErrno(errno);
        if (truncate) {
            StoreWrite write(this);
            struct stat st;
            if (::fstat(opened.fd, &st) != 0 || ::ftruncate(opened.fd, 0) != 0) {
                DWORD error = ErrorFromErrno(errno);
                ::close(opened.fd);
                return error;
            }
            write.Changed(-int64_t(st.st_size));
        }
        if (request.disposition == CREATE_ALWAYS) NoteAttributes(at.node.rel, newAttributes);
        opened.existed = true;
    } else {
        if (request.disposition == OPEN_EXISTING || request.disposition == TRUNCATE_EXISTING)
            return ERROR_FILE_NOT_FOUND;
        std::string name = ToUtf8(at.parts.back());
        std::string rel = Join(at.folder.rel, name);
        opened.fd = ::open(HostPath(rel).c_str(), flags | O_CREAT | O_EXCL, 0644);
        if (opened.fd < 0) return errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
        struct stat st;
        if (::fstat(opened.fd, &st) == 0) ShareLock::Acquire(IdOf(st), request.access, request.share, &opened.share);
        NoteNameAdded(at.folder, name);
        NoteCreated(rel, newAttributes);
    }
    *file = std::move(opened);
    return ERROR_SUCCESS;
}

DWORD ObjectStore::CopyInto(int sourceFd, const struct stat& source, const Located& target, std::string* rel) {
    bool exists = target.exists;
    *rel = exists ? target.node.rel : Join(target.folder.rel, ToUtf8(target.parts.back()));
    // The room is checked before the target is touched, so a copy that does not fit leaves a
    // file it would have replaced as it was.
    StoreWrite write(this);
    struct stat before;
    const uint64_t replaced =
        exists && ::lstat(HostPath(*rel).c_str(), &before) == 0 ? uint64_t(before.st_size) : 0;
    const uint64_t size = uint64_t(source.st_size);
    if (DWORD error = write.Reserve(size > replaced ? size - replaced : 0)) return error;
    mode_t mode = (source.st_mode & 0777) | 0600;
    int out = exists ? ::open(HostPath(*rel).c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC)
                     : ::open(HostPath(*rel).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (out < 0) return ErrorFromErrno(errno);
    DWORD error = CopyBytes(sourceFd, out, size);
    struct stat after;
    const uint64_t copied = ::fstat(out, &after) == 0 ? uint64_t(after.st_size) : size;
    if (!error) {
        // The copy keeps the source's time stamps and host permissions (a program stays runnable).
        struct timespec times[2] = {source.st_atim, source.st_mtim};
        ::futimens(out, times);
        ::fchmod(out, mode);
    }
    if (::close(out) != 0 && !error) error = ErrorFromErrno(errno);
    if (error) {
        // A failed copy leaves no half file behind; a file it replaced was cut when it began.
        ::unlink(HostPath(*rel).c_str());
        write.Changed(-int64_t(replaced));
        if (exists) {
            ForgetIndex(target.folder.rel);
            ForgetEntry(*rel);
        }
        return error;
    }
    write.Changed(int64_t(copied) - int64_t(replaced));
    if (!exists) NoteNameAdded(target.folder, ToUtf8(target.parts.back()));
    return ERROR_SUCCESS;
}

DWORD ObjectStore::CopyFile(std::u16string_view from, std::u16string_view to, IfExists ifExists) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located source, target;
    if (DWORD error = Locate(from, &source)) return error;
    if (DWORD error = Locate(to, &target, Lookup::Create)) return error;
    if (source.parts.empty() || target.parts.empty()) return ERROR_ACCESS_DENIED;
    if (!source.exists) return ERROR_FILE_NOT_FOUND;
    if (source.node.IsDir()) return ERROR_ACCESS_DENIED;

    ShareLock readLock, writeLock;
    if (target.exists) {
        if (target.node.IsDir()) return ERROR_ACCESS_DENIED;
        if (ifExists == IfExists::Fail) return ERROR_FILE_EXISTS;
        if (IdOf(target.node.st) == IdOf(source.node.st)) return ERROR_SHARING_VIOLATION;
        if (StoredAttributes(target.node) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
        if (DWORD error = ShareLock::Acquire(IdOf(target.node.st), GENERIC_WRITE, 0, &writeLock)) return error;
    }
    if (DWORD error = ShareLock::Acquire(IdOf(source.node.st), GENERIC_READ, FILE_SHARE_READ, &readLock))
        return error;

    // One write transaction for the bytes and the entry's row.
    StoreWrite write(this);
    int in = ::open(HostPath(source.node.rel).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return ErrorFromErrno(errno);
    struct stat st;
    std::string rel;
    DWORD error = ::fstat(in, &st) == 0 ? CopyInto(in, st, target, &rel) : ErrorFromErrno(errno);
    ::close(in);
    if (error) return error;
    // A copy carries the source's attributes; a replaced file keeps its place in its folder.
    DWORD attributes = StoredAttributes(source.node);
    if (target.exists) NoteAttributes(rel, attributes);
    else NoteCreated(rel, attributes);
    return ERROR_SUCCESS;
}

DWORD ObjectStore::MoveFile(std::u16string_view from, std::u16string_view to) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located source, target;
    if (DWORD error = Locate(from, &source)) return error;
    if (DWORD error = Locate(to, &target, Lookup::Create)) return error;
    if (source.parts.empty() || target.parts.empty()) return ERROR_ACCESS_DENIED;
    if (!source.exists) return ERROR_FILE_NOT_FOUND;
    DWORD stored = StoredAttributes(source.node);
    if (stored & FILE_ATTRIBUTE_TEMPORARY) return ERROR_ACCESS_DENIED;

    std::string rel = Join(target.folder.rel, ToUtf8(target.parts.back()));
    if (target.exists) {
        // Only a change of case of the same entry may land on an existing name.
        if (IdOf(target.node.st) != IdOf(source.node.st) || target.folder.rel != source.folder.rel)
            return ERROR_ALREADY_EXISTS;
        if (rel == source.node.rel) return ERROR_SUCCESS;
    }
    if (source.node.IsDir() && IsSameOrInside(target.folder.rel, source.node.rel)) return ERROR_ACCESS_DENIED;
    if (!source.node.IsDir() && IsFileOpen(IdOf(source.node.st))) return ERROR_SHARING_VIOLATION;

    if (::renameat2(AT_FDCWD, HostPath(source.node.rel).c_str(), AT_FDCWD, HostPath(rel).c_str(), RENAME_NOREPLACE) !=
        0)
        return errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno);
    ForgetIndex(source.folder.rel);
    ForgetIndexes(source.node.rel);
    NoteNameAdded(target.folder, ToUtf8(target.parts.back()));
    NoteMoved(source.node.rel, rel, stored);
    return ERROR_SUCCESS;
}

DWORD ObjectStore::MountStorage(std::u16string_view path) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located at;
    if (DWORD error = Locate(path, &at)) return error;
    if (at.parts.empty()) return ERROR_ACCESS_DENIED;
    if (!at.exists) {
        if (DWORD error = CreateDirectory(path)) return error;
        if (DWORD error = Locate(path, &at)) return error;
        if (!at.exists) return ERROR_PATH_NOT_FOUND;
    }
    if (!at.node.IsDir()) return ERROR_ALREADY_EXISTS;
    NoteAttributes(at.node.rel, StoredAttributes(at.node) | FILE_ATTRIBUTE_TEMPORARY);
    return ERROR_SUCCESS;
}

bool ObjectStore::ResolveExisting(std::u16string_view devicePath, std::filesystem::path* hostPath, DWORD* error) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Located at;
    DWORD e = Locate(devicePath, &at);
    if (!e && !at.exists) e = ERROR_FILE_NOT_FOUND;
    if (e) {
        if (error) *error = e;
        return false;
    }
    *hostPath = HostPath(at.node.rel);
    return true;
}

bool ObjectStore::ImportHostFile(const std::filesystem::path& source, std::u16string_view devicePath, DWORD* error) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto fail = [error](DWORD e) {
        if (error) *error = e;
        return false;
    };
    Located target;
    if (DWORD e = Locate(devicePath, &target, Lookup::Create)) return fail(e);
    if (target.parts.empty() || (target.exists && target.node.IsDir())) return fail(ERROR_ACCESS_DENIED);
    StoreWrite write(this);
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno));
    struct stat st;
    std::string rel;
    DWORD e = ::fstat(in, &st) != 0 ? ErrorFromErrno(errno) : (S_ISREG(st.st_mode) ? CopyInto(in, st, target, &rel) : ERROR_ACCESS_DENIED);
    ::close(in);
    if (e) return fail(e);
    // An installer replaces the file whatever its attributes, and the file keeps them.
    if (!target.exists) NoteCreated(rel, FILE_ATTRIBUTE_ARCHIVE);
    return true;
}

}  // namespace host

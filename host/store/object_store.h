// The device's object store, mapped into IMAGE/store: "\Windows\a.txt" is IMAGE/store/Windows/a.txt.
//
// Invariants:
// - Every device path is checked as text (host/device_path.h) before anything touches the host,
//   and resolution only follows folders and regular files it found by listing or looking up
//   names inside the store: symbolic links, host names the device cannot spell and anything
//   outside IMAGE/store are invisible.
// - Names resolve case-insensitively and keep the case they were created with. When the host
//   holds several names that differ only in case (placed there from outside), the one spelt
//   exactly as asked wins, else the first in byte order.
// - File attributes and the enumeration order live in the image's database (table
//   store_entries, keyed by the host path relative to store/), so they persist across
//   processes and follow an entry when it moves. An entry without a row was placed into
//   store/ from outside.
// - Searches list first the entries the device created, in creation order (a move, rename or
//   copy into a folder counts as a creation; overwriting keeps the place), then the entries
//   placed from outside, by name in UTF-8 byte order.
// - The store has a capacity (the device's setting): every call that adds bytes checks them
//   against it first and fails with ERROR_DISK_FULL, changing nothing, when they do not fit.
//   Used space is the sum of the sizes of the regular files below store/ (whoever made them),
//   and of the records of the property databases (host/db/database_store.h), which live in the
//   image's database. It is counted there and changed in the same write transaction as the files,
//   so that every process sharing the image sees the others' usage. A refusal is always
//   checked against a fresh measurement of the files, which also corrects the count: bytes
//   placed or removed from outside the device are seen from the next measurement on.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/store/file_sharing.h"
#include "platform/winerror.h"
#include "platform/wintypes.h"

namespace host {

class Device;

// What a search reports about one entry.
struct StoreEntryInfo {
    std::u16string name;
    DWORD attributes = 0;
    uint64_t size = 0;
    FILETIME creationTime{};
    FILETIME accessTime{};
    FILETIME writeTime{};
    DWORD oid = 0;
};

enum class IfExists { Fail, Replace };

struct OpenRequest {
    DWORD access = 0;       // GENERIC_READ | GENERIC_WRITE
    DWORD share = 0;        // FILE_SHARE_READ | FILE_SHARE_WRITE
    DWORD disposition = 0;  // CREATE_NEW ... TRUNCATE_EXISTING
    DWORD attributes = 0;   // of a file the open creates or replaces
    bool append = false;    // every write goes to the end (C streams opened with "a")
};

// An open host file and its place in the sharing rules.
struct OpenedFile {
    int fd = -1;
    ShareLock share;
    bool existed = false;
};

// The platform's error code for a host errno value.
DWORD ErrorFromErrno(int err);

class ObjectStore {
public:
    explicit ObjectStore(Device& device);
    ~ObjectStore();
    ObjectStore(const ObjectStore&) = delete;
    ObjectStore& operator=(const ObjectStore&) = delete;

    // The platform's file calls. Each returns ERROR_SUCCESS or the platform's error code.
    DWORD CreateDirectory(std::u16string_view path);
    DWORD RemoveDirectory(std::u16string_view path);
    DWORD CopyFile(std::u16string_view from, std::u16string_view to, IfExists ifExists);
    DWORD MoveFile(std::u16string_view from, std::u16string_view to);
    DWORD DeleteFile(std::u16string_view path);
    DWORD GetAttributes(std::u16string_view path, DWORD* attributes);
    DWORD SetAttributes(std::u16string_view path, DWORD attributes);
    // Every entry that matches the pattern, in enumeration order (a snapshot); a last component
    // without wildcards finds that one entry. ERROR_FILE_NOT_FOUND when nothing matches.
    DWORD Find(std::u16string_view pattern, std::vector<StoreEntryInfo>* found);
    DWORD OpenFile(std::u16string_view path, const OpenRequest& request, OpenedFile* file);

    // Makes path a mounted storage folder (created when missing; its parent must exist): a
    // folder with FILE_ATTRIBUTE_TEMPORARY that cannot be removed or moved.
    DWORD MountStorage(std::u16string_view path);

    // Maps the device path of an existing file or folder to its host path. False with the
    // platform's error code (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME ...).
    bool ResolveExisting(std::u16string_view devicePath, std::filesystem::path* hostPath, DWORD* error);
    // Copies a host file into the store at devicePath (its folder must exist), replacing a file
    // there. Used by installers that put the package's built files into an image.
    bool ImportHostFile(const std::filesystem::path& source, std::u16string_view devicePath, DWORD* error);

    // The capacity in bytes, and the bytes the store's files hold now.
    uint64_t Capacity() const;
    uint64_t UsedBytes();
    // ERROR_DISK_FULL unless `bytes` more fit in the store now.
    DWORD CheckRoom(uint64_t bytes);

private:
    friend class StoreWrite;
    struct WriteState;

    // A file or folder of the store, found on the host.
    struct Node {
        std::string rel;  // host path relative to store/, '/'-separated; "" for the root
        struct stat st {};
        bool statKnown = false;  // the root's is read only when needed
        bool IsDir() const { return S_ISDIR(st.st_mode); }
    };
    // A path split into its folder (which exists) and its last name (which may not).
    struct Located {
        std::vector<std::u16string> parts;
        Node folder;
        bool exists = false;
        Node node;  // valid when exists
    };
    struct IndexedName {
        std::string host;
        bool several = false;  // other host names differ from it only in case
    };
    // The names of one folder by their upper-cased device spelling, valid while the folder's
    // modification time is the one recorded.
    struct FolderIndex {
        dev_t dev = 0;
        ino_t ino = 0;
        struct timespec mtime {};
        bool racy = false;  // read so soon after a change that a same-instant change may be missing
        std::unordered_map<std::u16string, IndexedName> names;
    };
    struct Meta {
        bool stored = false;
        bool ordered = false;
        int64_t seq = 0;
        DWORD attributes = 0;
    };
    struct Listed;

    // Why a name is looked up. Before a creation, a "not found" that misses an entry placed
    // from outside in the same instant is harmless (the store tolerates names that differ only
    // in case), so such lookups skip the rescan that a plain lookup of a freshly changed
    // folder needs.
    enum class Lookup { Find, Create };

    std::string HostPath(const std::string& rel) const;
    DWORD WalkFolder(const std::vector<std::u16string>& parts, size_t count, Node* folder);
    bool LookupChild(const Node& folder, std::u16string_view name, Node* child, Lookup lookup = Lookup::Find);
    bool StatEntry(std::string rel, Node* node) const;
    bool StatRoot(Node* root) const;
    FolderIndex* CurrentIndex(const Node& folder);
    FolderIndex* RebuildIndex(const Node& folder);
    bool BuildIndex(const Node& folder, FolderIndex* index);
    static void AddName(FolderIndex* index, std::u16string key, std::string_view hostName);
    // After the store itself added hostName to folder (as it was before the change): keeps the
    // folder's index current instead of rescanning a large folder per creation.
    void NoteNameAdded(const Node& folder, const std::string& hostName);
    void ForgetIndex(const std::string& rel);
    void ForgetIndexes(const std::string& rel);  // the folder and every folder below it
    DWORD Locate(std::u16string_view path, Located* located, Lookup lookup = Lookup::Find);
    DWORD ListFolder(const Node& folder, std::vector<Listed>* entries);
    // Writes the open source into target (replacing or creating its file); *rel receives the
    // target's host path.
    DWORD CopyInto(int sourceFd, const struct stat& source, const Located& target, std::string* rel);

    Meta LoadMeta(const std::string& rel);
    DWORD StoredAttributes(const Node& node);
    DWORD DeviceAttributes(const Node& node, DWORD stored) const;
    void NoteCreated(const std::string& rel, DWORD attributes);
    void NoteAttributes(const std::string& rel, DWORD attributes);
    void NoteMoved(const std::string& from, const std::string& to, DWORD attributes);
    void ForgetEntry(const std::string& rel);

    // The capacity's side of a StoreWrite (store_usage.cpp).
    void BeginWrite();
    void EndWrite();
    bool WriteOk() const;
    bool CommitWrite();
    DWORD Reserve(uint64_t bytes);
    void NoteSizeChange(int64_t delta);
    bool ReadUsage(uint64_t* used);
    void StoreUsage(uint64_t used);
    uint64_t MeasureUsage() const;

    Device& m_device;
    std::string m_root;
    std::recursive_mutex m_mutex;
    std::unordered_map<std::string, FolderIndex> m_indexes;
    int m_writeDepth = 0;           // nested StoreWrites of the thread holding m_mutex
    WriteState* m_write = nullptr;  // the outermost one's database transaction
};

// One change of the bytes the store's files hold, made as one step against every other writer
// of the image: the store's lock keeps this process's other threads out and the database's
// write transaction other processes. Reserve before adding bytes, tell the change after.
// Nests; a null store (no device) counts nothing and refuses nothing.
class StoreWrite {
public:
    explicit StoreWrite(ObjectStore* store) : m_store(store) {
        if (m_store) m_store->BeginWrite();
    }
    ~StoreWrite() {
        if (m_store) m_store->EndWrite();
    }
    StoreWrite(const StoreWrite&) = delete;
    StoreWrite& operator=(const StoreWrite&) = delete;

    // ERROR_DISK_FULL (or the reason they cannot be checked) unless `bytes` more fit.
    DWORD Reserve(uint64_t bytes) { return m_store ? m_store->Reserve(bytes) : ERROR_SUCCESS; }
    // The change made the store's files hold delta bytes more (or fewer, when negative).
    void Changed(int64_t delta) {
        if (m_store && delta) m_store->NoteSizeChange(delta);
    }
    // Whether the image's write lock is held, so that what follows is one step. A change that
    // lives in the database itself must not begin without it.
    bool Ok() const { return !m_store || m_store->WriteOk(); }
    // Commits now, when this is the outermost write, and tells whether the change reached the
    // database (for an inner one: whether it still can).
    bool Commit() { return !m_store || m_store->CommitWrite(); }

private:
    ObjectStore* m_store;
};

}  // namespace host

#include "host/registry/registry_store.h"

#include <atomic>
#include <cstring>

#include "host/kernel/database.h"
#include "host/kernel/device.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace host {

namespace {

// Names are kept exactly as UTF-16LE blobs so that nothing is lost in a conversion. The folded
// form is the upper-cased name as UTF-16BE: SQLite compares blobs bytewise, which for big-endian
// units is the same order as CompareNoCase, so ORDER BY folded is the enumeration order.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " UNIQUE(parent, folded))",
    "CREATE TABLE IF NOT EXISTS reg_values("
    " key INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, folded)) WITHOUT ROWID",
};

struct Root {
    HKEY handle;
    RegistryStore::KeyId id;
    const char16_t* name;
};
// Fixed ids; their parent is 0, which no other key has.
const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, 1, u"HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, 2, u"HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, 3, u"HKEY_LOCAL_MACHINE"},
};
const RegistryStore::KeyId kLastRootId = 3;

// Opened keys get handles from one process-wide sequence, so a handle of one device is never
// mistaken for a handle of another device installed later in the same process.
std::atomic<uintptr_t> g_nextHandle{0x10000};

std::string NameBlob(std::u16string_view name) {
    std::string out(name.size() * 2, '\0');
    for (size_t i = 0; i < name.size(); ++i) {
        out[2 * i] = static_cast<char>(name[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(name[i] >> 8);
    }
    return out;
}

std::string FoldedBlob(std::u16string_view name) {
    std::string out(name.size() * 2, '\0');
    for (size_t i = 0; i < name.size(); ++i) {
        WCHAR c = towupper16(name[i]);
        out[2 * i] = static_cast<char>(c >> 8);
        out[2 * i + 1] = static_cast<char>(c & 0xFF);
    }
    return out;
}

std::u16string NameFromColumn(const Database::Statement& st, int column) {
    auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st.Raw(), column));
    size_t n = static_cast<size_t>(sqlite3_column_bytes(st.Raw(), column)) / 2;
    std::u16string out(n, u'\0');
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    return out;
}

// Copies a stored name into a caller's buffer of *length units (terminator included). Too small:
// ERROR_MORE_DATA with buffer and length untouched, as the desktop does for enumerated names.
LONG CopyName(std::u16string_view name, WCHAR* buffer, DWORD* length) {
    if (name.size() + 1 > *length) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
    buffer[name.size()] = 0;
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Platform semantics of a value read: no buffer gives the size; a short buffer gives
// ERROR_MORE_DATA with the needed size and leaves the buffer untouched.
LONG CopyData(const void* stored, size_t storedSize, BYTE* data, DWORD* size) {
    if (!data) {
        if (size) *size = static_cast<DWORD>(storedSize);
        return ERROR_SUCCESS;
    }
    if (*size < storedSize) {
        *size = static_cast<DWORD>(storedSize);
        return ERROR_MORE_DATA;
    }
    if (storedSize) std::memcpy(data, stored, storedSize);
    *size = static_cast<DWORD>(storedSize);
    return ERROR_SUCCESS;
}

std::u16string_view View(const WCHAR* s) { return s ? std::u16string_view(s) : std::u16string_view(); }

}  // namespace

RegistryStore::RegistryStore(Device& device) : m_db(device.Db()) {
    for (const char* sql : kSchema) m_db.Exec(sql);
    for (const Root& root : kRoots) {
        std::string name = NameBlob(root.name), folded = FoldedBlob(root.name);
        m_db.Prepare("INSERT OR IGNORE INTO reg_keys(id, parent, name, folded) VALUES(?1, 0, ?2, ?3)")
            .Bind(1, root.id)
            .BindBlob(2, name.data(), name.size())
            .BindBlob(3, folded.data(), folded.size())
            .Run();
    }
}

RegistryStore::~RegistryStore() = default;

RegistryStore::KeyId RegistryStore::RootKey(HKEY root) {
    for (const Root& r : kRoots)
        if (r.handle == root) return r.id;
    return kNoKey;
}

bool RegistryStore::IsValidName(std::u16string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c < 0x20) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// The device documents that a subkey must not begin with '\'; desktop Windows answers such a path
// with ERROR_BAD_PATHNAME, and so do we. What the device does with an empty component is not
// documented: we refuse it too, but accept one trailing '\' because code that builds paths by
// concatenation often leaves one. Control characters and broken surrogates are refused in names
// (a deliberate narrowing) so that every stored name can be written as .reg text and read back.
LONG RegistryStore::SplitPath(std::u16string_view path, std::vector<std::u16string_view>* parts) {
    parts->clear();
    if (path.empty()) return ERROR_SUCCESS;
    if (path.front() == u'\\') return ERROR_BAD_PATHNAME;
    if (path.back() == u'\\') path.remove_suffix(1);
    size_t start = 0;
    for (;;) {
        size_t end = path.find(u'\\', start);
        std::u16string_view part = path.substr(start, end == std::u16string_view::npos ? path.npos : end - start);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > kMaxNameLength || !IsValidName(part)) return ERROR_INVALID_PARAMETER;
        parts->push_back(part);
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

LONG RegistryStore::Resolve(HKEY key, KeyId* id) {
    if (KeyId root = RootKey(key)) {
        *id = root;
        return ERROR_SUCCESS;
    }
    auto it = m_handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == m_handles.end()) return ERROR_INVALID_HANDLE;
    *id = it->second;
    return ERROR_SUCCESS;
}

HKEY RegistryStore::NewHandle(KeyId id) {
    uintptr_t value = g_nextHandle.fetch_add(4);
    m_handles[value] = id;
    return reinterpret_cast<HKEY>(value);
}

bool RegistryStore::KeyExists(KeyId key) {
    std::lock_guard lock(m_db.Mutex());
    auto st = m_db.Prepare("SELECT 1 FROM reg_keys WHERE id=?1");
    st.Bind(1, key);
    return st.Step() == SQLITE_ROW;
}

LONG RegistryStore::KeyName(KeyId key, std::u16string* name) {
    std::lock_guard lock(m_db.Mutex());
    auto st = m_db.Prepare("SELECT name FROM reg_keys WHERE id=?1");
    st.Bind(1, key);
    int rc = st.Step();
    if (rc == SQLITE_ROW) {
        *name = NameFromColumn(st, 0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ERROR_REGISTRY_IO_FAILED;
}

LONG RegistryStore::NotFoundOr(KeyId key, LONG missing) { return KeyExists(key) ? missing : ERROR_KEY_DELETED; }

LONG RegistryStore::FindChild(KeyId parent, std::u16string_view name, KeyId* child) {
    auto st = m_db.Prepare("SELECT id FROM reg_keys WHERE parent=?1 AND folded=?2");
    std::string folded = FoldedBlob(name);
    st.Bind(1, parent).BindBlob(2, folded.data(), folded.size());
    int rc = st.Step();
    if (rc == SQLITE_ROW) {
        *child = st.Int(0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ERROR_REGISTRY_IO_FAILED;
}

LONG RegistryStore::KeyDepth(KeyId key, size_t* depth) {
    // Steps up from the key until a root (whose parent is 0); a walk longer than the limit stops
    // there, so even a damaged table with a cycle ends.
    auto st = m_db.Prepare("WITH RECURSIVE up(id, depth) AS (SELECT ?1, 0"
                           " UNION ALL SELECT k.parent, up.depth+1 FROM reg_keys k JOIN up ON k.id=up.id"
                           " WHERE k.parent != 0 AND up.depth <= ?2) SELECT max(depth) FROM up");
    st.Bind(1, key).Bind(2, static_cast<int64_t>(kMaxKeyDepth));
    if (st.Step() != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    *depth = static_cast<size_t>(st.Int(0));
    return ERROR_SUCCESS;
}

LONG RegistryStore::FindKey(KeyId parent, std::u16string_view path, KeyId* result) {
    std::lock_guard lock(m_db.Mutex());
    std::vector<std::u16string_view> parts;
    if (LONG rc = SplitPath(path, &parts)) return rc;
    KeyId id = parent;
    for (auto part : parts) {
        LONG rc = FindChild(id, part, &id);
        // A missing first component under a key that is gone means the key was deleted.
        if (rc == ERROR_FILE_NOT_FOUND) return NotFoundOr(parent, ERROR_FILE_NOT_FOUND);
        if (rc) return rc;
    }
    if (parts.empty() && !KeyExists(parent)) return ERROR_KEY_DELETED;
    *result = id;
    return ERROR_SUCCESS;
}

LONG RegistryStore::CreateKeyPath(KeyId parent, std::u16string_view path, KeyId* result, bool* created) {
    std::lock_guard lock(m_db.Mutex());
    std::vector<std::u16string_view> parts;
    if (LONG rc = SplitPath(path, &parts)) return rc;
    // The common case, an existing key, needs no write lock.
    KeyId existing = kNoKey;
    LONG rc = FindKey(parent, path, &existing);
    if (rc == ERROR_SUCCESS) {
        *result = existing;
        if (created) *created = false;
        return ERROR_SUCCESS;
    }
    if (rc != ERROR_FILE_NOT_FOUND) return rc;

    Database::Transaction tx(m_db);
    if (!tx.Ok()) return ERROR_REGISTRY_IO_FAILED;
    if (!KeyExists(parent)) return ERROR_KEY_DELETED;
    size_t depth = 0;
    if (LONG depthRc = KeyDepth(parent, &depth)) return depthRc;
    // Refused before anything is made. The platform's code for a tree too deep is not
    // documented; the path is one the registry cannot take, as a malformed one.
    if (depth + parts.size() > kMaxKeyDepth) return ERROR_BAD_PATHNAME;
    KeyId id = parent;
    bool madeLast = false;
    for (auto part : parts) {
        KeyId child = kNoKey;
        rc = FindChild(id, part, &child);
        if (rc == ERROR_FILE_NOT_FOUND) {
            std::string name = NameBlob(part), folded = FoldedBlob(part);
            bool ok = m_db.Prepare("INSERT INTO reg_keys(parent, name, folded) VALUES(?1, ?2, ?3)")
                          .Bind(1, id)
                          .BindBlob(2, name.data(), name.size())
                          .BindBlob(3, folded.data(), folded.size())
                          .Run();
            if (!ok) return ERROR_REGISTRY_IO_FAILED;
            child = m_db.LastInsertId();
            madeLast = true;
        } else if (rc) {
            return rc;
        } else {
            madeLast = false;
        }
        id = child;
    }
    if (!tx.Commit()) return ERROR_REGISTRY_IO_FAILED;
    *result = id;
    if (created) *created = madeLast;
    return ERROR_SUCCESS;
}

LONG RegistryStore::DeleteTree(KeyId key) {
    std::lock_guard lock(m_db.Mutex());
    if (key <= kLastRootId) return ERROR_ACCESS_DENIED;
    Database::Transaction tx(m_db);
    if (!tx.Ok()) return ERROR_REGISTRY_IO_FAILED;
    if (!KeyExists(key)) return ERROR_KEY_DELETED;
    bool ok = m_db.Prepare("DELETE FROM reg_values WHERE key IN ("
                           " WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                           "  SELECT k.id FROM reg_keys k JOIN sub ON k.parent=sub.id)"
                           " SELECT id FROM sub)")
                  .Bind(1, key)
                  .Run() &&
              m_db.Prepare("DELETE FROM reg_keys WHERE id IN ("
                           " WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                           "  SELECT k.id FROM reg_keys k JOIN sub ON k.parent=sub.id)"
                           " SELECT id FROM sub)")
                  .Bind(1, key)
                  .Run();
    if (!ok || !tx.Commit()) return ERROR_REGISTRY_IO_FAILED;
    return ERROR_SUCCESS;
}

LONG RegistryStore::ListSubkeys(KeyId key, std::vector<SubkeyEntry>* subkeys) {
    std::lock_guard lock(m_db.Mutex());
    subkeys->clear();
    auto st = m_db.Prepare("SELECT id, name FROM reg_keys WHERE parent=?1 ORDER BY folded");
    st.Bind(1, key);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) subkeys->push_back({st.Int(0), NameFromColumn(st, 1)});
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

LONG RegistryStore::ListValues(KeyId key, std::vector<ValueEntry>* values) {
    std::lock_guard lock(m_db.Mutex());
    values->clear();
    auto st = m_db.Prepare("SELECT name, type, data FROM reg_values WHERE key=?1 ORDER BY folded");
    st.Bind(1, key);
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW)
        values->push_back({NameFromColumn(st, 0), static_cast<DWORD>(st.Int(1)), st.Blob(2)});
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

LONG RegistryStore::PutValue(KeyId key, std::u16string_view name, DWORD type, const uint8_t* data, size_t size) {
    if (name.size() > kMaxNameLength || !IsValidName(name)) return ERROR_INVALID_PARAMETER;
    // SQLite takes blob sizes as int; anything near that is beyond what a device could hold.
    if (size > static_cast<size_t>(INT32_MAX)) return ERROR_NOT_ENOUGH_MEMORY;
    std::lock_guard lock(m_db.Mutex());
    std::string nameBlob = NameBlob(name), folded = FoldedBlob(name);
    // One statement, so the value can never land under a key another process just deleted.
    auto st = m_db.Prepare(
        "INSERT INTO reg_values(key, name, folded, type, data)"
        " SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS(SELECT 1 FROM reg_keys WHERE id=?1)"
        " ON CONFLICT(key, folded) DO UPDATE SET type=excluded.type, data=excluded.data");
    st.Bind(1, key)
        .BindBlob(2, nameBlob.data(), nameBlob.size())
        .BindBlob(3, folded.data(), folded.size())
        .Bind(4, static_cast<int64_t>(type))
        .BindBlob(5, data, size);
    if (!st.Run()) return ERROR_REGISTRY_IO_FAILED;
    return m_db.Changes() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG RegistryStore::RemoveValue(KeyId key, std::u16string_view name) {
    std::lock_guard lock(m_db.Mutex());
    std::string folded = FoldedBlob(name);
    bool ok = m_db.Prepare("DELETE FROM reg_values WHERE key=?1 AND folded=?2")
                  .Bind(1, key)
                  .BindBlob(2, folded.data(), folded.size())
                  .Run();
    if (!ok) return ERROR_REGISTRY_IO_FAILED;
    return m_db.Changes() ? ERROR_SUCCESS : NotFoundOr(key, ERROR_FILE_NOT_FOUND);
}

// ---- The platform calls ----

LONG RegistryStore::OpenKey(HKEY parent, const WCHAR* subKey, HKEY* result) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(parent, &id)) return rc;
    // A null or empty subkey opens the same key again under a new handle.
    if (LONG rc = FindKey(id, View(subKey), &id)) return rc;
    *result = NewHandle(id);
    return ERROR_SUCCESS;
}

LONG RegistryStore::CreateKey(HKEY parent, const WCHAR* subKey, HKEY* result, DWORD* disposition) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(parent, &id)) return rc;
    bool created = false;
    if (LONG rc = CreateKeyPath(id, View(subKey), &id, &created)) return rc;
    *result = NewHandle(id);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegistryStore::CloseKey(HKEY key) {
    std::lock_guard lock(m_db.Mutex());
    if (RootKey(key)) return ERROR_SUCCESS;
    // Closing the handle of a deleted key succeeds: the handle itself was still open.
    return m_handles.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegistryStore::CheckKey(HKEY key) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    return KeyExists(id) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG RegistryStore::QueryValue(HKEY key, const WCHAR* name, DWORD* type, BYTE* data, DWORD* size) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    std::string folded = FoldedBlob(View(name));
    const CachedValue* value = CachedQuery(id, folded);
    if (!value) return ERROR_REGISTRY_IO_FAILED;
    if (value->rc != ERROR_SUCCESS) return value->rc;
    if (type) *type = value->type;
    return CopyData(value->data.data(), value->data.size(), data, size);
}

const RegistryStore::CachedValue* RegistryStore::CachedQuery(KeyId id, const std::string& folded) {
    // The stamp is taken before the database is read: a commit that lands in between then
    // changes the stamp, and the next read goes to the database again.
    Database::ChangeStamp stamp;
    bool current = m_db.ReadChangeStamp(&stamp);
    if (!current || stamp != m_cacheStamp || m_valueCache.size() > 4096) {
        m_valueCache.clear();
        m_cacheStamp = current ? stamp : Database::ChangeStamp{};
    }
    std::string cacheKey(reinterpret_cast<const char*>(&id), sizeof id);
    cacheKey += folded;
    if (current) {
        auto it = m_valueCache.find(cacheKey);
        if (it != m_valueCache.end()) return &it->second;
    }
    CachedValue value{ERROR_SUCCESS, REG_NONE, {}};
    auto st = m_db.Prepare("SELECT type, data FROM reg_values WHERE key=?1 AND folded=?2");
    st.Bind(1, id).BindBlob(2, folded.data(), folded.size());
    int rc = st.Step();
    if (rc == SQLITE_ROW) {
        value.type = static_cast<DWORD>(st.Int(0));
        auto* stored = static_cast<const uint8_t*>(sqlite3_column_blob(st.Raw(), 1));
        value.data.assign(stored, stored + sqlite3_column_bytes(st.Raw(), 1));
    } else if (rc == SQLITE_DONE) {
        value.rc = NotFoundOr(id, ERROR_FILE_NOT_FOUND);
    } else {
        return nullptr;
    }
    // Without a stamp nothing is kept; the slot is reused by the next read.
    if (!current) m_valueCache.clear();
    return &(m_valueCache[std::move(cacheKey)] = std::move(value));
}

LONG RegistryStore::SetValue(HKEY key, const WCHAR* name, DWORD type, const BYTE* data, DWORD size) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    return PutValue(id, View(name), type, data, size);
}

LONG RegistryStore::DeleteValue(HKEY key, const WCHAR* name) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    return RemoveValue(id, View(name));
}

// The device's documentation says the subkey to delete names a subkey of the key and cannot be
// null. Whether an empty name deletes the key itself there is not documented; we refuse it with
// ERROR_INVALID_PARAMETER, the choice that can never remove more than the caller named.
LONG RegistryStore::DeleteKey(HKEY key, const WCHAR* subKey) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    KeyId target;
    if (LONG rc = FindKey(id, subKey, &target)) return rc;
    return DeleteTree(target);
}

LONG RegistryStore::EnumKey(HKEY key, DWORD index, WCHAR* name, DWORD* nameLength) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    auto st = m_db.Prepare("SELECT name FROM reg_keys WHERE parent=?1 ORDER BY folded LIMIT 1 OFFSET ?2");
    st.Bind(1, id).Bind(2, static_cast<int64_t>(index));
    int rc = st.Step();
    if (rc == SQLITE_DONE) return NotFoundOr(id, ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    return CopyName(NameFromColumn(st, 0), name, nameLength);
}

// A short data buffer still reports the name and type, and the needed size, as the desktop does;
// a short name buffer fails before anything is written.
LONG RegistryStore::EnumValue(HKEY key, DWORD index, WCHAR* name, DWORD* nameLength, DWORD* type, BYTE* data,
                              DWORD* dataSize) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    auto st = m_db.Prepare("SELECT name, type, data FROM reg_values WHERE key=?1 ORDER BY folded LIMIT 1 OFFSET ?2");
    st.Bind(1, id).Bind(2, static_cast<int64_t>(index));
    int rc = st.Step();
    if (rc == SQLITE_DONE) return NotFoundOr(id, ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    if (LONG nameRc = CopyName(NameFromColumn(st, 0), name, nameLength)) return nameRc;
    if (type) *type = static_cast<DWORD>(st.Int(1));
    const void* stored = sqlite3_column_blob(st.Raw(), 2);
    size_t storedSize = static_cast<size_t>(sqlite3_column_bytes(st.Raw(), 2));
    if (!data && !dataSize) return ERROR_SUCCESS;
    return CopyData(stored, storedSize, data, dataSize);
}

LONG RegistryStore::QueryInfo(HKEY key, KeyInfo* info) {
    std::lock_guard lock(m_db.Mutex());
    KeyId id;
    if (LONG rc = Resolve(key, &id)) return rc;
    if (!KeyExists(id)) return ERROR_KEY_DELETED;
    auto keys = m_db.Prepare("SELECT count(*), ifnull(max(length(name)), 0) FROM reg_keys WHERE parent=?1");
    keys.Bind(1, id);
    if (keys.Step() != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    auto values = m_db.Prepare(
        "SELECT count(*), ifnull(max(length(name)), 0), ifnull(max(length(data)), 0) FROM reg_values WHERE key=?1");
    values.Bind(1, id);
    if (values.Step() != SQLITE_ROW) return ERROR_REGISTRY_IO_FAILED;
    info->subKeys = static_cast<DWORD>(keys.Int(0));
    info->maxSubKeyLength = static_cast<DWORD>(keys.Int(1) / 2);
    info->values = static_cast<DWORD>(values.Int(0));
    info->maxValueNameLength = static_cast<DWORD>(values.Int(1) / 2);
    info->maxValueSize = static_cast<DWORD>(values.Int(2));
    return ERROR_SUCCESS;
}

}  // namespace host

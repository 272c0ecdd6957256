// The platform's property database calls: thin adapters from the Ce names to the installed
// device's database store, with the platform's handles, buffers and last-error codes.
#include "platform/database.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/db/database_store.h"
#include "host/db/record_blob.h"
#include "host/kernel/device.h"
#include "host/kernel/handles.h"

namespace {

using host::DatabaseStore;

// An open database: which one, in which order, and the seek pointer. The pointer names a record
// (its identifier) and remembers its position as a hint, so that it stays on its record while
// others are added or removed before it.
struct OpenDatabase : host::KernelObject {
    std::shared_ptr<DatabaseStore::Opens> opens;
    CEOID db = 0;
    int sortIndex = -1;  // -1: creation order
    bool autoIncrement = false;

    std::mutex mutex;
    size_t index = 0;
    CEOID record = 0;      // 0: the position is `index` itself (just opened, or past the end)
    bool stepped = false;  // the pointer got here by a read's automatic step

    ~OpenDatabase() override {
        std::lock_guard lock(opens->mutex);
        if (--opens->counts[db] <= 0) opens->counts.erase(db);
    }
};

struct DatabaseSearch : host::KernelObject {
    std::shared_ptr<DatabaseStore::Opens> opens;  // only to tell which device it searches
    DWORD type = 0;
    std::mutex mutex;
    CEOID last = 0;
};

template <class T>
T Fail(DWORD error, T result) {
    host::SetLastErrorCode(error);
    return result;
}

DatabaseStore* Store() {
    host::Device* device = host::CurrentDevice();
    return device ? &device->Databases() : nullptr;
}

bool IsObjectStoreVolume(const CEGUID* volume) {
    return volume && volume->Data1 == 0xFFFFFFFF && volume->Data2 == 0xFFFFFFFF && volume->Data3 == 0xFFFFFFFF &&
           volume->Data4 == 0xFFFFFFFF;
}

// The object behind a handle of this device: a handle made on a device that is no longer the
// installed one names nothing here.
template <class T>
std::shared_ptr<T> Reference(HANDLE handle, DatabaseStore** store) {
    auto object = std::dynamic_pointer_cast<T>(host::ReferenceHandle(handle, host::HandleType::Database));
    *store = Store();
    if (!object || !*store) return nullptr;
    return object->opens == (*store)->OpenDatabases() ? object : nullptr;
}

// A name from the caller, read no further than one unit past the longest name.
std::u16string_view NameView(LPCWSTR name) {
    size_t n = 0;
    while (n < CEDB_MAXDBASENAMELEN && name[n]) ++n;
    return std::u16string_view(name, n);
}

// Where the seek pointer is now in the order, or ERROR_NO_MORE_ITEMS past the end, or
// ERROR_KEY_DELETED when its record is gone (unless a read's step took it there: then the
// record that took the place is next, as the device does after an automatic step).
DWORD Locate(OpenDatabase& open, const std::vector<DatabaseStore::OrderEntry>& order, size_t* index) {
    if (open.record == 0) {
        if (open.index >= order.size()) return ERROR_NO_MORE_ITEMS;
        *index = open.index;
        return ERROR_SUCCESS;
    }
    if (open.index < order.size() && order[open.index].oid == open.record) {
        *index = open.index;
        return ERROR_SUCCESS;
    }
    auto it = std::find_if(order.begin(), order.end(),
                           [&](const DatabaseStore::OrderEntry& e) { return e.oid == open.record; });
    if (it != order.end()) {
        *index = size_t(it - order.begin());
        return ERROR_SUCCESS;
    }
    if (!open.stepped) return ERROR_KEY_DELETED;
    if (open.index >= order.size()) return ERROR_NO_MORE_ITEMS;
    *index = open.index;
    return ERROR_SUCCESS;
}

void PlaceAt(OpenDatabase& open, const std::vector<DatabaseStore::OrderEntry>& order, size_t index, bool stepped) {
    open.index = index;
    open.record = index < order.size() ? order[index].oid : 0;
    open.stepped = stepped;
}

size_t AlignUp(size_t n) { return (n + 7) & ~size_t(7); }

// The stored form of a caller's value, or false when the value is not one the database can hold.
bool StoredValue(const CEPROPVAL& value, std::string* out) {
    const WORD type = TypeFromPropID(value.propid);
    out->clear();
    auto put = [&](const void* p, size_t n) { out->append(static_cast<const char*>(p), n); };
    switch (type) {
    case CEVT_I2:
    case CEVT_UI2: put(&value.val.uiVal, 2); return true;
    case CEVT_I4:
    case CEVT_UI4: put(&value.val.ulVal, 4); return true;
    case CEVT_BOOL: put(&value.val.boolVal, 4); return true;
    case CEVT_R8: put(&value.val.dblVal, 8); return true;
    case CEVT_FILETIME:
        put(&value.val.filetime.dwLowDateTime, 4);
        put(&value.val.filetime.dwHighDateTime, 4);
        return true;
    case CEVT_LPWSTR: {
        const WCHAR* text = value.val.lpwstr;
        if (!text) return false;
        // A text with its terminator may hold CEDB_MAXPROPDATASIZE bytes; the scan stops there.
        size_t n = 0;
        while (text[n]) {
            if ((n + 2) * sizeof(WCHAR) > CEDB_MAXPROPDATASIZE) return false;
            ++n;
        }
        for (size_t i = 0; i < n; ++i) {
            out->push_back(char(text[i] & 0xFF));
            out->push_back(char(text[i] >> 8));
        }
        return true;
    }
    case CEVT_BLOB:
        if (value.val.blob.dwCount > CEDB_MAXPROPDATASIZE || (value.val.blob.dwCount && !value.val.blob.lpb)) return false;
        if (value.val.blob.dwCount) put(value.val.blob.lpb, value.val.blob.dwCount);
        return true;
    default: return false;
    }
}

// Lays a stored record out as the platform hands it over: the CEPROPVAL array, then the texts
// (terminated) and blobs they point to.
size_t LaidOutSize(const std::vector<host::cedb::PropertyView>& properties) {
    size_t size = AlignUp(properties.size() * sizeof(CEPROPVAL));
    for (const auto& p : properties) {
        const WORD type = TypeFromPropID(p.propid);
        if (type == CEVT_LPWSTR || type == CEVT_BLOB) size += AlignUp(host::cedb::PlatformSize(p.propid, p.value));
    }
    return size;
}

void LayOut(const std::vector<host::cedb::PropertyView>& properties, BYTE* buffer) {
    auto* values = reinterpret_cast<CEPROPVAL*>(buffer);
    BYTE* data = buffer + AlignUp(properties.size() * sizeof(CEPROPVAL));
    for (size_t i = 0; i < properties.size(); ++i) {
        const auto& p = properties[i];
        CEPROPVAL& v = values[i];
        std::memset(&v, 0, sizeof v);
        v.propid = p.propid;
        switch (TypeFromPropID(p.propid)) {
        case CEVT_LPWSTR:
            std::memcpy(data, p.value.data(), p.value.size());
            data[p.value.size()] = data[p.value.size() + 1] = 0;
            v.val.lpwstr = reinterpret_cast<LPWSTR>(data);
            data += AlignUp(p.value.size() + 2);
            break;
        case CEVT_BLOB:
            v.val.blob.dwCount = DWORD(p.value.size());
            v.val.blob.lpb = p.value.empty() ? nullptr : data;
            if (!p.value.empty()) std::memcpy(data, p.value.data(), p.value.size());
            data += AlignUp(p.value.size());
            break;
        case CEVT_FILETIME:
            v.val.filetime.dwLowDateTime = host::cedb::ReadLe32(p.value.data());
            v.val.filetime.dwHighDateTime = host::cedb::ReadLe32(p.value.data() + 4);
            break;
        default:
            // The fixed forms are the union's own little-endian bytes from its start.
            std::memcpy(&v.val, p.value.data(), p.value.size());
            break;
        }
    }
}

}  // namespace

CEOID CeCreateDatabaseEx(PCEGUID volume, CEDBASEINFO* info) {
    if (!IsObjectStoreVolume(volume) || !info || !(info->dwFlags & CEDB_VALIDNAME) ||
        (info->dwFlags & ~DWORD(CEDB_VALIDCREATE | CEDB_VALIDMODTIME | CEDB_NOCOMPRESS)))
        return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
    DatabaseStore* store = Store();
    if (!store) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
    DatabaseStore::Info wanted;
    const std::u16string_view name = NameView(info->szDbaseName);
    if (name.size() >= CEDB_MAXDBASENAMELEN) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
    wanted.name = name;
    if (info->dwFlags & CEDB_VALIDTYPE) wanted.type = info->dwDbaseType;
    if (info->dwFlags & CEDB_VALIDSORTSPEC) {
        if (info->wNumSortOrder > CEDB_MAXSORTORDER) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
        wanted.sortOrders.assign(info->rgSortSpecs, info->rgSortSpecs + info->wNumSortOrder);
    }
    CEOID oid = 0;
    if (DWORD error = store->Create(wanted, &oid)) return Fail(error, CEOID(0));
    return oid;
}

HANDLE CeOpenDatabaseEx(PCEGUID volume, PCEOID oid, LPCWSTR name, CEPROPID propid, DWORD flags,
                        CENOTIFYREQUEST* notify) {
    if (!IsObjectStoreVolume(volume) || !oid || (flags & ~DWORD(CEDB_AUTOINCREMENT)))
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (notify) {
        DebugTrace(u"CeOpenDatabaseEx: change notifications are not offered\n");
        return Fail(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
    }
    DatabaseStore* store = Store();
    if (!store) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    DatabaseStore::Info info;
    DWORD error;
    if (name) {
        const std::u16string_view view = NameView(name);
        error = view.empty() || view.size() >= CEDB_MAXDBASENAMELEN ? DWORD(ERROR_INVALID_PARAMETER)
                                                                     : store->FindByName(view, &info);
    } else {
        error = *oid ? store->FindByOid(*oid, &info) : DWORD(ERROR_INVALID_PARAMETER);
    }
    if (error) return Fail(error, INVALID_HANDLE_VALUE);
    auto open = std::make_shared<OpenDatabase>();
    open->opens = store->OpenDatabases();
    open->db = info.oid;
    open->autoIncrement = flags & CEDB_AUTOINCREMENT;
    if (propid) {
        auto it = std::find_if(info.sortOrders.begin(), info.sortOrders.end(),
                               [&](const SORTORDERSPEC& s) { return s.propid == propid; });
        if (it == info.sortOrders.end()) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
        open->sortIndex = int(it - info.sortOrders.begin());
    }
    {
        std::lock_guard lock(open->opens->mutex);
        ++open->opens->counts[info.oid];
    }
    *oid = info.oid;
    return host::InsertHandle(host::HandleType::Database, std::move(open));
}

CEOID CeSeekDatabase(HANDLE database, DWORD seekType, DWORD value, LPDWORD index) {
    DatabaseStore* store = nullptr;
    auto open = Reference<OpenDatabase>(database, &store);
    if (!open) return Fail(ERROR_INVALID_HANDLE, CEOID(0));
    if (seekType & (CEDB_SEEK_VALUESMALLER | CEDB_SEEK_VALUEFIRSTEQUAL | CEDB_SEEK_VALUEGREATER |
                    CEDB_SEEK_VALUENEXTEQUAL)) {
        DebugTrace(u"CeSeekDatabase: seeking by value is not offered\n");
        return Fail(ERROR_NOT_SUPPORTED, CEOID(0));
    }
    std::lock_guard lock(open->mutex);
    std::lock_guard storeLock(store->Mutex());
    const std::vector<DatabaseStore::OrderEntry>* order = nullptr;
    if (DWORD error = store->Order(open->db, open->sortIndex, &order))
        return Fail(error == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_INVALID_HANDLE) : error, CEOID(0));
    const size_t count = order->size();
    size_t target = 0;
    // A position outside the records moves nothing. The device documents only
    // ERROR_INVALID_PARAMETER for its failures; a position past the end is told apart as the
    // end of the records, as a read there is.
    switch (seekType) {
    case CEDB_SEEK_BEGINNING:
        if (value >= count) return Fail(ERROR_NO_MORE_ITEMS, CEOID(0));
        target = value;
        break;
    case CEDB_SEEK_END:
        if (value >= count) return Fail(ERROR_NO_MORE_ITEMS, CEOID(0));
        target = count - 1 - value;
        break;
    case CEDB_SEEK_CURRENT: {
        size_t here = 0;
        if (DWORD error = Locate(*open, *order, &here)) {
            if (error != ERROR_NO_MORE_ITEMS) return Fail(error, CEOID(0));
            here = count;
        }
        const int64_t moved = int64_t(here) + int64_t(LONG(value));
        if (moved < 0 || moved >= int64_t(count)) return Fail(ERROR_NO_MORE_ITEMS, CEOID(0));
        target = size_t(moved);
        break;
    }
    case CEDB_SEEK_CEOID: {
        auto it = std::find_if(order->begin(), order->end(),
                               [&](const DatabaseStore::OrderEntry& e) { return e.oid == value; });
        if (it == order->end() || value == 0) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
        target = size_t(it - order->begin());
        break;
    }
    default: return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
    }
    PlaceAt(*open, *order, target, false);
    if (index) *index = DWORD(target);
    return open->record;
}

CEOID CeReadRecordPropsEx(HANDLE database, DWORD flags, LPWORD count, CEPROPID* propIds, LPBYTE* buffer,
                          LPDWORD size, HANDLE heap) {
    DatabaseStore* store = nullptr;
    auto open = Reference<OpenDatabase>(database, &store);
    if (!open) return Fail(ERROR_INVALID_HANDLE, CEOID(0));
    if (!count || !buffer || !size || heap || (flags & ~DWORD(CEDB_ALLOWREALLOC)))
        return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
    if (propIds) {
        DebugTrace(u"CeReadRecordPropsEx: reading chosen properties is not offered, only all of them\n");
        return Fail(ERROR_NOT_SUPPORTED, CEOID(0));
    }
    std::lock_guard lock(open->mutex);
    std::lock_guard storeLock(store->Mutex());
    const std::vector<DatabaseStore::OrderEntry>* order = nullptr;
    if (DWORD error = store->Order(open->db, open->sortIndex, &order))
        return Fail(error == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_INVALID_HANDLE) : error, CEOID(0));
    size_t at = 0;
    if (DWORD error = Locate(*open, *order, &at)) return Fail(error, CEOID(0));
    const CEOID record = (*order)[at].oid;
    std::string blob;
    if (DWORD error = store->ReadRecord(open->db, record, &blob))
        return Fail(error == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_INVALID_HANDLE) : error, CEOID(0));
    std::vector<host::cedb::PropertyView> properties;
    if (!host::cedb::DecodeRecord(blob, &properties)) return Fail(ERROR_READ_FAULT, CEOID(0));

    const size_t needed = LaidOutSize(properties);
    if (!*buffer || *size < needed) {
        if (!(flags & CEDB_ALLOWREALLOC)) {
            *size = DWORD(needed);
            return Fail(ERROR_INSUFFICIENT_BUFFER, CEOID(0));
        }
        // The caller's block came from LocalAlloc, which is the C heap here.
        void* grown = std::realloc(*buffer, needed ? needed : 1);
        if (!grown) return Fail(ERROR_NOT_ENOUGH_MEMORY, CEOID(0));
        *buffer = static_cast<LPBYTE>(grown);
        *size = DWORD(needed);
    }
    LayOut(properties, *buffer);
    *count = WORD(properties.size());
    if (open->autoIncrement) PlaceAt(*open, *order, at + 1, true);
    else PlaceAt(*open, *order, at, false);
    return record;
}

CEOID CeWriteRecordProps(HANDLE database, CEOID oid, WORD count, CEPROPVAL* values) {
    DatabaseStore* store = nullptr;
    auto open = Reference<OpenDatabase>(database, &store);
    if (!open) return Fail(ERROR_INVALID_HANDLE, CEOID(0));
    if (count && !values) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
    std::vector<DatabaseStore::Change> changes;
    changes.reserve(count);
    for (WORD i = 0; i < count; ++i) {
        DatabaseStore::Change change{values[i].propid, (values[i].wFlags & CEDB_PROPDELETE) != 0, {}};
        if (!host::cedb::IsKnownType(TypeFromPropID(change.propid))) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
        if (!change.remove && !StoredValue(values[i], &change.value)) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
        // One write cannot give a property two values; which would win is not the caller's to guess.
        for (const auto& earlier : changes)
            if (earlier.propid == change.propid) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
        changes.push_back(std::move(change));
    }
    CEOID written = 0;
    DWORD error = store->WriteRecord(open->db, oid, changes, &written);
    // The caller named a record this database does not hold.
    if (error == ERROR_KEY_DELETED) error = ERROR_INVALID_PARAMETER;
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_INVALID_HANDLE;
    if (error) return Fail(error, CEOID(0));
    return written;
}

BOOL CeDeleteRecord(HANDLE database, CEOID oid) {
    DatabaseStore* store = nullptr;
    auto open = Reference<OpenDatabase>(database, &store);
    if (!open) return Fail(ERROR_INVALID_HANDLE, FALSE);
    DWORD error = oid ? store->DeleteRecord(open->db, oid) : DWORD(ERROR_INVALID_PARAMETER);
    if (error == ERROR_KEY_DELETED) error = ERROR_INVALID_PARAMETER;
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_INVALID_HANDLE;
    return error ? Fail(error, FALSE) : TRUE;
}

BOOL CeDeleteDatabase(CEOID oid) {
    DatabaseStore* store = Store();
    if (!store || !oid) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD error = store->Delete(oid);
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_INVALID_PARAMETER;
    return error ? Fail(error, FALSE) : TRUE;
}

HANDLE CeFindFirstDatabaseEx(PCEGUID volume, DWORD type) {
    DatabaseStore* store = Store();
    if (!IsObjectStoreVolume(volume) || !store) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    auto search = std::make_shared<DatabaseSearch>();
    search->opens = store->OpenDatabases();
    search->type = type;
    return host::InsertHandle(host::HandleType::Database, std::move(search));
}

CEOID CeFindNextDatabaseEx(HANDLE find, PCEGUID volume) {
    DatabaseStore* store = nullptr;
    auto search = Reference<DatabaseSearch>(find, &store);
    if (!search) return Fail(ERROR_INVALID_HANDLE, CEOID(0));
    if (!IsObjectStoreVolume(volume)) return Fail(ERROR_INVALID_PARAMETER, CEOID(0));
    std::lock_guard lock(search->mutex);
    CEOID next = 0;
    if (DWORD error = store->NextDatabase(search->last, search->type, &next)) return Fail(error, CEOID(0));
    search->last = next;
    return next;
}

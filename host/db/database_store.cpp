#include "host/db/database_store.h"

#include <algorithm>

#include "host/db/record_blob.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/text.h"

namespace host {

namespace {

// Names are kept as UTF-16LE; the folded form (upper case, UTF-16BE) makes them unique without
// regard to case. Sort orders are kept as (propid, flags) pairs, little-endian.
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS cedb_databases("
    " oid INTEGER PRIMARY KEY,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL UNIQUE,"
    " type INTEGER NOT NULL,"
    " sort_orders BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS cedb_records("
    " oid INTEGER PRIMARY KEY,"
    " db INTEGER NOT NULL,"
    " props BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS cedb_records_db ON cedb_records(db);"
    // The last identifier handed out (one row; missing until the first).
    "CREATE TABLE IF NOT EXISTS cedb_last_oid(id INTEGER PRIMARY KEY CHECK(id = 1), oid INTEGER NOT NULL);";

constexpr DWORD kSortFlags =
    CEDB_SORT_DESCENDING | CEDB_SORT_CASEINSENSITIVE | CEDB_SORT_UNKNOWNFIRST | CEDB_SORT_GENERICORDER;

std::string NameBlob(std::u16string_view name) {
    std::string out;
    for (char16_t c : name) {
        out.push_back(char(c & 0xFF));
        out.push_back(char(c >> 8));
    }
    return out;
}

std::string FoldedBlob(std::u16string_view name) {
    std::string out;
    for (char16_t c : name) {
        const WCHAR u = towupper16(c);
        out.push_back(char(u >> 8));
        out.push_back(char(u & 0xFF));
    }
    return out;
}

std::string BlobColumn(const Database::Statement& st, int column) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(st.Raw(), column));
    return p ? std::string(p, size_t(sqlite3_column_bytes(st.Raw(), column))) : std::string();
}

bool ValidSortOrders(const std::vector<SORTORDERSPEC>& orders) {
    if (orders.size() > CEDB_MAXSORTORDER) return false;
    for (const SORTORDERSPEC& order : orders)
        if (!cedb::IsKnownType(TypeFromPropID(order.propid)) || (order.dwFlags & ~kSortFlags)) return false;
    return true;
}

bool EntryBefore(const DatabaseStore::OrderEntry& a, const DatabaseStore::OrderEntry& b) {
    return a.key != b.key ? a.key < b.key : a.oid < b.oid;
}

}  // namespace

DatabaseStore::DatabaseStore(Device& device)
    : m_device(device), m_db(device.Db()), m_opens(std::make_shared<Opens>()) {
    m_db.Exec(kSchema);
}

DatabaseStore::~DatabaseStore() = default;

bool DatabaseStore::IsValidName(std::u16string_view name) {
    if (name.empty() || name.size() >= CEDB_MAXDBASENAMELEN) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

DWORD DatabaseStore::NewOid(CEOID* oid) {
    auto st = m_db.Prepare(
        "INSERT INTO cedb_last_oid(id, oid) VALUES(1, 1) ON CONFLICT(id) DO UPDATE SET oid = oid + 1 RETURNING oid");
    if (st.Step() != SQLITE_ROW) return ERROR_WRITE_FAULT;
    const int64_t value = st.Int(0);
    // 0 means "no record" to the platform; past 32 bits there is no identifier left.
    if (value <= 0 || value > 0xFFFFFFFFll) return ERROR_NOT_ENOUGH_MEMORY;
    *oid = CEOID(value);
    return st.Step() == SQLITE_DONE ? ERROR_SUCCESS : DWORD(ERROR_WRITE_FAULT);
}

DWORD DatabaseStore::LoadInfo(Database::Statement& st, Info* info) {
    const int rc = st.Step();
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    if (rc != SQLITE_ROW) return ERROR_READ_FAULT;
    info->oid = CEOID(st.Int(0));
    const std::string name = BlobColumn(st, 1);
    info->name.clear();
    for (size_t i = 0; i + 1 < name.size(); i += 2) info->name.push_back(char16_t(cedb::ReadLe16(name.data() + i)));
    info->type = DWORD(st.Int(2));
    const std::string orders = BlobColumn(st, 3);
    info->sortOrders.clear();
    for (size_t i = 0; i + 8 <= orders.size(); i += 8)
        info->sortOrders.push_back({cedb::ReadLe32(orders.data() + i), cedb::ReadLe32(orders.data() + i + 4)});
    // An image from someone else may hold anything: orders this store would not make are refused.
    return ValidSortOrders(info->sortOrders) ? ERROR_SUCCESS : DWORD(ERROR_READ_FAULT);
}

DWORD DatabaseStore::Create(const Info& info, CEOID* oid) {
    if (!IsValidName(info.name) || !ValidSortOrders(info.sortOrders)) return ERROR_INVALID_PARAMETER;
    std::string orders;
    for (const SORTORDERSPEC& order : info.sortOrders) {
        cedb::AppendLe32(&orders, order.propid);
        cedb::AppendLe32(&orders, order.dwFlags);
    }
    const std::string name = NameBlob(info.name), folded = FoldedBlob(info.name);
    std::lock_guard lock(m_db.Mutex());
    Database::Transaction tx(m_db);
    if (!tx.Ok()) return ERROR_SHARING_VIOLATION;
    auto exists = m_db.Prepare("SELECT 1 FROM cedb_databases WHERE folded=?1");
    exists.BindBlob(1, folded.data(), folded.size());
    const int rc = exists.Step();
    if (rc == SQLITE_ROW) return ERROR_DUP_NAME;
    if (rc != SQLITE_DONE) return ERROR_READ_FAULT;
    CEOID made = 0;
    if (DWORD error = NewOid(&made)) return error;
    const bool ok = m_db.Prepare("INSERT INTO cedb_databases(oid, name, folded, type, sort_orders) VALUES(?1, ?2, ?3, ?4, ?5)")
                        .Bind(1, int64_t(made))
                        .BindBlob(2, name.data(), name.size())
                        .BindBlob(3, folded.data(), folded.size())
                        .Bind(4, int64_t(info.type))
                        .BindBlob(5, orders.data(), orders.size())
                        .Run();
    if (!ok || !tx.Commit()) return ERROR_WRITE_FAULT;
    *oid = made;
    return ERROR_SUCCESS;
}

DWORD DatabaseStore::FindByName(std::u16string_view name, Info* info) {
    if (!IsValidName(name)) return ERROR_FILE_NOT_FOUND;
    const std::string folded = FoldedBlob(name);
    std::lock_guard lock(m_db.Mutex());
    auto st = m_db.Prepare("SELECT oid, name, type, sort_orders FROM cedb_databases WHERE folded=?1");
    st.BindBlob(1, folded.data(), folded.size());
    return LoadInfo(st, info);
}

DWORD DatabaseStore::FindByOid(CEOID oid, Info* info) {
    std::lock_guard lock(m_db.Mutex());
    auto st = m_db.Prepare("SELECT oid, name, type, sort_orders FROM cedb_databases WHERE oid=?1");
    st.Bind(1, int64_t(oid));
    return LoadInfo(st, info);
}

DWORD DatabaseStore::NextDatabase(CEOID after, DWORD type, CEOID* next) {
    std::lock_guard lock(m_db.Mutex());
    auto st = m_db.Prepare("SELECT oid FROM cedb_databases WHERE oid > ?1 AND (?2 = 0 OR type = ?2) ORDER BY oid LIMIT 1");
    st.Bind(1, int64_t(after)).Bind(2, int64_t(type));
    const int rc = st.Step();
    if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW) return ERROR_READ_FAULT;
    *next = CEOID(st.Int(0));
    return ERROR_SUCCESS;
}

DWORD DatabaseStore::CountRecords(CEOID db, uint64_t* count) {
    std::lock_guard lock(m_db.Mutex());
    Info info;
    if (DWORD error = FindByOid(db, &info)) return error;
    auto st = m_db.Prepare("SELECT count(*) FROM cedb_records WHERE db=?1");
    st.Bind(1, int64_t(db));
    if (st.Step() != SQLITE_ROW) return ERROR_READ_FAULT;
    *count = uint64_t(st.Int(0));
    return ERROR_SUCCESS;
}

DWORD DatabaseStore::Delete(CEOID db) {
    {
        std::lock_guard lock(m_opens->mutex);
        auto it = m_opens->counts.find(db);
        if (it != m_opens->counts.end() && it->second > 0) return ERROR_SHARING_VIOLATION;
    }
    StoreWrite change(&m_device.Files());
    std::lock_guard lock(m_db.Mutex());
    Database::Transaction tx(m_db);
    if (!change.Ok() || !tx.Ok()) return ERROR_SHARING_VIOLATION;
    Info info;
    if (DWORD error = FindByOid(db, &info)) return error;
    auto bytes = m_db.Prepare("SELECT ifnull(sum(length(props)), 0) FROM cedb_records WHERE db=?1");
    bytes.Bind(1, int64_t(db));
    if (bytes.Step() != SQLITE_ROW) return ERROR_READ_FAULT;
    const int64_t freed = bytes.Int(0);
    const bool ok = m_db.Prepare("DELETE FROM cedb_records WHERE db=?1").Bind(1, int64_t(db)).Run() &&
                    m_db.Prepare("DELETE FROM cedb_databases WHERE oid=?1").Bind(1, int64_t(db)).Run();
    if (!ok) return ERROR_WRITE_FAULT;
    change.Changed(-freed);
    const bool committed = tx.Commit() && change.Commit();
    ForgetOrders(db);
    return committed ? ERROR_SUCCESS : DWORD(ERROR_WRITE_FAULT);
}

DWORD DatabaseStore::ReadRecord(CEOID db, CEOID record, std::string* blob) {
    std::lock_guard lock(m_db.Mutex());
    auto st = m_db.Prepare("SELECT props FROM cedb_records WHERE oid=?1 AND db=?2");
    st.Bind(1, int64_t(record)).Bind(2, int64_t(db));
    const int rc = st.Step();
    if (rc == SQLITE_ROW) {
        *blob = BlobColumn(st, 0);
        return ERROR_SUCCESS;
    }
    if (rc != SQLITE_DONE) return ERROR_READ_FAULT;
    Info info;
    const DWORD error = FindByOid(db, &info);
    return error ? error : DWORD(ERROR_KEY_DELETED);
}

DWORD DatabaseStore::WriteRecord(CEOID db, CEOID record, const std::vector<Change>& changes, CEOID* written) {
    // The store's lock before the database's, as every change of the store takes them. The inner
    // transaction makes an early return roll the whole change back.
    StoreWrite change(&m_device.Files());
    std::lock_guard lock(m_db.Mutex());
    Database::Transaction tx(m_db);
    if (!change.Ok() || !tx.Ok()) return ERROR_SHARING_VIOLATION;
    Database::ChangeStamp before;
    const bool ordersCurrent = m_db.ReadChangeStamp(&before) && before == m_ordersStamp;
    Info info;
    if (DWORD error = FindByOid(db, &info)) return error;

    std::string old;
    if (record != 0)
        if (DWORD error = ReadRecord(db, record, &old)) return error;
    std::vector<cedb::PropertyView> properties;
    if (!cedb::DecodeRecord(old, &properties)) return ERROR_READ_FAULT;
    for (const Change& c : changes) {
        auto it = std::find_if(properties.begin(), properties.end(),
                               [&](const cedb::PropertyView& p) { return p.propid == c.propid; });
        if (c.remove) {
            if (it != properties.end()) properties.erase(it);
        } else if (it != properties.end()) {
            it->value = c.value;
        } else {
            properties.push_back({c.propid, c.value});
        }
    }
    if (properties.empty()) return ERROR_INVALID_PARAMETER;
    std::string blob;
    size_t total = 0;
    for (const cedb::PropertyView& p : properties) {
        total += cedb::PlatformSize(p.propid, p.value);
        cedb::AppendProperty(&blob, p.propid, p.value);
    }
    if (total > CEDB_MAXRECORDSIZE) return ERROR_INVALID_PARAMETER;

    const int64_t delta = int64_t(blob.size()) - int64_t(old.size());
    if (delta > 0)
        if (DWORD error = change.Reserve(uint64_t(delta))) return error;
    CEOID oid = record;
    bool ok;
    if (record == 0) {
        if (DWORD error = NewOid(&oid)) return error;
        ok = m_db.Prepare("INSERT INTO cedb_records(oid, db, props) VALUES(?1, ?2, ?3)")
                 .Bind(1, int64_t(oid))
                 .Bind(2, int64_t(db))
                 .BindBlob(3, blob.data(), blob.size())
                 .Run();
    } else {
        ok = m_db.Prepare("UPDATE cedb_records SET props=?2 WHERE oid=?1")
                 .Bind(1, int64_t(oid))
                 .BindBlob(2, blob.data(), blob.size())
                 .Run();
    }
    if (!ok) return ERROR_WRITE_FAULT;
    change.Changed(delta);
    Database::ChangeStamp after;
    const bool stamped = m_db.ReadChangeStamp(&after);
    if (!tx.Commit() || !change.Commit()) {
        m_orders.clear();
        return ERROR_WRITE_FAULT;
    }
    // The cached orders follow this change when nothing else happened since they were read.
    if (ordersCurrent && stamped) {
        NoteRecordChanged(db, oid, blob, false);
        m_ordersStamp = after;
    }
    *written = oid;
    return ERROR_SUCCESS;
}

DWORD DatabaseStore::DeleteRecord(CEOID db, CEOID record) {
    StoreWrite change(&m_device.Files());
    std::lock_guard lock(m_db.Mutex());
    Database::Transaction tx(m_db);
    if (!change.Ok() || !tx.Ok()) return ERROR_SHARING_VIOLATION;
    Database::ChangeStamp before;
    const bool ordersCurrent = m_db.ReadChangeStamp(&before) && before == m_ordersStamp;
    std::string old;
    if (DWORD error = ReadRecord(db, record, &old)) return error;
    if (!m_db.Prepare("DELETE FROM cedb_records WHERE oid=?1").Bind(1, int64_t(record)).Run()) return ERROR_WRITE_FAULT;
    change.Changed(-int64_t(old.size()));
    Database::ChangeStamp after;
    const bool stamped = m_db.ReadChangeStamp(&after);
    if (!tx.Commit() || !change.Commit()) {
        m_orders.clear();
        return ERROR_WRITE_FAULT;
    }
    if (ordersCurrent && stamped) {
        NoteRecordChanged(db, record, {}, true);
        m_ordersStamp = after;
    }
    return ERROR_SUCCESS;
}

DWORD DatabaseStore::ListRecords(CEOID db, std::vector<std::string>* blobs) {
    std::lock_guard lock(m_db.Mutex());
    blobs->clear();
    Info info;
    if (DWORD error = FindByOid(db, &info)) return error;
    auto st = m_db.Prepare("SELECT props FROM cedb_records WHERE db=?1 ORDER BY oid");
    st.Bind(1, int64_t(db));
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) blobs->push_back(BlobColumn(st, 0));
    return rc == SQLITE_DONE ? ERROR_SUCCESS : DWORD(ERROR_READ_FAULT);
}

DWORD DatabaseStore::ReplaceRecords(std::u16string_view name, const std::vector<std::string>& blobs, bool* created) {
    if (!IsValidName(name)) return ERROR_INVALID_PARAMETER;
    int64_t added = 0;
    std::vector<cedb::PropertyView> properties;
    for (const std::string& blob : blobs) {
        if (!cedb::DecodeRecord(blob, &properties) || properties.empty()) return ERROR_INVALID_PARAMETER;
        added += int64_t(blob.size());
    }
    StoreWrite change(&m_device.Files());
    std::lock_guard lock(m_db.Mutex());
    Database::Transaction tx(m_db);
    if (!change.Ok() || !tx.Ok()) return ERROR_SHARING_VIOLATION;
    Info info;
    DWORD error = FindByName(name, &info);
    *created = error == ERROR_FILE_NOT_FOUND;
    if (*created) {
        info = Info{0, std::u16string(name), 0, {}};
        // Nested: commits with the records or not at all.
        error = Create(info, &info.oid);
    }
    if (error) return error;
    auto bytes = m_db.Prepare("SELECT ifnull(sum(length(props)), 0) FROM cedb_records WHERE db=?1");
    bytes.Bind(1, int64_t(info.oid));
    if (bytes.Step() != SQLITE_ROW) return ERROR_READ_FAULT;
    const int64_t delta = added - bytes.Int(0);
    if (delta > 0)
        if (DWORD full = change.Reserve(uint64_t(delta))) return full;
    if (!m_db.Prepare("DELETE FROM cedb_records WHERE db=?1").Bind(1, int64_t(info.oid)).Run()) return ERROR_WRITE_FAULT;
    for (const std::string& blob : blobs) {
        CEOID oid = 0;
        if (DWORD failed = NewOid(&oid)) return failed;
        const bool ok = m_db.Prepare("INSERT INTO cedb_records(oid, db, props) VALUES(?1, ?2, ?3)")
                            .Bind(1, int64_t(oid))
                            .Bind(2, int64_t(info.oid))
                            .BindBlob(3, blob.data(), blob.size())
                            .Run();
        if (!ok) return ERROR_WRITE_FAULT;
    }
    change.Changed(delta);
    const bool committed = tx.Commit() && change.Commit();
    ForgetOrders(info.oid);
    return committed ? ERROR_SUCCESS : DWORD(ERROR_WRITE_FAULT);
}

bool DatabaseStore::OrdersCurrent() {
    Database::ChangeStamp stamp;
    if (!m_db.ReadChangeStamp(&stamp)) stamp = {};
    if (stamp.dataVersion >= 0 && stamp == m_ordersStamp) return true;
    m_orders.clear();
    m_ordersStamp = stamp;
    return false;
}

DWORD DatabaseStore::Order(CEOID db, int sortIndex, const std::vector<OrderEntry>** order) {
    std::lock_guard lock(m_db.Mutex());
    OrdersCurrent();
    auto found = m_orders.find({db, sortIndex});
    if (found != m_orders.end()) {
        *order = &found->second.entries;
        return ERROR_SUCCESS;
    }
    Info info;
    if (DWORD error = FindByOid(db, &info)) return error;
    if (sortIndex >= int(info.sortOrders.size())) return ERROR_INVALID_PARAMETER;
    CachedOrder cached;
    cached.sortOrders = info.sortOrders;
    auto st = m_db.Prepare(sortIndex < 0 ? "SELECT oid FROM cedb_records WHERE db=?1 ORDER BY oid"
                                         : "SELECT oid, props FROM cedb_records WHERE db=?1 ORDER BY oid");
    st.Bind(1, int64_t(db));
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        OrderEntry entry{{}, CEOID(st.Int(0))};
        if (sortIndex >= 0) {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(st.Raw(), 1));
            const std::string_view blob(p ? p : "", size_t(sqlite3_column_bytes(st.Raw(), 1)));
            entry.key = cedb::SortKey(blob, info.sortOrders[size_t(sortIndex)]);
        }
        cached.entries.push_back(std::move(entry));
    }
    if (rc != SQLITE_DONE) return ERROR_READ_FAULT;
    if (sortIndex >= 0) std::stable_sort(cached.entries.begin(), cached.entries.end(), EntryBefore);
    *order = &(m_orders[{db, sortIndex}] = std::move(cached)).entries;
    return ERROR_SUCCESS;
}

void DatabaseStore::NoteRecordChanged(CEOID db, CEOID record, std::string_view blob, bool removed) {
    for (auto it = m_orders.lower_bound({db, -1}); it != m_orders.end() && it->first.first == db; ++it) {
        const int sortIndex = it->first.second;
        std::vector<OrderEntry>& entries = it->second.entries;
        if (sortIndex < 0) {
            // Creation order is the order of the identifiers.
            auto at = std::lower_bound(entries.begin(), entries.end(), record,
                                       [](const OrderEntry& e, CEOID oid) { return e.oid < oid; });
            const bool present = at != entries.end() && at->oid == record;
            if (removed && present) entries.erase(at);
            else if (!removed && !present) entries.insert(at, OrderEntry{{}, record});
            continue;
        }
        auto at = std::find_if(entries.begin(), entries.end(), [&](const OrderEntry& e) { return e.oid == record; });
        if (at != entries.end()) entries.erase(at);
        if (removed) continue;
        OrderEntry entry{cedb::SortKey(blob, it->second.sortOrders[size_t(sortIndex)]), record};
        entries.insert(std::upper_bound(entries.begin(), entries.end(), entry, EntryBefore), std::move(entry));
    }
}

void DatabaseStore::ForgetOrders(CEOID db) {
    auto it = m_orders.lower_bound({db, -1});
    while (it != m_orders.end() && it->first.first == db) it = m_orders.erase(it);
}

uint64_t DatabaseStore::StoredBytes() {
    std::lock_guard lock(m_db.Mutex());
    auto st = m_db.Prepare("SELECT ifnull(sum(length(props)), 0) FROM cedb_records");
    return st.Step() == SQLITE_ROW ? uint64_t(std::max<int64_t>(0, st.Int(0))) : 0;
}

}  // namespace host

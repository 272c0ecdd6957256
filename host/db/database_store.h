// The device's property databases, kept in the image's database (IMAGE/device.db).
//
// Invariants:
// - A database has a name of 1 to 31 units, unique without regard to case, a type and up to four
//   sort orders; its records are rows of their own, each holding its properties as one encoded
//   record (record_blob.h).
// - Databases and records share one sequence of identifiers that is never reused, so an
//   identifier of something deleted (here or by another process) never reaches something newer.
// - Every change is one write transaction of the image, so it has reached the database when the
//   call returns, and another process sharing the image sees it at once.
// - Records count towards the object store's capacity at their stored size (8 bytes per property
//   and the value's bytes): a change that would go beyond it fails with ERROR_DISK_FULL and
//   changes nothing.
// - Orders: without a sort order (propid 0) records come in creation order. A sort order puts
//   them by the value of its property: numbers and times numerically, texts by UTF-16 units
//   (upper-cased first with CEDB_SORT_CASEINSENSITIVE), blobs bytewise, in reverse with
//   CEDB_SORT_DESCENDING; records without the property come after all others (before them with
//   CEDB_SORT_UNKNOWNFIRST), and equal values in creation order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/kernel/database.h"
#include "platform/database.h"

namespace host {

class Device;

class DatabaseStore {
public:
    explicit DatabaseStore(Device& device);
    ~DatabaseStore();
    DatabaseStore(const DatabaseStore&) = delete;
    DatabaseStore& operator=(const DatabaseStore&) = delete;

    struct Info {
        CEOID oid = 0;
        std::u16string name;
        DWORD type = 0;
        std::vector<SORTORDERSPEC> sortOrders;
    };
    // 1 to 31 units of well-formed UTF-16 without control characters.
    static bool IsValidName(std::u16string_view name);

    // Each returns ERROR_SUCCESS or the platform's error code. A database that does not exist is
    // ERROR_FILE_NOT_FOUND, a record that does not exist in it ERROR_KEY_DELETED, a write lock
    // that another process holds for too long ERROR_SHARING_VIOLATION, a failure of the image's
    // database ERROR_READ_FAULT or ERROR_WRITE_FAULT.
    DWORD Create(const Info& info, CEOID* oid);
    DWORD FindByName(std::u16string_view name, Info* info);
    DWORD FindByOid(CEOID oid, Info* info);
    // The first database after `after` in creation order, of the type unless it is 0;
    // ERROR_NO_MORE_ITEMS at the end.
    DWORD NextDatabase(CEOID after, DWORD type, CEOID* next);
    DWORD CountRecords(CEOID db, uint64_t* count);
    // ERROR_SHARING_VIOLATION while this process holds it open.
    DWORD Delete(CEOID db);

    DWORD ReadRecord(CEOID db, CEOID record, std::string* blob);
    struct Change {
        CEPROPID propid;
        bool remove;
        std::string value;  // in the stored form
    };
    // Record 0 makes a new record. Changes replace properties in place, append new ones, remove
    // those marked; ERROR_INVALID_PARAMETER when the record would hold no property or exceed the
    // platform's limits.
    DWORD WriteRecord(CEOID db, CEOID record, const std::vector<Change>& changes, CEOID* written);
    DWORD DeleteRecord(CEOID db, CEOID record);

    // The records of a database in creation order, each as stored.
    DWORD ListRecords(CEOID db, std::vector<std::string>* blobs);
    // Makes the named database hold exactly these records (well-formed, in this order), creating
    // it without a sort order when it does not exist: one transaction, all or nothing.
    DWORD ReplaceRecords(std::u16string_view name, const std::vector<std::string>& blobs, bool* created);

    // The traversal of a database: sortIndex -1 for creation order, else one of its sort orders.
    struct OrderEntry {
        std::string key;  // empty in creation order
        CEOID oid;
    };
    // Valid until the next call on this store; hold Mutex() while using it.
    DWORD Order(CEOID db, int sortIndex, const std::vector<OrderEntry>** order);
    std::recursive_mutex& Mutex() { return m_db.Mutex(); }

    // The bytes the records hold, as the store's capacity counts them.
    uint64_t StoredBytes();

    // What this process holds open, shared with the handles so that they may outlive the device.
    struct Opens {
        std::mutex mutex;
        std::unordered_map<CEOID, int> counts;
    };
    const std::shared_ptr<Opens>& OpenDatabases() const { return m_opens; }

private:
    struct CachedOrder {
        std::vector<SORTORDERSPEC> sortOrders;
        std::vector<OrderEntry> entries;
    };
    DWORD LoadInfo(Database::Statement& st, Info* info);
    DWORD NewOid(CEOID* oid);
    // The cached orders are current while no one else has committed since they were read.
    bool OrdersCurrent();
    void NoteRecordChanged(CEOID db, CEOID record, std::string_view blob, bool removed);
    void ForgetOrders(CEOID db);

    Device& m_device;
    Database& m_db;
    std::shared_ptr<Opens> m_opens;
    Database::ChangeStamp m_ordersStamp;
    std::map<std::pair<CEOID, int>, CachedOrder> m_orders;
};

}  // namespace host

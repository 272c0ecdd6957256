// The image's SQLite database (IMAGE/device.db): registry, file metadata, settings. Every
// statement autocommits unless a Transaction is open, so a write has reached the database when
// the call that made it returns. WAL mode lets several processes share one image.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace host {

class Database {
public:
    // A prepared statement from the cache, reset and returned to it when this goes out of scope.
    class Statement {
    public:
        Statement(Database* db, sqlite3_stmt* stmt, const char* key) : m_db(db), m_stmt(stmt), m_key(key) {}
        Statement(Statement&& other) noexcept;
        Statement& operator=(Statement&&) = delete;
        ~Statement();

        Statement& Bind(int index, int64_t value);
        Statement& Bind(int index, std::string_view text);
        Statement& BindBlob(int index, const void* data, size_t size);
        Statement& BindNull(int index);
        // SQLITE_ROW, SQLITE_DONE, or an error code (after busy retries).
        int Step();
        // Steps to completion; true when it finished without error.
        bool Run();
        int64_t Int(int column) const;
        std::string Text(int column) const;
        std::vector<uint8_t> Blob(int column) const;
        bool IsNull(int column) const;
        sqlite3_stmt* Raw() const { return m_stmt; }

    private:
        Database* m_db;
        sqlite3_stmt* m_stmt;
        const char* m_key;
    };

    // BEGIN IMMEDIATE ... COMMIT; rolls back when destroyed without Commit(). Nests: only the
    // outermost one talks to SQLite.
    class Transaction {
    public:
        explicit Transaction(Database& db);
        ~Transaction();
        bool Commit();
        bool Ok() const { return m_ok; }

    private:
        Database& m_db;
        bool m_ok = false;
        bool m_done = false;
    };

    static std::unique_ptr<Database> Open(const std::filesystem::path& file, bool create, std::string* error);
    ~Database();

    // The SQL text is the cache key: pass string literals.
    Statement Prepare(const char* sql);
    bool Exec(const char* sql);
    // A value that changes whenever any connection, in any process, commits: SQLite's data
    // version (other connections' commits) with this connection's own change count. Read through
    // SQLite only: a second descriptor on the database's files would drop the process's POSIX
    // locks on them when closed. False when it cannot be read; callers then treat every read as
    // new.
    struct ChangeStamp {
        int64_t dataVersion = -1;
        int64_t ownChanges = -1;
        bool operator==(const ChangeStamp&) const = default;
    };
    bool ReadChangeStamp(ChangeStamp* stamp);
    int64_t LastInsertId() const;
    int Changes() const;
    std::string LastError() const;
    sqlite3* Raw() const { return m_db; }
    std::recursive_mutex& Mutex() { return m_mutex; }

private:
    explicit Database(sqlite3* db) : m_db(db) {}
    void Return(const char* key, sqlite3_stmt* stmt);

    sqlite3* m_db;
    std::recursive_mutex m_mutex;
    std::unordered_map<const char*, std::vector<sqlite3_stmt*>> m_cache;
    int m_transactionDepth = 0;
    bool m_transactionFailed = false;
    friend class Transaction;
};

}  // namespace host

#include "host/kernel/database.h"

#include <chrono>
#include <thread>

namespace host {

namespace {

// Another process may hold the write lock for a moment; wait for it rather than fail.
int StepWithRetry(sqlite3_stmt* stmt) {
    for (int attempt = 0;; ++attempt) {
        int rc = sqlite3_step(stmt);
        if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || attempt > 200) return rc;
        sqlite3_reset(stmt);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

Database::Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db), m_stmt(other.m_stmt), m_key(other.m_key) {
    other.m_stmt = nullptr;
}

Database::Statement::~Statement() {
    if (m_stmt) m_db->Return(m_key, m_stmt);
}

Database::Statement& Database::Statement::Bind(int index, int64_t value) {
    if (m_stmt) sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Database::Statement& Database::Statement::Bind(int index, std::string_view text) {
    if (m_stmt) sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Database::Statement& Database::Statement::BindBlob(int index, const void* data, size_t size) {
    if (m_stmt) sqlite3_bind_blob(m_stmt, index, size ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
}

Database::Statement& Database::Statement::BindNull(int index) {
    if (m_stmt) sqlite3_bind_null(m_stmt, index);
    return *this;
}

int Database::Statement::Step() { return m_stmt ? StepWithRetry(m_stmt) : SQLITE_MISUSE; }

bool Database::Statement::Run() {
    int rc;
    while ((rc = Step()) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE;
}

int64_t Database::Statement::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::string Database::Statement::Text(int column) const {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? std::string(p, sqlite3_column_bytes(m_stmt, column)) : std::string();
}

std::vector<uint8_t> Database::Statement::Blob(int column) const {
    auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, column));
    int n = sqlite3_column_bytes(m_stmt, column);
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}

bool Database::Statement::IsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

Database::Transaction::Transaction(Database& db) : m_db(db) {
    m_db.m_mutex.lock();
    if (m_db.m_transactionDepth++ == 0) {
        m_db.m_transactionFailed = false;
        m_ok = m_db.Exec("BEGIN IMMEDIATE");
        if (!m_ok) m_db.m_transactionFailed = true;
    } else {
        m_ok = !m_db.m_transactionFailed;
    }
}

bool Database::Transaction::Commit() {
    if (m_done) return m_ok;
    m_done = true;
    if (--m_db.m_transactionDepth == 0) {
        if (m_ok && !m_db.m_transactionFailed) m_ok = m_db.Exec("COMMIT");
        else m_ok = false;
        if (!m_ok) m_db.Exec("ROLLBACK");
    }
    m_db.m_mutex.unlock();
    return m_ok;
}

Database::Transaction::~Transaction() {
    if (m_done) return;
    m_done = true;
    m_db.m_transactionFailed = true;
    if (--m_db.m_transactionDepth == 0) m_db.Exec("ROLLBACK");
    m_db.m_mutex.unlock();
}

std::unique_ptr<Database> Database::Open(const std::filesystem::path& file, bool create, std::string* error) {
    sqlite3* db = nullptr;
    // The database of an image from someone else is never followed through a link.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (error) *error = std::string("cannot open ") + file.string() + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    std::unique_ptr<Database> result(new Database(db));
    // WAL lets readers in other processes go on while one writes; NORMAL syncing keeps every
    // committed write in the file (a killed process loses nothing) without a flush per write.
    if (!result->Exec("PRAGMA journal_mode=WAL") || !result->Exec("PRAGMA synchronous=NORMAL")) {
        if (error) *error = "cannot prepare " + file.string() + ": " + result->LastError();
        return nullptr;
    }
    return result;
}

bool Database::ReadChangeStamp(ChangeStamp* stamp) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto st = Prepare("PRAGMA data_version");
    if (st.Step() != SQLITE_ROW) return false;
    stamp->dataVersion = st.Int(0);
    stamp->ownChanges = sqlite3_total_changes64(m_db);
    return true;
}

Database::~Database() {
    for (auto& [key, list] : m_cache)
        for (auto* stmt : list) sqlite3_finalize(stmt);
    sqlite3_close(m_db);
}

Database::Statement Database::Prepare(const char* sql) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto& list = m_cache[sql];
    if (!list.empty()) {
        sqlite3_stmt* stmt = list.back();
        list.pop_back();
        return Statement(this, stmt, sql);
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK) stmt = nullptr;
    return Statement(this, stmt, sql);
}

void Database::Return(const char* key, sqlite3_stmt* stmt) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    m_cache[key].push_back(stmt);
}

bool Database::Exec(const char* sql) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (int attempt = 0;; ++attempt) {
        int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return true;
        if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || attempt > 200) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(m_db); }
int Database::Changes() const { return sqlite3_changes(m_db); }
std::string Database::LastError() const { return sqlite3_errmsg(m_db); }

}  // namespace host

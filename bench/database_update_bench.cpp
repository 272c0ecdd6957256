// BaseUpdate over a database of 10,000 records with 100 rules (each rule matches 100 records, so
// every record is rewritten once), against SQLite updating the same rows in a plain table of the
// same shape, in a file beside the image with the image's settings (WAL, synchronous NORMAL):
//   sqlite_rows: the rows walked in order and each matched row rewritten in a transaction of its
//                own, the durability BaseUpdate gives every record write;
//   sqlite_set:  one UPDATE ... WHERE per rule, each its own transaction.
// Target: BaseUpdate at most 1 s, and within 3x of sqlite_rows.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_image.h"
#include "host/db/database_store.h"
#include "platform/database.h"
#include "platform/files.h"
#include "platform/text.h"
#include "script/database_update.h"

namespace {

constexpr int kRecords = 10000;
constexpr int kRules = 100;

std::u16string Group(int k) { return FormatW(u"group %03d", k); }
std::u16string NewValue(int k, int pass) { return FormatW(u"value %03d of pass %d", k, pass); }

void MakeDatabase() {
    CEGUID volume;
    CREATE_SYSTEMGUID(&volume);
    CEDBASEINFO info{};
    info.dwFlags = CEDB_VALIDNAME;
    wcscpy(info.szDbaseName, u"Bench");
    if (!CeCreateDatabaseEx(&volume, &info)) abort();
    CEOID oid = 0;
    HANDLE db = CeOpenDatabaseEx(&volume, &oid, u"Bench", 0, 0, nullptr);
    for (int i = 0; i < kRecords; ++i) {
        const std::u16string group = Group(i % kRules), old = u"old value";
        CEPROPVAL values[3] = {};
        values[0].propid = PROPID_FROM(1, CEVT_UI4);
        values[0].val.ulVal = DWORD(i);
        values[1].propid = PROPID_FROM(2, CEVT_LPWSTR);
        values[1].val.lpwstr = const_cast<LPWSTR>(group.c_str());
        values[2].propid = PROPID_FROM(3, CEVT_LPWSTR);
        values[2].val.lpwstr = const_cast<LPWSTR>(old.c_str());
        if (!CeWriteRecordProps(db, 0, 3, values)) abort();
    }
    CloseHandle(db);
}

// The rules of one pass: rule k sets property 3 of the records of group k.
void WriteRules(const WCHAR* path, int pass) {
    std::u16string text = u"Bench\r\n";
    for (int k = 0; k < kRules; ++k) text += u"2#31#" + Group(k) + u";3#31#" + NewValue(k, pass) + u";\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr)) abort();
    CloseHandle(file);
}

class PlainTable {
public:
    explicit PlainTable(const std::string& path) {
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) abort();
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
        Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, p1 INTEGER, p2 TEXT, p3 TEXT)");
        Exec("BEGIN");
        sqlite3_stmt* insert = Prepare("INSERT INTO t(p1, p2, p3) VALUES(?1, ?2, 'old value')");
        for (int i = 0; i < kRecords; ++i) {
            const std::string group = ToUtf8(Group(i % kRules));
            sqlite3_bind_int(insert, 1, i);
            sqlite3_bind_text(insert, 2, group.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(insert) != SQLITE_DONE) abort();
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        Exec("COMMIT");
    }
    ~PlainTable() { sqlite3_close(m_db); }

    // Every row read in order; a row of a rule's group rewritten in its own transaction.
    void UpdateRowByRow(int pass) {
        std::unordered_map<std::string, std::string> rules;
        for (int k = 0; k < kRules; ++k) rules[ToUtf8(Group(k))] = ToUtf8(NewValue(k, pass));
        sqlite3_stmt* select = Prepare("SELECT id, p2 FROM t ORDER BY id");
        sqlite3_stmt* update = Prepare("UPDATE t SET p3=?1 WHERE id=?2");
        std::vector<std::pair<int64_t, std::string>> rows;
        while (sqlite3_step(select) == SQLITE_ROW)
            rows.emplace_back(sqlite3_column_int64(select, 0), reinterpret_cast<const char*>(sqlite3_column_text(select, 1)));
        sqlite3_finalize(select);
        for (const auto& [id, group] : rows) {
            auto it = rules.find(group);
            if (it == rules.end()) continue;
            sqlite3_bind_text(update, 1, it->second.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(update, 2, id);
            if (sqlite3_step(update) != SQLITE_DONE) abort();
            sqlite3_reset(update);
        }
        sqlite3_finalize(update);
    }
    void UpdateByRule(int pass) {
        sqlite3_stmt* update = Prepare("UPDATE t SET p3=?1 WHERE p2=?2");
        for (int k = 0; k < kRules; ++k) {
            const std::string group = ToUtf8(Group(k)), value = ToUtf8(NewValue(k, pass));
            sqlite3_bind_text(update, 1, value.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(update, 2, group.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(update) != SQLITE_DONE) abort();
            sqlite3_reset(update);
        }
        sqlite3_finalize(update);
    }

private:
    void Exec(const char* sql) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) abort();
    }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) abort();
        return st;
    }
    sqlite3* m_db = nullptr;
};

template <class F>
double Seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_BaseUpdate10kRecords100Rules(benchmark::State& state) {
    BenchImage image;
    MakeDatabase();
    PlainTable table((image.Device().Root().parent_path() / "plain.db").string());
    WriteRules(u"\\rules0.txt", 0);
    WriteRules(u"\\rules1.txt", 1);
    double base = 0, rows = 0, set = 0;
    int pass = 0;
    for (auto _ : state) {
        // Each pass sets other values than the one before, so that every record really changes.
        const int p = pass++ % 2;
        DWORD code = 0;
        const double seconds = Seconds([&] { code = UpdateDatabase(p ? u"\\rules1.txt" : u"\\rules0.txt"); });
        if (code != 0) abort();
        state.SetIterationTime(seconds);
        base += seconds;
        rows += Seconds([&] { table.UpdateRowByRow(p); });
        set += Seconds([&] { table.UpdateByRule(p); });
    }
    // A pass whose rules matched nothing would have been cheap and added records instead.
    uint64_t records = 0;
    host::DatabaseStore::Info info;
    if (image.Device().Databases().FindByName(u"Bench", &info) ||
        image.Device().Databases().CountRecords(info.oid, &records) || records != kRecords)
        abort();
    const double n = double(state.iterations());
    state.counters["sqlite_rows_ms"] = rows / n * 1e3;
    state.counters["sqlite_set_ms"] = set / n * 1e3;
    state.counters["ratio_rows"] = base / rows;
    state.counters["ratio_set"] = base / set;
}
BENCHMARK(BM_BaseUpdate10kRecords100Rules)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace

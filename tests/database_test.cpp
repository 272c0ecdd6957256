// The property databases as the platform offers them: creating, opening, seeking, reading and
// writing records with the platform's buffers and error codes, the orders records come in, what
// a handle sees while others change the database, and the store's capacity.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/db/database_store.h"
#include "platform/database.h"
#include "platform/files.h"
#include "platform/text.h"
#include "test_image.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

CEPROPVAL Text(WORD id, const WCHAR* text) {
    CEPROPVAL v{};
    v.propid = PROPID_FROM(id, CEVT_LPWSTR);
    v.val.lpwstr = const_cast<LPWSTR>(text);
    return v;
}

CEPROPVAL Number(WORD id, WORD type, LONG value) {
    CEPROPVAL v{};
    v.propid = PROPID_FROM(id, type);
    if (type == CEVT_I2 || type == CEVT_UI2) v.val.iVal = SHORT(value);
    else v.val.lVal = value;
    return v;
}

// A record as "ID#TYPE#VALUE;" per property, read from the platform's buffer.
std::string Describe(const CEPROPVAL* values, WORD count) {
    std::string out;
    for (WORD i = 0; i < count; ++i) {
        const CEPROPVAL& v = values[i];
        out += std::to_string(v.propid >> 16) + "#" + std::to_string(TypeFromPropID(v.propid)) + "#";
        switch (TypeFromPropID(v.propid)) {
        case CEVT_I2: out += std::to_string(v.val.iVal); break;
        case CEVT_UI2: out += std::to_string(v.val.uiVal); break;
        case CEVT_I4: out += std::to_string(v.val.lVal); break;
        case CEVT_UI4: out += std::to_string(v.val.ulVal); break;
        case CEVT_BOOL: out += std::to_string(v.val.boolVal); break;
        case CEVT_R8: out += std::to_string(v.val.dblVal); break;
        case CEVT_FILETIME:
            out += std::to_string(v.val.filetime.dwHighDateTime) + ":" + std::to_string(v.val.filetime.dwLowDateTime);
            break;
        case CEVT_LPWSTR: out += ToUtf8(v.val.lpwstr); break;
        case CEVT_BLOB: out += std::string(reinterpret_cast<char*>(v.val.blob.lpb), v.val.blob.dwCount); break;
        }
        out += ";";
    }
    return out;
}

class DatabaseTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        CREATE_SYSTEMGUID(&m_volume);
    }
    CEOID Create(const WCHAR* name, std::vector<SORTORDERSPEC> orders = {}, DWORD type = 0) {
        CEDBASEINFO info{};
        info.dwFlags = CEDB_VALIDNAME | CEDB_VALIDTYPE | CEDB_VALIDSORTSPEC;
        wcsncpy(info.szDbaseName, name, CEDB_MAXDBASENAMELEN - 1);
        info.dwDbaseType = type;
        info.wNumSortOrder = WORD(orders.size());
        for (size_t i = 0; i < orders.size() && i < CEDB_MAXSORTORDER; ++i) info.rgSortSpecs[i] = orders[i];
        return CeCreateDatabaseEx(&m_volume, &info);
    }
    HANDLE Open(const WCHAR* name, CEPROPID sort = 0, DWORD flags = 0) {
        CEOID oid = 0;
        return CeOpenDatabaseEx(&m_volume, &oid, name, sort, flags, nullptr);
    }
    CEOID Write(HANDLE db, CEOID record, std::vector<CEPROPVAL> values) {
        return CeWriteRecordProps(db, record, WORD(values.size()), values.data());
    }
    // The record at the seek pointer, or "error N".
    std::string Read(HANDLE db, CEOID* oid = nullptr) {
        WORD count = 0;
        BYTE* buffer = nullptr;
        DWORD size = 0;
        CEOID read = CeReadRecordPropsEx(db, CEDB_ALLOWREALLOC, &count, nullptr, &buffer, &size, nullptr);
        if (oid) *oid = read;
        std::string text = read ? Describe(reinterpret_cast<CEPROPVAL*>(buffer), count)
                                : "error " + std::to_string(GetLastError());
        LocalFree(buffer);
        return text;
    }
    // Every record, by seeking to each position in turn.
    std::vector<std::string> All(HANDLE db) {
        std::vector<std::string> records;
        for (DWORD i = 0; CeSeekDatabase(db, CEDB_SEEK_BEGINNING, i, nullptr); ++i) records.push_back(Read(db));
        return records;
    }

    CEGUID m_volume;
};

using Records = std::vector<std::string>;

}  // namespace

// Names are unique without regard to case and hold at most 31 units; a missing database opens
// as INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND; only the object store's volume exists.
TEST_F(DatabaseTest, CreateAndOpenFollowThePlatformsErrors) {
    const CEOID oid = Create(u"Contacts", {}, 0x1234);
    ASSERT_NE(oid, 0u) << GetLastError();
    SetLastError(kSentinel);
    EXPECT_EQ(Create(u"CONTACTS"), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DUP_NAME));
    EXPECT_NE(Create(u"0123456789012345678901234567890"), 0u) << "31 units fit";
    CEDBASEINFO info{};
    info.dwFlags = CEDB_VALIDNAME;
    for (WCHAR& c : info.szDbaseName) c = u'x';  // no terminator within 32 units
    EXPECT_EQ(CeCreateDatabaseEx(&m_volume, &info), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    CEGUID other = m_volume;
    other.Data4 = 0;
    wcscpy(info.szDbaseName, u"Elsewhere");
    EXPECT_EQ(CeCreateDatabaseEx(&other, &info), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    CEOID opened = kSentinel;
    EXPECT_EQ(CeOpenDatabaseEx(&m_volume, &opened, u"Missing", 0, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    HANDLE db = CeOpenDatabaseEx(&m_volume, &opened, u"contacts", 0, 0, nullptr);
    ASSERT_NE(db, INVALID_HANDLE_VALUE);
    EXPECT_EQ(opened, oid);
    EXPECT_TRUE(CloseHandle(db));
    /* By identifier, with no name. */
    db = CeOpenDatabaseEx(&m_volume, &opened, nullptr, 0, 0, nullptr);
    ASSERT_NE(db, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(db));
    EXPECT_FALSE(CloseHandle(db));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    /* A property that is none of its sort orders. */
    EXPECT_EQ(Open(u"Contacts", PROPID_FROM(1, CEVT_I4)), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// Every type reads back as written, in the platform's buffer layout: a CEPROPVAL array whose
// texts and blobs point into the same LocalAlloc block. Records come in creation order.
TEST_F(DatabaseTest, RecordsReadBackWithEveryType) {
    ASSERT_NE(Create(u"Types"), 0u);
    HANDLE db = Open(u"Types");
    CEPROPVAL all[9] = {Number(1, CEVT_I2, -2), Number(2, CEVT_UI2, 65535), Number(3, CEVT_I4, -70000),
                        Number(4, CEVT_UI4, LONG(0xFFFFFFFE)), Text(5, u"Ünïcode ☺"), {}, {}, {}, {}};
    all[5].propid = PROPID_FROM(6, CEVT_BOOL);
    all[5].val.boolVal = TRUE;
    all[6].propid = PROPID_FROM(7, CEVT_R8);
    all[6].val.dblVal = 2.5;
    all[7].propid = PROPID_FROM(8, CEVT_FILETIME);
    all[7].val.filetime = {7, 9};
    BYTE bytes[] = {'b', 0, 'l'};
    all[8].propid = PROPID_FROM(9, CEVT_BLOB);
    all[8].val.blob = {3, bytes};
    const CEOID first = CeWriteRecordProps(db, 0, 9, all);
    ASSERT_NE(first, 0u) << GetLastError();
    const CEOID second = Write(db, 0, {Text(1, u"second")});
    ASSERT_NE(second, 0u);
    EXPECT_GT(second, first);

    EXPECT_EQ(All(db), (Records{"1#2#-2;2#18#65535;3#3#-70000;4#19#4294967294;5#31#Ünïcode ☺;6#11#1;7#5#2.500000;"
                                "8#64#9:7;9#65#" + std::string("b\0l", 3) + ";",
                                "1#31#second;"}));
    DWORD index = kSentinel;
    EXPECT_EQ(CeSeekDatabase(db, CEDB_SEEK_CEOID, second, &index), second);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(CeSeekDatabase(db, CEDB_SEEK_END, 1, &index), first);
    EXPECT_EQ(CeSeekDatabase(db, CEDB_SEEK_CURRENT, 1, &index), second);
    /* A failed seek leaves the pointer where it was. */
    EXPECT_EQ(CeSeekDatabase(db, CEDB_SEEK_BEGINNING, 2, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(CeSeekDatabase(db, CEDB_SEEK_CEOID, 12345, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    CEOID read = 0;
    EXPECT_EQ(Read(db, &read), "1#31#second;");
    EXPECT_EQ(read, second);
    CloseHandle(db);
}

// Without CEDB_ALLOWREALLOC a short buffer is left alone and the size needed reported; reading
// stops with ERROR_NO_MORE_ITEMS past the last record.
TEST_F(DatabaseTest, ReadIntoTheCallersBuffer) {
    ASSERT_NE(Create(u"Buffers"), 0u);
    HANDLE db = Open(u"Buffers");
    const CEOID oid = Write(db, 0, {Text(1, u"a text that needs room"), Number(2, CEVT_I4, 5)});
    ASSERT_NE(oid, 0u);
    std::vector<BYTE> storage(8, 0xCC);
    BYTE* buffer = storage.data();
    DWORD size = DWORD(storage.size());
    WORD count = 0;
    ASSERT_EQ(CeSeekDatabase(db, CEDB_SEEK_BEGINNING, 0, nullptr), oid);
    EXPECT_EQ(CeReadRecordPropsEx(db, 0, &count, nullptr, &buffer, &size, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_GT(size, 2 * sizeof(CEPROPVAL));
    EXPECT_EQ(storage, std::vector<BYTE>(8, 0xCC));
    storage.assign(size, 0);
    buffer = storage.data();
    EXPECT_EQ(CeReadRecordPropsEx(db, 0, &count, nullptr, &buffer, &size, nullptr), oid);
    EXPECT_EQ(buffer, storage.data());
    EXPECT_EQ(Describe(reinterpret_cast<CEPROPVAL*>(buffer), count), "1#31#a text that needs room;2#3#5;");
    /* Reading does not move the pointer unless the database was opened to step. */
    EXPECT_EQ(CeReadRecordPropsEx(db, 0, &count, nullptr, &buffer, &size, nullptr), oid);
    CloseHandle(db);

    db = Open(u"Buffers", 0, CEDB_AUTOINCREMENT);
    EXPECT_EQ(Read(db), "1#31#a text that needs room;2#3#5;");
    EXPECT_EQ(Read(db), "error " + std::to_string(ERROR_NO_MORE_ITEMS));
    CloseHandle(db);
}

// A write replaces the properties it names (same number and type) in place and appends the
// others; CEDB_PROPDELETE removes one. A write that fails changes nothing.
TEST_F(DatabaseTest, WritesReplaceByPropidAndKeepTheRest) {
    ASSERT_NE(Create(u"Writes"), 0u);
    HANDLE db = Open(u"Writes");
    const CEOID oid = Write(db, 0, {Text(1, u"one"), Number(2, CEVT_I4, 2), Text(3, u"three")});
    ASSERT_NE(oid, 0u);
    CEPROPVAL removal = Number(2, CEVT_I4, 0);
    removal.wFlags = CEDB_PROPDELETE;
    EXPECT_EQ(Write(db, oid, {Text(3, u"THREE"), Number(1, CEVT_UI2, 9), removal}), oid);
    EXPECT_EQ(All(db), Records{"1#31#one;3#31#THREE;1#18#9;"});

    for (std::vector<CEPROPVAL> bad : {std::vector<CEPROPVAL>{Text(4, u"x"), Text(4, u"y")},  // one property twice
                                       std::vector<CEPROPVAL>{Text(4, nullptr)},
                                       std::vector<CEPROPVAL>{Number(4, 7, 1)}}) {  // no such type
        SetLastError(kSentinel);
        EXPECT_EQ(Write(db, oid, bad), 0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
    std::u16string huge(CEDB_MAXPROPDATASIZE / 2, u'x');
    EXPECT_EQ(Write(db, oid, {Text(4, huge.c_str())}), 0u) << "a text and its terminator beyond the limit";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Write(db, 0, {}), 0u) << "a record holds at least one property";
    EXPECT_EQ(Write(db, oid + 1000, {Text(4, u"x")}), 0u) << "no such record";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(All(db), Records{"1#31#one;3#31#THREE;1#18#9;"});

    EXPECT_TRUE(CeDeleteRecord(db, oid));
    EXPECT_FALSE(CeDeleteRecord(db, oid));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(All(db), Records{});
    CloseHandle(db);
}

// A sort order puts records by its property's value, equal values in creation order, records
// without it last (first with CEDB_SORT_UNKNOWNFIRST); a record whose value changes moves.
TEST_F(DatabaseTest, SortOrders) {
    const CEPROPID name = PROPID_FROM(1, CEVT_LPWSTR), size = PROPID_FROM(2, CEVT_I4);
    ASSERT_NE(Create(u"Sorted", {{name, CEDB_SORT_CASEINSENSITIVE}, {size, CEDB_SORT_DESCENDING | CEDB_SORT_UNKNOWNFIRST}}),
              0u);
    HANDLE writer = Open(u"Sorted");
    const CEOID b = Write(writer, 0, {Text(1, u"b"), Number(2, CEVT_I4, -1)});
    Write(writer, 0, {Text(1, u"A"), Number(2, CEVT_I4, 10)});
    Write(writer, 0, {Number(2, CEVT_I4, 3)});
    Write(writer, 0, {Text(1, u"ab"), Number(2, CEVT_I4, 10)});
    Write(writer, 0, {Text(1, u"a")});
    HANDLE byName = Open(u"Sorted", name), bySize = Open(u"Sorted", size);
    ASSERT_NE(byName, INVALID_HANDLE_VALUE);
    EXPECT_EQ(All(byName), (Records{"1#31#A;2#3#10;", "1#31#a;", "1#31#ab;2#3#10;", "1#31#b;2#3#-1;", "2#3#3;"}));
    EXPECT_EQ(All(bySize), (Records{"1#31#a;", "1#31#A;2#3#10;", "1#31#ab;2#3#10;", "2#3#3;", "1#31#b;2#3#-1;"}));
    EXPECT_EQ(All(writer).front(), "1#31#b;2#3#-1;") << "creation order without a sort order";
    EXPECT_EQ(Write(writer, b, {Text(1, u"0")}), b);
    EXPECT_EQ(All(byName).front(), "1#31#0;2#3#-1;");
    for (HANDLE h : {writer, byName, bySize}) CloseHandle(h);
}

// A pointer whose record another caller deleted reads ERROR_KEY_DELETED; one that a read's step
// took there goes on with the record that followed.
TEST_F(DatabaseTest, DeletedRecordsUnderTheSeekPointer) {
    ASSERT_NE(Create(u"Steps"), 0u);
    HANDLE writer = Open(u"Steps");
    const CEOID one = Write(writer, 0, {Text(1, u"one")});
    const CEOID two = Write(writer, 0, {Text(1, u"two")});
    Write(writer, 0, {Text(1, u"three")});
    HANDLE stepping = Open(u"Steps", 0, CEDB_AUTOINCREMENT);
    EXPECT_EQ(Read(stepping), "1#31#one;");
    ASSERT_TRUE(CeDeleteRecord(writer, two));
    EXPECT_EQ(Read(stepping), "1#31#three;");
    ASSERT_EQ(CeSeekDatabase(writer, CEDB_SEEK_CEOID, one, nullptr), one);
    HANDLE other = Open(u"Steps");
    ASSERT_TRUE(CeDeleteRecord(other, one));
    EXPECT_EQ(Read(writer), "error " + std::to_string(ERROR_KEY_DELETED));
    for (HANDLE h : {writer, stepping, other}) CloseHandle(h);
}

// An open database cannot be deleted; a deleted one takes its records along, and its identifier
// never comes back. The search lists databases in creation order, by type when one is given.
TEST_F(DatabaseTest, DeleteAndEnumerateDatabases) {
    const CEOID first = Create(u"First", {}, 7), second = Create(u"Second", {}, 8), third = Create(u"Third", {}, 7);
    HANDLE db = Open(u"Second");
    Write(db, 0, {Text(1, u"gone")});
    EXPECT_FALSE(CeDeleteDatabase(second));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(db);
    EXPECT_TRUE(CeDeleteDatabase(second));
    EXPECT_FALSE(CeDeleteDatabase(second));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    const CEOID again = Create(u"Second");
    EXPECT_GT(again, third);
    EXPECT_EQ(All(Open(u"Second")), Records{});
    EXPECT_EQ(m_device->Databases().StoredBytes(), 0u);

    HANDLE find = CeFindFirstDatabaseEx(&m_volume, 0);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<CEOID> found;
    while (CEOID oid = CeFindNextDatabaseEx(find, &m_volume)) found.push_back(oid);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(found, (std::vector<CEOID>{first, third, again}));
    EXPECT_TRUE(CloseHandle(find));
    find = CeFindFirstDatabaseEx(&m_volume, 7);
    found.clear();
    while (CEOID oid = CeFindNextDatabaseEx(find, &m_volume)) found.push_back(oid);
    EXPECT_EQ(found, (std::vector<CEOID>{first, third}));
    CloseHandle(find);
}

// Another process on the image (here: a second device on it) sees every change at once, even
// through a handle that has already walked the database; a handle of a device that is no longer
// installed names nothing.
TEST_F(DatabaseTest, ChangesFromAnotherProcessShowAtOnce) {
    ASSERT_NE(Create(u"Shared"), 0u);
    HANDLE mine = Open(u"Shared");
    const CEOID oid = Write(mine, 0, {Text(1, u"mine")});
    EXPECT_EQ(All(mine), Records{"1#31#mine;"});
    std::string error;
    auto other = host::Device::Open(m_device->Root(), &error);
    ASSERT_TRUE(other) << error;
    HANDLE theirs;
    {
        host::ScopedDevice scope(other.get());
        theirs = Open(u"Shared");
        ASSERT_NE(theirs, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Write(theirs, oid, {Text(2, u"theirs")}), oid);
        EXPECT_NE(Write(theirs, 0, {Text(1, u"added")}), 0u);
        EXPECT_EQ(CeSeekDatabase(mine, CEDB_SEEK_BEGINNING, 0, nullptr), 0u) << "mine is not this device's handle";
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(All(mine), (Records{"1#31#mine;2#31#theirs;", "1#31#added;"}));
    CloseHandle(mine);
    {
        host::ScopedDevice scope(other.get());
        CloseHandle(theirs);
    }
}

// Threads of one process share its databases: while one thread adds records through a handle
// and another process rewrites records, walks in two more threads read every record whole and
// in creation order, each walk seeing at least the records there when it began. (A read that
// used the cached order while another thread replaced it would read freed memory, which the
// sanitizer build reports.)
TEST_F(DatabaseTest, WalksWhileOthersWrite) {
    constexpr int kFirst = 3000, kAdded = 200;
    ASSERT_NE(Create(u"Busy"), 0u);
    HANDLE db = Open(u"Busy");
    std::vector<CEOID> first;
    for (int i = 0; i < kFirst; ++i) first.push_back(Write(db, 0, {Number(1, CEVT_I4, i)}));
    std::string error;
    auto other = host::Device::Open(m_device->Root(), &error);
    ASSERT_TRUE(other) << error;
    host::DatabaseStore::Info info;
    ASSERT_EQ(other->Databases().FindByName(u"Busy", &info), DWORD(ERROR_SUCCESS));

    std::atomic<int> writing{2};
    std::thread adder([&] {
        for (int i = 0; i < kAdded; ++i) EXPECT_NE(Write(db, 0, {Number(1, CEVT_I4, kFirst + i)}), 0u);
        --writing;
    });
    // The other process goes through its own store: this process's device is the installed one.
    std::thread rewriter([&] {
        for (int i = 0; i < kAdded; ++i) {
            CEOID written = 0;
            EXPECT_EQ(other->Databases().WriteRecord(info.oid, first[size_t(i) * 7],
                                                     {{PROPID_FROM(2, CEVT_I4), false, std::string("\1\0\0\0", 4)}},
                                                     &written),
                      DWORD(ERROR_SUCCESS));
        }
        --writing;
    });
    auto walk = [&] {
        int walks = 0;
        while (writing > 0 || walks == 0) {
            ++walks;
            HANDLE stepping = Open(u"Busy", 0, CEDB_AUTOINCREMENT);
            int next = 0;
            for (;;) {
                const std::string record = Read(stepping);
                if (record == "error " + std::to_string(ERROR_NO_MORE_ITEMS)) break;
                const std::string expected = "1#3#" + std::to_string(next++) + ";";
                if (record != expected && record != expected + "2#3#1;") {
                    ADD_FAILURE() << "record " << next - 1 << " read as " << record;
                    break;
                }
            }
            EXPECT_GE(next, kFirst);
            CloseHandle(stepping);
        }
    };
    std::thread walker(walk);
    walk();
    for (std::thread* t : {&adder, &rewriter, &walker}) t->join();
    EXPECT_EQ(All(db).size(), size_t(kFirst + kAdded));
    CloseHandle(db);
}

// Records count towards the object store's capacity: a write that does not fit fails with
// ERROR_DISK_FULL and changes nothing, writes that add nothing go through, and room a database
// holds is room files cannot take.
TEST_F(DatabaseTest, RecordsCountTowardsTheStoresCapacity) {
    ASSERT_NE(Create(u"Full"), 0u);
    HANDLE db = Open(u"Full");
    const CEOID oid = Write(db, 0, {Text(1, u"short")});
    ASSERT_NE(oid, 0u);
    const uint64_t used = StoredBytes(m_device->StoreRoot()) + m_device->Databases().StoredBytes();
    ASSERT_TRUE(m_device->SetSetting("store.capacity", std::to_string(used + 100)));
    std::u16string longer(100, u'x');
    EXPECT_EQ(Write(db, oid, {Text(1, longer.c_str())}), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(Write(db, 0, {Text(1, longer.c_str())}), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(All(db), Records{"1#31#short;"});
    EXPECT_EQ(Write(db, oid, {Text(1, u"SHORT")}), oid);
    EXPECT_NE(Write(db, 0, {Text(1, std::u16string(30, u'y').c_str())}), 0u);

    /* The database's bytes leave no room for a file of 100 bytes. */
    HANDLE file = CreateFileW(u"\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file, std::string(100, 'f').data(), 100, &written, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    CloseHandle(file);
    /* Deleting the records frees their room. */
    const std::u16string fifty(50, u'z');
    EXPECT_EQ(Write(db, 0, {Text(1, fifty.c_str())}), 0u);
    while (CEOID first = CeSeekDatabase(db, CEDB_SEEK_BEGINNING, 0, nullptr)) ASSERT_TRUE(CeDeleteRecord(db, first));
    EXPECT_NE(Write(db, 0, {Text(1, fifty.c_str())}), 0u);
    CloseHandle(db);
}

// The platform's file calls on a fresh device image per test, each case a statement of the
// device's behaviour: exact error codes, out-parameters untouched on failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "test_image.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

bool Put(const char16_t* path, std::string_view data) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr) && written == data.size();
    return CloseHandle(h) && ok;
}

std::string Get(const char16_t* path) {
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[256];
    DWORD read = 0;
    std::string data;
    while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read) data.append(buffer, read);
    CloseHandle(h);
    return data;
}

// Names a search returns, in order; empty when it finds nothing.
std::vector<std::string> List(const char16_t* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(ToUtf8(data.cFileName));
    while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
}

// A call's failure code; kSentinel when it succeeded.
template <class Call>
DWORD ErrorOf(Call call) {
    SetLastError(kSentinel);
    return call() ? kSentinel : GetLastError();
}

class StoreFiles : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        m_image = m_device->Root();
    }
    // A second process's view: the same image opened afresh.
    void Reopen() {
        m_scope.reset();
        m_device.reset();
        std::string error;
        m_device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(m_device) << error;
        m_scope = std::make_unique<host::ScopedDevice>(m_device.get());
    }
    fs::path Host(const std::string& rel) const { return m_image / "store" / rel; }
    void PlaceOutside(const std::string& rel, const std::string& data = "x") {
        std::ofstream(Host(rel), std::ios::binary) << data;
    }

    fs::path m_image;
};

// A hostile path fails with the platform's code and nothing appears outside the store.
TEST_F(StoreFiles, HostilePathsNeverReachTheHost) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp", nullptr));
    ASSERT_TRUE(Put(u"\\Temp\\a.txt", "a"));
    fs::create_directory(m_image / "outside");
    fs::create_directory_symlink(m_image / "outside", Host("link"));
    const char16_t* hostile[] = {u"\\..\\escape", u"\\Temp\\..\\..\\escape", u"\\Temp\\.", u"C:\\escape",
                                 u"\\Temp/..", u"\\\\host\\escape", u"\\Temp\\"};
    for (const char16_t* path : hostile) {
        SCOPED_TRACE(ToUtf8(path));
        EXPECT_EQ(ErrorOf([&] { return CreateDirectoryW(path, nullptr); }), DWORD(ERROR_INVALID_NAME));
        EXPECT_EQ(ErrorOf([&] { return CopyFileW(u"\\Temp\\a.txt", path, FALSE); }), DWORD(ERROR_INVALID_NAME));
        EXPECT_EQ(ErrorOf([&] { return MoveFileW(u"\\Temp\\a.txt", path); }), DWORD(ERROR_INVALID_NAME));
        EXPECT_EQ(ErrorOf([&] { return _wfopen(path, u"w") != nullptr; }), DWORD(ERROR_INVALID_NAME));
        EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
    }
    // A symbolic link placed into the store is not followed, listed or replaced.
    EXPECT_EQ(ErrorOf([&] { return Put(u"\\link\\x.txt", "x"); }), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(Put(u"\\link", "x"));
    EXPECT_EQ(List(u"\\*.*"), (std::vector<std::string>{"Temp"}));
    EXPECT_TRUE(fs::is_empty(m_image / "outside"));
    EXPECT_FALSE(fs::exists(m_image / "escape"));
    EXPECT_FALSE(fs::exists(m_image.parent_path() / "escape"));
    EXPECT_EQ(Get(u"\\Temp\\a.txt"), "a");
}

// Names resolve without regard to case, Cyrillic included, and keep the case they were made
// with, also when the file is overwritten through another spelling.
TEST_F(StoreFiles, ResolvesCaseInsensitivelyAndPreservesCase) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Папка", nullptr));
    ASSERT_TRUE(Put(u"\\ПАПКА\\MixedCase.Txt", "one"));
    ASSERT_TRUE(Put(u"\\папка\\MIXEDCASE.TXT", "two"));
    EXPECT_TRUE(fs::exists(Host("Папка/MixedCase.Txt")));
    EXPECT_EQ(List(u"\\папка\\*"), (std::vector<std::string>{"MixedCase.Txt"}));
    EXPECT_EQ(Get(u"\\пАпКа\\mixedcase.txt"), "two");
    EXPECT_EQ(ErrorOf([] { return CreateDirectoryW(u"\\ПАПКА", nullptr); }), DWORD(ERROR_ALREADY_EXISTS));
    // A search for one name reports the stored spelling.
    EXPECT_EQ(List(u"\\ПАПКА\\mixedcase.TXT"), (std::vector<std::string>{"MixedCase.Txt"}));
    std::filesystem::path host;
    DWORD error = kSentinel;
    ASSERT_TRUE(m_device->Files().ResolveExisting(u"\\папка\\MIXEDCASE.txt", &host, &error));
    EXPECT_EQ(host, Host("Папка/MixedCase.Txt"));
    EXPECT_FALSE(m_device->Files().ResolveExisting(u"\\папка\\none", &host, &error));
    EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
}

// Entries placed into store/ from outside are found by any spelling at once, even right after
// the device listed their folder.
TEST_F(StoreFiles, SeesEntriesPlacedFromOutside) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\OUTSIDE.TXT"), INVALID_FILE_ATTRIBUTES);
    PlaceOutside("Windows/Outside.txt");
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\OUTSIDE.TXT"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    // Host names the device cannot spell stay invisible.
    PlaceOutside("Windows/bad:name");
    PlaceOutside("Windows/bad\xff");
    EXPECT_EQ(List(u"\\Windows\\*.*"), (std::vector<std::string>{"Outside.txt"}));
    // Of names that differ only in case, the exact spelling wins, else the first in byte order.
    PlaceOutside("Windows/dup.txt", "lower");
    PlaceOutside("Windows/DUP.txt", "upper");
    EXPECT_EQ(Get(u"\\Windows\\dup.txt"), "lower");
    EXPECT_EQ(Get(u"\\Windows\\DUP.txt"), "upper");
    EXPECT_EQ(Get(u"\\Windows\\Dup.TXT"), "upper");
    EXPECT_EQ(List(u"\\Windows\\d*"), (std::vector<std::string>{"DUP.txt", "dup.txt"}));
}

// Attributes are the device's: files start with archive, NORMAL stands for none, folders always
// carry DIRECTORY; they persist across processes and follow moves and copies.
TEST_F(StoreFiles, AttributesPersistAndFollowTheFile) {
    ASSERT_TRUE(CreateDirectoryW(u"\\A", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\B", nullptr));
    ASSERT_TRUE(Put(u"\\A\\f.txt", "f"));
    EXPECT_EQ(GetFileAttributesW(u"\\A\\f.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW(u"\\A"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(u"\\"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(SetFileAttributesW(u"\\A\\f.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\A\\f.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
    // DIRECTORY and TEMPORARY are not the caller's to set.
    ASSERT_TRUE(SetFileAttributesW(u"\\A\\f.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
    ASSERT_TRUE(SetFileAttributesW(u"\\A", FILE_ATTRIBUTE_HIDDEN));
    Reopen();
    EXPECT_EQ(GetFileAttributesW(u"\\a\\F.TXT"), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(MoveFileW(u"\\A", u"\\B\\Moved"));
    EXPECT_EQ(GetFileAttributesW(u"\\B\\Moved"), DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(MoveFileW(u"\\B\\Moved\\f.txt", u"\\g.txt"));
    EXPECT_EQ(GetFileAttributesW(u"\\g.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(CopyFileW(u"\\g.txt", u"\\h.txt", TRUE));
    EXPECT_EQ(GetFileAttributesW(u"\\h.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesW(u"\\nothing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(u"\\nothing\\x"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ErrorOf([] { return SetFileAttributesW(u"\\nothing", 0); }), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ErrorOf([] { return SetFileAttributesW(u"\\", 0); }), DWORD(ERROR_ACCESS_DENIED));
}

// Mounted storage folders carry TEMPORARY and cannot be removed or moved away.
TEST_F(StoreFiles, MountedStorageFolders) {
    ASSERT_EQ(m_device->Files().MountStorage(u"\\Storage Card"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(GetFileAttributesW(u"\\storage card"), DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
    ASSERT_TRUE(SetFileAttributesW(u"\\Storage Card", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\Storage Card"), DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
    EXPECT_EQ(ErrorOf([] { return RemoveDirectoryW(u"\\Storage Card"); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ErrorOf([] { return MoveFileW(u"\\Storage Card", u"\\Card"); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Put(u"\\Storage Card\\a.txt", "a"));
}

// Folders: one level at a time; removal only of an empty, writable folder.
TEST_F(StoreFiles, CreatesAndRemovesFolders) {
    EXPECT_EQ(ErrorOf([] { return CreateDirectoryW(u"\\A\\B", nullptr); }), DWORD(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(CreateDirectoryW(u"\\A", nullptr));
    ASSERT_TRUE(Put(u"\\A\\f", "f"));
    EXPECT_EQ(ErrorOf([] { return CreateDirectoryW(u"\\A\\f", nullptr); }), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ErrorOf([] { return CreateDirectoryW(u"\\A\\f\\g", nullptr); }), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ErrorOf([] { return RemoveDirectoryW(u"\\A"); }), DWORD(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(ErrorOf([] { return RemoveDirectoryW(u"\\A\\f"); }), DWORD(ERROR_DIRECTORY));
    EXPECT_EQ(ErrorOf([] { return RemoveDirectoryW(u"\\A\\none"); }), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ErrorOf([] { return RemoveDirectoryW(u"\\"); }), DWORD(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(DeleteFileW(u"\\A\\f"));
    ASSERT_TRUE(SetFileAttributesW(u"\\A", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ErrorOf([] { return RemoveDirectoryW(u"\\A"); }), DWORD(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesW(u"\\A", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(RemoveDirectoryW(u"\\a"));
    EXPECT_FALSE(fs::exists(Host("A")));
}

// Copy replaces unless told not to, never onto itself or a read-only file; move and delete
// refuse what the device refuses, and leave both sides intact when they do.
TEST_F(StoreFiles, CopyMoveAndDeleteRules) {
    ASSERT_TRUE(CreateDirectoryW(u"\\D", nullptr));
    ASSERT_TRUE(Put(u"\\src", "source"));
    ASSERT_TRUE(Put(u"\\dst", "old"));
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\src", u"\\DST", TRUE); }), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(Get(u"\\dst"), "old");
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\src", u"\\SRC", FALSE); }), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\none", u"\\x", FALSE); }), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\D", u"\\x", FALSE); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\src", u"\\D", FALSE); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\src", u"\\none\\x", FALSE); }), DWORD(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(CopyFileW(u"\\src", u"\\dst", FALSE));
    EXPECT_EQ(Get(u"\\dst"), "source");
    EXPECT_EQ(Get(u"\\src"), "source");

    ASSERT_TRUE(SetFileAttributesW(u"\\dst", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\src", u"\\dst", FALSE); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ErrorOf([] { return DeleteFileW(u"\\dst"); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Get(u"\\dst"), "source");
    // A read-only file may still be moved.
    ASSERT_TRUE(MoveFileW(u"\\dst", u"\\D\\ro"));

    EXPECT_EQ(ErrorOf([] { return MoveFileW(u"\\src", u"\\D\\RO"); }), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ErrorOf([] { return MoveFileW(u"\\none", u"\\y"); }), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ErrorOf([] { return MoveFileW(u"\\D", u"\\D\\inner"); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ErrorOf([] { return DeleteFileW(u"\\D"); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ErrorOf([] { return DeleteFileW(u"\\none"); }), DWORD(ERROR_FILE_NOT_FOUND));
    // Changing only the case of a name is a rename, not a collision.
    ASSERT_TRUE(MoveFileW(u"\\src", u"\\SRC"));
    EXPECT_TRUE(fs::exists(Host("SRC")));
    EXPECT_FALSE(fs::exists(Host("src")));
    EXPECT_TRUE(DeleteFileW(u"\\src"));
}

// Creation dispositions, their last-error signals, access checks and the file pointer.
TEST_F(StoreFiles, CreateFileDispositionsAndIo) {
    SetLastError(kSentinel);
    HANDLE h = CreateFileW(u"\\f", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    DWORD done = kSentinel;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &done, nullptr));
    EXPECT_EQ(done, 11u);
    DWORD high = kSentinel;
    EXPECT_EQ(GetFileSize(h, &high), 11u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(SetFilePointer(h, -12, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
    char buffer[16];
    memset(buffer, 0xCC, sizeof buffer);
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "world");
    EXPECT_EQ(buffer[5], char(0xCC));
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(SetFilePointer(h, 5, nullptr, FILE_BEGIN), 5u);
    ASSERT_TRUE(SetEndOfFile(h));
    ASSERT_TRUE(CloseHandle(h));
    EXPECT_EQ(ErrorOf([&] { return CloseHandle(h); }), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(Get(u"\\f"), "hello");

    h = CreateFileW(u"\\F", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    done = kSentinel;
    EXPECT_EQ(ErrorOf([&] { return ReadFile(h, buffer, 4, &done, nullptr); }), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(ErrorOf([&] { return FindClose(h); }), DWORD(ERROR_INVALID_HANDLE));
    CloseHandle(h);
    EXPECT_EQ(Get(u"\\f"), "hello");

    auto open = [](const char16_t* path, DWORD access, DWORD disposition) {
        SetLastError(kSentinel);
        HANDLE file = CreateFileW(path, access, 0, nullptr, disposition, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return GetLastError();
        CloseHandle(file);
        return kSentinel;
    };
    EXPECT_EQ(open(u"\\f", GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(open(u"\\g", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(open(u"\\g", GENERIC_READ, TRUNCATE_EXISTING), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(open(u"\\g\\h", GENERIC_READ, OPEN_ALWAYS), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(open(u"\\f", GENERIC_READ, 0), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(open(u"\\", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(open(u"\\f", GENERIC_WRITE, TRUNCATE_EXISTING), kSentinel);
    EXPECT_EQ(Get(u"\\f"), "");
    ASSERT_TRUE(SetFileAttributesW(u"\\f", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(open(u"\\f", GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(open(u"\\f", GENERIC_READ, CREATE_ALWAYS), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(open(u"\\f", GENERIC_READ, OPEN_EXISTING), kSentinel);
}

// An open file refuses conflicting opens, deletion and moves until its handle is closed.
TEST_F(StoreFiles, OpenFilesAreShared) {
    ASSERT_TRUE(Put(u"\\f", "data"));
    HANDLE reader = CreateFileW(u"\\f", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE second = CreateFileW(u"\\F", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(second);
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileW(u"\\f", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ErrorOf([] { return DeleteFileW(u"\\f"); }), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ErrorOf([] { return MoveFileW(u"\\f", u"\\g"); }), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ErrorOf([] { return CopyFileW(u"\\f", u"\\g", FALSE); }), kSentinel);
    CloseHandle(reader);
    EXPECT_EQ(Get(u"\\f"), "data");
    EXPECT_TRUE(DeleteFileW(u"\\f"));
}

// Searches: '*' and '?' without regard to case, "*.*" for every entry, a plain name for that
// entry; no match leaves the caller's data alone.
TEST_F(StoreFiles, FindsByPattern) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
    for (const char16_t* name : {u"\\Windows\\a.vxs", u"\\Windows\\B.VXS", u"\\Windows\\readme", u"\\Windows\\c.vxb"})
        ASSERT_TRUE(Put(name, "x"));
    ASSERT_TRUE(SetFileAttributesW(u"\\Windows\\B.VXS", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(List(u"\\windows\\*.vxs"), (std::vector<std::string>{"a.vxs", "B.VXS"}));
    EXPECT_EQ(List(u"\\WINDOWS\\*.*"), (std::vector<std::string>{"a.vxs", "B.VXS", "readme", "c.vxb"}));
    EXPECT_EQ(List(u"\\Windows\\?.vx?"), (std::vector<std::string>{"a.vxs", "B.VXS", "c.vxb"}));
    EXPECT_EQ(List(u"\\Windows"), (std::vector<std::string>{"Windows"}));

    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(u"\\windows\\b.vxs", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(data.nFileSizeLow, 1u);
    EXPECT_EQ(ErrorOf([&] { return CloseHandle(h); }), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FindClose(h));
    EXPECT_EQ(ErrorOf([&] { return FindNextFileW(h, &data); }), DWORD(ERROR_INVALID_HANDLE));

    memset(&data, 0xCC, sizeof data);
    auto untouched = data;
    for (auto [pattern, error] : {std::pair{u"\\Windows\\*.xml", ERROR_FILE_NOT_FOUND},
                                  std::pair{u"\\None\\*.*", ERROR_PATH_NOT_FOUND},
                                  std::pair{u"\\Windows\\..\\*", ERROR_INVALID_NAME}}) {
        SetLastError(kSentinel);
        EXPECT_EQ(FindFirstFileW(pattern, &data), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(error)) << ToUtf8(pattern);
        EXPECT_EQ(memcmp(&data, &untouched, sizeof data), 0);
    }
}

// Enumeration lists the device's entries in creation order (a move, rename or copy into the
// folder counts as a creation, an overwrite keeps the place), then outside entries by name.
TEST_F(StoreFiles, EnumerationOrderIsDeterministic) {
    ASSERT_TRUE(CreateDirectoryW(u"\\D", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\Other", nullptr));
    for (const char16_t* name : {u"\\D\\c", u"\\D\\a", u"\\D\\b", u"\\Other\\m"}) ASSERT_TRUE(Put(name, "x"));
    PlaceOutside("D/z");
    PlaceOutside("D/Ä");
    PlaceOutside("D/y");
    EXPECT_EQ(List(u"\\D\\*.*"), (std::vector<std::string>{"c", "a", "b", "y", "z", "Ä"}));
    ASSERT_TRUE(MoveFileW(u"\\D\\a", u"\\D\\A2"));
    ASSERT_TRUE(CopyFileW(u"\\D\\b", u"\\D\\c", FALSE));
    ASSERT_TRUE(MoveFileW(u"\\Other\\m", u"\\D\\m"));
    ASSERT_TRUE(MoveFileW(u"\\D\\z", u"\\D\\z2"));
    ASSERT_TRUE(CopyFileW(u"\\D\\b", u"\\D\\y", FALSE));
    Reopen();
    EXPECT_EQ(List(u"\\D\\*.*"), (std::vector<std::string>{"c", "b", "A2", "m", "z2", "y", "Ä"}));
    // A file deleted from outside and put back from outside is an outside entry again.
    fs::remove(Host("D/c"));
    EXPECT_EQ(List(u"\\D\\*.*"), (std::vector<std::string>{"b", "A2", "m", "z2", "y", "Ä"}));
    PlaceOutside("D/c");
    EXPECT_EQ(List(u"\\D\\*.*"), (std::vector<std::string>{"b", "A2", "m", "z2", "c", "y", "Ä"}));
}

// C streams on device paths: the modes create, truncate, append and read as the runtime does.
TEST_F(StoreFiles, StreamsOpenDevicePaths) {
    FILE* f = _wfopen(u"\\log.txt", u"w");
    ASSERT_NE(f, nullptr);
    fputs("one\n", f);
    fclose(f);
    f = _wfopen(u"\\LOG.TXT", u"ab");
    ASSERT_NE(f, nullptr);
    fputs("two\n", f);
    fclose(f);
    f = _wfopen(u"\\log.txt", u"rt");
    ASSERT_NE(f, nullptr);
    char line[16];
    ASSERT_TRUE(fgets(line, sizeof line, f));
    EXPECT_STREQ(line, "one\n");
    fclose(f);
    EXPECT_EQ(Get(u"\\log.txt"), "one\ntwo\n");

    auto failure = [](const char16_t* path, const char16_t* mode, DWORD error, int err) {
        SetLastError(kSentinel);
        errno = 0;
        EXPECT_EQ(_wfopen(path, mode), nullptr);
        EXPECT_EQ(GetLastError(), error) << ToUtf8(path) << " " << ToUtf8(mode);
        EXPECT_EQ(errno, err);
    };
    failure(u"\\none.txt", u"rb", ERROR_FILE_NOT_FOUND, ENOENT);
    failure(u"\\log.txt", u"rw", ERROR_INVALID_PARAMETER, EINVAL);
    failure(u"\\", u"r", ERROR_ACCESS_DENIED, EACCES);
    ASSERT_TRUE(SetFileAttributesW(u"\\log.txt", FILE_ATTRIBUTE_READONLY));
    failure(u"\\log.txt", u"w", ERROR_ACCESS_DENIED, EACCES);
    EXPECT_EQ(Get(u"\\log.txt"), "one\ntwo\n");
}

// Installers put host files into the image; without a device the calls fail cleanly.
TEST_F(StoreFiles, ImportsHostFilesAndNeedsADevice) {
    PlaceOutside("host.bin", "payload");
    ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
    DWORD error = kSentinel;
    ASSERT_TRUE(m_device->Files().ImportHostFile(Host("host.bin"), u"\\WINDOWS\\Vexor.dll", &error));
    EXPECT_EQ(Get(u"\\Windows\\vexor.dll"), "payload");
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\vexor.dll"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(m_device->Files().ImportHostFile(Host("host.bin"), u"\\None\\x.dll", &error));
    EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));

    host::ScopedDevice none(nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesW(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

}  // namespace

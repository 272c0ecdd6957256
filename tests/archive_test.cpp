// The archive component as the platform provides it: created through COM, opened by device
// path, its root folder listing only the root files, each item's content read in chunks. The
// archives are made by gcab and Python's zipfile (tests/archive_data/make_archives.py).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/archive.h"
#include "platform/com.h"
#include "platform/files.h"
#include "platform/text.h"
#include "test_image.h"

namespace {

// The bytes of large.bin and exact.bin, as the generator writes them.
std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 7 + seed) % 251);
    return bytes;
}

void* const kSentinelPointer = reinterpret_cast<void*>(0xDEADBEEF);

template <class T>
struct ComPtr {
    T* p = static_cast<T*>(kSentinelPointer);
    ~ComPtr() {
        if (p && p != kSentinelPointer) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

std::string Text(BSTR text) {
    std::string utf8 = text ? ToUtf8(text) : "<null>";
    SysFreeString(text);
    return utf8;
}

class ArchiveComponent : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_TRUE(CreateDirectoryW(u"\\Archives", nullptr));
        for (const char* name : {"plain.cab", "plain.zip", "hostile.cab", "hostile.zip"})
            InstallFile(std::filesystem::path(VX_TEST_DATA_DIR) / name, u"\\Archives\\" + FromUtf8(name));
    }
    void TearDown() override {
        CoUninitialize();
        ImageTest::TearDown();
    }

    // A new archive object opened on path; fails the test when any step fails.
    void OpenArchive(const char16_t* path, IArchive** archive, IArchiveItems** items) {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Archive, nullptr, CLSCTX_INPROC_SERVER, IID_IArchive,
                                         reinterpret_cast<void**>(archive)));
        ASSERT_EQ(S_OK, (*archive)->Open(path));
        ComPtr<IArchiveFolder> root;
        ASSERT_EQ(S_OK, (*archive)->get_RootFolder(&root));
        ASSERT_EQ(S_OK, root->get_Files(items));
    }

    std::vector<std::string> Names(IArchiveItems* items) {
        std::vector<std::string> names;
        LONG count = -1;
        EXPECT_EQ(S_OK, items->get_Count(&count));
        for (LONG i = 0; i < count; ++i) {
            ComPtr<IArchiveItem> item;
            EXPECT_EQ(S_OK, items->Item(i, &item));
            BSTR name = nullptr, path = nullptr;
            EXPECT_EQ(S_OK, item->get_Name(&name));
            EXPECT_EQ(S_OK, item->get_Path(&path));
            std::string n = Text(name);
            EXPECT_EQ(n, Text(path)) << "a root item's path is its name";
            names.push_back(n);
        }
        return names;
    }

    // The content of item index, read in chunks of chunk bytes; sizes receives each read's count.
    std::string Content(IArchiveItems* items, LONG index, ULONG chunk, std::vector<ULONG>* sizes) {
        ComPtr<IArchiveItem> item;
        EXPECT_EQ(S_OK, items->Item(index, &item));
        ComPtr<ISequentialStream> stream;
        EXPECT_EQ(S_OK, item->OpenStream(&stream));
        std::string data;
        std::vector<char> buffer(chunk);
        for (;;) {
            ULONG read = 0xDEADBEEF;
            EXPECT_EQ(S_OK, stream->Read(buffer.data(), chunk, &read));
            sizes->push_back(read);
            if (read > chunk) break;
            data.append(buffer.data(), read);
            if (read < chunk) break;
        }
        return data;
    }
};

// Creating the component needs COM on the thread, as on the device; the object stays null.
TEST_F(ArchiveComponent, CreationNeedsComInitialised) {
    CoUninitialize();
    void* object = kSentinelPointer;
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(CLSID_Archive, nullptr, CLSCTX_INPROC_SERVER, IID_IArchive, &object));
    EXPECT_EQ(nullptr, object);
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_Archive, nullptr, CLSCTX_INPROC_SERVER, IID_IStream, &object));
    EXPECT_EQ(nullptr, object);
}

// Open reports why a file is not an archive it can read, and the object stays closed.
TEST_F(ArchiveComponent, OpenFailuresCarryTheFileError) {
    ComPtr<IArchive> archive;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Archive, nullptr, CLSCTX_INPROC_SERVER, IID_IArchive,
                                     reinterpret_cast<void**>(&archive.p)));
    HANDLE h = CreateFileW(u"\\Archives\\text.cab", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "not an archive at all", 21, &written, nullptr));
    CloseHandle(h);
    std::u16string tooLong = u"\\" + std::u16string(300, u'a') + u".cab";

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), archive->Open(u"\\Archives\\missing.cab"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), archive->Open(u"\\Missing\\plain.cab"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BAD_FORMAT), archive->Open(u"\\Archives\\text.cab"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), archive->Open(tooLong.c_str()));
    EXPECT_EQ(E_INVALIDARG, archive->Open(nullptr));
    // A host path names nothing on the device.
    std::u16string host = FromUtf8((std::filesystem::path(VX_TEST_DATA_DIR) / "plain.cab").string());
    EXPECT_TRUE(FAILED(archive->Open(host.c_str())));

    ComPtr<IArchiveFolder> folder;
    EXPECT_EQ(E_UNEXPECTED, archive->get_RootFolder(&folder));
    EXPECT_EQ(nullptr, folder.p);
    EXPECT_EQ(S_FALSE, archive->Close());

    // One archive per object: a second Open fails until Close.
    EXPECT_EQ(S_OK, archive->Open(u"\\ARCHIVES\\Plain.CAB"));
    EXPECT_EQ(E_UNEXPECTED, archive->Open(u"\\Archives\\plain.zip"));
    EXPECT_EQ(S_OK, archive->Close());
    EXPECT_EQ(S_OK, archive->Open(u"\\Archives\\plain.zip"));
}

class ArchiveFormats : public ArchiveComponent, public ::testing::WithParamInterface<const char16_t*> {};

// The root folder lists the root files in stored order; files in sub-folders and folder
// entries are not among them.
TEST_P(ArchiveFormats, RootFolderHoldsOnlyRootFiles) {
    ComPtr<IArchive> archive;
    ComPtr<IArchiveItems> items;
    OpenArchive((u"\\Archives\\plain." + std::u16string(GetParam())).c_str(), &archive, &items);
    EXPECT_EQ((std::vector<std::string>{"alpha.txt", "exact.bin", "large.bin", "empty.txt"}), Names(items.p));

    ComPtr<IArchiveItem> item;
    EXPECT_EQ(E_INVALIDARG, items->Item(4, &item));
    EXPECT_EQ(nullptr, item.p);
    item.p = static_cast<IArchiveItem*>(kSentinelPointer);
    EXPECT_EQ(E_INVALIDARG, items->Item(-1, &item));
    EXPECT_EQ(nullptr, item.p);
    EXPECT_EQ(S_OK, items->Item(2, &item));
    ULONGLONG size = 0;
    EXPECT_EQ(S_OK, item->get_Size(&size));
    EXPECT_EQ(25000u, size);
}

// Content comes in the caller's chunks; only the last read is short, and an item whose size is
// a whole number of chunks ends with a read of nothing.
TEST_P(ArchiveFormats, ContentIsReadInChunks) {
    ComPtr<IArchive> archive;
    ComPtr<IArchiveItems> items;
    OpenArchive((u"\\Archives\\plain." + std::u16string(GetParam())).c_str(), &archive, &items);
    std::vector<ULONG> sizes;
    EXPECT_EQ("alpha", Content(items.p, 0, 10240, &sizes));
    EXPECT_EQ(std::vector<ULONG>{5}, sizes);
    sizes.clear();
    EXPECT_EQ(Pattern(10240, 1), Content(items.p, 1, 10240, &sizes));
    EXPECT_EQ((std::vector<ULONG>{10240, 0}), sizes);
    sizes.clear();
    EXPECT_EQ(Pattern(25000, 3), Content(items.p, 2, 10240, &sizes));
    EXPECT_EQ((std::vector<ULONG>{10240, 10240, 4520}), sizes);
    sizes.clear();
    EXPECT_EQ("", Content(items.p, 3, 10240, &sizes));
    EXPECT_EQ(std::vector<ULONG>{0}, sizes);
    // Items may be read in any order, each from its start.
    sizes.clear();
    EXPECT_EQ("alpha", Content(items.p, 0, 3, &sizes));
    EXPECT_EQ((std::vector<ULONG>{3, 2}), sizes);
}

// What was handed out stays readable after Close and after the archive object is gone.
TEST_P(ArchiveFormats, ItemsOutliveTheArchive) {
    ComPtr<IArchiveItems> items;
    ComPtr<ISequentialStream> stream;
    {
        ComPtr<IArchive> archive;
        OpenArchive((u"\\Archives\\plain." + std::u16string(GetParam())).c_str(), &archive, &items);
        ComPtr<IArchiveItem> item;
        ASSERT_EQ(S_OK, items->Item(2, &item));
        ASSERT_EQ(S_OK, item->OpenStream(&stream));
        EXPECT_EQ(S_OK, archive->Close());
    }
    std::string data(25000, '\0');
    ULONG read = 0;
    EXPECT_EQ(S_OK, stream->Read(data.data(), 25000, &read));
    EXPECT_EQ(25000u, read);
    EXPECT_EQ(Pattern(25000, 3), data);
    ULONG written = 0xDEADBEEF;
    EXPECT_EQ(STG_E_ACCESSDENIED, stream->Write("x", 1, &written));
    EXPECT_EQ(0u, written);
    std::vector<ULONG> sizes;
    EXPECT_EQ("alpha", Content(items.p, 0, 100, &sizes));
}

// Stored names that climb out of the archive, are absolute, carry a drive or are "." or ".."
// never become root items; only the one harmless file does.
TEST_P(ArchiveFormats, HostileNamesAreNotRootItems) {
    ComPtr<IArchive> archive;
    ComPtr<IArchiveItems> items;
    OpenArchive((u"\\Archives\\hostile." + std::u16string(GetParam())).c_str(), &archive, &items);
    EXPECT_EQ(std::vector<std::string>{"safe.txt"}, Names(items.p));
}

INSTANTIATE_TEST_SUITE_P(Archive, ArchiveFormats, ::testing::Values(u"cab", u"zip"),
                         [](const auto& info) { return ToUtf8(info.param); });

// Damaged bytes never crash the reader: either the archive is refused as a whole or reading
// the damaged content fails or differs.
TEST_F(ArchiveComponent, DamagedArchiveFailsCleanly) {
    for (const char16_t* name : {u"\\Archives\\plain.cab", u"\\Archives\\plain.zip"}) {
        HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        std::string bytes(GetFileSize(h, nullptr), '\0');
        DWORD done = 0;
        ASSERT_TRUE(ReadFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr));
        for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 64; ++i) bytes[i] ^= 0x5A;
        SetFilePointer(h, 0, nullptr, FILE_BEGIN);
        ASSERT_TRUE(WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr));
        CloseHandle(h);

        ComPtr<IArchive> archive;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Archive, nullptr, CLSCTX_INPROC_SERVER, IID_IArchive,
                                         reinterpret_cast<void**>(&archive.p)));
        HRESULT hr = archive->Open(name);
        if (FAILED(hr)) {
            EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BAD_FORMAT), hr) << ToUtf8(name);
            continue;
        }
        ComPtr<IArchiveFolder> root;
        ComPtr<IArchiveItems> items;
        ASSERT_EQ(S_OK, archive->get_RootFolder(&root));
        ASSERT_EQ(S_OK, root->get_Files(&items));
        LONG count = 0;
        ASSERT_EQ(S_OK, items->get_Count(&count));
        const std::string expected[] = {"alpha", Pattern(10240, 1), Pattern(25000, 3), ""};
        bool damaged = count != 4;
        for (LONG i = 0; i < count && i < 4; ++i) {
            ComPtr<IArchiveItem> item;
            ComPtr<ISequentialStream> stream;
            ASSERT_EQ(S_OK, items->Item(i, &item));
            std::string data(30000, '\0');
            ULONG read = 0;
            HRESULT result = FAILED(item->OpenStream(&stream)) ? STG_E_READFAULT : stream->Read(data.data(), 30000, &read);
            EXPECT_TRUE(result == S_OK || result == STG_E_READFAULT);
            damaged = damaged || result != S_OK || data.substr(0, read) != expected[i];
        }
        EXPECT_TRUE(damaged) << ToUtf8(name);
    }
}

}  // namespace

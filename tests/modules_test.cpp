// The library and resource calls on a fresh device image: loading by device path, reference
// counts, entry points, exports, resources, string tables, bitmaps and version queries.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>

#include "test_image.h"
#include "data/bitmap_pattern.h"
#include "data/resources_ids.h"
#include "host/gdi/bitmap.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

const DWORD kSentinel = 0xDEADBEEF;

class ModuleLoader : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        fs::create_directories(m_device->StoreRoot() / "Windows");
        fs::create_directories(m_device->StoreRoot() / "Skins");
        fs::create_directories(m_device->StoreRoot() / "Windows" / "fonts.dll");
        Install("skin_arm.dll", u"\\Skins\\Blue.vxs");
        Install("skin_x64.dll", u"\\Windows\\skin64.dll");
        Install("libtestmodule.so", u"\\Windows\\testmod.dll");
        Install("resources.res", u"\\Windows\\notes.txt");
    }
    void TearDown() override {
        ImageTest::TearDown();
        for (void* pin : m_pins) dlclose(pin);
    }

    void Install(const char* dataFile, std::u16string_view devicePath) {
        InstallFile(fs::path(VX_TEST_DATA_DIR) / dataFile, devicePath);
    }

    // Keeps the image's copy of the test module mapped, so that its counters can be read after
    // the loader has let it go, and set before the loader first attaches it.
    int* Counter(const char* name) {
        void* pin = dlopen((m_device->StoreRoot() / "Windows" / "testmod.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(pin, nullptr) << dlerror();
        if (!pin) return nullptr;
        m_pins.push_back(pin);
        return static_cast<int*>(dlsym(pin, name));
    }

    std::vector<void*> m_pins;
};

std::u16string FileNameOf(HMODULE module) {
    WCHAR buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    return std::u16string(buffer, length);
}

TEST_F(ModuleLoader, BareNamesAreLookedForInWindowsWithDllAppended) {
    HMODULE module = LoadLibraryW(u"testmod");
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(FileNameOf(module), u"\\Windows\\testmod.dll");
    EXPECT_TRUE(FreeLibrary(module));

    // A name with an extension keeps it; a trailing dot means none at all.
    HMODULE skin = LoadLibraryW(u"\\Skins\\Blue.vxs");
    ASSERT_NE(skin, nullptr) << GetLastError();
    EXPECT_EQ(FileNameOf(skin), u"\\Skins\\Blue.vxs");
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryW(u"\\Skins\\Blue."), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(skin));
}

TEST_F(ModuleLoader, LoadingTwiceSharesOneModuleUntilTheLastFree) {
    HMODULE first = LoadLibraryW(u"\\Windows\\skin64.dll");
    HMODULE second = LoadLibraryW(u"skin64");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(FindResourceW(first, u"LAYOUT", u"RC_DATA"), nullptr);
    EXPECT_TRUE(FreeLibrary(second));

    // Once freed, the handle names nothing, and a new load gets a new handle.
    SetLastError(kSentinel);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_EQ(FindResourceW(first, u"LAYOUT", u"RC_DATA"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HMODULE again = LoadLibraryW(u"skin64");
    EXPECT_NE(again, first);
    EXPECT_TRUE(FreeLibrary(again));
}

TEST_F(ModuleLoader, FilesThatAreNotModulesFailWithThePlatformsErrors) {
    struct Case {
        const char16_t* name;
        DWORD error;
    } cases[] = {
        {u"\\Windows\\missing.dll", ERROR_MOD_NOT_FOUND},
        {u"\\Windows\\notes.txt", ERROR_BAD_EXE_FORMAT},
        {u"fonts.dll", ERROR_MOD_NOT_FOUND},
        {u"\\..\\outside.dll", ERROR_MOD_NOT_FOUND},
        {u"\\Windows\\link.dll", ERROR_MOD_NOT_FOUND},
        {u"", ERROR_INVALID_PARAMETER},
        {nullptr, ERROR_INVALID_PARAMETER},
    };
    // Module files outside the image are never reached, by name or through a link.
    fs::copy_file(fs::path(VX_TEST_DATA_DIR) / "skin_x64.dll", m_dir / "image" / "outside.dll");
    fs::create_symlink(m_dir / "image" / "outside.dll", m_device->StoreRoot() / "Windows" / "link.dll");
    for (const auto& c : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(LoadLibraryW(c.name), nullptr);
        EXPECT_EQ(GetLastError(), c.error) << (c.name ? ToUtf8(c.name) : "null");
    }
}

TEST_F(ModuleLoader, EntryPointSeesAttachOnFirstLoadAndDetachOnLastFree) {
    int* attached = Counter("g_vxAttachCount");
    int* detached = Counter("g_vxDetachCount");
    ASSERT_TRUE(attached && detached);
    HMODULE module = LoadLibraryW(u"testmod.dll");
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(*attached, 1);
    EXPECT_EQ(*static_cast<HINSTANCE*>(GetProcAddressW(module, u"g_vxInstance")), module);
    EXPECT_EQ(LoadLibraryW(u"\\Windows\\testmod.dll"), module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(*detached, 0);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(*attached, 1);
    EXPECT_EQ(*detached, 1);
}

TEST_F(ModuleLoader, RefusedAttachFailsTheLoadAndDetaches) {
    int* refuse = Counter("g_vxRefuseAttach");
    int* detached = Counter("g_vxDetachCount");
    ASSERT_TRUE(refuse && detached);
    *refuse = 1;
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryW(u"testmod"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(*detached, 1);
    EXPECT_EQ(GetModuleHandleW(u"testmod.dll"), nullptr);
}

TEST_F(ModuleLoader, DataFileLoadsRunNoCode) {
    int* attached = Counter("g_vxAttachCount");
    ASSERT_NE(attached, nullptr);
    HMODULE module = LoadLibraryExW(u"testmod.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_EQ(*attached, 0);
    WCHAR text[64];
    EXPECT_EQ(LoadStringW(module, IDS_MODULE_GREETING, text, 64), 21);
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddressW(module, u"VxTestAdd"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleW(u"testmod.dll"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleLoader, ExportsAreTheModulesOwnByName) {
    HMODULE module = LoadLibraryW(u"testmod");
    ASSERT_NE(module, nullptr);
    auto add = reinterpret_cast<int (*)(int, int)>(GetProcAddressW(module, u"VxTestAdd"));
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(2, 3), 5);
    // The module links the host library, whose exports are not the module's.
    for (LPCWSTR name : {u"LoadLibraryW", u"NoSuchExport", MAKEINTRESOURCEW(1)}) {
        SetLastError(kSentinel);
        EXPECT_EQ(GetProcAddressW(module, name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
    HMODULE skin = LoadLibraryW(u"skin64");
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddressW(skin, u"DllMain"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddressW(reinterpret_cast<HMODULE>(0x1234), u"VxTestAdd"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    FreeLibrary(skin);
    FreeLibrary(module);
}

// Libraries loaded one after another, each through a descriptor closed once it is loaded, are
// each their own: the second is not taken for the first because its descriptor got the same
// number.
TEST_F(ModuleLoader, EachLibraryLoadedIsItsOwnCode) {
    InstallFile(VX_LAYOUT_ENGLISH, u"\\Windows\\english.vxb");
    InstallFile(VX_LAYOUT_RUSSIAN, u"\\Windows\\russian.vxb");
    HMODULE english = LoadLibraryW(u"\\Windows\\english.vxb");
    HMODULE russian = LoadLibraryW(u"\\Windows\\russian.vxb");
    ASSERT_TRUE(english && russian);
    EXPECT_NE(english, russian);
    auto code = [](HMODULE module) {
        auto entry = reinterpret_cast<DWORD (*)()>(GetProcAddressW(module, u"VKeybCode"));
        return entry ? entry() : 0u;
    };
    EXPECT_EQ(code(english), 1033u);
    EXPECT_EQ(code(russian), 1049u);
    FreeLibrary(russian);
    FreeLibrary(english);
}

TEST_F(ModuleLoader, ModuleReadsItsResourcesThroughItsHandle) {
    HMODULE module = LoadLibraryW(u"testmod");
    ASSERT_NE(module, nullptr);
    auto load = reinterpret_cast<int (*)(UINT, WCHAR*, int)>(GetProcAddressW(module, u"VxTestLoadString"));
    ASSERT_NE(load, nullptr);
    WCHAR text[64];
    ASSERT_EQ(load(IDS_MODULE_GREETING, text, 64), 21);
    EXPECT_EQ(std::u16string(text), u"Hello from the module");
    FreeLibrary(module);
}

TEST_F(ModuleLoader, DestroyingTheDeviceDetachesWhatIsStillLoaded) {
    int* detached = Counter("g_vxDetachCount");
    int* nameLength = Counter("g_vxDetachNameLength");
    ASSERT_TRUE(detached && nameLength);
    ASSERT_NE(LoadLibraryW(u"testmod"), nullptr);
    m_scope.reset();
    m_device.reset();
    EXPECT_EQ(*detached, 1);
    // The detach entry could still ask the device for its own name.
    EXPECT_EQ(*nameLength, static_cast<int>(std::u16string_view(u"\\Windows\\testmod.dll").size()));
}

TEST_F(ModuleLoader, ModuleHandlesAreFoundByNameOrPath) {
    SetLastError(kSentinel);
    EXPECT_EQ(GetModuleHandleW(u"testmod.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE module = LoadLibraryW(u"testmod");
    EXPECT_EQ(GetModuleHandleW(u"TESTMOD"), module);
    EXPECT_EQ(GetModuleHandleW(u"\\windows\\TestMod.dll"), module);
    EXPECT_EQ(GetModuleHandleW(u"\\Skins\\testmod.dll"), nullptr);
    FreeLibrary(module);
    EXPECT_EQ(GetModuleHandleW(u"testmod.dll"), nullptr);
}

TEST_F(ModuleLoader, RunningProgramIsTheNullModuleWithItsOwnResources) {
    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);
    // A program started from the host, not from the image, is named after its file in \Windows.
    std::u16string expected = u"\\Windows\\" + FromUtf8(fs::read_symlink("/proc/self/exe").filename().string());
    EXPECT_EQ(FileNameOf(nullptr), expected);
    EXPECT_EQ(FileNameOf(self), expected);
    WCHAR text[64];
    ASSERT_GT(LoadStringW(nullptr, IDS_SELF_PROGRAM, text, 64), 0) << GetLastError();
    EXPECT_EQ(std::u16string(text), u"The test program's own string");
    EXPECT_EQ(LoadStringW(self, IDS_SELF_PROGRAM, text, 64), 29);
}

TEST_F(ModuleLoader, FileNameIsCutToTheBufferAndTerminated) {
    HMODULE module = LoadLibraryW(u"testmod");
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kSentinel);
    EXPECT_EQ(GetModuleFileNameW(module, buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer), u"\\Win");
    EXPECT_EQ(buffer[5], u'#');

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kSentinel);
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x40000000), buffer, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(buffer[0], u'#');
    FreeLibrary(module);
}

// Resource calls behave the same on the ARM PE32 skin and the PE32+ one.
class ResourceCalls : public ModuleLoader, public ::testing::WithParamInterface<const char16_t*> {
protected:
    void SetUp() override {
        ModuleLoader::SetUp();
        m_module = LoadLibraryW(GetParam());
        ASSERT_NE(m_module, nullptr) << GetLastError();
    }
    HMODULE m_module = nullptr;
};

TEST_P(ResourceCalls, ResourcesAreFoundLoadedAndSized) {
    HRSRC byName = FindResourceW(m_module, u"layout", u"rc_data");
    ASSERT_NE(byName, nullptr) << GetLastError();
    HRSRC byNumber = FindResourceW(m_module, u"#201", u"RC_DATA");
    ASSERT_NE(byNumber, nullptr);
    EXPECT_EQ(FindResourceW(m_module, MAKEINTRESOURCEW(IDR_NUMERIC_DATA), u"RC_DATA"), byNumber);
    const char expected[] = "Layout data for the resource tests.\n";
    ASSERT_EQ(SizeofResource(m_module, byName), sizeof expected - 1);
    const void* data = LockResource(LoadResource(m_module, byName));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(data), sizeof expected - 1), expected);

    SetLastError(kSentinel);
    EXPECT_EQ(FindResourceW(m_module, u"LAYOUT", u"NOTYPE"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_EQ(FindResourceW(m_module, u"NONAME", u"RC_DATA"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_P(ResourceCalls, ResourceHandlesAreCheckedAgainstTheirModule) {
    HMODULE other = LoadLibraryW(u"testmod");
    HRSRC resource = FindResourceW(m_module, u"LAYOUT", u"RC_DATA");
    ASSERT_TRUE(other && resource);
    for (auto [module, handle] : {std::pair{other, resource},
                                  std::pair{m_module, reinterpret_cast<HRSRC>(reinterpret_cast<uintptr_t>(resource) + 1)},
                                  std::pair{m_module, reinterpret_cast<HRSRC>(0x10)}}) {
        SetLastError(kSentinel);
        EXPECT_EQ(LoadResource(module, handle), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(SizeofResource(module, handle), 0u);
    }
    FreeLibrary(other);
}

TEST_P(ResourceCalls, StringsAreCopiedOrLentInPlace) {
    WCHAR buffer[8];
    EXPECT_EQ(LoadStringW(m_module, IDS_SECOND, buffer, 8), 6);
    EXPECT_EQ(std::u16string(buffer), u"Second");
    // Copies stop one short of the size and are terminated.
    EXPECT_EQ(LoadStringW(m_module, IDS_FIRST, buffer, 6), 5);
    EXPECT_EQ(std::u16string(buffer), u"First");

    const WCHAR* inPlace = reinterpret_cast<const WCHAR*>(uintptr_t{kSentinel});
    EXPECT_EQ(LoadStringW(m_module, IDS_UNICODE, reinterpret_cast<LPWSTR>(&inPlace), 0), 14);
    EXPECT_EQ(std::u16string_view(inPlace, 14), u"Привет, Ελλάδα");

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kSentinel);
    EXPECT_EQ(LoadStringW(m_module, 3, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'#');
    inPlace = reinterpret_cast<const WCHAR*>(uintptr_t{kSentinel});
    EXPECT_EQ(LoadStringW(m_module, IDS_EMPTY, reinterpret_cast<LPWSTR>(&inPlace), 0), 0);
    EXPECT_EQ(inPlace, reinterpret_cast<const WCHAR*>(uintptr_t{kSentinel}));
}

TEST_P(ResourceCalls, BitmapsBecomeDeviceBitmapsOfTheirStoredDepth) {
    const int ids[] = {IDB_BPP1, IDB_BPP1TD, IDB_BPP4, IDB_BPP8, IDB_BPP8TD, IDB_BPP24, IDB_BPP24TD, IDB_BPP32, IDB_BPP32BF};
    int i = 0;
    for (const auto& pattern : testdata::kPatternBitmaps) {
        SCOPED_TRACE(pattern.file);
        HBITMAP handle = LoadBitmapW(m_module, MAKEINTRESOURCEW(ids[i++]));
        ASSERT_NE(handle, nullptr) << GetLastError();
        EXPECT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_BITMAP));
        BITMAP info;
        std::memset(&info, 0xA5, sizeof info);
        ASSERT_EQ(GetObjectW(handle, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, pattern.width);
        EXPECT_EQ(info.bmHeight, pattern.height);
        EXPECT_EQ(info.bmBitsPixel, pattern.depth);
        EXPECT_EQ(info.bmPlanes, 1);
        EXPECT_EQ(info.bmWidthBytes, (pattern.width * pattern.depth + 15) / 16 * 2);
        host::Bitmap* bitmap = host::BitmapFromHandle(handle);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->Pixel(pattern.width - 1, 0), testdata::PatternPixel(pattern, pattern.width - 1, 0));
        EXPECT_EQ(bitmap->Pixel(0, pattern.height - 1), testdata::PatternPixel(pattern, 0, pattern.height - 1));
        EXPECT_TRUE(DeleteObject(handle));
    }
    HBITMAP mask = LoadBitmapW(m_module, u"keymask");
    ASSERT_NE(mask, nullptr);
    EXPECT_TRUE(DeleteObject(mask));
    SetLastError(kSentinel);
    EXPECT_EQ(LoadBitmapW(m_module, u"LAYOUT"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

INSTANTIATE_TEST_SUITE_P(ArmAndX64, ResourceCalls, ::testing::Values(u"\\Skins\\Blue.vxs", u"skin64"));

TEST(DeviceBitmap, DeletedAndMadeUpHandlesFindNothing) {
    HBITMAP handle = host::RegisterBitmap(host::Bitmap::Create(3, 2, 1));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GetObjectW(handle, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    BITMAP info;
    SetLastError(kSentinel);
    EXPECT_EQ(GetObjectW(handle, sizeof info - 1, &info), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(DeleteObject(handle));
    for (HGDIOBJ stale : {static_cast<HGDIOBJ>(handle), reinterpret_cast<HGDIOBJ>(0x1234), HGDIOBJ{}}) {
        std::memset(&info, 0xA5, sizeof info);
        SetLastError(kSentinel);
        EXPECT_EQ(GetObjectW(stale, sizeof info, &info), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(info.bmWidth, static_cast<LONG>(0xA5A5A5A5));
        EXPECT_FALSE(DeleteObject(stale));
        EXPECT_EQ(GetObjectType(stale), 0u);
    }
}

TEST_F(ModuleLoader, VersionInformationIsReadWithoutLoading) {
    int* attached = Counter("g_vxAttachCount");
    ASSERT_NE(attached, nullptr);
    DWORD handle = kSentinel;
    DWORD size = GetFileVersionInfoSizeW(u"\\Windows\\testmod.dll", &handle);
    ASSERT_GT(size, 0u) << GetLastError();
    EXPECT_EQ(handle, 0u);
    std::vector<uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(u"\\Windows\\testmod.dll", 0, size, block.data()));
    EXPECT_EQ(*attached, 0);

    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904B0\\FileDescription", &value, &length));
    EXPECT_EQ(std::u16string(static_cast<const WCHAR*>(value)), u"Test module");
    EXPECT_EQ(length, 12u);
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", &value, &length));
    EXPECT_EQ(static_cast<VS_FIXEDFILEINFO*>(value)->dwFileVersionMS, 0x00020005u);
    EXPECT_EQ(static_cast<VS_FIXEDFILEINFO*>(value)->dwFileVersionLS, 0x00000009u);

    DWORD skinSize = GetFileVersionInfoSizeW(u"\\Skins\\Blue.vxs", nullptr);
    ASSERT_GT(skinSize, 0u);
    block.assign(skinSize, 0);
    ASSERT_TRUE(GetFileVersionInfoW(u"\\Skins\\Blue.vxs", 0, skinSize, block.data()));
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length));
    EXPECT_EQ(length, 8u);
}

TEST_F(ModuleLoader, VersionQueriesFailCleanly) {
    struct Case {
        const char16_t* file;
        DWORD error;
    } cases[] = {
        {u"\\Windows\\missing.dll", ERROR_FILE_NOT_FOUND},
        {u"\\Windows\\notes.txt", ERROR_BAD_EXE_FORMAT},
        {nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        DWORD handle = kSentinel;
        SetLastError(kSentinel);
        EXPECT_EQ(GetFileVersionInfoSizeW(c.file, &handle), 0u);
        EXPECT_EQ(GetLastError(), c.error);
    }
    // A copy cut short answers only what it holds.
    std::vector<uint8_t> block(64, 0xA5);
    ASSERT_TRUE(GetFileVersionInfoW(u"\\Skins\\Blue.vxs", 0, 40, block.data()));
    EXPECT_EQ(block[40], 0xA5);
    LPVOID value = nullptr;
    UINT length = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\", &value, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(length, kSentinel);
}

TEST(ModuleLoaderWithoutDevice, CallsFailCleanly) {
    host::ScopedDevice none(nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryW(u"testmod"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    WCHAR text[4];
    EXPECT_EQ(LoadStringW(nullptr, 1, text, 4), 0);
    EXPECT_EQ(FindResourceW(nullptr, u"A", u"B"), nullptr);
    EXPECT_EQ(GetFileVersionInfoSizeW(u"\\Windows\\x.dll", nullptr), 0u);
}

}  // namespace

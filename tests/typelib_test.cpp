// Type libraries: the header of a widl-built library from a file or a module's "TYPELIB"
// resource, refusal of damaged files, and registration under HKEY_CLASSES_ROOT\TypeLib.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/modules/typelib.h"
#include "imshell_fixture.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "test_image.h"

namespace fs = std::filesystem;

namespace {

// {6B3A9C1E-0D52-4E8F-9A77-2C41F0B8D3A5}, library SampleLib of data_src/typelib_sample.idl.
const GUID kSampleLib = DEFINE_GUID_VALUE(0x6B3A9C1E, 0x0D52, 0x4E8F, 0x9A, 0x77, 0x2C, 0x41, 0xF0, 0xB8, 0xD3, 0xA5);
// {D0E1F2A3-B4C5-4D6E-8F70-8192A3B4C5D6}, library BareLib of data_src/typelib_bare.idl.
const GUID kBareLib = DEFINE_GUID_VALUE(0xD0E1F2A3, 0xB4C5, 0x4D6E, 0x8F, 0x70, 0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6);
ITypeLib* const kBadLib = reinterpret_cast<ITypeLib*>(uintptr_t(0xDEADBEEF));
const char16_t kSampleKey[] = u"TypeLib\\{6B3A9C1E-0D52-4E8F-9A77-2C41F0B8D3A5}";

std::vector<uint8_t> ReadHost(const char* name) {
    std::ifstream in(fs::path(VX_TEST_DATA_DIR) / name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Put32(std::vector<uint8_t>& data, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The default value of a key under HKEY_CLASSES_ROOT, or "<missing>".
std::u16string DefaultOf(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<missing>";
    WCHAR buffer[300] = {};
    DWORD size = sizeof(buffer) - sizeof(WCHAR), type = 0;
    const LONG result = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return u"<missing>";
    return buffer;
}

bool KeyExists(const std::u16string& path) { return imtest::KeyExists(HKEY_CLASSES_ROOT, path.c_str()); }

class TypeLibTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        fs::create_directories(m_device->StoreRoot() / "Windows");
    }
    void Install(const char* hostName, const char16_t* devicePath) {
        InstallFile(fs::path(VX_TEST_DATA_DIR) / hostName, devicePath);
    }
    void WriteDeviceFile(const char* name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(m_device->StoreRoot() / "Windows" / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ITypeLib* Load(const char16_t* path) {
        ITypeLib* lib = kBadLib;
        const HRESULT hr = LoadTypeLib(path, &lib);
        EXPECT_EQ(S_OK, hr) << std::hex << hr;
        return SUCCEEDED(hr) ? lib : nullptr;
    }
};

// What the sample library declares, however it was loaded.
void ExpectSampleLibrary(ITypeLib* lib) {
    ASSERT_NE(nullptr, lib);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_EQ(kSampleLib, attr->guid);
    EXPECT_EQ(0x0419, attr->lcid);
    EXPECT_EQ(SYS_WIN32, attr->syskind);
    EXPECT_EQ(2, attr->wMajorVerNum);
    EXPECT_EQ(12, attr->wMinorVerNum);
    EXPECT_EQ(LIBFLAG_FHIDDEN, attr->wLibFlags);
    lib->ReleaseTLibAttr(attr);

    BSTR name = nullptr, doc = nullptr, file = nullptr;
    DWORD context = 0xDEADBEEF;
    ASSERT_EQ(S_OK, lib->GetDocumentation(MEMBERID_NIL, &name, &doc, &context, &file));
    EXPECT_EQ(u"SampleLib", std::u16string(name));
    EXPECT_EQ(u"Sample 2.12 Type Library", std::u16string(doc));
    EXPECT_EQ(u"sample.hlp", std::u16string(file));
    EXPECT_EQ(42u, context);
    SysFreeString(name);
    SysFreeString(doc);
    SysFreeString(file);
}

// ---------------------------------------------------------------------------------------------
// Loading

// Missing texts come back as null strings, and a library without a declared locale is neutral.
// Registered, its version key holds the library's name, under locale 0.
TEST_F(TypeLibTest, BareLibraryHasNullTextsAndRegistersByName) {
    Install("typelib_bare.tlb", u"\\Windows\\bare.tlb");
    ITypeLib* lib = Load(u"\\Windows\\bare.tlb");
    ASSERT_NE(nullptr, lib);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_EQ(kBareLib, attr->guid);
    EXPECT_EQ(0, attr->lcid);
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0, attr->wLibFlags);
    lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = reinterpret_cast<BSTR>(kBadLib), file = reinterpret_cast<BSTR>(kBadLib);
    ASSERT_EQ(S_OK, lib->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, &file));
    EXPECT_EQ(u"BareLib", std::u16string(name));
    EXPECT_EQ(nullptr, doc);
    EXPECT_EQ(nullptr, file);
    SysFreeString(name);
    // Only the library itself is documented; an index past the type descriptions is not there.
    name = reinterpret_cast<BSTR>(kBadLib);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetDocumentation(0, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, name);

    ASSERT_EQ(S_OK, RegisterTypeLib(lib, u"\\Windows\\bare.tlb", nullptr));
    const std::u16string version = u"TypeLib\\{D0E1F2A3-B4C5-4D6E-8F70-8192A3B4C5D6}\\1.0";
    EXPECT_EQ(u"BareLib", DefaultOf(version));
    EXPECT_EQ(u"\\Windows\\bare.tlb", DefaultOf(version + u"\\0\\win32"));
    EXPECT_EQ(u"0", DefaultOf(version + u"\\FLAGS"));
    lib->Release();
}

// A .tlb file, and a module's resource "TYPELIB" 1 in a PE resource library or an ELF library,
// give the library's identifier, version, locale, system kind, flags, texts, and its type
// descriptions with their kinds, names and help strings.
TEST_F(TypeLibTest, ReadsTheHeaderFromAFileOrAModule) {
    Install("typelib_sample.tlb", u"\\Windows\\sample.tlb");
    Install("typelib_module.dll", u"\\Windows\\tlbres.dll");
    Install("typelib_module.so", u"\\Windows\\tlbelf.dll");
    for (const char16_t* path : {u"\\Windows\\sample.tlb", u"\\Windows\\tlbres.dll", u"\\Windows\\tlbelf.dll"}) {
        SCOPED_TRACE(ToUtf8(path));
        ITypeLib* lib = Load(path);
        ExpectSampleLibrary(lib);
        if (!lib) continue;
        // ISample, the co-class Sample and the IUnknown that ISample derives from.
        ASSERT_EQ(3u, lib->GetTypeInfoCount());
        std::string types;
        for (INT i = 0; i < 3; ++i) {
            TYPEKIND kind = TKIND_MAX;
            BSTR name = nullptr, doc = nullptr;
            ASSERT_EQ(S_OK, lib->GetTypeInfoType(static_cast<UINT>(i), &kind));
            ASSERT_EQ(S_OK, lib->GetDocumentation(i, &name, &doc, nullptr, nullptr));
            types += std::to_string(kind) + " " + ToUtf8(name) + (doc ? " \"" + ToUtf8(doc) + "\"" : "") + "\n";
            SysFreeString(name);
            SysFreeString(doc);
        }
        EXPECT_EQ("3 ISample\n3 IUnknown\n5 Sample \"Sample Class\"\n", types);
        TYPEKIND kind = TKIND_MAX;
        EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetTypeInfoType(3, &kind));
        EXPECT_EQ(TKIND_MAX, kind);
        EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetDocumentation(3, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(0u, lib->Release());
    }
}

// Bad arguments fail with E_INVALIDARG; a missing file, a file that is no type library and a
// module without the resource fail with TYPE_E_CANTLOADLIBRARY. The out pointer is null after.
TEST_F(TypeLibTest, RefusesWhatIsNoTypeLibrary) {
    ITypeLib* lib = kBadLib;
    EXPECT_EQ(E_INVALIDARG, LoadTypeLib(nullptr, &lib));
    EXPECT_EQ(nullptr, lib);
    EXPECT_EQ(E_INVALIDARG, LoadTypeLib(u"\\Windows\\sample.tlb", nullptr));

    WriteDeviceFile("empty.tlb", {});
    WriteDeviceFile("text.tlb", {'h', 'e', 'l', 'l', 'o'});
    Install("typelib_bare.tlb", u"\\Windows\\bare.tlb");
    Install("skin_x64.dll", u"\\Windows\\noresource.dll");
    for (const char16_t* path : {u"\\Windows\\missing.tlb", u"\\Windows\\empty.tlb", u"\\Windows\\text.tlb",
                                 u"\\Windows\\noresource.dll", u"\\Windows", u"\\..\\bare.tlb"}) {
        SCOPED_TRACE(ToUtf8(path));
        lib = kBadLib;
        EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLib(path, &lib));
        EXPECT_EQ(nullptr, lib);
    }
}

// Every prefix that cuts the header, the segment directory or any table is refused.
TEST_F(TypeLibTest, RefusesEveryTruncation) {
    const std::vector<uint8_t> whole = ReadHost("typelib_sample.tlb");
    ASSERT_GT(whole.size(), 0x150u);
    const size_t directory = 0x54 + 4 * size_t(whole[0x20]);
    size_t tablesEnd = 0;
    for (size_t i = 0; i < 15; ++i) {
        const uint8_t* entry = whole.data() + directory + 16 * i;
        const int32_t offset = int32_t(entry[0] | entry[1] << 8 | entry[2] << 16 | uint32_t(entry[3]) << 24);
        const int32_t length = int32_t(entry[4] | entry[5] << 8 | entry[6] << 16 | uint32_t(entry[7]) << 24);
        if (offset >= 0) tablesEnd = std::max(tablesEnd, size_t(offset) + size_t(length));
    }
    ASSERT_GT(tablesEnd, directory + 15 * 16);
    host::TypeLibHeader header;
    for (size_t size = 0; size < tablesEnd; ++size)
        EXPECT_FALSE(host::ParseTypeLibHeader(whole.data(), size, &header, nullptr)) << "size " << size;
    std::string reason;
    EXPECT_TRUE(host::ParseTypeLibHeader(whole.data(), whole.size(), &header, &reason)) << reason;

    WriteDeviceFile("cut.tlb", std::vector<uint8_t>(whole.begin(), whole.begin() + 0x100));
    ITypeLib* lib = kBadLib;
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLib(u"\\Windows\\cut.tlb", &lib));
    EXPECT_EQ(nullptr, lib);
}

// Offsets and lengths that point outside their tables are refused, not followed.
TEST_F(TypeLibTest, RefusesOffsetsOutsideTheirTables) {
    const std::vector<uint8_t> whole = ReadHost("typelib_sample.tlb");
    ASSERT_GT(whole.size(), 0x150u);
    const uint32_t count = whole[0x20];
    const size_t directory = 0x54 + 4 * count;
    auto segmentOffset = [&](size_t index) {
        return uint32_t(whole[directory + 16 * index]) | uint32_t(whole[directory + 16 * index + 1]) << 8;
    };
    const size_t strings = segmentOffset(8), names = segmentOffset(7), types = segmentOffset(0);
    struct Patch {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const Patch patches[] = {
        {"bad magic", 0x00, 0x54534D46},
        {"library identifier past its table", 0x08, 0x7FFFFFF0},
        {"negative library identifier", 0x08, 0xFFFFFFF0},
        {"huge type description count", 0x20, 0x7FFFFFFF},
        {"negative type description count", 0x20, 0x80000000},
        {"help string past its table", 0x24, 0x00010000},
        {"name past its table", 0x38, 0x00010000},
        {"help file past its table", 0x3C, 0x7FFFFFFF},
        {"unknown system kind", 0x14, 0x5F},
        {"help string library flag shifts the directory", 0x14, 0x151},
        {"segment offset past the file", directory + 16 * 7, 0x00100000},
        {"negative segment length", directory + 16 * 8 + 4, 0xFFFFFFFE},
        {"help string longer than its table", strings + 0x0C, 0xFFFF},
        {"name longer than its table", names + 8, 0x7A0000FF},
        {"unknown type kind", types, 0x0F},
        {"type name past its table", types + 0x34, 0x00010000},
        {"type help string past its table", types + 0x64 + 0x3C, 0x00010000},
        {"type descriptions past their table", directory + 4, 0x00000010},
    };
    host::TypeLibHeader header;
    for (const Patch& patch : patches) {
        std::vector<uint8_t> bad = whole;
        Put32(bad, patch.at, patch.value);
        std::string reason;
        EXPECT_FALSE(host::ParseTypeLibHeader(bad.data(), bad.size(), &header, &reason)) << patch.what;
        EXPECT_FALSE(reason.empty()) << patch.what;
    }
}

// ---------------------------------------------------------------------------------------------
// Registration

// The version key (hexadecimal, as the platform writes it) holds the help string; below it the
// locale's path, the flags and the help folder.
TEST_F(TypeLibTest, RegistersUnderTheLibraryIdentifier) {
    Install("typelib_sample.tlb", u"\\Windows\\sample.tlb");
    ITypeLib* lib = Load(u"\\Windows\\sample.tlb");
    ASSERT_NE(nullptr, lib);
    ASSERT_EQ(S_OK, RegisterTypeLib(lib, u"\\Windows\\sample.tlb", u"\\Windows"));
    const std::u16string version = std::u16string(kSampleKey) + u"\\2.c";
    EXPECT_EQ(u"Sample 2.12 Type Library", DefaultOf(version));
    EXPECT_EQ(u"\\Windows\\sample.tlb", DefaultOf(version + u"\\419\\win32"));
    EXPECT_EQ(u"4", DefaultOf(version + u"\\FLAGS"));
    EXPECT_EQ(u"\\Windows", DefaultOf(version + u"\\HELPDIR"));
    // Registering again rewrites the same values.
    ASSERT_EQ(S_OK, RegisterTypeLib(lib, u"\\Windows\\other.tlb", nullptr));
    EXPECT_EQ(u"\\Windows\\other.tlb", DefaultOf(version + u"\\419\\win32"));
    EXPECT_EQ(u"", DefaultOf(version + u"\\HELPDIR"));

    EXPECT_EQ(E_INVALIDARG, RegisterTypeLib(nullptr, u"\\Windows\\sample.tlb", nullptr));
    EXPECT_EQ(E_INVALIDARG, RegisterTypeLib(lib, nullptr, nullptr));
    lib->Release();
}

// Unregistering removes the locale's entry, then whatever it leaves empty; another locale of
// the same version keeps the version key. An unknown registration fails.
TEST_F(TypeLibTest, UnregistersOnlyWhatItOwns) {
    Install("typelib_sample.tlb", u"\\Windows\\sample.tlb");
    ITypeLib* lib = Load(u"\\Windows\\sample.tlb");
    ASSERT_NE(nullptr, lib);
    ASSERT_EQ(S_OK, RegisterTypeLib(lib, u"\\Windows\\sample.tlb", u"\\Windows"));
    lib->Release();
    const std::u16string version = std::u16string(kSampleKey) + u"\\2.c";

    EXPECT_EQ(TYPE_E_REGISTRYACCESS, UnRegisterTypeLib(kSampleLib, 2, 12, 0x0409, SYS_WIN32));
    EXPECT_EQ(TYPE_E_REGISTRYACCESS, UnRegisterTypeLib(kSampleLib, 2, 11, 0x0419, SYS_WIN32));
    EXPECT_EQ(TYPE_E_REGISTRYACCESS, UnRegisterTypeLib(kBareLib, 1, 0, 0, SYS_WIN32));

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, (version + u"\\0\\win32").c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(S_OK, UnRegisterTypeLib(kSampleLib, 2, 12, 0x0419, SYS_WIN32));
    EXPECT_FALSE(KeyExists(version + u"\\419"));
    EXPECT_TRUE(KeyExists(version + u"\\FLAGS"));

    EXPECT_EQ(S_OK, UnRegisterTypeLib(kSampleLib, 2, 12, 0, SYS_WIN32));
    EXPECT_FALSE(KeyExists(kSampleKey));
    EXPECT_TRUE(KeyExists(u"TypeLib"));
}

}  // namespace

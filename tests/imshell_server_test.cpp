// The vexor library as an in-process COM server, loaded from an image as the SIP loads it: the
// class object contract, reference counting, aggregation, unloading, registration and the
// library's resources.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/windows/window.h"
#include "imshell_fixture.h"
#include "platform/gdi.h"
#include "platform/oleauto.h"
#include "platform/sip.h"

namespace fs = std::filesystem;
using namespace imtest;

namespace {

const CLSID kOtherClass = DEFINE_GUID_VALUE(0x1D8E6C3B, 0x5A47, 0x4F29, 0xB0, 0xC1, 0x8E, 0x2F, 0x4A, 0x6D, 0x9B, 0x70);
const IID kIKeybInput = DEFINE_GUID_VALUE(0x47E93E3D, 0x8036, 0x446B, 0x82, 0x36, 0x90, 0xB6, 0x7B, 0x68, 0x10, 0x18);
const GUID kLibId = DEFINE_GUID_VALUE(0x7003B863, 0xE71D, 0x45D8, 0x90, 0xAA, 0x16, 0xDB, 0x9A, 0x05, 0xC9, 0x06);

// An outer object that counts the references its inner object forwards to it.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        ++queries;
        if (riid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
    int queries = 0;
};

// The names a 64-bit ELF library exports: the defined global and weak symbols of its dynamic
// symbol table. Empty when the file cannot be read as one.
std::set<std::string> DefinedDynamicSymbols(const char* path) {
    std::set<std::string> names;
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < sizeof(Elf64_Ehdr) || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0) return names;
    Elf64_Ehdr header;
    std::memcpy(&header, file.data(), sizeof header);
    auto section = [&](size_t index) {
        Elf64_Shdr s{};
        const size_t at = header.e_shoff + index * sizeof(Elf64_Shdr);
        if (at + sizeof s <= file.size()) std::memcpy(&s, file.data() + at, sizeof s);
        return s;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr strings = section(symbols.sh_link);
        for (size_t at = symbols.sh_offset; at + sizeof(Elf64_Sym) <= symbols.sh_offset + symbols.sh_size &&
                                            at + sizeof(Elf64_Sym) <= file.size();
             at += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, file.data() + at, sizeof symbol);
            const int binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
            if (strings.sh_offset + symbol.st_name < file.size())
                names.insert(std::string(file.data() + strings.sh_offset + symbol.st_name));
        }
    }
    return names;
}

class VexorServer : public VexorImage {
protected:
    void SetUp() override {
        VexorImage::SetUp();
        if (HasFatalFailure()) return;
        getClassObject = Export<DllGetClassObjectProc>(u"DllGetClassObject");
        canUnloadNow = Export<DllCanUnloadNowProc>(u"DllCanUnloadNow");
        registerServer = Export<DllRegisterServerProc>(u"DllRegisterServer");
        unregisterServer = Export<DllRegisterServerProc>(u"DllUnregisterServer");
        ASSERT_TRUE(getClassObject && canUnloadNow && registerServer && unregisterServer);
    }

    IClassFactory* Factory() {
        void* object = nullptr;
        EXPECT_EQ(S_OK, getClassObject(kClsidKeybInput, IID_IClassFactory, &object));
        return static_cast<IClassFactory*>(object);
    }

    DllGetClassObjectProc getClassObject = nullptr;
    DllCanUnloadNowProc canUnloadNow = nullptr;
    DllRegisterServerProc registerServer = nullptr;
    DllRegisterServerProc unregisterServer = nullptr;
};

// The library exports only the server entry points and its entry point.
TEST_F(VexorServer, ExportsTheServerEntryPoints) {
    EXPECT_EQ(DefinedDynamicSymbols(VX_VEXOR_LIBRARY),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllMain", "DllRegisterServer",
                                     "DllUnregisterServer"}));
    EXPECT_NE(nullptr, GetProcAddressW(m_module, u"DllMain"));
}

// DllGetClassObject: a null out pointer is E_POINTER; an unknown class fails with
// CLASS_E_CLASSNOTAVAILABLE and a null result; the factory answers IUnknown and IClassFactory
// only, and is the same object on every request.
TEST_F(VexorServer, ClassObjectErrorsAndIdentity) {
    EXPECT_EQ(E_POINTER, getClassObject(kClsidKeybInput, IID_IClassFactory, nullptr));
    void* object = kBadPointer;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(kOtherClass, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    object = kBadPointer;
    EXPECT_EQ(E_NOINTERFACE, getClassObject(kClsidKeybInput, IID_IInputMethod, &object));
    EXPECT_EQ(nullptr, object);

    IClassFactory* first = Factory();
    ASSERT_NE(nullptr, first);
    void* unknown = nullptr;
    ASSERT_EQ(S_OK, getClassObject(kClsidKeybInput, IID_IUnknown, &unknown));
    EXPECT_EQ(static_cast<IUnknown*>(first), unknown);
    static_cast<IUnknown*>(unknown)->Release();
    first->Release();
    // Held only by the module, it is still the same factory on the next request.
    IClassFactory* second = Factory();
    EXPECT_EQ(first, second);
    second->Release();
}

// The object answers exactly IInputMethod and IInputMethod2 on one table, IUnknown through the
// first; its reference count goes up and down by one, and the last Release lets the library go.
TEST_F(VexorServer, ObjectInterfacesAndReferences) {
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    void* object = kBadPointer;
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IInputMethod, nullptr));
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, canUnloadNow()) << "a failed creation leaves no object behind";

    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IInputMethod, &object));
    auto* im = static_cast<IInputMethod*>(object);
    EXPECT_EQ(S_FALSE, canUnloadNow());
    EXPECT_EQ(2u, im->AddRef());
    EXPECT_EQ(1u, im->Release());

    void* im2 = nullptr;
    void* unknown = nullptr;
    ASSERT_EQ(S_OK, im->QueryInterface(IID_IInputMethod2, &im2));
    ASSERT_EQ(S_OK, im->QueryInterface(IID_IUnknown, &unknown));
    EXPECT_EQ(object, im2);
    EXPECT_EQ(object, unknown);
    EXPECT_EQ(4u, im->AddRef()) << "each successful query took one reference";
    EXPECT_EQ(3u, im->Release());
    static_cast<IUnknown*>(im2)->Release();
    static_cast<IUnknown*>(unknown)->Release();

    for (const IID* iid : {&kIKeybInput, &IID_IClassFactory, &IID_IIMCallback}) {
        void* none = kBadPointer;
        EXPECT_EQ(E_NOINTERFACE, im->QueryInterface(*iid, &none));
        EXPECT_EQ(nullptr, none);
    }
    EXPECT_EQ(E_POINTER, im->QueryInterface(IID_IInputMethod, nullptr));

    EXPECT_EQ(0u, im->Release());
    EXPECT_EQ(S_OK, canUnloadNow());
    factory->Release();
}

// DllCanUnloadNow answers S_OK only while no object lives and no LockServer is outstanding;
// references to the factory alone do not keep the library.
TEST_F(VexorServer, UnloadFollowsTheLockCount) {
    EXPECT_EQ(S_OK, canUnloadNow());
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_OK, canUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IInputMethod2, &a));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IInputMethod, &b));
    EXPECT_NE(a, b);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    static_cast<IUnknown*>(a)->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    static_cast<IUnknown*>(b)->Release();
    EXPECT_EQ(S_OK, canUnloadNow());
    factory->Release();
}

// Aggregation: an outer unknown may ask for IUnknown only (anything else is
// CLASS_E_NOAGGREGATION with a null result). The inner IUnknown is its own; every interface it
// hands out forwards IUnknown calls to the outer object, whose count they change.
TEST_F(VexorServer, AggregatedObjectDelegatesToTheOuterUnknown) {
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    Outer outer;
    void* object = kBadPointer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IInputMethod, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, canUnloadNow());

    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, &object));
    auto* inner = static_cast<IUnknown*>(object);
    EXPECT_EQ(1u, outer.refs) << "creating the inner object takes no reference on the outer one";
    EXPECT_EQ(S_FALSE, canUnloadNow());

    void* self = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, &self));
    EXPECT_EQ(inner, self);
    EXPECT_EQ(1u, inner->Release());

    void* im = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IInputMethod2, &im));
    EXPECT_NE(im, static_cast<void*>(inner));
    EXPECT_EQ(2u, outer.refs);
    auto* method = static_cast<IInputMethod2*>(im);
    EXPECT_EQ(3u, method->AddRef());
    EXPECT_EQ(2u, method->Release());

    void* back = nullptr;
    const int queries = outer.queries;
    ASSERT_EQ(S_OK, method->QueryInterface(IID_IUnknown, &back));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), back);
    EXPECT_EQ(queries + 1, outer.queries);
    outer.Release();
    method->Release();
    EXPECT_EQ(1u, outer.refs);

    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(S_OK, canUnloadNow());
    factory->Release();
}

// The panel window's class is registered by the first Select and unregistered when the
// library leaves the process.
TEST_F(VexorServer, UnloadingUnregistersThePanelClass) {
    const WCHAR* const panelClass = u"D79FF5E2-3F2D-4EDF-9DFA-8EDAE42024BB-PocketExe";
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    void* object = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IInputMethod, &object));
    auto* im = static_cast<IInputMethod*>(object);
    HWND sip = host::CreateHostWindow(240, 80);
    EXPECT_EQ(S_OK, im->Select(sip));
    WNDCLASSW wc{};
    EXPECT_TRUE(GetClassInfoW(nullptr, panelClass, &wc));
    EXPECT_EQ(static_cast<HINSTANCE>(m_module), wc.hInstance);
    EXPECT_EQ(S_OK, im->Deselect());
    im->Release();
    factory->Release();
    host::DestroyHostWindow(sip);
    ASSERT_EQ(S_OK, canUnloadNow());
    EXPECT_TRUE(FreeLibrary(m_module));
    m_module = nullptr;
    EXPECT_FALSE(GetClassInfoW(nullptr, panelClass, &wc));
}

// ---------------------------------------------------------------------------------------------
// Registration

const std::map<std::string, std::string> kRegistration = {
    {"Vexor.KeybInput.1\\", "key"},
    {"Vexor.KeybInput.1|", "sz:Vexor Class"},
    {"Vexor.KeybInput.1\\CLSID\\", "key"},
    {"Vexor.KeybInput.1\\CLSID|", "sz:{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}"},
    {"Vexor.KeybInput\\", "key"},
    {"Vexor.KeybInput|", "sz:Vexor Class"},
    {"Vexor.KeybInput\\CLSID\\", "key"},
    {"Vexor.KeybInput\\CLSID|", "sz:{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}"},
    {"Vexor.KeybInput\\CurVer\\", "key"},
    {"Vexor.KeybInput\\CurVer|", "sz:Vexor.KeybInput.1"},
    {"CLSID\\", "key"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\", "key"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}|", "sz:Vexor Keyboard"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}|InputMode", "dword:2"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}|IsDefault", "dword:1"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}|SwipMode", "dword:1"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}|PrevMethod", "sz:{42429667-ae04-11d0-a4f8-00aa00a749b9}"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\ProgID\\", "key"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\ProgID|", "sz:Vexor.KeybInput.1"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\VersionIndependentProgID\\", "key"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\VersionIndependentProgID|", "sz:Vexor.KeybInput"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\InprocServer32\\", "key"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\InprocServer32|", "sz:\\Windows\\vexor.dll"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\InprocServer32|ThreadingModel", "sz:Free"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\TypeLib\\", "key"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\TypeLib|", "sz:{7003B863-E71D-45D8-90AA-16DB9A05C906}"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\IsSIPInputMethod\\", "key"},
    {"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\IsSIPInputMethod|", "sz:1"},
};

std::map<std::string, std::string> ClassesWithoutTypeLibs() {
    auto all = Snapshot(HKEY_CLASSES_ROOT, u"");
    std::erase_if(all, [](const auto& entry) { return entry.first.rfind("TypeLib\\", 0) == 0; });
    return all;
}

// Registration writes exactly the class table under HKEY_CLASSES_ROOT, plus the type library's
// registration, which points at the library itself.
TEST_F(VexorServer, RegistrationWritesTheClassTable) {
    ASSERT_EQ(S_OK, registerServer());
    EXPECT_EQ(kRegistration, ClassesWithoutTypeLibs());
    auto typeLib = Snapshot(HKEY_CLASSES_ROOT, u"TypeLib\\{7003B863-E71D-45D8-90AA-16DB9A05C906}\\1.0");
    EXPECT_EQ("sz:Vexor 1.0 Type Library", typeLib["|"]);
    EXPECT_EQ("sz:\\Windows\\vexor.dll", typeLib["409\\win32|"]);
    EXPECT_EQ("sz:\\Windows", typeLib["HELPDIR|"]);
}

// ForceRemove replaces the class key whole: registering twice leaves one class key, without
// what was added under it in between. Unregistering removes the ProgIDs and the class key but
// keeps HKEY_CLASSES_ROOT\CLSID and the other classes in it.
TEST_F(VexorServer, ReregistrationAndUnregistration) {
    SetText(HKEY_CLASSES_ROOT, u"CLSID\\{1D8E6C3B-5A47-4F29-B0C1-8E2F4A6D9B70}\\InprocServer32", nullptr,
            u"\\Windows\\other.dll");
    ASSERT_EQ(S_OK, registerServer());
    SetText(HKEY_CLASSES_ROOT, u"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\Stale", nullptr, u"x");
    ASSERT_EQ(S_OK, registerServer());
    auto classes = ClassesWithoutTypeLibs();
    int classKeys = 0;
    for (const auto& [name, value] : classes) classKeys += name == "CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\";
    EXPECT_EQ(1, classKeys);
    EXPECT_EQ(0u, classes.count("CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\Stale\\"));

    EXPECT_EQ(S_OK, unregisterServer());
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"CLSID\\", "key"},
                  {"CLSID\\{1D8E6C3B-5A47-4F29-B0C1-8E2F4A6D9B70}\\", "key"},
                  {"CLSID\\{1D8E6C3B-5A47-4F29-B0C1-8E2F4A6D9B70}\\InprocServer32\\", "key"},
                  {"CLSID\\{1D8E6C3B-5A47-4F29-B0C1-8E2F4A6D9B70}\\InprocServer32|", "sz:\\Windows\\other.dll"},
              }),
              ClassesWithoutTypeLibs());
    // Nothing registered: unregistering again still succeeds.
    EXPECT_EQ(S_OK, unregisterServer());
}

// A quote in the library's path is doubled for the script's quoted text and comes out whole.
TEST_F(VexorServer, ModulePathWithQuoteRegistersUnchanged) {
    fs::create_directories(m_device->StoreRoot() / "O'Neil's");
    InstallFile(VX_VEXOR_LIBRARY, u"\\O'Neil's\\vexor.dll");
    HMODULE other = LoadLibraryW(u"\\O'Neil's\\vexor.dll");
    ASSERT_NE(nullptr, other);
    auto reg = reinterpret_cast<DllRegisterServerProc>(GetProcAddressW(other, u"DllRegisterServer"));
    ASSERT_NE(nullptr, reg);
    EXPECT_EQ(S_OK, reg());
    auto server = Snapshot(HKEY_CLASSES_ROOT, u"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\InprocServer32");
    EXPECT_EQ("sz:\\O'Neil's\\vexor.dll", server["|"]);
    FreeLibrary(other);
}

// ---------------------------------------------------------------------------------------------
// Resources

const char* const kScriptLines[] = {
    "HKCR",
    "{",
    "\tVexor.KeybInput.1 = s 'Vexor Class'",
    "\t{",
    "\t\tCLSID = s '{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}'",
    "\t}",
    "\tVexor.KeybInput = s 'Vexor Class'",
    "\t{",
    "\t\tCLSID = s '{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}'",
    "\t\tCurVer = s 'Vexor.KeybInput.1'",
    "\t}",
    "\tNoRemove CLSID",
    "\t{",
    "\t\tForceRemove {0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629} = s 'Vexor Keyboard'",
    "\t\t{",
    "\t\t\tProgID = s 'Vexor.KeybInput.1'",
    "\t\t\tVersionIndependentProgID = s 'Vexor.KeybInput'",
    "\t\t\tInprocServer32 = s '%MODULE%'",
    "\t\t\t{",
    "\t\t\t\tval ThreadingModel = s 'Free'",
    "\t\t\t}",
    "\t\t\t'TypeLib' = s '{7003B863-E71D-45D8-90AA-16DB9A05C906}'",
    "\t\t\t'IsSIPInputMethod' = s '1'",
    "\t\t\tval 'InputMode' = d '2'",
    "\t\t\tval 'IsDefault' = d '1'",
    "\t\t\tval 'SwipMode' = d '1'",
    "\t\t\tval 'PrevMethod' = s '{42429667-ae04-11d0-a4f8-00aa00a749b9}'",
    "\t\t}",
    "\t}",
    "}",
};

// The registry script resource is the script above byte for byte: CR LF between lines, none
// after the last, 758 bytes.
TEST_F(VexorServer, RegistryScriptResource) {
    std::string expected;
    for (const char* line : kScriptLines) expected += std::string(expected.empty() ? "" : "\r\n") + line;
    HRSRC found = FindResourceW(m_module, MAKEINTRESOURCEW(101), u"REGISTRY");
    ASSERT_NE(nullptr, found);
    ASSERT_EQ(758u, SizeofResource(m_module, found));
    const char* data = static_cast<const char*>(LockResource(LoadResource(m_module, found)));
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(expected, std::string(data, 758));
}

// The library's string table, with the engine's string among its own.
TEST_F(VexorServer, StringTable) {
    const std::pair<UINT, const char*> strings[] = {
        {100, "Vexor"},
        {102, "Vexor 7: Options"},
        {103, "SKINS NOT FOUND"},
        {104, "Skin %s will be deleted. Are you sure?"},
        {105, "Last skin can't be deleted"},
        {106, "This skin is not for current resolution"},
        {107, "%s, %s\nBuild: %s"},
    };
    for (const auto& [id, text] : strings) {
        WCHAR buffer[128];
        const int length = LoadStringW(m_module, id, buffer, 128);
        EXPECT_EQ(std::string(text), ToUtf8(std::u16string(buffer, length > 0 ? length : 0))) << id;
    }
    WCHAR buffer[8] = u"#######";
    EXPECT_EQ(0, LoadStringW(m_module, 101, buffer, 8));
    // The engine's tables came along too.
    EXPECT_NE(nullptr, FindResourceW(m_module, u"charset_en", u"RC_DATA"));
}

// The version resource: 0.1.0.12 and the "040904b0" strings the options dialog shows.
TEST_F(VexorServer, VersionResource) {
    DWORD handle = 1;
    const DWORD size = GetFileVersionInfoSizeW(u"\\Windows\\vexor.dll", &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(u"\\Windows\\vexor.dll", 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00000001u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x0000000Cu, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00000001u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x0000000Cu, fixed->dwProductVersionLS);
    EXPECT_EQ(2u, fixed->dwFileType);
    const std::pair<const WCHAR*, const char*> strings[] = {
        {u"CompanyName", "Norvane"},          {u"FileDescription", "Vexor 7"},
        {u"InternalName", "Vexor"},           {u"OriginalFilename", "vexor.dll"},
        {u"FileVersion", "0, 1, 0, 12"},      {u"ProductVersion", "0, 1, 0, 12"},
    };
    for (const auto& [name, text] : strings) {
        WCHAR* value = nullptr;
        const std::u16string path = std::u16string(u"\\StringFileInfo\\040904b0\\") + name;
        ASSERT_TRUE(VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            << ToUtf8(name);
        EXPECT_EQ(std::string(text), ToUtf8(value));
    }
    WCHAR* legal = nullptr;
    EXPECT_TRUE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\LegalCopyright",
                               reinterpret_cast<void**>(&legal), &length));
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(0x04B0, translation[1]);
}

// The embedded type library: VEXORLib 1.0, locale 0x0409, 32-bit Windows, with its help string,
// describing the class and its interface and nothing else: the standard types it refers to are
// imported, not copied in.
TEST_F(VexorServer, TypeLibraryResource) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLib(u"\\Windows\\vexor.dll", &lib));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_TRUE(attr->guid == kLibId);
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0x0409u, attr->lcid);
    EXPECT_EQ(SYS_WIN32, attr->syskind);
    lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(S_OK, lib->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
    EXPECT_EQ("VEXORLib", ToUtf8(name));
    EXPECT_EQ("Vexor 1.0 Type Library", ToUtf8(doc));
    SysFreeString(name);
    SysFreeString(doc);
    ASSERT_EQ(2u, lib->GetTypeInfoCount());
    std::set<std::string> types;
    for (INT i = 0; i < 2; ++i) {
        TYPEKIND kind = TKIND_MAX;
        ASSERT_EQ(S_OK, lib->GetTypeInfoType(static_cast<UINT>(i), &kind));
        ASSERT_EQ(S_OK, lib->GetDocumentation(i, &name, nullptr, nullptr, nullptr));
        types.insert(ToUtf8(name) + (kind == TKIND_COCLASS ? " class" : kind == TKIND_DISPATCH ? " dispatch" : " other"));
        SysFreeString(name);
    }
    EXPECT_EQ((std::set<std::string>{"KeybInput class", "IKeybInput dispatch"}), types);
    lib->Release();
}

// The stored DIB of a bitmap resource: its header and pixel bytes.
struct StoredDib {
    BITMAPINFOHEADER header{};
    std::vector<RGBQUAD> palette;
    std::vector<uint8_t> bits;
};

StoredDib ReadDib(HMODULE module, UINT id) {
    StoredDib dib;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_BITMAP);
    if (!found) return dib;
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    const DWORD size = SizeofResource(module, found);
    if (!data || size < sizeof(BITMAPINFOHEADER)) return dib;
    std::memcpy(&dib.header, data, sizeof dib.header);
    size_t offset = dib.header.biSize;
    if (dib.header.biBitCount <= 8) {
        const size_t colours = dib.header.biClrUsed ? dib.header.biClrUsed : size_t(1) << dib.header.biBitCount;
        dib.palette.resize(colours);
        std::memcpy(dib.palette.data(), data + offset, colours * sizeof(RGBQUAD));
        offset += colours * sizeof(RGBQUAD);
    }
    dib.bits.assign(data + offset, data + size);
    return dib;
}

// Icon 202: 16 x 16, 24-bit, silver background and a glyph in exactly one other colour.
// Icon 203: 32 x 16, 4-bit, only black and white pixels, both present.
TEST_F(VexorServer, IconBitmaps) {
    StoredDib narrow = ReadDib(m_module, 202);
    ASSERT_EQ(16, narrow.header.biWidth);
    ASSERT_EQ(16, narrow.header.biHeight);
    ASSERT_EQ(24, narrow.header.biBitCount);
    ASSERT_GE(narrow.bits.size(), 16u * 48u);
    std::set<uint32_t> colours;
    int silver = 0;
    for (size_t i = 0; i < 16u * 48u; i += 3) {
        const uint32_t colour = narrow.bits[i] | narrow.bits[i + 1] << 8 | narrow.bits[i + 2] << 16;
        colours.insert(colour);
        silver += colour == 0xC0C0C0;
    }
    EXPECT_EQ(2u, colours.size());
    EXPECT_GT(silver, 128) << "mostly background";
    EXPECT_EQ(0xC0C0C0u, narrow.bits[0] | narrow.bits[1] << 8 | narrow.bits[2] << 16);

    StoredDib wide = ReadDib(m_module, 203);
    ASSERT_EQ(32, wide.header.biWidth);
    ASSERT_EQ(16, wide.header.biHeight);
    ASSERT_EQ(4, wide.header.biBitCount);
    ASSERT_EQ(16u, wide.palette.size());
    ASSERT_GE(wide.bits.size(), 16u * 16u);
    int black = 0, white = 0;
    for (size_t i = 0; i < 16u * 16u; ++i)
        for (int nibble : {wide.bits[i] >> 4, wide.bits[i] & 15}) {
            const RGBQUAD& c = wide.palette[static_cast<size_t>(nibble)];
            const bool isBlack = c.rgbRed == 0 && c.rgbGreen == 0 && c.rgbBlue == 0;
            const bool isWhite = c.rgbRed == 255 && c.rgbGreen == 255 && c.rgbBlue == 255;
            ASSERT_TRUE(isBlack || isWhite) << "pixel byte " << i;
            black += isBlack;
            white += isWhite;
        }
    EXPECT_GT(black, 40);
    EXPECT_GT(white, black);
}

}  // namespace

// COM basics as the device behaves: GUID text, BSTRs, initialisation, class creation through
// built-in classes and registered in-process servers, and the memory stream.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "test_image.h"
#include "host/com/com_runtime.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/com.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/data/comserver.h"

namespace fs = std::filesystem;

namespace {

const GUID kSample = DEFINE_GUID_VALUE(0x0ADFAAAF, 0x2E1A, 0x4A75, 0x90, 0xA8, 0x6C, 0x1E, 0x62, 0xA3, 0xA6, 0x29);
const GUID kSentinel = DEFINE_GUID_VALUE(0xDEADBEEF, 0xBEEF, 0xBEEF, 0xDE, 0xAD, 0xBE, 0xEF, 0xDE, 0xAD, 0xBE, 0xEF);
// {1D8E6C3B-5A47-4F29-B0C1-8E2F4A6D9B70}: a class served by nobody.
const CLSID kUnregistered =
    DEFINE_GUID_VALUE(0x1D8E6C3B, 0x5A47, 0x4F29, 0xB0, 0xC1, 0x8E, 0x2F, 0x4A, 0x6D, 0x9B, 0x70);
// {9C4E2B71-0D3A-4E88-A5F6-3B1C7D9E2A40}: the built-in class the tests register.
const CLSID kBuiltin = DEFINE_GUID_VALUE(0x9C4E2B71, 0x0D3A, 0x4E88, 0xA5, 0xF6, 0x3B, 0x1C, 0x7D, 0x9E, 0x2A, 0x40);
void* const kBadPointer = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF));

std::u16string Text(const GUID& guid) {
    WCHAR buffer[39];
    return StringFromGUID2(guid, buffer, 39) ? std::u16string(buffer) : std::u16string();
}

class ComTest : public ImageTest {
protected:
    // Registers clsid's InprocServer32 default value; a null path makes the key without it.
    void RegisterServer(const CLSID& clsid, const WCHAR* path) {
        std::u16string key = u"CLSID\\" + Text(clsid) + u"\\InprocServer32";
        HKEY hkey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &hkey, nullptr));
        if (path) {
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hkey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                                                    DWORD((wcslen(path) + 1) * sizeof(WCHAR))));
        }
        RegCloseKey(hkey);
    }

    // Creates an object of clsid and releases it; a failure must leave the pointer null.
    static HRESULT TryCreate(const CLSID& clsid, const IID& iid = IID_IUnknown) {
        void* object = kBadPointer;
        HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &object);
        if (FAILED(hr)) {
            EXPECT_EQ(nullptr, object);
        } else {
            static_cast<IUnknown*>(object)->Release();
        }
        return hr;
    }

    // Copies a test server into \Windows of the image.
    void Install(const char* hostName, const WCHAR* devicePath) {
        fs::create_directories(m_device->StoreRoot() / "Windows");
        InstallFile(fs::path(VX_TEST_DATA_DIR) / hostName, devicePath);
    }
};

// ---------------------------------------------------------------------------------------------
// GUID text

// Braced text in either case parses; anything else fails with CO_E_CLASSSTRING and leaves the
// result alone.
TEST(ComGuid, ParsesOnlyTheBracedForm) {
    for (const WCHAR* text : {u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}", u"{0adfaaaf-2e1a-4a75-90a8-6c1e62a3a629}"}) {
        CLSID clsid = kSentinel;
        IID iid = kSentinel;
        EXPECT_EQ(S_OK, CLSIDFromString(text, &clsid));
        EXPECT_EQ(S_OK, IIDFromString(text, &iid));
        EXPECT_TRUE(clsid == kSample && iid == kSample) << ToUtf8(text);
    }
    for (const WCHAR* text : {
             u"", u"0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629", u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629",
             u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A62}", u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A6299}",
             u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}x", u"{0ADFAAAG-2E1A-4A75-90A8-6C1E62A3A629}",
             u"{0ADFAAAF+2E1A-4A75-90A8-6C1E62A3A629}", u"{0ADFAAAF-2E1A4-A75-90A8-6C1E62A3A629}",
             u"{ 0ADFAAF-2E1A-4A75-90A8-6C1E62A3A629}", u"Vexor.KeybInput"}) {
        CLSID clsid = kSentinel;
        IID iid = kSentinel;
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(text, &clsid)) << ToUtf8(text);
        EXPECT_EQ(CO_E_CLASSSTRING, IIDFromString(text, &iid)) << ToUtf8(text);
        EXPECT_TRUE(clsid == kSentinel && iid == kSentinel) << ToUtf8(text);
    }
    // No text names the null class; a missing result is an invalid argument.
    CLSID clsid = kSentinel;
    EXPECT_EQ(S_OK, CLSIDFromString(nullptr, &clsid));
    EXPECT_TRUE(clsid == GUID_NULL);
    EXPECT_EQ(E_INVALIDARG, CLSIDFromString(u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}", nullptr));
}

// Text is braced upper case; StringFromGUID2 needs room for 39 units and writes nothing otherwise.
// The interface identifiers have the platform's values, on which every server depends.
TEST(ComGuid, PrintsBracedUpperCase) {
    LPWSTR text = nullptr;
    ASSERT_EQ(S_OK, StringFromCLSID(kSample, &text));
    EXPECT_EQ(std::u16string(u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}"), text);
    CoTaskMemFree(text);
    EXPECT_EQ(E_INVALIDARG, StringFromIID(kSample, nullptr));

    WCHAR buffer[40];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(0, StringFromGUID2(kSample, buffer, 38));
    EXPECT_EQ(u'#', buffer[0]);
    EXPECT_EQ(39, StringFromGUID2(kSample, buffer, 39));
    EXPECT_EQ(u'#', buffer[39]);

    EXPECT_EQ(u"{00000000-0000-0000-C000-000000000046}", Text(IID_IUnknown));
    EXPECT_EQ(u"{00000001-0000-0000-C000-000000000046}", Text(IID_IClassFactory));
    EXPECT_EQ(u"{0C733A30-2A1C-11CE-ADE5-00AA0044773D}", Text(IID_ISequentialStream));
    EXPECT_EQ(u"{0000000C-0000-0000-C000-000000000046}", Text(IID_IStream));
    EXPECT_EQ(u"{00000000-0000-0000-0000-000000000000}", Text(GUID_NULL));
}

// A BSTR is preceded by its byte count; it may hold NULs and is always terminated; a null BSTR
// is the empty string.
TEST(ComBstr, CarriesItsByteCountBeforeTheText) {
    const WCHAR withNul[] = {u'a', 0, u'b'};
    BSTR s = SysAllocStringLen(withNul, 3);
    ASSERT_NE(nullptr, s);
    DWORD prefix = 0;
    memcpy(&prefix, reinterpret_cast<BYTE*>(s) - 4, 4);
    EXPECT_EQ(6u, prefix);
    EXPECT_EQ(3u, SysStringLen(s));
    EXPECT_EQ(u'b', s[2]);
    EXPECT_EQ(0, s[3]);
    SysFreeString(s);

    s = SysAllocStringLen(nullptr, 2);  // zero-filled
    ASSERT_NE(nullptr, s);
    EXPECT_TRUE(s[0] == 0 && s[1] == 0 && s[2] == 0 && SysStringByteLen(s) == 4);
    SysFreeString(s);

    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    // A length the device could never hold fails instead of wrapping the byte count.
    EXPECT_EQ(nullptr, SysAllocStringLen(nullptr, 0x40000000u));
}

// ---------------------------------------------------------------------------------------------
// Initialisation

// Calls are counted per thread: the first succeeds with S_OK, later ones with S_FALSE, and the
// model cannot change while the thread is initialised.
TEST_F(ComTest, InitialisationIsCountedPerThread) {
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    EXPECT_EQ(E_INVALIDARG, CoInitializeEx(kBadPointer, COINIT_MULTITHREADED));
    EXPECT_EQ(E_INVALIDARG, CoInitializeEx(nullptr, 0x100));

    // Another thread has not initialised COM.
    HRESULT other = S_OK;
    void* otherObject = kBadPointer;
    std::thread([&] { other = CoCreateInstance(kUnregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &otherObject); })
        .join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, other);
    EXPECT_EQ(nullptr, otherObject);

    // The two successful calls need two uninitialisations; the refused ones count for nothing.
    CoUninitialize();
    EXPECT_EQ(REGDB_E_CLASSNOTREG, TryCreate(kUnregistered));
    CoUninitialize();
    EXPECT_EQ(CO_E_NOTINITIALIZED, TryCreate(kUnregistered));
    // An unbalanced uninitialisation is ignored, and the thread may start again with another model.
    CoUninitialize();
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
}

// Each image starts with COM uninitialised, whatever an earlier image on this thread did.
TEST_F(ComTest, InitialisationBelongsToTheDevice) {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    std::string error;
    auto second = host::Device::Create(m_dir / "second", false, &error);
    ASSERT_TRUE(second) << error;
    host::ScopedDevice scope(second.get());
    EXPECT_EQ(CO_E_NOTINITIALIZED, TryCreate(kUnregistered));
}

// ---------------------------------------------------------------------------------------------
// Built-in classes

// A built-in class whose objects are memory streams; it counts its live factories.
std::atomic<int> g_builtinFactories{0};

class BuiltinFactory final : public IClassFactory {
public:
    BuiltinFactory() { ++g_builtinFactories; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        *object = (riid == IID_IUnknown || riid == IID_IClassFactory) ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--m_refs) return m_refs;
        --g_builtinFactories;
        delete this;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        *object = kBadPointer;  // a careless factory: the runtime must still hand back null
        if (outer) return CLASS_E_NOAGGREGATION;
        IStream* stream = host::CreateMemoryStream("built in", 8);
        HRESULT hr = stream->QueryInterface(riid, object);
        stream->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ULONG m_refs = 1;
};

IClassFactory* MakeBuiltinFactory() { return new BuiltinFactory; }
IClassFactory* MakeNothing() { return nullptr; }

class ComBuiltinTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        host::RegisterBuiltinClass(kBuiltin, MakeBuiltinFactory);
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    }
    void TearDown() override {
        CoUninitialize();
        host::UnregisterBuiltinClass(kBuiltin);
        ComTest::TearDown();
    }
};

// Built-in classes come before the registry: a registration pointing at a missing library does
// not hide them, and nothing is loaded for them. The factory is released after use.
TEST_F(ComBuiltinTest, BuiltinClassIsFoundBeforeTheRegistry) {
    RegisterServer(kBuiltin, u"\\Windows\\missing.dll");
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(kBuiltin, nullptr, CLSCTX_INPROC_SERVER, IID_IStream, reinterpret_cast<void**>(&stream)));
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(0, g_builtinFactories);
    EXPECT_EQ(0u, stream->Release());
    EXPECT_EQ(0u, m_device->Com().LoadedServerCount());

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(kBuiltin, CLSCTX_ALL, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(1, g_builtinFactories);
    factory->Release();

    // Once removed, the registry decides again, and its library is missing.
    ASSERT_TRUE(host::UnregisterBuiltinClass(kBuiltin));
    EXPECT_FALSE(host::UnregisterBuiltinClass(kBuiltin));
    EXPECT_EQ(CO_E_DLLNOTFOUND, TryCreate(kBuiltin));
}

// Every failure leaves the object pointer null, whatever the factory wrote into it.
TEST_F(ComBuiltinTest, FailuresLeaveTheObjectNull) {
    struct Case {
        HRESULT expected;
        IUnknown* outer;
        DWORD context;
        const IID* iid;
    } cases[] = {
        {E_NOINTERFACE, nullptr, CLSCTX_INPROC_SERVER, &IID_IClassFactory},
        {CLASS_E_NOAGGREGATION, reinterpret_cast<IUnknown*>(kBadPointer), CLSCTX_INPROC_SERVER, &IID_IUnknown},
        {E_NOTIMPL, nullptr, CLSCTX_LOCAL_SERVER, &IID_IUnknown},  // in-process servers only
    };
    for (const auto& c : cases) {
        void* object = kBadPointer;
        EXPECT_EQ(c.expected, CoCreateInstance(kBuiltin, c.outer, c.context, *c.iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    // There is no server information to pass, and no place to put the object.
    void* object = kBadPointer;
    EXPECT_EQ(E_INVALIDARG, CoGetClassObject(kBuiltin, CLSCTX_INPROC_SERVER, kBadPointer, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, CoCreateInstance(kBuiltin, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr));

    host::RegisterBuiltinClass(kBuiltin, MakeNothing);
    EXPECT_EQ(E_OUTOFMEMORY, TryCreate(kBuiltin));
}

// ---------------------------------------------------------------------------------------------
// Registered in-process servers

class ComServerTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        Install("comserver.so", u"\\Windows\\comserver.dll");
    }
    void TearDown() override {
        CoUninitialize();
        ComTest::TearDown();
    }
    ITestCounter* Create() {
        ITestCounter* counter = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                                         reinterpret_cast<void**>(&counter)));
        return counter;
    }
    static bool ServerLoaded() { return GetModuleHandleW(u"\\Windows\\comserver.dll") != nullptr; }
};

// The class is found through HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 and its library loaded
// once. It stays loaded until CoFreeUnusedLibraries or the last CoUninitialize finds that its
// DllCanUnloadNow answers S_OK.
TEST_F(ComServerTest, LoadsTheServerAndUnloadsItWhenItAllows) {
    RegisterServer(CLSID_TestCounter, u"\\Windows\\comserver.dll");
    ITestCounter* first = Create();
    ITestCounter* second = Create();
    ASSERT_TRUE(first && second);
    LONG total = 0, locks = 0;
    EXPECT_EQ(S_OK, first->Add(5, &total));
    EXPECT_EQ(S_OK, first->Add(2, &total));
    EXPECT_EQ(7, total);
    EXPECT_EQ(S_OK, second->ModuleLocks(&locks));
    EXPECT_EQ(2, locks);
    EXPECT_EQ(1u, m_device->Com().LoadedServerCount());
    EXPECT_EQ(0u, first->Release());

    CoFreeUnusedLibraries();
    EXPECT_TRUE(ServerLoaded()) << "an object is still alive";
    second->Release();
    EXPECT_TRUE(ServerLoaded()) << "releasing the last object does not unload by itself";
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());

    // Loaded again on demand; only the outermost CoUninitialize unloads.
    EXPECT_EQ(S_OK, TryCreate(CLSID_TestCounter));
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
    EXPECT_TRUE(ServerLoaded());
    CoUninitialize();
    EXPECT_FALSE(ServerLoaded());
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));  // balanced by TearDown
}

// Each way the lookup can fail has its own code: no registration, no server path, a missing
// library, a library that is no server (and is not kept), a class the server does not serve.
TEST_F(ComServerTest, ReportsEachFailureOfTheLookup) {
    EXPECT_EQ(REGDB_E_CLASSNOTREG, TryCreate(kUnregistered));
    RegisterServer(kUnregistered, nullptr);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, TryCreate(kUnregistered));
    RegisterServer(kUnregistered, u"\\Windows\\absent.dll");
    EXPECT_EQ(CO_E_DLLNOTFOUND, TryCreate(kUnregistered));

    Install("comnotaserver.so", u"\\Windows\\comnotaserver.dll");
    RegisterServer(kUnregistered, u"\\Windows\\comnotaserver.dll");
    EXPECT_EQ(CO_E_ERRORINDLL, TryCreate(kUnregistered));
    EXPECT_EQ(nullptr, GetModuleHandleW(u"\\Windows\\comnotaserver.dll"));

    RegisterServer(kUnregistered, u"\\Windows\\comserver.dll");
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, TryCreate(kUnregistered));
    RegisterServer(CLSID_TestCounter, u"comserver.dll");  // found in \Windows, as the loader does
    EXPECT_EQ(E_NOINTERFACE, TryCreate(CLSID_TestCounter, IID_IStream));
    EXPECT_EQ(S_OK, TryCreate(CLSID_TestCounter, IID_ITestCounter));
}

// ---------------------------------------------------------------------------------------------
// Memory stream

std::string ReadAll(IStream* stream, ULONG max = 64) {
    std::string out(max, '\0');
    ULONG read = 0xDEADBEEF;
    EXPECT_EQ(S_OK, stream->Read(out.data(), max, &read));
    out.resize(read <= max ? read : 0);
    return out;
}

ULONGLONG SeekTo(IStream* stream, LONGLONG offset, DWORD origin) {
    LARGE_INTEGER move;
    move.QuadPart = offset;
    ULARGE_INTEGER position;
    position.QuadPart = 0xDEADBEEF;
    EXPECT_EQ(S_OK, stream->Seek(move, origin, &position));
    return position.QuadPart;
}

// Reads return what is there (0 bytes at the end is still S_OK) and writes overwrite and grow.
// Seeking before the start fails and leaves the position; past the end is allowed, and a write
// there zero-fills the gap. SetSize truncates or zero-extends without moving the position.
TEST(MemoryStream, ReadsWritesSeeksAndResizes) {
    IStream* stream = host::CreateMemoryStream("hello world", 11);
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ("hello", ReadAll(stream, 5));
    EXPECT_EQ(" world", ReadAll(stream));
    EXPECT_EQ("", ReadAll(stream));
    EXPECT_EQ(6u, SeekTo(stream, -5, STREAM_SEEK_CUR));
    ULONG written = 0;
    EXPECT_EQ(S_OK, stream->Write("there, you", 10, &written));
    EXPECT_EQ(10u, written);
    EXPECT_EQ(11u, SeekTo(stream, -5, STREAM_SEEK_END));
    EXPECT_EQ(", you", ReadAll(stream));

    LARGE_INTEGER move;
    move.QuadPart = -17;
    ULARGE_INTEGER position;
    position.QuadPart = 0xDEADBEEF;
    EXPECT_EQ(STG_E_INVALIDFUNCTION, stream->Seek(move, STREAM_SEEK_END, &position));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, stream->Seek(move, 7, &position));
    EXPECT_EQ(0xDEADBEEFu, position.QuadPart);
    EXPECT_EQ(18u, SeekTo(stream, 2, STREAM_SEEK_END));
    EXPECT_EQ(S_OK, stream->Write("!", 1, nullptr));
    EXPECT_EQ(14u, SeekTo(stream, 14, STREAM_SEEK_SET));
    EXPECT_EQ(std::string("ou\0\0!", 5), ReadAll(stream));

    ULARGE_INTEGER size;
    size.QuadPart = 3;
    EXPECT_EQ(S_OK, stream->SetSize(size));
    size.QuadPart = 5;
    EXPECT_EQ(S_OK, stream->SetSize(size));
    EXPECT_EQ(19u, SeekTo(stream, 0, STREAM_SEEK_CUR));
    STATSTG stat;
    memset(&stat, 0xCC, sizeof stat);
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_TRUE(stat.type == STGTY_STREAM && stat.cbSize.QuadPart == 5 && !stat.pwcsName);
    EXPECT_EQ(0u, SeekTo(stream, 0, STREAM_SEEK_SET));
    EXPECT_EQ(std::string("hel\0\0", 5), ReadAll(stream));
    size.QuadPart = 0x100000000ull;
    EXPECT_EQ(STG_E_MEDIUMFULL, stream->SetSize(size));
    EXPECT_EQ(STG_E_INVALIDPOINTER, stream->Read(nullptr, 1, nullptr));
    EXPECT_EQ(0u, stream->Release());
}

// Clones share the bytes, keep their own position and outlive the original; references are
// counted across every interface the stream answers.
TEST(MemoryStream, ClonesShareBytesAndCountReferences) {
    IStream* stream = host::CreateMemoryStream("0123456789", 10);
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(3u, SeekTo(stream, 3, STREAM_SEEK_SET));
    IStream* clone = nullptr;
    ASSERT_EQ(S_OK, stream->Clone(&clone));
    ASSERT_NE(nullptr, clone);
    EXPECT_EQ(3u, SeekTo(clone, 0, STREAM_SEEK_CUR));
    EXPECT_EQ(S_OK, stream->Write("abc", 3, nullptr));
    EXPECT_EQ("abc6789", ReadAll(clone));

    ISequentialStream* sequential = nullptr;
    ASSERT_EQ(S_OK, stream->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&sequential)));
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, stream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    void* other = kBadPointer;
    EXPECT_EQ(E_NOINTERFACE, stream->QueryInterface(IID_IClassFactory, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(4u, stream->AddRef());
    EXPECT_EQ(3u, stream->Release());
    EXPECT_EQ(2u, sequential->Release());
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(0u, stream->Release());

    EXPECT_EQ(0u, SeekTo(clone, 0, STREAM_SEEK_SET));
    EXPECT_EQ("012abc6789", ReadAll(clone));
    EXPECT_EQ(0u, clone->Release());
}

}  // namespace

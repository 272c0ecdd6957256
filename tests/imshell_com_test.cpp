// The COM framework of the input method library on objects of its own: construction that
// fails, a module that is not initialised, and the one class factory per class under racing
// requests.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com_server.h"
#include "platform/sip.h"

namespace {

const CLSID kProbeClass = DEFINE_GUID_VALUE(0x5A1E0D2C, 0x3B4F, 0x4C6D, 0x8E, 0x9F, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F);

int g_live = 0;
HRESULT g_construct = S_OK;

// A class whose construction result the tests choose.
class Probe : public imshell::ComObjectRoot, public ISequentialStream {
public:
    Probe() { ++g_live; }
    ~Probe() { --g_live; }
    static const imshell::InterfaceEntry* InterfaceMap() {
        static const imshell::InterfaceEntry entries[] = {
            {&IID_ISequentialStream, imshell::OffsetOfBase<ISequentialStream, Probe>()}, {nullptr, 0}};
        return entries;
    }
    HRESULT FinalConstruct() { return g_construct; }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
};

// An outer object for aggregation that is never called during a failed construction.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

// A failed FinalConstruct destroys the object, stand-alone or aggregated, hands out nothing,
// returns the failure and leaves no module lock behind.
TEST(ImshellCom, FailedConstructionDestroysTheObject) {
    const LONG locks = imshell::Module().LockCount();
    Outer outer;
    g_construct = E_ACCESSDENIED;
    for (IUnknown* aggregate : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(&outer)}) {
        void* object = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF));
        EXPECT_EQ(E_ACCESSDENIED, imshell::CreateObject<Probe>(aggregate, IID_IUnknown, &object));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(0, g_live);
        EXPECT_EQ(locks, imshell::Module().LockCount());
    }
    EXPECT_EQ(1u, outer.refs);

    g_construct = S_OK;
    void* object = nullptr;
    ASSERT_EQ(S_OK, imshell::CreateObject<Probe>(nullptr, IID_ISequentialStream, &object));
    EXPECT_EQ(1, g_live);
    EXPECT_EQ(locks + 1, imshell::Module().LockCount());
    EXPECT_EQ(0u, static_cast<IUnknown*>(object)->Release());
    EXPECT_EQ(0, g_live);
    EXPECT_EQ(locks, imshell::Module().LockCount());
}

// A module that was never initialised, or was terminated, answers E_UNEXPECTED with a null
// result; a null result pointer is E_POINTER before anything else.
TEST(ImshellCom, UninitialisedModuleRefusesClassObjects) {
    imshell::ComModule::ObjectEntry map[] = {{&kProbeClass, &imshell::CreateObject<Probe>, nullptr},
                                             {nullptr, nullptr, nullptr}};
    imshell::ComModule module;
    void* object = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF));
    EXPECT_EQ(E_POINTER, module.GetClassObject(kProbeClass, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_UNEXPECTED, module.GetClassObject(kProbeClass, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);

    module.Init(map, nullptr);
    ASSERT_EQ(S_OK, module.GetClassObject(kProbeClass, IID_IClassFactory, &object));
    static_cast<IUnknown*>(object)->Release();
    EXPECT_NE(nullptr, map[0].factory) << "the module keeps its factory";
    module.Term();
    EXPECT_EQ(nullptr, map[0].factory);
    object = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF));
    EXPECT_EQ(E_UNEXPECTED, module.GetClassObject(kProbeClass, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
}

// Threads racing for the first class object all get the one factory the module made.
TEST(ImshellCom, OneFactoryUnderRacingRequests) {
    imshell::ComModule::ObjectEntry map[] = {{&kProbeClass, &imshell::CreateObject<Probe>, nullptr},
                                             {nullptr, nullptr, nullptr}};
    imshell::ComModule module;
    module.Init(map, nullptr);
    std::vector<void*> got(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); ++i)
        threads.emplace_back([&, i] { module.GetClassObject(kProbeClass, IID_IUnknown, &got[i]); });
    for (std::thread& t : threads) t.join();
    for (void* factory : got) {
        EXPECT_EQ(got[0], factory);
        if (factory) static_cast<IUnknown*>(factory)->Release();
    }
    EXPECT_NE(nullptr, got[0]);
    module.Term();
}

}  // namespace

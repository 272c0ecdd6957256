// A minimal in-process server for the COM runtime tests: one class, one static class factory,
// and a module lock count that DllCanUnloadNow reports.
#include <atomic>
#include <new>

#include "host/com/server_parts.h"
#include "comserver.h"

namespace {

std::atomic<LONG> g_locks{0};

class Counter final : public ITestCounter {
public:
    Counter() { ++g_locks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return host::QueryOne<ITestCounter>(this, riid, IID_ITestCounter, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = --m_refs;
        if (!refs) delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE Add(LONG amount, LONG* total) override {
        if (!total) return E_POINTER;
        *total = m_total += amount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ModuleLocks(LONG* count) override {
        if (!count) return E_POINTER;
        *count = g_locks;
        return S_OK;
    }

private:
    ~Counter() { --g_locks; }

    std::atomic<ULONG> m_refs{1};
    LONG m_total = 0;
};

HRESULT CreateCounter(REFIID riid, void** object) { return host::CreateAndQuery<Counter>(riid, object); }

host::StaticClassFactory g_factory(CreateCounter, g_locks);

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

extern "C" HRESULT DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }

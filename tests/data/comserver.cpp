// A minimal in-process server for the COM runtime tests: one class, one static class factory,
// and a module lock count that DllCanUnloadNow reports.
#include <atomic>
#include <new>

#include "comserver.h"

namespace {

std::atomic<LONG> g_locks{0};

class Counter final : public ITestCounter {
public:
    Counter() { ++g_locks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITestCounter) {
            *object = static_cast<ITestCounter*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
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

// The factory lives as long as the library; its references do not keep the server loaded, only
// LockServer does.
class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* counter = new (std::nothrow) Counter;
        if (!counter) return E_OUTOFMEMORY;
        HRESULT hr = counter->QueryInterface(riid, object);
        counter->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) ++g_locks;
        else --g_locks;
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

extern "C" HRESULT DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }

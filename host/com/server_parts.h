// Parts of the small in-process COM servers that the emulator plays itself (the device's other
// keyboards) and that the tests load: the one-interface QueryInterface and the class factory that
// lives as long as its library. The package's own server has its plumbing in imshell/.
#pragma once

#include <atomic>

#include "platform/com.h"

namespace host {

// QueryInterface of an object that answers IUnknown and one interface: a reference is added to
// what is handed out unless the object's references are not counted (addRef false).
template <class Interface>
HRESULT QueryOne(Interface* self, REFIID riid, const IID& iid, void** object, bool addRef = true) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == iid) {
        *object = self;
        if (addRef) self->AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The class factory of a server, a static of its library: its references keep nothing loaded,
// only LockServer does, in the server's lock count. create makes one object and asks it for riid.
class StaticClassFactory final : public IClassFactory {
public:
    using Create = HRESULT (*)(REFIID riid, void** object);
    StaticClassFactory(Create create, std::atomic<LONG>& locks) : m_create(create), m_locks(locks) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return QueryOne<IClassFactory>(this, riid, IID_IClassFactory, object, false);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return m_create(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++m_locks;
        else
            --m_locks;
        return S_OK;
    }

private:
    Create m_create;
    std::atomic<LONG>& m_locks;
};

// Makes a T (whose constructor takes args), hands out riid and drops the maker's reference.
template <class T, class... Args>
HRESULT CreateAndQuery(REFIID riid, void** object, Args... args) {
    T* made = new (std::nothrow) T(args...);
    if (!made) return E_OUTOFMEMORY;
    const HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
}

}  // namespace host

// The in-process COM server framework of the input method library: a small object root with an
// atomic reference count and a per-object lock, interface maps, stand-alone and aggregated
// objects, the class factory and the module with its lock count and object map.
//
// Invariants: an object is handed out only after FinalConstruct succeeded (a failed one is
// destroyed before the caller sees it); every live object and every LockServer(TRUE) holds one
// module lock; a class factory is created at most once per map entry, under the module's lock,
// and released only when the module terminates.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <new>

#include "platform/com.h"

namespace imshell {

// One interface a class answers: its identifier and where that interface's table lies in the
// object, as an offset from the class's start.
struct InterfaceEntry {
    const IID* iid;
    std::ptrdiff_t offset;
};

// The offset of Base within Derived, computed on a dummy address that no code dereferences.
template <class Base, class Derived>
std::ptrdiff_t OffsetOfBase() {
    constexpr std::uintptr_t kProbe = 0x1000;
    return reinterpret_cast<std::uintptr_t>(static_cast<Base*>(reinterpret_cast<Derived*>(kProbe))) -
           static_cast<std::ptrdiff_t>(kProbe);
}

// Looks riid up in a map ending with a null identifier; IUnknown is answered by the first entry.
// The returned interface is not AddRef'ed.
void* FindInterface(void* object, const InterfaceEntry* entries, REFIID riid);

// The module: instance handle, lock count and the class table. One per library.
class ComModule {
public:
    // The creators of one class; each returns an object with a reference for the caller, or an
    // error (and null) when allocation or FinalConstruct failed.
    typedef HRESULT (*CreateFn)(IUnknown* outer, REFIID riid, void** object);
    struct ObjectEntry {
        const CLSID* clsid;
        CreateFn create;
        // Created on the first request, released by Term.
        IClassFactory* factory;
    };

    // entries ends with an entry whose clsid is null.
    void Init(ObjectEntry* entries, HINSTANCE instance);
    // Releases the class factories; the caller unregisters its window classes.
    void Term();
    bool IsInitialised() const { return m_initialised; }
    HINSTANCE Instance() const { return m_instance; }

    LONG Lock() { return ++m_locks; }
    LONG Unlock() { return --m_locks; }
    LONG LockCount() const { return m_locks; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
    HRESULT CanUnloadNow() const { return m_locks == 0 ? S_OK : S_FALSE; }

private:
    std::atomic<LONG> m_locks{0};
    HINSTANCE m_instance = nullptr;
    ObjectEntry* m_entries = nullptr;
    bool m_initialised = false;
    // Guards the lazy creation of the class factories.
    std::mutex m_lock;
};

// The module of this library; objects lock it for their lifetime.
ComModule& Module();

// Base of every COM object: the reference count, safe from any thread, and the object's lock.
class ComObjectRoot {
public:
    ULONG InternalAddRef() { return ++m_refs; }
    ULONG InternalRelease() { return --m_refs; }
    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }

    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

protected:
    ComObjectRoot() = default;
    ~ComObjectRoot() = default;

private:
    std::atomic<ULONG> m_refs{0};
    std::mutex m_lock;
};

// Binds a class to its class identifier.
template <const CLSID* Clsid>
class ComCoClass {
public:
    static const CLSID& GetObjectCLSID() { return *Clsid; }
};

// A stand-alone object of class T: T's interface map answers QueryInterface, and the object
// deletes itself at the last Release.
template <class T>
class ComObject final : public T {
public:
    ComObject() { Module().Lock(); }
    ~ComObject() {
        this->FinalRelease();
        Module().Unlock();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = FindInterface(static_cast<T*>(this), T::InterfaceMap(), riid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = this->InternalRelease();
        if (refs == 0) delete this;
        return refs;
    }

    // Creates, constructs and hands out riid of a new object; on any failure nothing survives.
    static HRESULT Create(REFIID riid, void** object) {
        auto* created = new (std::nothrow) ComObject<T>;
        if (!created) return E_OUTOFMEMORY;
        // The creator's reference keeps the object alive through FinalConstruct and the query.
        created->AddRef();
        HRESULT hr = created->FinalConstruct();
        if (SUCCEEDED(hr)) hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }
};

// The inner object of an aggregate: its IUnknown calls go to the outer object's.
template <class T>
class ContainedObject final : public T {
public:
    explicit ContainedObject(IUnknown* outer) : m_outer(outer) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return m_outer->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_outer->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_outer->Release(); }

    // The inner object's own lookup, which the aggregate's non-delegating IUnknown uses.
    void* FindOwnInterface(REFIID riid) { return FindInterface(static_cast<T*>(this), T::InterfaceMap(), riid); }

private:
    IUnknown* m_outer;
};

// An aggregated object of class T: this object is the non-delegating IUnknown that only the
// outer object holds; everything it hands out delegates to the outer unknown.
template <class T>
class AggregatedObject final : public IUnknown {
public:
    explicit AggregatedObject(IUnknown* outer) : m_contained(outer) { Module().Lock(); }
    ~AggregatedObject() {
        m_contained.FinalRelease();
        Module().Unlock();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *object = m_contained.FindOwnInterface(riid);
        if (!*object) return E_NOINTERFACE;
        // The interface handed out delegates, so its reference is the outer object's.
        static_cast<IUnknown*>(*object)->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_contained.InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = m_contained.InternalRelease();
        if (refs == 0) delete this;
        return refs;
    }

    // COM lets an aggregating creator ask for IUnknown only; the caller has checked that.
    static HRESULT Create(IUnknown* outer, void** object) {
        auto* created = new (std::nothrow) AggregatedObject<T>(outer);
        if (!created) return E_OUTOFMEMORY;
        created->AddRef();
        HRESULT hr = created->m_contained.FinalConstruct();
        if (SUCCEEDED(hr)) {
            *object = static_cast<IUnknown*>(created);
            created->AddRef();
        }
        created->Release();
        return hr;
    }

    T& Contained() { return m_contained; }

private:
    ContainedObject<T> m_contained;
};

// The creator of an object map entry: aggregated when an outer unknown is given.
template <class T>
HRESULT CreateObject(IUnknown* outer, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) {
        if (riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        return AggregatedObject<T>::Create(outer, object);
    }
    return ComObject<T>::Create(riid, object);
}

// The class factory of one object map entry. Its references do not lock the module; only
// LockServer does, as COM defines.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(ComModule::CreateFn create) : m_create(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~ClassFactory() = default;

    std::atomic<ULONG> m_refs{1};
    ComModule::CreateFn m_create;
};

}  // namespace imshell

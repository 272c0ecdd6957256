// The module, the interface lookup and the class factory of the input method library.
#include "com_server.h"

namespace imshell {

void* FindInterface(void* object, const InterfaceEntry* entries, REFIID riid) {
    if (!entries || !entries[0].iid) return nullptr;
    auto* base = static_cast<char*>(object);
    if (riid == IID_IUnknown) return base + entries[0].offset;
    for (const InterfaceEntry* entry = entries; entry->iid; ++entry)
        if (*entry->iid == riid) return base + entry->offset;
    return nullptr;
}

ComModule& Module() {
    static ComModule module;
    return module;
}

void ComModule::Init(ObjectEntry* entries, HINSTANCE instance) {
    std::lock_guard guard(m_lock);
    m_entries = entries;
    m_instance = instance;
    m_initialised = true;
}

void ComModule::Term() {
    std::lock_guard guard(m_lock);
    if (m_entries)
        for (ObjectEntry* entry = m_entries; entry->clsid; ++entry)
            if (entry->factory) {
                entry->factory->Release();
                entry->factory = nullptr;
            }
    m_initialised = false;
}

HRESULT ComModule::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    std::lock_guard guard(m_lock);
    if (!m_initialised || !m_entries) return E_UNEXPECTED;
    for (ObjectEntry* entry = m_entries; entry->clsid; ++entry) {
        if (*entry->clsid != clsid) continue;
        if (!entry->factory) {
            entry->factory = new (std::nothrow) ClassFactory(entry->create);
            if (!entry->factory) return E_OUTOFMEMORY;
        }
        return entry->factory->QueryInterface(riid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ClassFactory::Release() {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    return m_create(outer, riid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock)
        Module().Lock();
    else
        Module().Unlock();
    return S_OK;
}

}  // namespace imshell

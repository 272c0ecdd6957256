#include "host/com/com_runtime.h"

#include <algorithm>
#include <utility>

#include "host/kernel/device.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace host {

namespace {

struct BuiltinClass {
    CLSID clsid;
    BuiltinFactoryMaker make;
};

// Function-local statics, so that classes may be registered from static initialisers of other
// translation units.
std::mutex& BuiltinLock() {
    static std::mutex lock;
    return lock;
}
std::vector<BuiltinClass>& BuiltinClasses() {
    static std::vector<BuiltinClass> classes;
    return classes;
}

BuiltinFactoryMaker FindBuiltin(const CLSID& clsid) {
    std::lock_guard guard(BuiltinLock());
    for (const auto& entry : BuiltinClasses())
        if (entry.clsid == clsid) return entry.make;
    return nullptr;
}

std::u16string GuidText(const GUID& guid) {
    WCHAR text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

}  // namespace

void RegisterBuiltinClass(const CLSID& clsid, BuiltinFactoryMaker make) {
    std::lock_guard guard(BuiltinLock());
    auto& classes = BuiltinClasses();
    for (auto& entry : classes)
        if (entry.clsid == clsid) {
            entry.make = make;
            return;
        }
    classes.push_back({clsid, make});
}

bool UnregisterBuiltinClass(const CLSID& clsid) {
    std::lock_guard guard(BuiltinLock());
    auto& classes = BuiltinClasses();
    auto it = std::find_if(classes.begin(), classes.end(), [&](const BuiltinClass& e) { return e.clsid == clsid; });
    if (it == classes.end()) return false;
    classes.erase(it);
    return true;
}

ComRuntime::ComRuntime(Device& device) : m_device(device) {}

ComRuntime::~ComRuntime() {
    // The device is being torn down, so objects of these servers can no longer be in use through
    // it; drop the runtime's references whatever DllCanUnloadNow would say. The platform calls
    // reach the current device, which need not be this one any more.
    ScopedDevice scope(&m_device);
    for (const auto& server : m_servers) FreeLibrary(server.module);
}

namespace {

bool ConsumeInitFailure(Device& device) {
    const std::string text = device.Setting(kComInitFailuresSetting);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const long left = std::stol(text);
    if (left <= 0) return false;
    device.SetSetting(kComInitFailuresSetting, std::to_string(left - 1));
    return true;
}

}  // namespace

HRESULT ComRuntime::Initialize(DWORD flags) {
    // The device accepts either concurrency model; the option bits of later systems are ignored.
    const DWORD known = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (flags & ~known) return E_INVALIDARG;
    if (ConsumeInitFailure(m_device)) return E_OUTOFMEMORY;
    DWORD model = flags & COINIT_APARTMENTTHREADED;
    std::lock_guard guard(m_lock);
    ThreadState& state = m_threads[std::this_thread::get_id()];
    if (state.count == 0) {
        state.count = 1;
        state.model = model;
        return S_OK;
    }
    if (state.model != model) return RPC_E_CHANGED_MODE;
    ++state.count;
    return S_FALSE;
}

void ComRuntime::Uninitialize() {
    bool lastThread = false;
    {
        std::lock_guard guard(m_lock);
        auto it = m_threads.find(std::this_thread::get_id());
        if (it == m_threads.end()) return;
        if (--it->second.count > 0) return;
        m_threads.erase(it);
        lastThread = m_threads.empty();
    }
    if (lastThread) FreeUnusedLibraries();
}

bool ComRuntime::IsInitialized() const {
    std::lock_guard guard(m_lock);
    return m_threads.count(std::this_thread::get_id()) != 0;
}

size_t ComRuntime::LoadedServerCount() const {
    std::lock_guard guard(m_lock);
    return m_servers.size();
}

HRESULT ComRuntime::GetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** object) {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (!IsInitialized()) return CO_E_NOTINITIALIZED;
    // The device's COM is the minimal one: in-process servers only.
    if (!(context & CLSCTX_INPROC_SERVER)) {
        m_device.Trace(FormatW(u"CoGetClassObject %s: context 0x%X has no in-process server\n",
                               GuidText(clsid).c_str(), context));
        return E_NOTIMPL;
    }
    if (BuiltinFactoryMaker make = FindBuiltin(clsid)) {
        IClassFactory* factory = make();
        if (!factory) return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, object);
        factory->Release();
        if (FAILED(hr)) *object = nullptr;
        return hr;
    }
    return GetRegisteredClassObject(clsid, riid, object);
}

HRESULT ComRuntime::GetRegisteredClassObject(REFCLSID clsid, REFIID riid, void** object) {
    std::u16string keyName = u"CLSID\\" + GuidText(clsid) + u"\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    WCHAR path[MAX_PATH + 1] = {};
    DWORD type = 0, size = sizeof(path) - sizeof(WCHAR);
    LONG status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return REGDB_E_READREGDB;
    path[std::min<DWORD>(size / sizeof(WCHAR), MAX_PATH)] = 0;
    if (!path[0]) return REGDB_E_CLASSNOTREG;

    HMODULE module = nullptr;
    HRESULT hr = LoadServer(path, &module);
    if (FAILED(hr)) return hr;
    auto getClassObject = reinterpret_cast<DllGetClassObjectProc>(GetProcAddressW(module, u"DllGetClassObject"));
    if (!getClassObject) return CO_E_ERRORINDLL;
    hr = getClassObject(clsid, riid, object);
    if (FAILED(hr)) *object = nullptr;
    return hr;
}

HRESULT ComRuntime::LoadServer(const std::u16string& path, HMODULE* module) {
    std::u16string key = UpperCase(path);
    {
        std::lock_guard guard(m_lock);
        for (const auto& server : m_servers)
            if (server.key == key) {
                *module = server.module;
                return S_OK;
            }
    }
    HMODULE loaded = LoadLibraryW(path.c_str());
    if (!loaded) {
        DWORD error = GetLastError();
        m_device.Trace(FormatW(u"CoCreateInstance: cannot load %s (error %u)\n", path.c_str(), error));
        return CO_E_DLLNOTFOUND;
    }
    // A library that cannot hand out class objects is not a server; it is not kept loaded.
    if (!GetProcAddressW(loaded, u"DllGetClassObject")) {
        m_device.Trace(FormatW(u"CoCreateInstance: %s has no DllGetClassObject\n", path.c_str()));
        FreeLibrary(loaded);
        return CO_E_ERRORINDLL;
    }
    std::lock_guard guard(m_lock);
    for (const auto& server : m_servers)
        if (server.key == key) {
            // Another thread loaded it meanwhile: keep one reference per entry.
            FreeLibrary(loaded);
            *module = server.module;
            return S_OK;
        }
    m_servers.push_back({std::move(key), loaded});
    *module = loaded;
    return S_OK;
}

void ComRuntime::FreeUnusedLibraries() {
    std::vector<Server> servers;
    {
        std::lock_guard guard(m_lock);
        servers = m_servers;
    }
    for (const auto& server : servers) {
        // A server without DllCanUnloadNow cannot say it is unused, so it stays loaded.
        auto canUnload = reinterpret_cast<DllCanUnloadNowProc>(GetProcAddressW(server.module, u"DllCanUnloadNow"));
        if (!canUnload || canUnload() != S_OK) continue;
        {
            std::lock_guard guard(m_lock);
            auto it = std::find_if(m_servers.begin(), m_servers.end(), [&](const Server& s) { return s.key == server.key; });
            if (it == m_servers.end()) continue;
            m_servers.erase(it);
        }
        FreeLibrary(server.module);
    }
}

}  // namespace host

// The device's COM runtime: which threads have initialised COM, the in-process servers loaded
// for them, and the classes the emulator itself provides for platform components (the XML DOM
// document, the archive component). A device holds one runtime; the built-in classes are
// process-wide because they are code of the emulator, not data of an image.
//
// Invariants: every server in the loaded list holds exactly one library reference of the runtime;
// no lock is held while a server's code runs, so a server may itself create objects.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/com.h"

namespace host {

class Device;

// Makes a new class factory with one reference held by the caller, or null when out of memory.
using BuiltinFactoryMaker = IClassFactory* (*)();

// Adds (or replaces) a class that CoCreateInstance finds before looking at the registry.
void RegisterBuiltinClass(const CLSID& clsid, BuiltinFactoryMaker make);
// Removes a built-in class; false when none was registered.
bool UnregisterBuiltinClass(const CLSID& clsid);

// A stream over a private copy of data, positioned at its start, with one reference held by the
// caller; null when out of memory. It grows on writes as a stream on global memory does.
IStream* CreateMemoryStream(const void* data, size_t size);

// A test facility of the emulator, not of the device: while the image's setting
// "com.init_failures" holds a positive decimal number N, CoInitializeEx fails with E_OUTOFMEMORY
// and stores N - 1, so that a test makes the next N initialisations fail, also in a program the
// test starts. Any other value fails nothing.
inline constexpr char kComInitFailuresSetting[] = "com.init_failures";

class ComRuntime {
public:
    explicit ComRuntime(Device& device);
    ~ComRuntime();
    ComRuntime(const ComRuntime&) = delete;
    ComRuntime& operator=(const ComRuntime&) = delete;

    HRESULT Initialize(DWORD flags);
    void Uninitialize();
    bool IsInitialized() const;
    HRESULT GetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** object);
    // Asks every loaded server whether it can be unloaded and frees those that answer S_OK.
    void FreeUnusedLibraries();
    // How many in-process servers the runtime holds loaded.
    size_t LoadedServerCount() const;

private:
    struct ThreadState {
        int count = 0;
        DWORD model = 0;
    };
    struct Server {
        std::u16string key;  // folded path from the registry
        HMODULE module;
    };

    HRESULT GetRegisteredClassObject(REFCLSID clsid, REFIID riid, void** object);
    HRESULT LoadServer(const std::u16string& path, HMODULE* module);

    Device& m_device;
    mutable std::mutex m_lock;
    std::map<std::thread::id, ThreadState> m_threads;
    std::vector<Server> m_servers;
};

}  // namespace host

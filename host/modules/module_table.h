// The device's loader: the libraries a process has loaded, by device path, with reference
// counts. A PE file becomes a resource module (no code runs); an ELF file is loaded with dlopen,
// its exports found by name and its entry point called on the first load and the last free,
// its resources read from its ".vxres" section. The running program is a module too (null
// handle), with the resources of its own executable.
//
// Handles are values the table hands out and checks on every call; they are never reused in a
// process, so a freed or made-up handle finds nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"
#include "host/modules/resource_tree.h"

namespace host {

class Device;

struct Module {
    enum class Kind { Resources, Library, Program };

    HMODULE handle = nullptr;
    Kind kind = Kind::Resources;
    // Loaded with LOAD_LIBRARY_AS_DATAFILE: resources only, not found by GetModuleHandleW.
    bool dataFile = false;
    std::u16string devicePath;
    std::filesystem::path hostPath;  // canonical, the key that makes two spellings one module
    unsigned references = 0;
    void* library = nullptr;         // dlopen handle of Library and Program modules
    ResourceTree resources;
};

class ModuleTable {
public:
    explicit ModuleTable(Device& device);
    // Frees what is still loaded, newest first, calling each library's detach entry.
    ~ModuleTable();
    ModuleTable(const ModuleTable&) = delete;
    ModuleTable& operator=(const ModuleTable&) = delete;

    // The table of a device, found without going through Device::Modules(), so that entry
    // points called while the device tears the table down still reach it. Null when none.
    static ModuleTable* Of(const Device* device);

    // The device's rule for naming a module: a name without a folder is in \Windows, and ".dll"
    // is appended to a name without an extension (a trailing dot means "no extension, as is").
    static std::u16string DevicePathFor(std::u16string_view name);

    // LoadLibraryExW. Null with ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT, ERROR_DLL_INIT_FAILED ...
    HMODULE Load(std::u16string_view name, bool dataFile, DWORD* error);
    // FreeLibrary. False with ERROR_INVALID_HANDLE for a handle that is not loaded.
    bool Free(HMODULE handle, DWORD* error);
    // GetModuleHandleW: null for the running program, else a module loaded (not as a data file)
    // under that name or file name.
    HMODULE HandleOf(LPCWSTR name, DWORD* error);
    // The live module behind a handle (null: the running program), or null.
    const Module* Find(HMODULE handle);
    // GetProcAddressW: only the module's own exports, not those of libraries it links.
    void* Export(HMODULE handle, std::string_view name, DWORD* error);

    // The resources of a module file read without loading it (version queries).
    bool ReadFileResources(std::u16string_view name, ResourceTree* tree, DWORD* error);

private:
    Module* Live(HMODULE handle);
    Module* Program();
    bool ResolveFile(std::u16string_view devicePath, std::filesystem::path* hostPath, DWORD* error);
    bool ReadResources(const std::filesystem::path& hostPath, bool forCode, ResourceTree* tree, bool* isElf,
                       DWORD* error);
    void Unload(Module& module);
    void Trace(const std::u16string& devicePath, const std::string& reason) const;

    Device& m_device;
    // Recursive: an entry point may load or free libraries while the table calls it, as the
    // device's loader allows under its loader lock.
    std::recursive_mutex m_lock;
    std::vector<std::unique_ptr<Module>> m_modules;
    std::unique_ptr<Module> m_program;
};

}  // namespace host

#include "host/modules/module_table.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "host/kernel/device.h"
#include "host/modules/elf_sections.h"
#include "host/store/object_store.h"
#include "host/modules/pe_image.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "platform/winerror.h"
#include "host/modules/res_file.h"
#include "host/modules/trusted_code.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// Module files and resource blobs above this are not ones the package or its skins have.
constexpr uintmax_t kMaxModuleFile = 64u << 20;
constexpr char kResourceSection[] = ".vxres";

// Handle values look like the device's 32-bit ones; the serial is process-wide so that a handle
// from a device that is gone, or from a freed module, never names a new one.
constexpr uintptr_t kHandleBase = 0x40000000u;
constexpr uintptr_t kHandleStep = 0x1000u;
std::atomic<uintptr_t> g_nextSerial{1};

// Live tables by device (see ModuleTable::Of).
std::mutex g_tablesLock;
std::vector<std::pair<const Device*, ModuleTable*>> g_tables;

HMODULE NewHandle() { return reinterpret_cast<HMODULE>(kHandleBase + g_nextSerial++ * kHandleStep); }

std::u16string_view FileNamePart(std::u16string_view path) {
    size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

bool ReadWholeFile(const fs::path& path, std::vector<uint8_t>* bytes) {
    std::error_code ec;
    uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxModuleFile) return false;
    std::ifstream in(path, std::ios::binary);
    bytes->resize(static_cast<size_t>(size));
    return in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(size)).good() || size == 0;
}

// The ".vxres" blob of an ELF file as a tree; a file without one has no resources.
bool ReadElfResources(const fs::path& path, ResourceTree* tree, std::string* reason) {
    std::vector<uint8_t> blob;
    switch (ReadElfSection(path, kResourceSection, kMaxModuleFile, &blob, reason)) {
    case ElfLookup::NotFound: *tree = ResourceTree(); return true;
    case ElfLookup::Malformed: return false;
    case ElfLookup::Found: break;
    }
    return ReadResFile(std::move(blob), tree, reason);
}

// The library's own definition of a symbol: dlsym also searches the libraries it links, whose
// exports are not the module's.
void* OwnSymbol(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (!symbol) return nullptr;
    Dl_info info;
    link_map* owner = nullptr;
    link_map* self = nullptr;
    if (!dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP)) return nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &self) != 0) return nullptr;
    return owner == self ? symbol : nullptr;
}

BOOL CallEntry(const Module& module, DWORD reason) {
    auto entry = reinterpret_cast<DllEntryProc>(OwnSymbol(module.library, "DllMain"));
    return entry ? entry(module.handle, reason, nullptr) : TRUE;
}

}  // namespace

ModuleTable::ModuleTable(Device& device) : m_device(device) {
    std::lock_guard guard(g_tablesLock);
    g_tables.emplace_back(&device, this);
}

ModuleTable* ModuleTable::Of(const Device* device) {
    std::lock_guard guard(g_tablesLock);
    for (auto& [owner, table] : g_tables)
        if (owner == device) return table;
    return nullptr;
}

ModuleTable::~ModuleTable() {
    // Detach entries may call the platform, which must still reach this device.
    ScopedDevice scope(&m_device);
    std::lock_guard guard(m_lock);
    // Each stays listed while it detaches, so that its entry point can still use its handle.
    while (!m_modules.empty()) {
        Module& module = *m_modules.back();
        module.references = 0;
        Unload(module);
    }
    if (m_program && m_program->library) dlclose(m_program->library);
    std::lock_guard tables(g_tablesLock);
    std::erase_if(g_tables, [this](const auto& entry) { return entry.second == this; });
}

std::u16string ModuleTable::DevicePathFor(std::u16string_view name) {
    if (name.empty()) return {};
    std::u16string path;
    if (name.find(u'\\') == std::u16string_view::npos) {
        path = u"\\Windows\\";
    } else if (name[0] != u'\\') {
        // The device has no current folder: a relative path starts at the root.
        path = u"\\";
    }
    path += name;
    std::u16string_view file = FileNamePart(path);
    if (!file.empty() && file.back() == u'.') {
        path.pop_back();
    } else if (file.find(u'.') == std::u16string_view::npos) {
        path += u".dll";
    }
    return path;
}

bool ModuleTable::ResolveFile(std::u16string_view devicePath, fs::path* hostPath, DWORD* error) {
    fs::path found;
    if (!m_device.Files().ResolveExisting(devicePath, &found, error)) return false;
    std::error_code ec;
    if (!fs::is_regular_file(found, ec)) {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // The object store refuses paths that leave the image; a link inside it must not either.
    fs::path resolved = fs::canonical(found, ec);
    fs::path store = fs::canonical(m_device.StoreRoot(), ec);
    fs::path inside = ec ? fs::path("..") : resolved.lexically_relative(store);
    if (inside.empty() || *inside.begin() == "..") {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    *hostPath = resolved;
    return true;
}

void ModuleTable::Trace(const std::u16string& devicePath, const std::string& reason) const {
    m_device.Trace(u"module " + devicePath + u": " + FromUtf8(reason) + u"\n");
}

bool ModuleTable::ReadResources(const fs::path& hostPath, bool forCode, ResourceTree* tree, bool* isElf,
                                DWORD* error) {
    std::string reason;
    uint8_t magic[4] = {};
    {
        std::ifstream in(hostPath, std::ios::binary);
        in.read(reinterpret_cast<char*>(magic), sizeof magic);
    }
    *isElf = HasElfSignature(magic);
    bool ok = false;
    if (HasDosSignature(magic)) {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(hostPath, &bytes)) {
            reason = "cannot read the file, or it is too large";
        } else {
            ok = ReadPeResources(std::move(bytes), tree, nullptr, &reason);
        }
    } else if (*isElf) {
        ok = ReadElfResources(hostPath, tree, &reason);
    } else {
        reason = forCode ? "neither a PE nor an ELF file" : "not a module file";
    }
    if (!ok) {
        m_device.Trace(u"module file " + FromUtf8(hostPath.string()) + u": " + FromUtf8(reason) + u"\n");
        *error = ERROR_BAD_EXE_FORMAT;
    }
    return ok;
}

HMODULE ModuleTable::Load(std::u16string_view name, bool dataFile, DWORD* error) {
    std::lock_guard guard(m_lock);
    std::u16string devicePath = DevicePathFor(name);
    if (devicePath.empty()) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    fs::path hostPath;
    if (!ResolveFile(devicePath, &hostPath, error)) {
        *error = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    // A data-file load shares any module of that file; a full load only one that is not a data file.
    for (auto& module : m_modules) {
        if (module->references == 0 || module->hostPath != hostPath) continue;
        if (dataFile || !module->dataFile) {
            ++module->references;
            return module->handle;
        }
    }

    auto module = std::make_unique<Module>();
    bool isElf = false;
    if (!ReadResources(hostPath, !dataFile, &module->resources, &isElf, error)) return nullptr;
    module->handle = NewHandle();
    module->dataFile = dataFile;
    module->devicePath = devicePath;
    module->hostPath = hostPath;
    module->references = 1;
    if (isElf && !dataFile) {
        // Only host code the emulator installed runs; anything else an image or a package brings
        // stays data. The library is loaded through the descriptor that was checked.
        std::string reason;
        const int fd = OpenTrustedCode(m_device, devicePath, hostPath, error, &reason);
        if (fd < 0) {
            Trace(devicePath, reason);
            return nullptr;
        }
        module->library = dlopen(DescriptorPath(fd).c_str(), RTLD_NOW | RTLD_LOCAL);
        ::close(fd);
        if (!module->library) {
            const char* why = dlerror();
            Trace(devicePath, why ? why : "dlopen failed");
            *error = ERROR_BAD_EXE_FORMAT;
            return nullptr;
        }
        module->kind = Module::Kind::Library;
    }
    Module* loaded = module.get();
    m_modules.push_back(std::move(module));
    if (loaded->kind == Module::Kind::Library && !CallEntry(*loaded, DLL_PROCESS_ATTACH)) {
        Trace(devicePath, "the entry point refused to attach");
        // As on the device, a library whose attach failed is detached and unloaded at once.
        loaded->references = 0;
        Unload(*loaded);
        *error = ERROR_DLL_INIT_FAILED;
        return nullptr;
    }
    return loaded->handle;
}

void ModuleTable::Unload(Module& module) {
    if (module.kind == Module::Kind::Library && module.library) {
        CallEntry(module, DLL_PROCESS_DETACH);
        dlclose(module.library);
        module.library = nullptr;
    }
    auto it = std::find_if(m_modules.begin(), m_modules.end(), [&](const auto& m) { return m.get() == &module; });
    if (it != m_modules.end()) m_modules.erase(it);
}

bool ModuleTable::Free(HMODULE handle, DWORD* error) {
    std::lock_guard guard(m_lock);
    Module* module = Live(handle);
    if (!handle || !module || module->references == 0) {
        *error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (module->kind == Module::Kind::Program) return true;
    if (--module->references == 0) Unload(*module);
    return true;
}

Module* ModuleTable::Live(HMODULE handle) {
    if (!handle) return Program();
    if (m_program && m_program->handle == handle) return m_program.get();
    for (auto& module : m_modules)
        if (module->handle == handle) return module.get();
    return nullptr;
}

const Module* ModuleTable::Find(HMODULE handle) {
    std::lock_guard guard(m_lock);
    return Live(handle);
}

Module* ModuleTable::Program() {
    if (m_program) return m_program.get();
    auto module = std::make_unique<Module>();
    module->kind = Module::Kind::Program;
    module->handle = NewHandle();
    module->references = 1;
    std::error_code ec;
    fs::path exe = fs::canonical("/proc/self/exe", ec);
    module->hostPath = exe;
    // A program started from the image is named by its device path; one started from the host
    // (a test, the front end) by its file name in \Windows.
    fs::path store = fs::canonical(m_device.StoreRoot(), ec);
    fs::path relative = ec ? fs::path() : exe.lexically_relative(store);
    if (!relative.empty() && *relative.begin() != "..") {
        std::u16string path = FromUtf8(relative.generic_string());
        std::replace(path.begin(), path.end(), u'/', u'\\');
        module->devicePath = u"\\" + path;
    } else {
        module->devicePath = u"\\Windows\\" + FromUtf8(exe.filename().string());
    }
    module->library = dlopen(nullptr, RTLD_NOW);
    std::string reason;
    if (!ReadElfResources(exe, &module->resources, &reason)) {
        Trace(module->devicePath, reason);
        module->resources = ResourceTree();
    }
    m_program = std::move(module);
    return m_program.get();
}

HMODULE ModuleTable::HandleOf(LPCWSTR name, DWORD* error) {
    std::lock_guard guard(m_lock);
    if (!name) return Program()->handle;
    std::u16string wanted = DevicePathFor(name);
    if (wanted.empty()) {
        *error = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    // A bare name matches a module's file name in any folder, a path the whole device path.
    bool byFileName = std::u16string_view(name).find(u'\\') == std::u16string_view::npos;
    auto matches = [&](const Module& module) {
        return byFileName ? EqualsNoCase(FileNamePart(module.devicePath), FileNamePart(wanted))
                          : EqualsNoCase(module.devicePath, wanted);
    };
    for (auto& module : m_modules)
        if (module->references > 0 && !module->dataFile && matches(*module)) return module->handle;
    if (matches(*Program())) return m_program->handle;
    *error = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

void* ModuleTable::Export(HMODULE handle, std::string_view name, DWORD* error) {
    std::lock_guard guard(m_lock);
    Module* module = Live(handle);
    if (!module) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    void* symbol = module->library ? OwnSymbol(module->library, std::string(name).c_str()) : nullptr;
    if (!symbol) *error = ERROR_PROC_NOT_FOUND;
    return symbol;
}

bool ModuleTable::ReadFileResources(std::u16string_view name, ResourceTree* tree, DWORD* error) {
    std::u16string devicePath = DevicePathFor(name);
    fs::path hostPath;
    if (devicePath.empty()) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!ResolveFile(devicePath, &hostPath, error)) return false;
    bool isElf = false;
    return ReadResources(hostPath, false, tree, &isElf, error);
}

}  // namespace host

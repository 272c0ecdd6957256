// The library and resource calls, over the device's module table (module_table.h) and the
// resource, bitmap and version readers.
#include "platform/modules.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/gdi/bitmap.h"
#include "host/kernel/device.h"
#include "host/kernel/object_table.h"
#include "host/modules/module_table.h"
#include "platform/windows.h"
#include "platform/text.h"
#include "host/modules/version_info.h"

namespace {

constexpr WORD kBitmapType = 2;
constexpr WORD kVersionType = 16;
constexpr size_t kVersionHeader = 6;

template <typename T>
T FailWith(DWORD error, T result) {
    host::SetLastErrorCode(error);
    return result;
}

host::ModuleTable* Table() {
    host::Device* device = host::CurrentDevice();
    return device ? host::ModuleTable::Of(device) : nullptr;
}

// The live module behind a handle (null: the running program); sets the error otherwise.
const host::Module* ModuleOf(HMODULE handle, DWORD error = ERROR_INVALID_HANDLE) {
    host::ModuleTable* table = Table();
    const host::Module* module = table ? table->Find(handle) : nullptr;
    if (!module) host::SetLastErrorCode(error);
    return module;
}

const host::ResourceEntry* EntryOf(const host::Module& module, HRSRC resource) {
    auto entry = reinterpret_cast<const host::ResourceEntry*>(resource);
    return module.resources.Owns(entry) ? entry : nullptr;
}

// Finds a resource and sets the platform's error when there is none.
const host::ResourceEntry* Lookup(const host::Module& module, LPCWSTR name, const host::ResourceKey& type) {
    host::ResourceKey key;
    if (!host::ResourceKey::FromArgument(name, &key)) return FailWith<const host::ResourceEntry*>(ERROR_INVALID_PARAMETER, nullptr);
    if (module.resources.Empty()) return FailWith<const host::ResourceEntry*>(ERROR_RESOURCE_DATA_NOT_FOUND, nullptr);
    host::ResourceLookup result;
    const host::ResourceEntry* entry = module.resources.Find(type, key, &result);
    if (!entry)
        host::SetLastErrorCode(result == host::ResourceLookup::TypeNotFound ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                                                              : ERROR_RESOURCE_NAME_NOT_FOUND);
    return entry;
}

// The version resource of a file read without loading it; sets the error when there is none
// or its block does not fit in the resource.
bool ReadVersionResource(LPCWSTR file, host::ResourceTree* tree, const host::ResourceEntry** entry) {
    host::ModuleTable* table = Table();
    if (!file || !table) return FailWith(ERROR_INVALID_PARAMETER, false);
    DWORD error = 0;
    if (!table->ReadFileResources(file, tree, &error)) return FailWith(error, false);
    *entry = tree->FindFirstOfType(host::ResourceKey::Number(kVersionType));
    if (!*entry) return FailWith(ERROR_RESOURCE_TYPE_NOT_FOUND, false);
    size_t declared = host::VersionBlockLength(tree->Data(**entry));
    if (declared < kVersionHeader || declared > (*entry)->size) return FailWith(ERROR_INVALID_DATA, false);
    return true;
}

}  // namespace

HMODULE LoadLibraryW(LPCWSTR name) { return LoadLibraryExW(name, nullptr, 0); }

HMODULE LoadLibraryExW(LPCWSTR name, HANDLE reserved, DWORD flags) {
    if (!name || reserved) return FailWith<HMODULE>(ERROR_INVALID_PARAMETER, nullptr);
    host::ModuleTable* table = Table();
    if (!table) return FailWith<HMODULE>(ERROR_INVALID_HANDLE, nullptr);
    DWORD error = 0;
    HMODULE module = table->Load(name, (flags & LOAD_LIBRARY_AS_DATAFILE) != 0, &error);
    if (!module) host::SetLastErrorCode(error);
    return module;
}

BOOL FreeLibrary(HMODULE module) {
    host::ModuleTable* table = Table();
    DWORD error = ERROR_INVALID_HANDLE;
    if (!table || !table->Free(module, &error)) return FailWith<BOOL>(error, FALSE);
    return TRUE;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
    if (!name) return FailWith<FARPROC>(ERROR_INVALID_PARAMETER, nullptr);
    host::ModuleTable* table = Table();
    if (!table) return FailWith<FARPROC>(ERROR_INVALID_HANDLE, nullptr);
    // Host libraries export by name only.
    if (IS_INTRESOURCE(name)) {
        if (!table->Find(module)) return FailWith<FARPROC>(ERROR_INVALID_HANDLE, nullptr);
        return FailWith<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
    }
    DWORD error = 0;
    void* symbol = table->Export(module, ToUtf8(name), &error);
    if (!symbol) host::SetLastErrorCode(error);
    return symbol;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
    host::ModuleTable* table = Table();
    if (!table) return FailWith<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
    DWORD error = 0;
    HMODULE module = table->HandleOf(name, &error);
    if (!module) host::SetLastErrorCode(error);
    return module;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    const host::Module* found = ModuleOf(module, ERROR_MOD_NOT_FOUND);
    if (!found) return 0;
    if (!buffer || size == 0) return FailWith<DWORD>(ERROR_INSUFFICIENT_BUFFER, 0);
    const std::u16string& path = found->devicePath;
    if (path.size() < size) {
        std::copy(path.begin(), path.end(), buffer);
        buffer[path.size()] = 0;
        return static_cast<DWORD>(path.size());
    }
    // Cut to fit, terminated, and reported as a full buffer.
    std::copy_n(path.begin(), size - 1, buffer);
    buffer[size - 1] = 0;
    return FailWith<DWORD>(ERROR_INSUFFICIENT_BUFFER, size);
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    const host::Module* found = ModuleOf(module);
    if (!found) return nullptr;
    host::ResourceKey typeKey;
    if (!host::ResourceKey::FromArgument(type, &typeKey)) return FailWith<HRSRC>(ERROR_INVALID_PARAMETER, nullptr);
    return reinterpret_cast<HRSRC>(const_cast<host::ResourceEntry*>(Lookup(*found, name, typeKey)));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    const host::Module* found = ModuleOf(module);
    if (!found) return nullptr;
    const host::ResourceEntry* entry = EntryOf(*found, resource);
    if (!entry) return FailWith<HGLOBAL>(ERROR_INVALID_HANDLE, nullptr);
    // The module's resources stay in memory while it is loaded, so the data is its own handle.
    return const_cast<uint8_t*>(found->resources.Data(*entry).data());
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    const host::Module* found = ModuleOf(module);
    if (!found) return 0;
    const host::ResourceEntry* entry = EntryOf(*found, resource);
    if (!entry) return FailWith<DWORD>(ERROR_INVALID_HANDLE, 0);
    return static_cast<DWORD>(entry->size);
}

int LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size) {
    const host::Module* found = ModuleOf(module);
    if (!found) return 0;
    if (!buffer || size < 0) return FailWith(ERROR_INVALID_PARAMETER, 0);
    std::u16string_view text;
    if (!host::FindTableString(found->resources, id, &text)) {
        if (size > 0) buffer[0] = 0;
        return FailWith(ERROR_RESOURCE_NAME_NOT_FOUND, 0);
    }
    if (size == 0) {
        // The caller passed the address of a pointer: it receives the string in place.
        const WCHAR* in_place = text.data();
        std::memcpy(buffer, &in_place, sizeof in_place);
        return static_cast<int>(text.size());
    }
    size_t count = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::copy_n(text.begin(), count, buffer);
    buffer[count] = 0;
    return static_cast<int>(count);
}

namespace {

constexpr WORD kGroupIconType = 14;

// An icon is known by the group resource it came from; the device draws none of them here, so
// nothing more of it is kept.
struct Icon {
    HMODULE module = nullptr;
};

host::ObjectTable<Icon>& Icons() {
    static host::ObjectTable<Icon> table(0x3E000000u);
    return table;
}

}  // namespace

HICON LoadIconW(HINSTANCE module, LPCWSTR name) {
    const host::Module* found = ModuleOf(module);
    if (!found) return nullptr;
    if (!Lookup(*found, name, host::ResourceKey::Number(kGroupIconType)))
        return FailWith<HICON>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);
    auto icon = std::make_unique<Icon>();
    icon->module = module;
    return host::HandleOf<HICON>(Icons().Insert(std::move(icon)));
}

BOOL DestroyIcon(HICON icon) {
    return Icons().Take(host::HandleValue(icon)) ? TRUE : FailWith(ERROR_INVALID_HANDLE, FALSE);
}

HBITMAP LoadBitmapW(HINSTANCE module, LPCWSTR name) {
    const host::Module* found = ModuleOf(module);
    if (!found) return nullptr;
    const host::ResourceEntry* entry = Lookup(*found, name, host::ResourceKey::Number(kBitmapType));
    if (!entry) return nullptr;
    std::string reason;
    std::unique_ptr<host::Bitmap> bitmap = host::DecodeDib(found->resources.Data(*entry), &reason);
    if (!bitmap) {
        if (host::Device* device = host::CurrentDevice())
            device->Trace(u"LoadBitmap " + found->devicePath + u": " + FromUtf8(reason) + u"\n");
        return FailWith<HBITMAP>(ERROR_INVALID_DATA, nullptr);
    }
    return host::RegisterBitmap(std::move(bitmap));
}

DWORD GetFileVersionInfoSizeW(LPCWSTR file, DWORD* handle) {
    if (handle) *handle = 0;
    host::ResourceTree tree;
    const host::ResourceEntry* entry = nullptr;
    if (!ReadVersionResource(file, &tree, &entry)) return 0;
    return static_cast<DWORD>(entry->size);
}

BOOL GetFileVersionInfoW(LPCWSTR file, DWORD, DWORD size, LPVOID data) {
    if (!data) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (size < kVersionHeader) return FailWith<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
    host::ResourceTree tree;
    const host::ResourceEntry* entry = nullptr;
    if (!ReadVersionResource(file, &tree, &entry)) return FALSE;
    auto bytes = tree.Data(*entry);
    size_t count = std::min<size_t>(size, bytes.size());
    std::memcpy(data, bytes.data(), count);
    // A cut copy declares only what it holds, so queries on it stay inside the caller's buffer.
    if (count < host::VersionBlockLength(bytes)) {
        auto* out = static_cast<uint8_t*>(data);
        out[0] = static_cast<uint8_t>(count & 0xFF);
        out[1] = static_cast<uint8_t>((count >> 8) & 0xFF);
    }
    return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length) {
    if (!block || !subBlock || !buffer || !length) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    auto* bytes = static_cast<const uint8_t*>(block);
    // The block is one GetFileVersionInfoW filled: its first WORD is its length.
    std::span<const uint8_t> span(bytes, host::ReadLe16(bytes));
    const uint8_t* value = nullptr;
    UINT count = 0;
    if (!host::QueryVersionValue(span, subBlock, &value, &count))
        return FailWith<BOOL>(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    *buffer = const_cast<uint8_t*>(value);
    *length = count;
    return TRUE;
}

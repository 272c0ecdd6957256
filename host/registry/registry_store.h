// The device registry: keys below the three predefined roots and their typed values, kept in the
// image database, plus this process's table of open key handles.
//
// Invariants:
// - Names are compared without regard to case (the platform's folding) and keep the spelling
//   they were created with; a value overwritten under another spelling keeps its first one.
// - Every write is one autocommitted statement or one transaction, so it has reached the
//   database when the call returns, and another process on the same image sees it at once.
// - Key ids are never reused, so a handle whose key was deleted (here or by another process)
//   can only ever fail with ERROR_KEY_DELETED; it never reaches a newer key.
// - Enumeration order is the case-insensitive name order, the same for every call and process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/kernel/database.h"
#include "platform/wintypes.h"

namespace host {

class Device;
class Database;

class RegistryStore {
public:
    using KeyId = int64_t;
    static constexpr KeyId kNoKey = 0;
    // Windows CE's limit for a key name (one path component) and for a value name, in units.
    static constexpr size_t kMaxNameLength = 255;
    // How deep a key may lie below its root, as the platform's registry allows. Deeper keys are
    // never made, so every walk of the tree (export, deletion) stays bounded.
    static constexpr size_t kMaxKeyDepth = 512;

    explicit RegistryStore(Device& device);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The platform calls, with their parameters already checked for presence where the call
    // itself demands it. Each returns ERROR_SUCCESS or the platform's error code.
    LONG OpenKey(HKEY parent, const WCHAR* subKey, HKEY* result);
    LONG CreateKey(HKEY parent, const WCHAR* subKey, HKEY* result, DWORD* disposition);
    LONG CloseKey(HKEY key);
    LONG QueryValue(HKEY key, const WCHAR* name, DWORD* type, BYTE* data, DWORD* size);
    LONG SetValue(HKEY key, const WCHAR* name, DWORD type, const BYTE* data, DWORD size);
    LONG DeleteValue(HKEY key, const WCHAR* name);
    LONG DeleteKey(HKEY key, const WCHAR* subKey);
    LONG EnumKey(HKEY key, DWORD index, WCHAR* name, DWORD* nameLength);
    LONG EnumValue(HKEY key, DWORD index, WCHAR* name, DWORD* nameLength, DWORD* type, BYTE* data,
                   DWORD* dataSize);
    struct KeyInfo {
        DWORD subKeys = 0;
        DWORD maxSubKeyLength = 0;  // units, terminator excluded
        DWORD values = 0;
        DWORD maxValueNameLength = 0;  // units, terminator excluded
        DWORD maxValueSize = 0;        // bytes
    };
    LONG QueryInfo(HKEY key, KeyInfo* info);
    // ERROR_SUCCESS when key names a live key.
    LONG CheckKey(HKEY key);

    // Key-id level operations for the .reg exporter and importer. Paths are relative to the
    // given key, components separated by '\'.
    static KeyId RootKey(HKEY root);  // kNoKey for anything but the three roots
    LONG FindKey(KeyId parent, std::u16string_view path, KeyId* result);
    LONG CreateKeyPath(KeyId parent, std::u16string_view path, KeyId* result, bool* created);
    // Deletes the key with all its subkeys and values; a root is refused.
    LONG DeleteTree(KeyId key);
    struct SubkeyEntry {
        KeyId id;
        std::u16string name;
    };
    struct ValueEntry {
        std::u16string name;
        DWORD type;
        std::vector<uint8_t> data;
    };
    // Both lists come in enumeration order.
    LONG ListSubkeys(KeyId key, std::vector<SubkeyEntry>* subkeys);
    LONG ListValues(KeyId key, std::vector<ValueEntry>* values);
    LONG PutValue(KeyId key, std::u16string_view name, DWORD type, const uint8_t* data, size_t size);
    LONG RemoveValue(KeyId key, std::u16string_view name);
    bool KeyExists(KeyId key);
    // The spelling the key was created with.
    LONG KeyName(KeyId key, std::u16string* name);

    // Splits a relative key path into its components: no leading '\', one trailing '\' ignored,
    // no empty component, each at most kMaxNameLength units and a valid name. ERROR_SUCCESS,
    // ERROR_BAD_PATHNAME or ERROR_INVALID_PARAMETER. An empty path gives no components.
    static LONG SplitPath(std::u16string_view path, std::vector<std::u16string_view>* parts);
    // A name the registry can store: well-formed UTF-16 without control characters.
    static bool IsValidName(std::u16string_view name);

private:
    // Resolves a handle to its key id: ERROR_INVALID_HANDLE for an unknown handle.
    LONG Resolve(HKEY key, KeyId* id);
    HKEY NewHandle(KeyId id);
    // After a lookup under key found nothing: tells a missing item from a deleted key.
    LONG NotFoundOr(KeyId key, LONG missing);
    LONG FindChild(KeyId parent, std::u16string_view name, KeyId* child);
    // How many levels below its root the key lies (0 for a root).
    LONG KeyDepth(KeyId key, size_t* depth);

    // Value reads are served from memory while no connection anywhere has committed since
    // they were read from the database.
    struct CachedValue {
        LONG rc;
        DWORD type;
        std::vector<uint8_t> data;
    };
    const CachedValue* CachedQuery(KeyId id, const std::string& folded);

    Database& m_db;
    std::unordered_map<uintptr_t, KeyId> m_handles;
    Database::ChangeStamp m_cacheStamp;
    std::unordered_map<std::string, CachedValue> m_valueCache;
};

}  // namespace host

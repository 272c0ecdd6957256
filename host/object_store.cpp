// Placeholder mapping (exact case only) until the object store lands.
#include "object_store.h"

#include "device.h"
#include "platform/text.h"
#include "platform/winerror.h"

namespace host {

ObjectStore::ObjectStore(Device& device) : m_device(device) {}
ObjectStore::~ObjectStore() = default;

bool ObjectStore::ResolveExisting(std::u16string_view devicePath, std::filesystem::path* hostPath, DWORD* error) {
    if (devicePath.empty() || devicePath[0] != u'\\') {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string rel = ToUtf8(devicePath.substr(1));
    for (auto& c : rel)
        if (c == '\\') c = '/';
    std::filesystem::path p = m_device.StoreRoot() / rel;
    std::error_code ec;
    if (!std::filesystem::exists(p, ec)) {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    *hostPath = p;
    return true;
}

bool ObjectStore::ImportHostFile(const std::filesystem::path& source, std::u16string_view devicePath, DWORD* error) {
    std::string rel = ToUtf8(devicePath.substr(1));
    for (auto& c : rel)
        if (c == '\\') c = '/';
    std::error_code ec;
    std::filesystem::copy_file(source, m_device.StoreRoot() / rel, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) *error = ERROR_PATH_NOT_FOUND;
    return !ec;
}

}  // namespace host

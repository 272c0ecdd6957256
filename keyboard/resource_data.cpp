#include "resource_data.h"

namespace keyboard {

ResourceData FindResourceData(HMODULE module, const WCHAR* name, const WCHAR* type) {
    ResourceData result;
    if (!module) return result;
    HRSRC resource = FindResourceW(module, name, type);
    if (!resource) return result;
    result.found = true;
    HGLOBAL handle = LoadResource(module, resource);
    DWORD size = SizeofResource(module, resource);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (data && size) result.bytes = {static_cast<const uint8_t*>(data), size};
    return result;
}

}  // namespace keyboard

// Reading raw resources of a loaded module: the engine's own tables and a skin's layout and
// character data. The bytes stay valid while the module is loaded.
#pragma once

#include <cstdint>
#include <span>

#include "platform/modules.h"

namespace keyboard {

// The string-named resource type that skins and the engine use for their tables (not the
// numbered standard type).
inline constexpr const WCHAR* kDataType = u"RC_DATA";

struct ResourceData {
    bool found = false;
    std::span<const uint8_t> bytes;
};

// Found with empty bytes when the resource exists but cannot be read.
ResourceData FindResourceData(HMODULE module, const WCHAR* name, const WCHAR* type = kDataType);

}  // namespace keyboard

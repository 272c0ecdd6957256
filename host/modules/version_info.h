// Queries on a version resource block (VS_VERSIONINFO): the fixed file information, the
// translation table and the StringFileInfo texts. Pure code over a bounded block.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/wintypes.h"

namespace host {

// The length the block declares for itself (its first WORD), 0 when shorter than a header.
size_t VersionBlockLength(std::span<const uint8_t> block);

// path: "\" for the fixed information, "\VarFileInfo\Translation", "\StringFileInfo\040904B0\Name"
// (components compared without regard to case). value points into block; length counts UTF-16
// units (terminator included) for text values and bytes for binary ones. False when a component
// is missing, the structure is malformed, or "\" is asked of a block without fixed information.
bool QueryVersionValue(std::span<const uint8_t> block, std::u16string_view path, const uint8_t** value,
                       UINT* length);

}  // namespace host

// Device paths as the object store accepts them, and the device's wildcard matching of names.
// Everything here is plain text work: nothing touches the host, so a path that fails these
// checks never reaches the host file system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace host {

enum class PathKind {
    Entry,    // a file or folder: no wildcards anywhere
    Pattern,  // a search: '*' and '?' allowed in the last component
};

// Splits a device path into its components ("\Windows\a.txt" -> "Windows", "a.txt"; the root
// "\" has none). The device has no current folder, so a path without a leading backslash is
// taken from the root, as the device does. Refused with ERROR_INVALID_NAME: empty components
// (doubled or trailing backslashes), components of dots only ("." "..") and names holding a
// control character, NUL, '/', ':' (drive letters), '"', '<', '>', '|', a wildcard where none
// is allowed, or half of a surrogate pair. Paths of MAX_PATH units or more, and names the host
// cannot store (over 255 UTF-8 bytes), give ERROR_FILENAME_EXCED_RANGE; an empty path gives
// ERROR_PATH_NOT_FOUND. On failure *parts is left as it was.
DWORD SplitDevicePath(std::u16string_view path, PathKind kind, std::vector<std::u16string>* parts);

// One component by the same rules.
bool IsValidDeviceName(std::u16string_view name, PathKind kind);

bool HasWildcards(std::u16string_view name);

// The device's name matching for searches: case-insensitive, '*' any run of units (also
// none), '?' exactly one unit. A pattern ending in ".*" also matches a name without any dot
// by the part before it, so "*.*" lists every entry and "a*.*" finds "abc".
bool MatchesPattern(std::u16string_view name, std::u16string_view pattern);

}  // namespace host

// Type libraries on the host: a reader of the header of a type library in the "MSFT" format
// (as widl and the platform's own tools write it), and the minimal ITypeLib that LoadTypeLib
// hands out over it. What describes the library as a whole is read (its identifier, version,
// locale, system kind, flags, name, help string, help file and help context), and of each type
// description its kind, name and help string; members and type information objects are not.
//
// The reader takes untrusted bytes: every offset and length is checked against the data before
// it is followed, and a file that fails a check is refused as a whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/oleauto.h"

namespace host {

struct TypeDescription {
    TYPEKIND kind = TKIND_ENUM;
    std::u16string name;
    std::u16string helpString;
    bool hasHelpString = false;
};

struct TypeLibHeader {
    GUID guid{};
    LCID lcid = 0;
    SYSKIND syskind = SYS_WIN32;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD flags = 0;
    DWORD helpContext = 0;
    DWORD typeInfoCount = 0;
    std::u16string name;
    // Empty when the library has none; hasHelpString tells an empty string from a missing one.
    std::u16string helpString;
    bool hasHelpString = false;
    std::u16string helpFile;
    bool hasHelpFile = false;
    // One per type description, typeInfoCount in all, in the library's order.
    std::vector<TypeDescription> types;
};

// False with a short reason when data is not a complete MSFT type library header.
bool ParseTypeLibHeader(const uint8_t* data, size_t size, TypeLibHeader* header, std::string* reason);

// A type library object over a parsed header, with one reference held by the caller; null when
// out of memory.
ITypeLib* CreateTypeLib(const TypeLibHeader& header);

}  // namespace host

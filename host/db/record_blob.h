// A record as the image keeps it: its properties in record order, each as its propid (4 bytes),
// the size of its value (4 bytes), both little-endian, and the value's bytes in one fixed form per
// type: 2 bytes for CEVT_I2 and CEVT_UI2, 4 for CEVT_I4, CEVT_UI4 and CEVT_BOOL, 8 for CEVT_R8
// and CEVT_FILETIME (low word first), UTF-16LE units without a terminator for CEVT_LPWSTR, the
// bytes themselves for CEVT_BLOB. A record's propids are distinct.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database.h"

namespace host::cedb {

struct PropertyView {
    CEPROPID propid;
    std::string_view value;
};

// Whether the type is one the databases hold.
bool IsKnownType(WORD type);
// The size of a type's value, or 0 for the variable ones (CEVT_LPWSTR, CEVT_BLOB).
size_t FixedSize(WORD type);
// The size the platform counts for a value: a text with its terminator.
size_t PlatformSize(CEPROPID propid, std::string_view value);

// Splits a stored record into its properties; false when the bytes are not a well-formed record
// (an image from someone else may hold anything): a size past the end, a value of the wrong
// size for its type, an unknown type, a repeated propid, or a record beyond the platform's
// limits.
bool DecodeRecord(std::string_view blob, std::vector<PropertyView>* properties);
void AppendProperty(std::string* blob, CEPROPID propid, std::string_view value);
// The value of propid in a well-formed record, or false.
bool FindProperty(std::string_view blob, CEPROPID propid, std::string_view* value);

// The key a sort order gives a record: keys compare bytewise as the order wants (see
// database_store.h for the order), ties being left to the caller.
std::string SortKey(std::string_view blob, const SORTORDERSPEC& spec);

// Little-endian helpers for the fixed forms.
inline uint32_t ReadLe32(const char* p) {
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}
inline uint16_t ReadLe16(const char* p) { return uint16_t(uint8_t(p[0]) | uint8_t(p[1]) << 8); }
inline void AppendLe32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}

}  // namespace host::cedb

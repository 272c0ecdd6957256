// The resources of one module as type -> name -> language -> bytes, filled from a PE resource
// section (pe_image.h) or a .res file (res_file.h). Pure data over a byte buffer the tree owns,
// so the parsers and lookups run without a device (the fuzz targets drive them directly).
// Invariant: every entry's bytes lie inside the owned buffer, so pointers handed out stay valid
// for the life of the tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace host {

// A resource type or name: a 16-bit number or a string. Strings compare without regard to
// case, as the resource compiler stores them upper-cased and lookups fold.
struct ResourceKey {
    bool isNumber = true;
    WORD number = 0;
    std::u16string name;

    static ResourceKey Number(WORD id) { return ResourceKey{true, id, {}}; }
    static ResourceKey Name(std::u16string_view text) { return ResourceKey{false, 0, std::u16string(text)}; }
    // From a call's argument: MAKEINTRESOURCEW(id), "#101" (decimal, numeric 101) or a name.
    // False for a null pointer.
    static bool FromArgument(LPCWSTR argument, ResourceKey* key);

    bool Matches(const ResourceKey& other) const;
};

struct ResourceEntry {
    ResourceKey type;
    ResourceKey name;
    WORD language = 0;
    size_t offset = 0;  // into ResourceTree::Bytes()
    size_t size = 0;
};

// Outcome of a lookup, so that callers can report the platform's error for each case.
enum class ResourceLookup { Found, TypeNotFound, NameNotFound };

class ResourceTree {
public:
    // Limits on what a parser accepts, so that a hostile file cannot make the walk explode.
    static constexpr size_t kMaxEntries = 65536;
    static constexpr size_t kMaxNameLength = 1024;

    ResourceTree() = default;
    explicit ResourceTree(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    const std::vector<ResourceEntry>& Entries() const { return m_entries; }
    bool Empty() const { return m_entries.empty(); }

    // Parsers add entries whose range they have checked against Bytes().
    bool Add(ResourceEntry entry);

    // The first entry of that type and name, any language.
    const ResourceEntry* Find(const ResourceKey& type, const ResourceKey& name, ResourceLookup* result = nullptr) const;
    // The first entry of that type, any name.
    const ResourceEntry* FindFirstOfType(const ResourceKey& type) const;
    std::span<const uint8_t> Data(const ResourceEntry& entry) const {
        return {m_bytes.data() + entry.offset, entry.size};
    }
    // True when entry points into this tree's entry list (handles are checked with this).
    bool Owns(const ResourceEntry* entry) const;

private:
    std::vector<uint8_t> m_bytes;
    std::vector<ResourceEntry> m_entries;
};

// String tables: string id lives in block (id / 16) + 1 at position id % 16, each string a
// length-prefixed run of UTF-16 units. False when the block or the string is missing or the
// block is cut short; an empty string is reported as missing, as the loader does.
bool FindTableString(const ResourceTree& tree, UINT id, std::u16string_view* text);
// The same walk over one block's bytes (the fuzz targets call this on every block they find).
bool StringFromBlock(std::span<const uint8_t> block, unsigned index, std::u16string_view* text);

// Reads a little-endian value at offset; the caller has checked the range.
inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t ReadLe64(const uint8_t* p) { return ReadLe32(p) | static_cast<uint64_t>(ReadLe32(p + 4)) << 32; }

}  // namespace host

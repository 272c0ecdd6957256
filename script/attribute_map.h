// The parameters of one script command: the element's attributes, keyed by the hash of their
// names, and the "Data" list made of the texts of the element's child nodes. Lookups compare
// hashes only, so attribute names match without regard to ASCII case (and two names with the
// same hash are the same name).
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

// h = h * 9 + c over the name's units, with only 'A'..'Z' folded to lower case, modulo 2^32.
constexpr DWORD NameHash(const WCHAR* name) {
    DWORD h = 0;
    if (!name) return 0;
    for (; *name; ++name) {
        DWORD c = *name;
        if (c >= 0x41 && c <= 0x5A) c += 0x20;
        h = h * 9 + c;
    }
    return h;
}

// The size of a Data list in units: zero-terminated texts one after the other, ending at the
// first empty text. The buffer is always this long and zero-filled past what was appended.
constexpr size_t kDataListUnits = 16384;

struct AttributeEntry {
    DWORD key;
    std::u16string value;
};

class AttributeMap {
public:
    void Add(DWORD key, std::u16string value) { m_entries.push_back({key, std::move(value)}); }
    // The value of the first entry whose key is NameHash(name), or null. A Data list's value
    // holds kDataListUnits units, so a reader may walk it to its double zero.
    const WCHAR* Find(const WCHAR* name) const { return FindKey(NameHash(name)); }
    const WCHAR* FindKey(DWORD key) const {
        for (const AttributeEntry& entry : m_entries)
            if (entry.key == key) return entry.value.c_str();
        return nullptr;
    }
    size_t Count() const { return m_entries.size(); }
    const AttributeEntry& At(size_t index) const { return m_entries[index]; }
    // Moves a value out, leaving the entry empty, so that its storage can be used again.
    std::u16string TakeValue(size_t index) { return std::move(m_entries[index].value); }
    void Clear() { m_entries.clear(); }

private:
    std::vector<AttributeEntry> m_entries;
};

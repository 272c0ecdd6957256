#include "host/modules/resource_tree.h"

#include "platform/text.h"

namespace host {

bool ResourceKey::FromArgument(LPCWSTR argument, ResourceKey* key) {
    if (!argument) return false;
    if (IS_INTRESOURCE(argument)) {
        *key = Number(LOWORD(argument));
        return true;
    }
    std::u16string_view text(argument);
    if (text.size() > 1 && text.size() <= 6 && text[0] == u'#') {
        uint32_t value = 0;
        bool digits = true;
        for (char16_t c : text.substr(1)) {
            if (c < u'0' || c > u'9') {
                digits = false;
                break;
            }
            value = value * 10 + (c - u'0');
        }
        if (digits && value <= 0xFFFF) {
            *key = Number(static_cast<WORD>(value));
            return true;
        }
    }
    *key = Name(text);
    return true;
}

bool ResourceKey::Matches(const ResourceKey& other) const {
    if (isNumber != other.isNumber) return false;
    return isNumber ? number == other.number : EqualsNoCase(name, other.name);
}

bool ResourceTree::Add(ResourceEntry entry) {
    if (m_entries.size() >= kMaxEntries) return false;
    if (entry.offset > m_bytes.size() || entry.size > m_bytes.size() - entry.offset) return false;
    m_entries.push_back(std::move(entry));
    return true;
}

const ResourceEntry* ResourceTree::Find(const ResourceKey& type, const ResourceKey& name,
                                        ResourceLookup* result) const {
    bool typeSeen = false;
    for (const auto& entry : m_entries) {
        if (!entry.type.Matches(type)) continue;
        typeSeen = true;
        if (entry.name.Matches(name)) {
            if (result) *result = ResourceLookup::Found;
            return &entry;
        }
    }
    if (result) *result = typeSeen ? ResourceLookup::NameNotFound : ResourceLookup::TypeNotFound;
    return nullptr;
}

const ResourceEntry* ResourceTree::FindFirstOfType(const ResourceKey& type) const {
    for (const auto& entry : m_entries)
        if (entry.type.Matches(type)) return &entry;
    return nullptr;
}

bool ResourceTree::Owns(const ResourceEntry* entry) const {
    if (m_entries.empty() || !entry) return false;
    // Compared as addresses, so that a pointer from another tree (or a made-up one) is refused
    // without undefined pointer arithmetic.
    auto first = reinterpret_cast<uintptr_t>(m_entries.data());
    auto value = reinterpret_cast<uintptr_t>(entry);
    if (value < first) return false;
    uintptr_t delta = value - first;
    return delta % sizeof(ResourceEntry) == 0 && delta / sizeof(ResourceEntry) < m_entries.size();
}

bool StringFromBlock(std::span<const uint8_t> block, unsigned index, std::u16string_view* text) {
    // Text is handed out as UTF-16 in place, which needs an even address.
    if (index > 15 || reinterpret_cast<uintptr_t>(block.data()) % alignof(char16_t) != 0) return false;
    size_t pos = 0;
    for (unsigned i = 0;; ++i) {
        if (block.size() - pos < 2) return false;
        size_t length = ReadLe16(block.data() + pos);
        pos += 2;
        if (length > (block.size() - pos) / 2) return false;
        if (i == index) {
            if (length == 0) return false;
            *text = std::u16string_view(reinterpret_cast<const char16_t*>(block.data() + pos), length);
            return true;
        }
        pos += length * 2;
    }
}

bool FindTableString(const ResourceTree& tree, UINT id, std::u16string_view* text) {
    if (id > 0xFFFF) return false;
    const ResourceEntry* block =
        tree.Find(ResourceKey::Number(6), ResourceKey::Number(static_cast<WORD>(id / 16 + 1)));
    if (!block) return false;
    return StringFromBlock(tree.Data(*block), id % 16, text);
}

}  // namespace host

#include "host/modules/pe_image.h"

#include <algorithm>
#include <set>

namespace host {

namespace {

constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
constexpr unsigned kResourceDirectoryIndex = 2;

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class ResourceWalker {
public:
    ResourceWalker(const std::vector<uint8_t>& file, std::vector<Section> sections, ResourceTree* tree,
                   std::string* error)
        : m_file(file), m_sections(std::move(sections)), m_tree(tree), m_error(error) {}

    bool Walk(uint32_t resourceRva) {
        size_t base = 0, limit = 0;
        if (!MapRva(resourceRva, kDirectoryHeaderSize, &base, &limit))
            return Fail("the resource directory lies outside the file's sections");
        m_base = base;
        m_limit = limit;
        return WalkDirectory(0, 0, ResourceKey(), ResourceKey());
    }

private:
    // File offset of rva, with the end of the section's stored bytes; the range [rva, rva+length)
    // must lie within them.
    bool MapRva(uint32_t rva, size_t length, size_t* offset, size_t* limit) const {
        for (const auto& s : m_sections) {
            uint64_t stored = std::min<uint64_t>(s.rawSize, m_file.size() > s.rawOffset ? m_file.size() - s.rawOffset : 0);
            if (rva < s.virtualAddress || rva - s.virtualAddress >= stored) continue;
            uint64_t within = rva - s.virtualAddress;
            if (length > stored - within) return false;
            *offset = static_cast<size_t>(s.rawOffset + within);
            *limit = static_cast<size_t>(s.rawOffset + stored);
            return true;
        }
        return false;
    }

    bool Fail(const char* reason) {
        if (m_error) *m_error = reason;
        return false;
    }

    // A structure of `size` bytes at `offset` (relative to the directory root) inside the
    // resource section.
    bool InSection(uint64_t offset, uint64_t size) const {
        return offset <= m_limit - m_base && size <= m_limit - m_base - offset;
    }

    bool ReadKey(uint32_t raw, ResourceKey* key) {
        if (!(raw & kSubdirectoryFlag)) {
            if (raw > 0xFFFF) return Fail("a resource id is out of range");
            *key = ResourceKey::Number(static_cast<WORD>(raw));
            return true;
        }
        uint32_t offset = raw & ~kSubdirectoryFlag;
        if (!InSection(offset, 2)) return Fail("a resource name lies outside the resource section");
        const uint8_t* p = m_file.data() + m_base + offset;
        size_t length = ReadLe16(p);
        if (length > ResourceTree::kMaxNameLength) return Fail("a resource name is too long");
        if (!InSection(offset + 2, length * 2)) return Fail("a resource name is cut short");
        std::u16string name(length, u'\0');
        for (size_t i = 0; i < length; ++i) name[i] = static_cast<char16_t>(ReadLe16(p + 2 + i * 2));
        *key = ResourceKey::Name(name);
        return true;
    }

    // Levels: 0 types, 1 names, 2 languages whose entries point at data entries.
    bool WalkDirectory(uint32_t offset, int level, const ResourceKey& type, const ResourceKey& name) {
        if (!InSection(offset, kDirectoryHeaderSize)) return Fail("a resource directory lies outside the resource section");
        // A directory reached twice means a cycle or shared subtrees, which the resource compiler
        // never writes; refusing it keeps the walk linear in the size of the file.
        if (!m_visited.insert(offset).second) return Fail("the resource directory is cyclic");
        const uint8_t* header = m_file.data() + m_base + offset;
        size_t count = static_cast<size_t>(ReadLe16(header + 12)) + ReadLe16(header + 14);
        if (!InSection(offset + kDirectoryHeaderSize, count * kDirectoryEntrySize))
            return Fail("a resource directory's entries are cut short");
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* entry = header + kDirectoryHeaderSize + i * kDirectoryEntrySize;
            uint32_t rawName = ReadLe32(entry);
            uint32_t target = ReadLe32(entry + 4);
            bool isDirectory = (target & kSubdirectoryFlag) != 0;
            target &= ~kSubdirectoryFlag;
            if (level < 2) {
                if (!isDirectory) return Fail("resource data found where a directory belongs");
                ResourceKey key;
                if (!ReadKey(rawName, &key)) return false;
                if (!WalkDirectory(target, level + 1, level == 0 ? key : type, level == 0 ? ResourceKey() : key))
                    return false;
                continue;
            }
            if (isDirectory) return Fail("a resource directory is nested too deep");
            if (rawName & kSubdirectoryFlag) return Fail("a resource language is named");
            if (!AddData(target, type, name, static_cast<WORD>(rawName))) return false;
        }
        return true;
    }

    bool AddData(uint32_t offset, const ResourceKey& type, const ResourceKey& name, WORD language) {
        if (!InSection(offset, kDataEntrySize)) return Fail("a resource data entry lies outside the resource section");
        const uint8_t* p = m_file.data() + m_base + offset;
        uint32_t rva = ReadLe32(p);
        uint32_t size = ReadLe32(p + 4);
        size_t dataOffset = 0, limit = 0;
        if (size == 0) {
            // Empty data needs no bytes; it still has to point into a section.
            if (!MapRva(rva, 0, &dataOffset, &limit) && rva != 0) return Fail("resource data lies outside the file");
        } else if (!MapRva(rva, size, &dataOffset, &limit)) {
            return Fail("resource data lies outside the file");
        }
        ResourceEntry entry{type, name, language, dataOffset, size};
        if (!m_tree->Add(std::move(entry))) return Fail("too many resources");
        return true;
    }

    const std::vector<uint8_t>& m_file;
    std::vector<Section> m_sections;
    ResourceTree* m_tree;
    std::string* m_error;
    size_t m_base = 0;
    size_t m_limit = 0;
    std::set<uint32_t> m_visited;
};

}  // namespace

bool HasDosSignature(std::span<const uint8_t> file) { return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z'; }

bool ReadPeResources(std::vector<uint8_t> file, ResourceTree* tree, PeHeaders* headers, std::string* error) {
    auto fail = [error](const char* reason) {
        if (error) *error = reason;
        return false;
    };
    if (!HasDosSignature(file) || file.size() < 64) return fail("not a PE file (no MZ header)");
    uint32_t peOffset = ReadLe32(file.data() + 0x3C);
    if (peOffset > file.size() || file.size() - peOffset < 24) return fail("not a PE file (header outside the file)");
    const uint8_t* pe = file.data() + peOffset;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return fail("not a PE file (no PE signature)");

    PeHeaders info;
    info.machine = ReadLe16(pe + 4);
    info.sectionCount = ReadLe16(pe + 6);
    size_t optionalSize = ReadLe16(pe + 20);
    size_t optionalOffset = peOffset + 24;
    if (optionalSize > file.size() - optionalOffset) return fail("the optional header is cut short");
    if (optionalSize < 2) return fail("the optional header is missing");
    const uint8_t* opt = file.data() + optionalOffset;
    uint16_t magic = ReadLe16(opt);
    size_t countOffset = 0;
    if (magic == kOptionalMagicPe32) {
        countOffset = 92;
    } else if (magic == kOptionalMagicPe32Plus) {
        countOffset = 108;
        info.pe32Plus = true;
    } else {
        return fail("unknown optional header");
    }
    if (optionalSize >= 70) info.subsystem = ReadLe16(opt + 68);

    size_t sectionTable = optionalOffset + optionalSize;
    if (static_cast<size_t>(info.sectionCount) * kSectionHeaderSize > file.size() - sectionTable)
        return fail("the section table is cut short");
    std::vector<Section> sections;
    for (size_t i = 0; i < info.sectionCount; ++i) {
        const uint8_t* s = file.data() + sectionTable + i * kSectionHeaderSize;
        sections.push_back({ReadLe32(s + 12), ReadLe32(s + 8), ReadLe32(s + 16), ReadLe32(s + 20)});
    }

    uint32_t resourceRva = 0;
    size_t directoryOffset = countOffset + 4 + kResourceDirectoryIndex * 8;
    if (optionalSize >= countOffset + 4 && ReadLe32(opt + countOffset) > kResourceDirectoryIndex &&
        optionalSize >= directoryOffset + 8)
        resourceRva = ReadLe32(opt + directoryOffset);

    ResourceTree result(std::move(file));
    if (resourceRva != 0) {
        ResourceWalker walker(result.Bytes(), std::move(sections), &result, error);
        if (!walker.Walk(resourceRva)) return false;
    }
    if (headers) *headers = info;
    *tree = std::move(result);
    return true;
}

}  // namespace host

#include "host/modules/elf_sections.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "host/modules/resource_tree.h"

namespace host {

namespace {

constexpr uint32_t kSectionNoBits = 8;  // SHT_NOBITS: occupies no file space
constexpr uint16_t kExtendedIndex = 0xFFFF;
// Beyond this a section table is not one the toolchain wrote.
constexpr uint64_t kMaxSections = 1u << 20;

struct Layout {
    bool is64;
    size_t headerSize, shoffAt, shentsizeAt, shnumAt, shstrndxAt;
    size_t entrySize, nameAt, typeAt, offsetAt, sizeAt, linkAt;
};

constexpr Layout kElf32{false, 52, 0x20, 0x2E, 0x30, 0x32, 40, 0, 4, 0x10, 0x14, 0x18};
constexpr Layout kElf64{true, 64, 0x28, 0x3A, 0x3C, 0x3E, 64, 0, 4, 0x18, 0x20, 0x28};

struct SectionHeader {
    uint32_t name, type, link;
    uint64_t offset, size;
};

class Reader {
public:
    Reader(const ElfReader& read, uint64_t fileSize, std::string* error)
        : m_read(read), m_fileSize(fileSize), m_error(error) {}

    ElfLookup Find(std::string_view wanted, ElfSection* section) {
        uint8_t ident[64] = {};
        if (m_fileSize < 16 || !m_read(0, 16, ident)) return Fail("not an ELF file");
        if (std::memcmp(ident, "\x7F" "ELF", 4) != 0) return Fail("not an ELF file");
        if (ident[5] != 1) return Fail("big-endian ELF files are not supported");
        if (ident[4] == 1) {
            m_layout = &kElf32;
        } else if (ident[4] == 2) {
            m_layout = &kElf64;
        } else {
            return Fail("unknown ELF class");
        }
        if (!m_read(0, m_layout->headerSize, ident)) return Fail("the ELF header is cut short");
        m_shoff = Word(ident + m_layout->shoffAt);
        m_entrySize = ReadLe16(ident + m_layout->shentsizeAt);
        uint64_t count = ReadLe16(ident + m_layout->shnumAt);
        uint32_t names = ReadLe16(ident + m_layout->shstrndxAt);
        if (m_shoff == 0) return ElfLookup::NotFound;
        if (m_entrySize < m_layout->entrySize) return Fail("ELF section headers are too small");
        // Large tables keep their real count and string table index in section 0.
        if (count == 0 || names == kExtendedIndex) {
            SectionHeader first;
            if (!Header(0, &first)) return ElfLookup::Malformed;
            if (count == 0) count = first.size;
            if (names == kExtendedIndex) names = first.link;
        }
        if (count > kMaxSections) return Fail("too many ELF sections");
        if (m_shoff > m_fileSize || count * m_entrySize > m_fileSize - m_shoff)
            return Fail("the ELF section table lies beyond the file");
        SectionHeader strings;
        if (names >= count || !Header(names, &strings)) return Fail("the ELF section name table is missing");
        if (strings.type == kSectionNoBits || !InFile(strings.offset, strings.size))
            return Fail("the ELF section name table lies beyond the file");

        std::vector<char> candidate(wanted.size() + 1);
        for (uint64_t i = 0; i < count; ++i) {
            SectionHeader h;
            if (!Header(i, &h)) return ElfLookup::Malformed;
            if (h.name >= strings.size || strings.size - h.name < candidate.size()) continue;
            if (!m_read(strings.offset + h.name, candidate.size(), candidate.data()))
                return Fail("cannot read an ELF section name");
            if (std::memcmp(candidate.data(), wanted.data(), wanted.size()) != 0 || candidate.back() != '\0') continue;
            if (h.type == kSectionNoBits) return ElfLookup::NotFound;
            if (!InFile(h.offset, h.size)) return Fail("the ELF section lies beyond the file");
            section->offset = h.offset;
            section->size = h.size;
            return ElfLookup::Found;
        }
        return ElfLookup::NotFound;
    }

private:
    ElfLookup Fail(const char* reason) {
        if (m_error) *m_error = reason;
        return ElfLookup::Malformed;
    }

    uint64_t Word(const uint8_t* p) const { return m_layout->is64 ? ReadLe64(p) : ReadLe32(p); }

    bool InFile(uint64_t offset, uint64_t size) const { return offset <= m_fileSize && size <= m_fileSize - offset; }

    bool Header(uint64_t index, SectionHeader* h) {
        uint8_t raw[64];
        if (index >= kMaxSections || m_shoff > m_fileSize || index * m_entrySize > m_fileSize - m_shoff ||
            !InFile(m_shoff + index * m_entrySize, m_layout->entrySize) ||
            !m_read(m_shoff + index * m_entrySize, m_layout->entrySize, raw)) {
            Fail("an ELF section header lies beyond the file");
            return false;
        }
        h->name = ReadLe32(raw + m_layout->nameAt);
        h->type = ReadLe32(raw + m_layout->typeAt);
        h->offset = Word(raw + m_layout->offsetAt);
        h->size = Word(raw + m_layout->sizeAt);
        h->link = ReadLe32(raw + m_layout->linkAt);
        return true;
    }

    const ElfReader& m_read;
    uint64_t m_fileSize;
    std::string* m_error;
    const Layout* m_layout = nullptr;
    uint64_t m_shoff = 0;
    uint64_t m_entrySize = 0;
};

}  // namespace

bool HasElfSignature(std::span<const uint8_t> header) {
    return header.size() >= 4 && std::memcmp(header.data(), "\x7F" "ELF", 4) == 0;
}

ElfLookup FindElfSection(const ElfReader& read, uint64_t fileSize, std::string_view name, ElfSection* section,
                         std::string* error) {
    return Reader(read, fileSize, error).Find(name, section);
}

ElfLookup FindElfSection(std::span<const uint8_t> file, std::string_view name, ElfSection* section,
                         std::string* error) {
    ElfReader read = [file](uint64_t offset, size_t size, void* out) {
        if (offset > file.size() || size > file.size() - offset) return false;
        std::memcpy(out, file.data() + offset, size);
        return true;
    };
    return FindElfSection(read, file.size(), name, section, error);
}

ElfLookup ReadElfSection(const std::filesystem::path& file, std::string_view name, size_t maxSize,
                         std::vector<uint8_t>* bytes, std::string* error) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = "cannot open " + file.string();
        return ElfLookup::Malformed;
    }
    struct stat st {};
    ElfLookup result = ElfLookup::Malformed;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        uint64_t fileSize = static_cast<uint64_t>(st.st_size);
        ElfReader read = [fd, fileSize](uint64_t offset, size_t size, void* out) {
            if (offset > fileSize || size > fileSize - offset) return false;
            auto* p = static_cast<uint8_t*>(out);
            while (size > 0) {
                ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
                if (n <= 0) return false;
                p += n;
                offset += static_cast<uint64_t>(n);
                size -= static_cast<size_t>(n);
            }
            return true;
        };
        ElfSection section;
        result = FindElfSection(read, fileSize, name, &section, error);
        if (result == ElfLookup::Found) {
            if (section.size > maxSize) {
                if (error) *error = "the ELF section is too large";
                result = ElfLookup::Malformed;
            } else {
                bytes->resize(static_cast<size_t>(section.size));
                if (!read(section.offset, bytes->size(), bytes->data())) {
                    if (error) *error = "cannot read the ELF section";
                    result = ElfLookup::Malformed;
                }
            }
        }
    } else if (error) {
        *error = file.string() + " is not a regular file";
    }
    ::close(fd);
    return result;
}

}  // namespace host

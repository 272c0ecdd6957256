// The setup manifest (`*.000`) of a device cabinet, after the public description of the format
// in the cabextract project, "Windows CE installation cabinet (.CAB) file format"
// (https://www.cabextract.org.uk/wince_cab_format/). In short, all integers little-endian and
// every offset counted from the manifest's first byte:
//
//   header, 100 bytes: "MSCE"; u32 unknown; u32 length of the manifest; u32 unknown; u32 unknown;
//     u32 architecture; u32 min major, min minor, max major, max minor, min build, max build;
//     u16 entries of STRINGS, DIRS, FILES, REGHIVES, REGKEYS, LINKS; u32 offsets of the same six
//     tables; u16 offset and length of APPNAME, of PROVIDER, of the UNSUPPORTED multi-string;
//     u16 unknown x2.
//   STRINGS  u16 id, u16 length, text (NUL-terminated, the length counts the NUL)
//   DIRS     u16 id, u16 length, string ids (u16, ending with 0): the folder's components
//   FILES    u16 id (the member number), u16 directory id, u16 unknown, u32 flags, u16 length,
//            the installed name
//   REGHIVES u16 id, u16 root (1 HKCR, 2 HKCU, 3 HKLM, 4 HKU), u16 unknown, u16 length, string ids
//   REGKEYS  u16 id, u16 hive id, u16 substitution, u32 type and flags, u16 length, the value
//            name (NUL-terminated), then the data
//   LINKS    u16 id, u16 unknown, u16 base folder (0 %InstallDir%, N %CEN%), u16 target id,
//            u16 target kind (0 folder, 1 file), u16 length, string ids
//
// Texts are in the device's ANSI code page. The reader holds every read to the bytes it was
// given: a table or entry that runs past them, a count the bytes cannot hold, a text without its
// terminator or a reference to an entry that does not exist is refused, naming the table and the
// entry.
#include "host/cabinet/ce_manifest.h"

#include <array>
#include <cstdio>
#include <map>
#include <set>

#include "host/kernel/ansi_codepage.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace host {

namespace {

constexpr size_t kHeaderBytes = 100;
constexpr uint32_t kSignature = 0x4543534D;  // "MSCE"

// Field offsets in the header.
constexpr size_t kLengthField = 8;
constexpr size_t kArchitectureField = 20;
constexpr size_t kVersionFields = 24;  // six u32: min major, min minor, max major, max minor, min build, max build
constexpr size_t kCountFields = 48;    // six u16
constexpr size_t kOffsetFields = 60;   // six u32
constexpr size_t kAppNameField = 84;   // u16 offset, u16 length; then provider, then unsupported

enum Table { kStrings, kDirs, kFiles, kHives, kKeys, kLinks, kTables };
const char* const kTableNames[kTables] = {"string", "directory", "file", "registry key", "registry value", "shortcut"};

std::string Num(size_t n) { return std::to_string(n); }

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}
    size_t Size() const { return m_bytes.size(); }
    bool Has(size_t at, size_t count) const { return at <= m_bytes.size() && count <= m_bytes.size() - at; }
    uint16_t U16(size_t at) const { return uint16_t(Byte(at) | Byte(at + 1) << 8); }
    uint32_t U32(size_t at) const { return uint32_t(U16(at)) | uint32_t(U16(at + 2)) << 16; }
    uint8_t Byte(size_t at) const { return static_cast<uint8_t>(m_bytes[at]); }
    std::string_view Slice(size_t at, size_t count) const { return m_bytes.substr(at, count); }

private:
    std::string_view m_bytes;
};

std::u16string Decode(int codePage, std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out += AnsiToUnit(codePage, static_cast<unsigned char>(c));
    return out;
}

// Parses one manifest; each method returns false after setting m_error.
class Parser {
public:
    Parser(std::string_view bytes, int codePage) : m_in(bytes), m_codePage(codePage) {}

    bool Run(CeManifest* out) {
        if (!IsSupportedAnsiCodePage(m_codePage)) return Fail("code page " + Num(m_codePage) + " is not supported");
        if (m_in.Size() > kMaxCeManifestBytes)
            return Fail("the manifest is " + Num(m_in.Size()) + " bytes, more than the " + Num(kMaxCeManifestBytes) +
                        " a manifest may have");
        if (!m_in.Has(0, kHeaderBytes))
            return Fail("the header needs " + Num(kHeaderBytes) + " bytes, the manifest has " + Num(m_in.Size()));
        if (m_in.U32(0) != kSignature) return Fail("the header does not start with the signature MSCE");
        if (m_in.U32(kLengthField) != m_in.Size())
            return Fail("the header gives the manifest's length as " + Num(m_in.U32(kLengthField)) + " bytes, it has " +
                        Num(m_in.Size()));
        CeManifest m;
        m.architecture = m_in.U32(kArchitectureField);
        uint32_t* versions[] = {&m.minVersionMajor, &m.minVersionMinor, &m.maxVersionMajor,
                                &m.maxVersionMinor, &m.minBuild,        &m.maxBuild};
        for (size_t i = 0; i < 6; ++i) *versions[i] = m_in.U32(kVersionFields + 4 * i);
        if (!HeaderString(0, "the application name", &m.appName) || !HeaderString(1, "the provider", &m.provider) ||
            !Unsupported(&m.unsupportedPlatforms))
            return false;
        if (!Strings() || !Directories(&m) || !Files(&m) || !Keys(&m) || !Values(&m) || !Shortcuts(&m)) return false;
        *out = std::move(m);
        return true;
    }

    const std::string& Error() const { return m_error; }

private:
    bool Fail(std::string why) {
        m_error = std::move(why);
        return false;
    }
    bool FailEntry(Table table, size_t index, const std::string& why) {
        return Fail(std::string(kTableNames[table]) + " entry " + Num(index) + ": " + why);
    }

    // A NUL-terminated text of exactly `length` bytes at `at` (the length counts the NUL).
    bool Text(size_t at, size_t length, const std::string& what, std::u16string* text) {
        if (length == 0) return Fail(what + " has length 0, not even its terminator");
        if (!m_in.Has(at, length))
            return Fail(what + " (offset " + Num(at) + ", " + Num(length) + " bytes) runs past the end of the manifest (" +
                        Num(m_in.Size()) + " bytes)");
        std::string_view raw = m_in.Slice(at, length);
        if (raw.back() != '\0') return Fail(what + " is not terminated");
        raw.remove_suffix(1);
        if (raw.find('\0') != std::string_view::npos) return Fail(what + " has a NUL inside it");
        *text = Decode(m_codePage, raw);
        return true;
    }

    bool HeaderString(size_t index, const std::string& what, std::u16string* text) {
        const size_t field = kAppNameField + 4 * index;
        return Text(m_in.U16(field), m_in.U16(field + 2), what, text);
    }

    // A run of NUL-terminated texts; empty texts (the closing NUL of the list) are skipped.
    bool Unsupported(std::vector<std::u16string>* list) {
        const size_t at = m_in.U16(kAppNameField + 8), length = m_in.U16(kAppNameField + 10);
        if (length == 0) return true;
        if (!m_in.Has(at, length))
            return Fail("the unsupported platforms (offset " + Num(at) + ", " + Num(length) +
                        " bytes) run past the end of the manifest");
        std::string_view raw = m_in.Slice(at, length);
        if (raw.back() != '\0') return Fail("the unsupported platforms are not terminated");
        for (size_t start = 0; start < raw.size();) {
            const size_t end = raw.find('\0', start);
            if (end > start) list->push_back(Decode(m_codePage, raw.substr(start, end - start)));
            start = end + 1;
        }
        return true;
    }

    // Walks a table's entries: each has `fixed` bytes, then as many more as the u16 at
    // lengthField (within the entry) says. visit(at, index, tailAt, tailLength) reads one.
    template <class Visit>
    bool Walk(Table table, size_t fixed, size_t lengthField, Visit visit) {
        const size_t count = m_in.U16(kCountFields + 2 * table);
        size_t at = m_in.U32(kOffsetFields + 4 * table);
        if (count == 0) return true;
        // Every entry needs its fixed part, so a count the bytes cannot hold fails before any work.
        if (!m_in.Has(at, 0) || count > (m_in.Size() - at) / fixed)
            return Fail(std::string("the ") + kTableNames[table] + " table (offset " + Num(at) + ", " + Num(count) +
                        " entries) does not fit in the manifest (" + Num(m_in.Size()) + " bytes)");
        for (size_t i = 0; i < count; ++i) {
            if (!m_in.Has(at, fixed)) return FailEntry(table, i, "runs past the end of the manifest");
            const size_t length = m_in.U16(at + lengthField);
            if (!m_in.Has(at + fixed, length))
                return FailEntry(table, i, "its " + Num(length) + " bytes of data run past the end of the manifest");
            if (!visit(at, i, at + fixed, length)) return false;
            at += fixed + length;
        }
        return true;
    }

    // A list of string ids ending with 0: the components of a path.
    bool PathIds(Table table, size_t index, size_t at, size_t length, CePath* path) {
        if (length < 4 || length % 2)
            return FailEntry(table, index, "its path of " + Num(length) + " bytes is not a list of string ids");
        const size_t ids = length / 2;
        if (m_in.U16(at + length - 2) != 0) return FailEntry(table, index, "its path is not terminated by 0");
        for (size_t i = 0; i + 1 < ids; ++i) {
            const uint16_t id = m_in.U16(at + 2 * i);
            if (id == 0) return FailEntry(table, index, "its path has a 0 inside it");
            auto found = m_strings.find(id);
            if (found == m_strings.end())
                return FailEntry(table, index, "its path names string " + Num(id) + ", which the string table lacks");
            if (found->second.empty()) return FailEntry(table, index, "its path names string " + Num(id) + ", which is empty");
            path->push_back(found->second);
        }
        return true;
    }

    bool Strings() {
        return Walk(kStrings, 4, 2, [&](size_t at, size_t i, size_t tail, size_t length) {
            const uint16_t id = m_in.U16(at);
            if (id == 0) return FailEntry(kStrings, i, "id 0 ends a path and cannot name a string");
            std::u16string text;
            if (!Text(tail, length, std::string(kTableNames[kStrings]) + " entry " + Num(i), &text)) return false;
            if (!m_strings.emplace(id, std::move(text)).second)
                return FailEntry(kStrings, i, "id " + Num(id) + " is used twice");
            return true;
        });
    }

    bool Directories(CeManifest* m) {
        return Walk(kDirs, 4, 2, [&](size_t at, size_t i, size_t tail, size_t length) {
            CeDirectory dir;
            dir.id = m_in.U16(at);
            if (dir.id == 0) return FailEntry(kDirs, i, "id 0 stands for the install folder and cannot be redefined");
            if (!m_dirIds.insert(dir.id).second) return FailEntry(kDirs, i, "id " + Num(dir.id) + " is used twice");
            if (!PathIds(kDirs, i, tail, length, &dir.path)) return false;
            m->directories.push_back(std::move(dir));
            return true;
        });
    }

    bool Files(CeManifest* m) {
        return Walk(kFiles, 12, 10, [&](size_t at, size_t i, size_t tail, size_t length) {
            CeFile file;
            file.member = m_in.U16(at);
            file.directory = m_in.U16(at + 2);
            file.flags = m_in.U32(at + 6);
            // 000 is the manifest and 999 the setup library: neither is a file to install.
            if (file.member == 0 || file.member > 998)
                return FailEntry(kFiles, i, "member number " + Num(file.member) + " is outside 1 to 998");
            if (!m_fileIds.insert(file.member).second)
                return FailEntry(kFiles, i, "member number " + Num(file.member) + " is used twice");
            if (!m_dirIds.count(file.directory))
                return FailEntry(kFiles, i, "its directory " + Num(file.directory) + " is not in the directory table");
            if (!Text(tail, length, std::string(kTableNames[kFiles]) + " entry " + Num(i) + "'s name", &file.name))
                return false;
            m->files.push_back(std::move(file));
            return true;
        });
    }

    bool Keys(CeManifest* m) {
        return Walk(kHives, 8, 6, [&](size_t at, size_t i, size_t tail, size_t length) {
            CeRegistryKey key;
            key.id = m_in.U16(at);
            const uint16_t root = m_in.U16(at + 2);
            if (root < 1 || root > 4) return FailEntry(kHives, i, "root " + Num(root) + " is not one of 1 to 4");
            key.root = static_cast<CeRegistryRoot>(root);
            if (!m_keyIds.insert(key.id).second) return FailEntry(kHives, i, "id " + Num(key.id) + " is used twice");
            if (!PathIds(kHives, i, tail, length, &key.path)) return false;
            m->registryKeys.push_back(std::move(key));
            return true;
        });
    }

    bool Values(CeManifest* m) {
        return Walk(kKeys, 12, 10, [&](size_t at, size_t i, size_t tail, size_t length) {
            CeRegistryValue value;
            value.key = m_in.U16(at + 2);
            value.substitution = m_in.U16(at + 4);
            const uint32_t flags = m_in.U32(at + 6);
            if (!m_keyIds.count(value.key))
                return FailEntry(kKeys, i, "its key " + Num(value.key) + " is not in the registry key table");
            if (flags & ~(kCeRegTypeMask | kCeRegNoClobber))
                return FailEntry(kKeys, i, "unknown flags in 0x" + Hex(flags));
            value.noClobber = flags & kCeRegNoClobber;
            std::string_view raw = m_in.Slice(tail, length);
            const size_t nul = raw.find('\0');
            if (nul == std::string_view::npos) return FailEntry(kKeys, i, "its name is not terminated");
            value.name = Decode(m_codePage, raw.substr(0, nul));
            raw.remove_prefix(nul + 1);
            switch (flags & kCeRegTypeMask) {
            case kCeRegDword:
                if (raw.size() != 4)
                    return FailEntry(kKeys, i, "a number needs 4 bytes of data, it has " + Num(raw.size()));
                value.type = REG_DWORD;
                value.data.assign(raw.begin(), raw.end());
                break;
            case kCeRegBinary:
                value.type = REG_BINARY;
                value.data.assign(raw.begin(), raw.end());
                break;
            case kCeRegSz:
            case kCeRegMultiSz: {
                const bool multi = (flags & kCeRegTypeMask) == kCeRegMultiSz;
                value.type = multi ? REG_MULTI_SZ : REG_SZ;
                if (raw.empty()) raw = std::string_view("\0", 1);
                if (raw.back() != '\0') return FailEntry(kKeys, i, "its text is not terminated");
                if (!multi && raw.find('\0') != raw.size() - 1)
                    return FailEntry(kKeys, i, "its text has a NUL inside it");
                for (char16_t unit : Decode(m_codePage, raw)) {
                    value.data.push_back(uint8_t(unit & 0xFF));
                    value.data.push_back(uint8_t(unit >> 8));
                }
                break;
            }
            }
            m->registryValues.push_back(std::move(value));
            return true;
        });
    }

    bool Shortcuts(CeManifest* m) {
        return Walk(kLinks, 12, 10, [&](size_t at, size_t i, size_t tail, size_t length) {
            CeShortcut link;
            link.folder = m_in.U16(at + 4);
            link.target = m_in.U16(at + 6);
            const uint16_t kind = m_in.U16(at + 8);
            if (kind > 1) return FailEntry(kLinks, i, "target kind " + Num(kind) + " is neither 0 (folder) nor 1 (file)");
            link.targetIsFile = kind == 1;
            if (link.targetIsFile ? !m_fileIds.count(link.target) : link.target != 0 && !m_dirIds.count(link.target))
                return FailEntry(kLinks, i, std::string("its target ") + (link.targetIsFile ? "file " : "directory ") +
                                                Num(link.target) + " is not in the manifest");
            if (!PathIds(kLinks, i, tail, length, &link.path)) return false;
            m->shortcuts.push_back(std::move(link));
            return true;
        });
    }

    static std::string Hex(uint32_t v) {
        char text[9];
        std::snprintf(text, sizeof text, "%08X", v);
        return text;
    }

    ByteReader m_in;
    int m_codePage;
    std::string m_error;
    std::map<uint16_t, std::u16string> m_strings;
    std::set<uint16_t> m_dirIds, m_fileIds, m_keyIds;
};

// --- writing -------------------------------------------------------------------------------

class ByteWriter {
public:
    void U16(uint16_t v) {
        m_bytes += char(v & 0xFF);
        m_bytes += char(v >> 8);
    }
    void U32(uint32_t v) {
        U16(uint16_t(v & 0xFFFF));
        U16(uint16_t(v >> 16));
    }
    void Raw(std::string_view bytes) { m_bytes += bytes; }
    void PutU16(size_t at, uint16_t v) {
        m_bytes[at] = char(v & 0xFF);
        m_bytes[at + 1] = char(v >> 8);
    }
    void PutU32(size_t at, uint32_t v) {
        PutU16(at, uint16_t(v & 0xFFFF));
        PutU16(at + 2, uint16_t(v >> 16));
    }
    size_t Size() const { return m_bytes.size(); }
    std::string& Bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

class Encoder {
public:
    explicit Encoder(int codePage) {
        for (int b = 255; b >= 1; --b) m_units[AnsiToUnit(codePage, uint8_t(b))] = char(b);
    }
    // The text in the code page, without a terminator; false when a unit has no byte there or is NUL.
    bool Encode(std::u16string_view text, std::string* out) const {
        out->clear();
        for (char16_t unit : text) {
            auto found = m_units.find(unit);
            if (found == m_units.end()) return false;
            *out += found->second;
        }
        return true;
    }

private:
    std::map<char16_t, char> m_units;
};

class Writer {
public:
    Writer(const CeManifest& m, int codePage) : m_m(m), m_encoder(codePage) {}

    bool Run(std::string* bytes) {
        // Every path component becomes a string, each distinct text once.
        for (const CeDirectory& d : m_m.directories) AddStrings(d.path);
        for (const CeRegistryKey& k : m_m.registryKeys) AddStrings(k.path);
        for (const CeShortcut& s : m_m.shortcuts) AddStrings(s.path);
        if (!CheckReferences()) return false;

        m_out.Raw(std::string(kHeaderBytes, '\0'));
        m_out.PutU32(0, kSignature);
        m_out.PutU32(16, 1);  // the description's "usually 1"
        m_out.PutU32(kArchitectureField, m_m.architecture);
        const uint32_t versions[] = {m_m.minVersionMajor, m_m.minVersionMinor, m_m.maxVersionMajor,
                                     m_m.maxVersionMinor, m_m.minBuild,        m_m.maxBuild};
        for (size_t i = 0; i < 6; ++i) m_out.PutU32(kVersionFields + 4 * i, versions[i]);
        if (!HeaderText(0, m_m.appName, "the application name") || !HeaderText(1, m_m.provider, "the provider"))
            return false;
        std::string list;
        for (const std::u16string& platform : m_m.unsupportedPlatforms) {
            std::string text;
            if (platform.empty() || !EncodeText(platform, "an unsupported platform", &text)) {
                if (platform.empty()) m_error = "an unsupported platform's name is empty";
                return false;
            }
            list += text + '\0';
        }
        if (!list.empty()) {
            list += '\0';
            if (!HeaderSpan(2, list, "the unsupported platforms")) return false;
        }

        if (!WriteStrings() || !WriteDirectories() || !WriteFiles() || !WriteKeys() || !WriteValues() ||
            !WriteShortcuts())
            return false;
        if (m_out.Size() > kMaxCeManifestBytes) {
            m_error = "the manifest would be " + Num(m_out.Size()) + " bytes, more than " + Num(kMaxCeManifestBytes);
            return false;
        }
        m_out.PutU32(kLengthField, uint32_t(m_out.Size()));
        *bytes = std::move(m_out.Bytes());
        return true;
    }

    const std::string& Error() const { return m_error; }

private:
    bool Fail(std::string why) {
        m_error = std::move(why);
        return false;
    }

    void AddStrings(const CePath& path) {
        for (const std::u16string& part : path)
            if (!m_stringIds.count(part)) {
                const uint16_t id = uint16_t(m_stringOrder.size() + 1);
                m_stringIds.emplace(part, id);
                m_stringOrder.push_back(part);
            }
    }

    bool CheckReferences() {
        if (m_stringOrder.size() > 0xFFFE) return Fail("more than 65534 distinct path components");
        std::set<uint16_t> dirs, files, keys;
        for (const CeDirectory& d : m_m.directories) {
            if (d.id == 0) return Fail("directory id 0 stands for the install folder");
            if (!dirs.insert(d.id).second) return Fail("directory id " + Num(d.id) + " is used twice");
            if (d.path.empty()) return Fail("directory " + Num(d.id) + " has no path");
        }
        for (const CeFile& f : m_m.files) {
            if (f.member == 0 || f.member > 998) return Fail("file member " + Num(f.member) + " is outside 1 to 998");
            if (!files.insert(f.member).second) return Fail("file member " + Num(f.member) + " is used twice");
            if (!dirs.count(f.directory)) return Fail("file " + Num(f.member) + " names no directory");
        }
        for (const CeRegistryKey& k : m_m.registryKeys) {
            if (!keys.insert(k.id).second) return Fail("registry key id " + Num(k.id) + " is used twice");
            if (k.path.empty()) return Fail("registry key " + Num(k.id) + " has no path");
            if (uint16_t(k.root) < 1 || uint16_t(k.root) > 4) return Fail("registry key " + Num(k.id) + " has no root");
        }
        for (const CeRegistryValue& v : m_m.registryValues)
            if (!keys.count(v.key)) return Fail("a registry value names key " + Num(v.key) + ", which does not exist");
        for (const CeShortcut& s : m_m.shortcuts) {
            if (s.path.empty()) return Fail("a shortcut has no name");
            if (s.targetIsFile ? !files.count(s.target) : s.target != 0 && !dirs.count(s.target))
                return Fail("a shortcut's target " + Num(s.target) + " does not exist");
        }
        const size_t counts[] = {m_stringOrder.size(),    m_m.directories.size(),    m_m.files.size(),
                                 m_m.registryKeys.size(), m_m.registryValues.size(), m_m.shortcuts.size()};
        for (size_t t = 0; t < kTables; ++t)
            if (counts[t] > 0xFFFF) return Fail(std::string("more than 65535 ") + kTableNames[t] + " entries");
        return true;
    }

    bool EncodeText(std::u16string_view text, const std::string& what, std::string* out) {
        if (text.find(u'\0') != std::u16string_view::npos) return Fail(what + " has a NUL inside it");
        if (!m_encoder.Encode(text, out)) return Fail(what + " has a character the device's code page lacks");
        return true;
    }

    bool HeaderSpan(size_t index, const std::string& bytes, const std::string& what) {
        if (m_out.Size() + bytes.size() > 0xFFFF) return Fail(what + " does not fit in the header's 16-bit offsets");
        m_out.PutU16(kAppNameField + 4 * index, uint16_t(m_out.Size()));
        m_out.PutU16(kAppNameField + 4 * index + 2, uint16_t(bytes.size()));
        m_out.Raw(bytes);
        return true;
    }

    bool HeaderText(size_t index, std::u16string_view text, const std::string& what) {
        std::string encoded;
        if (!EncodeText(text, what, &encoded)) return false;
        return HeaderSpan(index, encoded + '\0', what);
    }

    // A length-prefixed tail: fails when it exceeds the u16 length field.
    bool Tail(const std::string& bytes, const std::string& what) {
        if (bytes.size() > 0xFFFF) return Fail(what + " is longer than 65535 bytes");
        m_out.U16(uint16_t(bytes.size()));
        m_out.Raw(bytes);
        return true;
    }

    std::string IdBytes(const CePath& path) {
        std::string bytes;
        for (const std::u16string& part : path) {
            const uint16_t id = m_stringIds.at(part);
            bytes += char(id & 0xFF);
            bytes += char(id >> 8);
        }
        bytes.append(2, '\0');
        return bytes;
    }

    void StartTable(Table table, size_t count) {
        m_out.PutU16(kCountFields + 2 * table, uint16_t(count));
        m_out.PutU32(kOffsetFields + 4 * table, uint32_t(m_out.Size()));
    }

    bool WriteStrings() {
        StartTable(kStrings, m_stringOrder.size());
        for (size_t i = 0; i < m_stringOrder.size(); ++i) {
            std::string text;
            if (m_stringOrder[i].empty()) return Fail("a path has an empty component");
            if (!EncodeText(m_stringOrder[i], "path component \"" + ToUtf8(m_stringOrder[i]) + "\"", &text))
                return false;
            m_out.U16(uint16_t(i + 1));
            if (!Tail(text + '\0', "a path component")) return false;
        }
        return true;
    }

    bool WriteDirectories() {
        StartTable(kDirs, m_m.directories.size());
        for (const CeDirectory& d : m_m.directories) {
            m_out.U16(d.id);
            if (!Tail(IdBytes(d.path), "a directory's path")) return false;
        }
        return true;
    }

    bool WriteFiles() {
        StartTable(kFiles, m_m.files.size());
        for (const CeFile& f : m_m.files) {
            std::string name;
            if (!EncodeText(f.name, "file " + Num(f.member) + "'s name", &name)) return false;
            m_out.U16(f.member);
            m_out.U16(f.directory);
            m_out.U16(f.member);  // the description's "usually the same as the file id"
            m_out.U32(f.flags);
            if (!Tail(name + '\0', "a file's name")) return false;
        }
        return true;
    }

    bool WriteKeys() {
        StartTable(kHives, m_m.registryKeys.size());
        for (const CeRegistryKey& k : m_m.registryKeys) {
            m_out.U16(k.id);
            m_out.U16(uint16_t(k.root));
            m_out.U16(0);
            if (!Tail(IdBytes(k.path), "a registry key's path")) return false;
        }
        return true;
    }

    bool ValueData(const CeRegistryValue& v, uint32_t* typeFlags, std::string* data) {
        const std::string what = "registry value \"" + ToUtf8(v.name) + "\"";
        switch (v.type) {
        case REG_DWORD:
            if (v.data.size() != 4) return Fail(what + ": a number is 4 bytes");
            *typeFlags = kCeRegDword;
            data->assign(v.data.begin(), v.data.end());
            return true;
        case REG_BINARY:
            *typeFlags = kCeRegBinary;
            data->assign(v.data.begin(), v.data.end());
            return true;
        case REG_SZ:
        case REG_MULTI_SZ: {
            if (v.data.size() % 2) return Fail(what + ": text data has an odd number of bytes");
            std::u16string units;
            for (size_t i = 0; i < v.data.size(); i += 2) units += char16_t(v.data[i] | v.data[i + 1] << 8);
            if (units.empty() || units.back() != 0) return Fail(what + ": its text is not terminated");
            if (v.type == REG_SZ && units.find(u'\0') != units.size() - 1) return Fail(what + " has a NUL inside it");
            // NULs separate a multi-string's texts; every other unit must have a byte.
            data->clear();
            for (char16_t unit : units) {
                std::string byte;
                if (unit == 0) {
                    *data += '\0';
                } else if (!m_encoder.Encode(std::u16string_view(&unit, 1), &byte)) {
                    return Fail(what + " has a character the device's code page lacks");
                } else {
                    *data += byte;
                }
            }
            *typeFlags = v.type == REG_SZ ? kCeRegSz : kCeRegMultiSz;
            return true;
        }
        default:
            return Fail(what + " has type " + Num(v.type) + ", which a manifest cannot hold");
        }
    }

    bool WriteValues() {
        StartTable(kKeys, m_m.registryValues.size());
        uint16_t id = 0;
        for (const CeRegistryValue& v : m_m.registryValues) {
            std::string name, data;
            uint32_t typeFlags = 0;
            if (!EncodeText(v.name, "registry value name \"" + ToUtf8(v.name) + "\"", &name) ||
                !ValueData(v, &typeFlags, &data))
                return false;
            m_out.U16(++id);
            m_out.U16(v.key);
            m_out.U16(v.substitution);
            m_out.U32(typeFlags | (v.noClobber ? kCeRegNoClobber : 0));
            if (!Tail(name + '\0' + data, "registry value \"" + ToUtf8(v.name) + "\"")) return false;
        }
        return true;
    }

    bool WriteShortcuts() {
        StartTable(kLinks, m_m.shortcuts.size());
        uint16_t id = 0;
        for (const CeShortcut& s : m_m.shortcuts) {
            m_out.U16(++id);
            m_out.U16(0);
            m_out.U16(s.folder);
            m_out.U16(s.target);
            m_out.U16(s.targetIsFile ? 1 : 0);
            if (!Tail(IdBytes(s.path), "a shortcut's path")) return false;
        }
        return true;
    }

    const CeManifest& m_m;
    Encoder m_encoder;
    ByteWriter m_out;
    std::string m_error;
    std::map<std::u16string, uint16_t> m_stringIds;
    std::vector<std::u16string> m_stringOrder;
};

}  // namespace

bool ParseCeManifest(std::string_view bytes, int codePage, CeManifest* manifest, std::string* error) {
    Parser parser(bytes, codePage);
    if (parser.Run(manifest)) return true;
    if (error) *error = parser.Error();
    return false;
}

bool WriteCeManifest(const CeManifest& manifest, int codePage, std::string* bytes, std::string* error) {
    if (!IsSupportedAnsiCodePage(codePage)) {
        if (error) *error = "code page " + Num(codePage) + " is not supported";
        return false;
    }
    Writer writer(manifest, codePage);
    if (writer.Run(bytes)) return true;
    if (error) *error = writer.Error();
    return false;
}

}  // namespace host

#include "host/registry/regfile.h"

#include <cstdio>

#include "host/kernel/ansi_codepage.h"
#include "host/kernel/database.h"
#include "host/kernel/device.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "host/registry/registry_store.h"

namespace host {

namespace {

const char16_t kHeader4[] = u"REGEDIT4";
const char16_t kHeader5[] = u"Windows Registry Editor Version 5.00";
const char kExpectedHeader[] = "expected the header REGEDIT4 or Windows Registry Editor Version 5.00";
const char kContinuationOnlyInHexLists[] = "only a hex list may continue on the next line (after a comma and '\\')";
// Deeper than the device allows (16 levels) by far; only a damaged database could reach it.
const int kMaxExportDepth = 512;

struct RootName {
    HKEY root;
    const char16_t* full;
    const char16_t* abbreviation;
};
const RootName kRootNames[] = {
    {HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT", u"HKCR"},
    {HKEY_CURRENT_USER, u"HKEY_CURRENT_USER", u"HKCU"},
    {HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE", u"HKLM"},
};

std::string LineError(int line, std::string_view reason) {
    return "line " + std::to_string(line) + ": " + std::string(reason);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimStart(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::u16string_view Trim(std::u16string_view s) {
    s = TrimStart(s);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool StartsNoCase(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Whether what follows the data on a line is nothing, white space or a ; comment. A # begins a
// comment only at the start of a line: Windows refuses a value followed by one.
bool OnlyCommentFollows(std::u16string_view rest) {
    rest = TrimStart(rest);
    return rest.empty() || rest.front() == u';';
}

// Why the text after a value's data is refused: a trailing '\' asks for a continuation, which
// Windows joins only in hex lists.
std::string TrailingTextReason(std::u16string_view rest, const char* after) {
    if (!Trim(rest).empty() && Trim(rest).back() == u'\\') return kContinuationOnlyInHexLists;
    return std::string("unexpected text after ") + after;
}

// The line of text[offset], counting CR LF, LF and CR alone as one line end each, as LineReader.
template <class Char>
int LineOf(std::basic_string_view<Char> text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == Char('\n')) ++line;
        else if (text[i] == Char('\r') && !(i + 1 < text.size() && text[i + 1] == Char('\n'))) ++line;
    }
    return line;
}

// The offset of the first byte that does not begin a well-formed UTF-8 sequence (no overlong
// forms, no surrogates, nothing above U+10FFFF), npos when all are; *truncated tells whether that
// sequence is a valid start cut by the end of the text.
size_t FirstInvalidUtf8(std::string_view s, bool* truncated) {
    *truncated = false;
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int n;
        uint32_t c, min;
        if ((b & 0xE0) == 0xC0) n = 1, c = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0) n = 2, c = b & 0x0F, min = 0x800;
        else if ((b & 0xF8) == 0xF0) n = 3, c = b & 0x07, min = 0x10000;
        else return i;
        int k = 1;
        for (; k <= n && i + k < s.size(); ++k) {
            auto cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) return i;
            c = (c << 6) | (cb & 0x3F);
        }
        if (k <= n) {
            *truncated = true;
            return i;
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return i;
        i += static_cast<size_t>(n) + 1;
    }
    return std::string_view::npos;
}

// The file's bytes as UTF-16 text. A byte order mark says UTF-16LE or UTF-8; without one, text
// that is valid UTF-8 is UTF-8, and anything else is ANSI text in the device's code page, as
// Windows reads a file without a mark. A UTF-8 text cut inside its last character is refused
// rather than read as ANSI, which would quietly change every other non-ASCII character.
bool DecodeRegBytes(std::string_view bytes, int codePage, std::u16string* text, std::string* error) {
    auto byteAt = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        bytes.remove_prefix(2);
        text->resize(bytes.size() / 2);
        for (size_t i = 0; i < text->size(); ++i) (*text)[i] = char16_t(byteAt(2 * i) | (byteAt(2 * i + 1) << 8));
        const std::u16string_view units = *text;
        for (size_t i = 0; i < units.size(); ++i) {
            const char16_t u = units[i];
            const bool pairs = i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
            if (u >= 0xD800 && u <= 0xDBFF && pairs) {
                ++i;
            } else if (u >= 0xD800 && u <= 0xDFFF) {
                *error = LineError(LineOf(units, i), "broken UTF-16 surrogate pair");
                return false;
            }
        }
        if (bytes.size() % 2) {
            *error = LineError(LineOf(units, units.size()), "the UTF-16 text ends in half a character");
            return false;
        }
        return true;
    }
    if (bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        *error = LineError(1, "UTF-16 big-endian text is not supported (use UTF-16LE or UTF-8)");
        return false;
    }
    const bool utf8Mark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (utf8Mark) bytes.remove_prefix(3);
    bool truncated = false;
    const size_t bad = FirstInvalidUtf8(bytes, &truncated);
    if (bad == std::string_view::npos) {
        *text = FromUtf8(bytes);
        return true;
    }
    if (utf8Mark || truncated) {
        *error = LineError(LineOf(bytes, bad),
                           truncated ? "the UTF-8 text ends in the middle of a character" : "invalid UTF-8 text");
        return false;
    }
    text->resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) (*text)[i] = AnsiToUnit(codePage, byteAt(i));
    return true;
}

// Lines of decoded text, each ended by CR LF, LF or CR alone, read one at a time so that a file
// of millions of empty lines costs no index.
class LineReader {
public:
    explicit LineReader(std::u16string_view text) : m_text(text) {}
    // The next line without its end; false after the last one.
    bool Next(std::u16string_view* line) {
        if (m_pos > m_text.size()) return false;
        size_t end = m_pos;
        while (end < m_text.size() && m_text[end] != u'\r' && m_text[end] != u'\n') ++end;
        *line = m_text.substr(m_pos, end - m_pos);
        if (end + 1 < m_text.size() && m_text[end] == u'\r' && m_text[end + 1] == u'\n') ++end;
        m_pos = end + 1;
        ++m_number;
        return true;
    }
    // The number of the line Next gave last, from 1.
    int Number() const { return m_number; }

private:
    std::u16string_view m_text;
    size_t m_pos = 0;
    int m_number = 0;
};

void AppendUtf16Le(std::u16string_view text, std::vector<uint8_t>* out) {
    for (char16_t c : text) {
        out->push_back(static_cast<uint8_t>(c & 0xFF));
        out->push_back(static_cast<uint8_t>(c >> 8));
    }
}

// A quoted text starting at s[*pos] == '"': only \\ and \" are escapes, as the exporter writes.
// It ends on its own line; Windows never continues one on the next.
bool ParseQuoted(std::u16string_view s, size_t* pos, std::u16string* out, std::string* reason) {
    size_t i = *pos + 1;
    out->clear();
    while (i < s.size()) {
        const char16_t c = s[i];
        if (c == u'"') {
            *pos = i + 1;
            return true;
        }
        if (c == u'\\') {
            if (i + 1 >= s.size()) {
                *reason = "a quoted text cannot continue on the next line";
                return false;
            }
            const char16_t next = s[i + 1];
            if (next != u'\\' && next != u'"') {
                *reason = "unknown escape \\" + ToUtf8(std::u16string_view(&s[i + 1], 1)) +
                          " in a quoted text (only \\\\ and \\\" are known)";
                return false;
            }
            *out += next;
            i += 2;
            continue;
        }
        *out += c;
        ++i;
    }
    *reason = "quoted text without its closing quote";
    return false;
}

bool ParseHexNumber(std::u16string_view s, DWORD* value) {
    if (s.empty() || s.size() > 8) return false;
    DWORD v = 0;
    for (char16_t c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<DWORD>(d);
    }
    *value = v;
    return true;
}

bool ValidValueName(std::u16string_view name, std::string* reason) {
    if (name.size() > RegistryStore::kMaxNameLength) {
        *reason = "value name longer than 255 characters";
        return false;
    }
    if (!RegistryStore::IsValidName(name)) {
        *reason = "value name holds a control character";
        return false;
    }
    return true;
}

// Turns decoded .reg text into operations, reading line by line. The first error ends the
// parse; the caller applies nothing then.
class RegTextParser {
public:
    RegTextParser(std::u16string_view text, int ansiCodePage, std::vector<RegOperation>* ops)
        : m_lines(text), m_codePage(ansiCodePage), m_ops(ops) {}

    bool Run(std::string* error) {
        const bool ok = ReadHeader() && ReadBody();
        if (!ok) *error = m_error;
        return ok;
    }

private:
    bool Fail(int line, std::string_view reason) {
        m_error = LineError(line, reason);
        return false;
    }

    // Windows allows white space before the header; blank lines before it are read too.
    bool ReadHeader() {
        std::u16string_view line;
        while (m_lines.Next(&line)) {
            const std::u16string_view t = Trim(line);
            if (t.empty()) continue;
            if (t == kHeader4 || t == kHeader5) {
                m_ansiHexText = t == kHeader4;
                return true;
            }
            if (t == u"REGEDIT")
                return Fail(m_lines.Number(),
                            "the Windows 3.1 form (REGEDIT) is not read; " + std::string(kExpectedHeader));
            return Fail(m_lines.Number(), kExpectedHeader);
        }
        return Fail(1, kExpectedHeader);
    }

    bool ReadBody() {
        std::u16string_view line;
        while (m_lines.Next(&line)) {
            const int lineNo = m_lines.Number();
            const std::u16string_view t = TrimStart(line);
            // A comment line ends where it ends: a '\' at its end continues nothing.
            if (t.empty() || t.front() == u';' || t.front() == u'#') continue;
            if (t.front() == u'[') {
                if (!ParseKeyLine(Trim(t), lineNo)) return false;
                continue;
            }
            if (!m_haveKey) return Fail(lineNo, "a value before the first [KEY] line");
            if (m_keyDeleted) return Fail(lineNo, "a value under a [-KEY] deletion");
            // The key is the preceding key operation's; repeating its path here would let a file
            // of one long key line and many short value lines take memory quadratic in its size.
            RegOperation op{RegOperation::Kind::SetValue, lineNo, m_root, {}, {}, 0, {}};
            if (!ParseValueLine(t, lineNo, &op)) return false;
            m_ops->push_back(std::move(op));
        }
        return true;
    }

    bool ParseKeyLine(std::u16string_view t, int lineNo) {
        if (t.size() < 2 || t.back() != u']') return Fail(lineNo, "a key line must end with ']'");
        std::u16string_view inner = t.substr(1, t.size() - 2);
        const bool deletion = !inner.empty() && inner.front() == u'-';
        if (deletion) inner.remove_prefix(1);
        std::u16string path;
        std::string reason;
        if (!ParseRegKeyPath(inner, &m_root, &path, &reason)) return Fail(lineNo, reason);
        if (deletion && path.empty()) return Fail(lineNo, "a root key cannot be deleted");
        m_ops->push_back(RegOperation{deletion ? RegOperation::Kind::DeleteKey : RegOperation::Kind::CreateKey,
                                      lineNo, m_root, std::move(path), {}, 0, {}});
        m_haveKey = true;
        m_keyDeleted = deletion;
        return true;
    }

    // A value line: @=... or "name"=..., white space allowed around the '='.
    bool ParseValueLine(std::u16string_view s, int lineNo, RegOperation* op) {
        size_t pos = 0;
        std::string reason;
        if (s.front() == u'@') {
            pos = 1;
        } else if (s.front() == u'"') {
            if (!ParseQuoted(s, &pos, &op->name, &reason) || !ValidValueName(op->name, &reason))
                return Fail(lineNo, reason);
        } else if (Trim(s) == u"\\") {
            return Fail(lineNo, "a line holding only '\\' continues nothing");
        } else {
            return Fail(lineNo, "expected [KEY], \"name\"=, @= or a ; or # comment");
        }
        const std::u16string_view rest = TrimStart(s.substr(pos));
        if (rest.empty() || rest.front() != u'=') return Fail(lineNo, "expected '=' after the value name");
        return ParseValueData(TrimStart(rest.substr(1)), lineNo, op);
    }

    // The value part after '=': "text", dword:, hex:, hex(N): or - (deletion), each followed by
    // nothing but white space and a ; comment.
    bool ParseValueData(std::u16string_view v, int lineNo, RegOperation* op) {
        std::string reason;
        if (!v.empty() && v.front() == u'-') {
            if (!OnlyCommentFollows(v.substr(1))) return Fail(lineNo, TrailingTextReason(v.substr(1), "'-'"));
            op->kind = RegOperation::Kind::DeleteValue;
            return true;
        }
        op->kind = RegOperation::Kind::SetValue;
        if (!v.empty() && v.front() == u'"') {
            size_t pos = 0;
            std::u16string text;
            if (!ParseQuoted(v, &pos, &text, &reason)) return Fail(lineNo, reason);
            if (!OnlyCommentFollows(v.substr(pos)))
                return Fail(lineNo, TrailingTextReason(v.substr(pos), "the closing quote"));
            op->type = REG_SZ;
            AppendUtf16Le(text, &op->data);
            op->data.push_back(0);
            op->data.push_back(0);
            return true;
        }
        if (StartsNoCase(v, u"dword:")) {
            const std::u16string_view s = v.substr(6);
            size_t i = 0;
            while (i < s.size() && IsBlank(s[i])) ++i;
            const size_t first = i;
            while (i < s.size() && HexDigit(s[i]) >= 0) ++i;
            DWORD value = 0;
            if (!ParseHexNumber(s.substr(first, i - first), &value))
                return Fail(lineNo, "dword: needs 1 to 8 hex digits");
            if (!OnlyCommentFollows(s.substr(i)))
                return Fail(lineNo, TrailingTextReason(s.substr(i), "the dword: number"));
            op->type = REG_DWORD;
            for (int k = 0; k < 4; ++k) op->data.push_back(static_cast<uint8_t>(value >> (8 * k)));
            return true;
        }
        if (StartsNoCase(v, u"hex:")) {
            op->type = REG_BINARY;
            return ParseHexList(v.substr(4), lineNo, &op->data);
        }
        if (StartsNoCase(v, u"hex(")) {
            const size_t close = v.find(u"):");
            if (close == std::u16string_view::npos || !ParseHexNumber(v.substr(4, close - 4), &op->type))
                return Fail(lineNo, "hex(N): needs a type number of 1 to 8 hex digits");
            if (!ParseHexList(v.substr(close + 2), lineNo, &op->data)) return false;
            // REGEDIT4 is an ANSI format: its expandable and multiple strings are ANSI text,
            // which Windows turns into the registry's UTF-16 on import.
            if (m_ansiHexText && (op->type == REG_EXPAND_SZ || op->type == REG_MULTI_SZ)) AnsiBytesToUtf16(&op->data);
            return true;
        }
        return Fail(lineNo, "unknown value data (expected \"text\", dword:, hex:, hex(N): or -)");
    }

    // A comma-separated list of hex bytes from s (the rest of the value's line) on. A '\' after
    // a comma (or right after hex:) continues it on the next line that is not blank and not a
    // ; comment; a '\' on the last line ends it. Windows refuses a '\' anywhere else (after a
    // byte, splitting a byte, before data on its own line), a line holding only '\', and a #
    // line inside the list.
    bool ParseHexList(std::u16string_view s, int lineNo, std::vector<uint8_t>* out) {
        size_t i = 0;
        bool expectByte = true;  // at the list's start or after a comma
        for (;;) {
            while (i < s.size() && IsBlank(s[i])) ++i;
            if (i == s.size() || s[i] == u';') return true;
            const char16_t c = s[i];
            if (!expectByte) {
                if (c == u',') {
                    ++i;
                    expectByte = true;
                    continue;
                }
                if (c == u'\\') return Fail(lineNo, "a '\\' continues a hex list only after a comma");
                return Fail(lineNo, "expected ',' between hex bytes");
            }
            if (c == u'\\') {
                if (!OnlyCommentFollows(s.substr(i + 1)))
                    return Fail(lineNo, "only white space and a ; comment may follow a '\\' that continues a hex list");
                const int from = lineNo;
                do {
                    if (!m_lines.Next(&s)) return true;
                    lineNo = m_lines.Number();
                    s = TrimStart(s);
                } while (s.empty() || s.front() == u';');
                if (s.front() == u'#')
                    return Fail(lineNo, "a # line inside a continued hex list (only ; comments may be there)");
                if (Trim(s) == u"\\") return Fail(lineNo, "a line holding only '\\' inside a continued hex list");
                if (HexDigit(s.front()) < 0)
                    return Fail(lineNo,
                                "expected the hex bytes that continue the list of line " + std::to_string(from));
                i = 0;
                continue;
            }
            if (HexDigit(c) < 0) return Fail(lineNo, "expected a hex byte in the list");
            int value = HexDigit(c);
            ++i;
            if (i < s.size() && HexDigit(s[i]) >= 0) value = value * 16 + HexDigit(s[i++]);
            if (i < s.size() && HexDigit(s[i]) >= 0) return Fail(lineNo, "a hex byte has at most 2 digits");
            out->push_back(static_cast<uint8_t>(value));
            expectByte = false;
        }
    }

    // Each byte one character of the device's code page (single-byte code pages), as UTF-16LE.
    void AnsiBytesToUtf16(std::vector<uint8_t>* data) const {
        std::vector<uint8_t> wide;
        wide.reserve(data->size() * 2);
        for (uint8_t b : *data) {
            const char16_t u = AnsiToUnit(m_codePage, b);
            wide.push_back(static_cast<uint8_t>(u & 0xFF));
            wide.push_back(static_cast<uint8_t>(u >> 8));
        }
        data->swap(wide);
    }

    LineReader m_lines;
    int m_codePage;
    std::vector<RegOperation>* m_ops;
    std::string m_error;
    bool m_ansiHexText = false;
    bool m_haveKey = false, m_keyDeleted = false;
    HKEY m_root = nullptr;
};

void AppendQuoted(std::u16string_view text, std::string* out) {
    *out += '"';
    for (char c : ToUtf8(text)) {
        if (c == '\\' || c == '"') *out += '\\';
        *out += c;
    }
    *out += '"';
}

// A REG_SZ is written as text only when reading that text back gives the same bytes: one
// terminator at the end, no NUL or control character before it, no broken surrogate.
bool IsPlainText(const uint8_t* data, size_t size, std::u16string* text) {
    if (size < 2 || size % 2) return false;
    size_t units = size / 2;
    text->resize(units - 1);
    for (size_t i = 0; i < units; ++i) {
        char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (i + 1 == units) return c == 0 && RegistryStore::IsValidName(*text);
        if (c < 0x20) return false;
        (*text)[i] = c;
    }
    return false;
}

std::string DescribeError(LONG rc) {
    switch (rc) {
    case ERROR_KEY_DELETED: return "the key was deleted meanwhile";
    case ERROR_ACCESS_DENIED: return "a root key cannot be deleted";
    case ERROR_INVALID_PARAMETER: return "invalid name";
    case ERROR_BAD_PATHNAME: return "invalid key path";
    case ERROR_NOT_ENOUGH_MEMORY: return "value too large";
    default: return "registry write failed (error " + std::to_string(rc) + ")";
    }
}

// Appends one key block and then its subkeys' blocks; blocks after the first start with the
// blank line that separates keys.
LONG EmitKey(RegistryStore& reg, RegistryStore::KeyId id, const std::string& fullName, int depth, bool* first,
             std::string* out) {
    if (depth > kMaxExportDepth) return ERROR_REGISTRY_CORRUPT;
    if (!*first) *out += '\n';
    *first = false;
    *out += '[';
    *out += fullName;
    *out += "]\n";
    std::vector<RegistryStore::ValueEntry> values;
    if (LONG rc = reg.ListValues(id, &values)) return rc;
    for (const auto& v : values) {
        *out += FormatRegValue(v.name, v.type, v.data.data(), v.data.size());
        *out += '\n';
    }
    std::vector<RegistryStore::SubkeyEntry> subkeys;
    if (LONG rc = reg.ListSubkeys(id, &subkeys)) return rc;
    for (const auto& sub : subkeys)
        if (LONG rc = EmitKey(reg, sub.id, fullName + "\\" + ToUtf8(sub.name), depth + 1, first, out)) return rc;
    return ERROR_SUCCESS;
}

}  // namespace

bool ParseRegKeyPath(std::u16string_view text, HKEY* root, std::u16string* path, std::string* reason) {
    size_t slash = text.find(u'\\');
    std::u16string_view rootText = text.substr(0, slash);
    const RootName* found = nullptr;
    for (const RootName& r : kRootNames)
        if (EqualsNoCase(rootText, r.full) || EqualsNoCase(rootText, r.abbreviation)) found = &r;
    if (!found) {
        *reason = "unknown root key \"" + ToUtf8(rootText) +
                  "\" (expected HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE)";
        return false;
    }
    std::u16string_view rest = slash == std::u16string_view::npos ? std::u16string_view() : text.substr(slash + 1);
    std::vector<std::u16string_view> parts;
    if (LONG rc = RegistryStore::SplitPath(rest, &parts)) {
        *reason = rc == ERROR_BAD_PATHNAME ? "empty key name in \"" + ToUtf8(text) + "\""
                                           : "key name longer than 255 characters or holding a control character in \"" +
                                                 ToUtf8(text) + "\"";
        return false;
    }
    if (parts.size() > RegistryStore::kMaxKeyDepth) {
        *reason = "key deeper than " + std::to_string(RegistryStore::kMaxKeyDepth) + " levels";
        return false;
    }
    *root = found->root;
    path->clear();
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) *path += u'\\';
        *path += parts[i];
    }
    return true;
}


bool ParseRegText(std::string_view bytes, std::vector<RegOperation>* ops, std::string* error, int ansiCodePage) {
    ops->clear();
    std::u16string text;
    if (DecodeRegBytes(bytes, ansiCodePage, &text, error) && RegTextParser(text, ansiCodePage, ops).Run(error))
        return true;
    ops->clear();
    return false;
}

std::string FormatRegValue(std::u16string_view name, DWORD type, const uint8_t* data, size_t size) {
    std::string out;
    if (name.empty()) out = "@";
    else AppendQuoted(name, &out);
    out += '=';
    std::u16string text;
    if (type == REG_SZ && IsPlainText(data, size, &text)) {
        AppendQuoted(text, &out);
        return out;
    }
    char buf[32];
    if (type == REG_DWORD && size == 4) {
        DWORD v = static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
                  (static_cast<DWORD>(data[2]) << 16) | (static_cast<DWORD>(data[3]) << 24);
        snprintf(buf, sizeof buf, "dword:%08x", v);
        out += buf;
        return out;
    }
    if (type == REG_BINARY) {
        out += "hex:";
    } else {
        snprintf(buf, sizeof buf, "hex(%x):", type);
        out += buf;
    }
    static const char kDigits[] = "0123456789abcdef";
    out.reserve(out.size() + size * 3);
    for (size_t i = 0; i < size; ++i) {
        if (i) out += ',';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

std::string RegTextToUtf16(std::string_view utf8Text) {
    std::string out = "\xFF\xFE";
    out.reserve(2 + utf8Text.size() * 2);
    auto put = [&out](char16_t c) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    };
    for (char16_t c : FromUtf8(utf8Text)) {
        if (c == u'\n') put(u'\r');
        put(c);
    }
    return out;
}

bool ExportRegistry(Device& device, std::u16string_view keyPath, std::string* text, std::string* error,
                    RegTextEncoding encoding) {
    RegistryStore& reg = device.Registry();
    std::vector<std::pair<RegistryStore::KeyId, std::string>> starts;
    if (keyPath.empty()) {
        for (const RootName& r : kRootNames) starts.emplace_back(RegistryStore::RootKey(r.root), ToUtf8(r.full));
    }

    // One transaction, so that a writer in another process cannot change the tree half-way.
    Database::Transaction tx(device.Db());
    if (!tx.Ok()) {
        *error = "cannot read the registry: the database is busy";
        return false;
    }
    if (!keyPath.empty()) {
        HKEY root;
        std::u16string path;
        std::string reason;
        if (!ParseRegKeyPath(keyPath, &root, &path, &reason)) {
            *error = "invalid registry key " + ToUtf8(keyPath) + ": " + reason;
            return false;
        }
        // Walk the path to print each component with the spelling it was created with.
        RegistryStore::KeyId id = RegistryStore::RootKey(root);
        std::string fullName;
        for (const RootName& r : kRootNames)
            if (r.root == root) fullName = ToUtf8(r.full);
        std::vector<std::u16string_view> parts;
        RegistryStore::SplitPath(path, &parts);
        for (auto part : parts) {
            std::u16string stored;
            LONG rc = reg.FindKey(id, part, &id);
            if (rc == ERROR_SUCCESS) rc = reg.KeyName(id, &stored);
            if (rc) {
                *error = rc == ERROR_FILE_NOT_FOUND ? "registry key not found: " + ToUtf8(keyPath)
                                                    : "cannot read the registry: " + DescribeError(rc);
                return false;
            }
            fullName += "\\" + ToUtf8(stored);
        }
        starts.emplace_back(id, fullName);
    }

    // The version 5.00 header: the hex(2) and hex(7) data below are UTF-16, as the device holds
    // them, which is what that form means (REGEDIT4 would mean ANSI bytes).
    std::string out = ToUtf8(kHeader5) + "\n\n";
    bool first = true;
    for (const auto& [id, name] : starts) {
        if (LONG rc = EmitKey(reg, id, name, 0, &first, &out)) {
            *error = "cannot read the registry: " + DescribeError(rc);
            return false;
        }
    }
    tx.Commit();
    *text = encoding == RegTextEncoding::Utf16 ? RegTextToUtf16(out) : std::move(out);
    return true;
}

bool ImportRegistry(Device& device, std::string_view fileBytes, std::string* error) {
    int codePage = kDefaultAnsiCodePage;
    if (!DeviceAnsiCodePage(device, &codePage, error)) return false;
    std::vector<RegOperation> ops;
    if (!ParseRegText(fileBytes, &ops, error, codePage)) return false;
    RegistryStore& reg = device.Registry();
    Database::Transaction tx(device.Db());
    if (!tx.Ok()) {
        *error = "cannot write the registry: the database is busy";
        return false;
    }
    RegistryStore::KeyId current = RegistryStore::kNoKey;
    for (const RegOperation& op : ops) {
        RegistryStore::KeyId root = RegistryStore::RootKey(op.root);
        LONG rc = ERROR_SUCCESS;
        switch (op.kind) {
        case RegOperation::Kind::CreateKey: rc = reg.CreateKeyPath(root, op.path, &current, nullptr); break;
        case RegOperation::Kind::DeleteKey: {
            RegistryStore::KeyId target;
            rc = reg.FindKey(root, op.path, &target);
            if (rc == ERROR_SUCCESS) rc = reg.DeleteTree(target);
            else if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
            current = RegistryStore::kNoKey;
            break;
        }
        case RegOperation::Kind::SetValue:
            rc = reg.PutValue(current, op.name, op.type, op.data.data(), op.data.size());
            break;
        case RegOperation::Kind::DeleteValue:
            rc = reg.RemoveValue(current, op.name);
            if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
            break;
        }
        if (rc) {
            *error = LineError(op.line, "cannot apply: " + DescribeError(rc));
            return false;
        }
    }
    if (!tx.Commit()) {
        *error = "cannot write the registry: " + device.Db().LastError();
        return false;
    }
    return true;
}

}  // namespace host

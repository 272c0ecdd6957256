#include "host/registry/regfile.h"

#include <cstdio>

#include "host/kernel/database.h"
#include "host/kernel/device.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "host/registry/registry_store.h"

namespace host {

namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";
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

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != prefix[i]) return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
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
        else return false;
        if (i + static_cast<size_t>(n) >= s.size()) return false;
        for (int k = 1; k <= n; ++k) {
            auto cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) return false;
            c = (c << 6) | (cb & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += static_cast<size_t>(n) + 1;
    }
    return true;
}

// UTF-16LE (after its BOM) to UTF-8, refusing broken surrogate pairs and an odd byte count.
bool Utf16LeToUtf8(std::string_view bytes, std::string* out, std::string* error) {
    int line = 1;
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t u = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        units += u;
    }
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t u = units[i];
        if (u == u'\n') ++line;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            *error = LineError(line, "broken UTF-16 surrogate pair");
            return false;
        }
    }
    if (bytes.size() % 2) {
        *error = LineError(line, "the UTF-16 text ends in half a character");
        return false;
    }
    *out = ToUtf8(units);
    return true;
}

void AppendUtf16Le(std::u16string_view text, std::vector<uint8_t>* out) {
    for (char16_t c : text) {
        out->push_back(static_cast<uint8_t>(c & 0xFF));
        out->push_back(static_cast<uint8_t>(c >> 8));
    }
}

// A quoted text starting at s[*pos] == '"': only \\ and \" are escapes, as the exporter writes.
bool ParseQuoted(std::string_view s, size_t* pos, std::string* out, std::string* reason) {
    size_t i = *pos + 1;
    out->clear();
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size()) break;
            char next = s[i + 1];
            if (next != '\\' && next != '"') {
                *reason = std::string("unknown escape \\") + next + " in a quoted text (only \\\\ and \\\" are known)";
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

// "aa,bb,..." (an empty list too); white space allowed around the bytes.
bool ParseHexList(std::string_view s, std::vector<uint8_t>* out, std::string* reason) {
    out->clear();
    s = Trim(s);
    if (s.empty()) return true;
    size_t i = 0;
    for (;;) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        int hi = i < s.size() ? HexDigit(s[i]) : -1;
        if (hi < 0) {
            *reason = "expected a hex byte in the list";
            return false;
        }
        ++i;
        int value = hi;
        if (i < s.size() && HexDigit(s[i]) >= 0) value = value * 16 + HexDigit(s[i++]);
        out->push_back(static_cast<uint8_t>(value));
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i == s.size()) return true;
        if (s[i] != ',') {
            *reason = "expected ',' between hex bytes";
            return false;
        }
        ++i;
    }
}

bool ParseHexNumber(std::string_view s, DWORD* value) {
    if (s.empty() || s.size() > 8) return false;
    DWORD v = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<DWORD>(d);
    }
    *value = v;
    return true;
}

// The value part after '=': "text", dword:, hex:, hex(N): or - (deletion).
bool ParseValueData(std::string_view v, RegOperation* op, std::string* reason) {
    if (v == "-") {
        op->kind = RegOperation::Kind::DeleteValue;
        return true;
    }
    op->kind = RegOperation::Kind::SetValue;
    if (!v.empty() && v.front() == '"') {
        size_t pos = 0;
        std::string text;
        if (!ParseQuoted(v, &pos, &text, reason)) return false;
        if (!Trim(v.substr(pos)).empty()) {
            *reason = "unexpected text after the closing quote";
            return false;
        }
        op->type = REG_SZ;
        AppendUtf16Le(FromUtf8(text), &op->data);
        op->data.push_back(0);
        op->data.push_back(0);
        return true;
    }
    if (StartsNoCase(v, "dword:")) {
        DWORD value;
        if (!ParseHexNumber(Trim(v.substr(6)), &value)) {
            *reason = "dword: needs 1 to 8 hex digits";
            return false;
        }
        op->type = REG_DWORD;
        for (int i = 0; i < 4; ++i) op->data.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return true;
    }
    if (StartsNoCase(v, "hex:")) {
        op->type = REG_BINARY;
        return ParseHexList(v.substr(4), &op->data, reason);
    }
    if (StartsNoCase(v, "hex(")) {
        size_t close = v.find("):");
        if (close == std::string_view::npos || !ParseHexNumber(v.substr(4, close - 4), &op->type)) {
            *reason = "hex(N): needs a type number of 1 to 8 hex digits";
            return false;
        }
        return ParseHexList(v.substr(close + 2), &op->data, reason);
    }
    *reason = "unknown value data (expected \"text\", dword:, hex:, hex(N): or -)";
    return false;
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

// A value line: @=... or "name"=...
bool ParseValueLine(std::string_view s, RegOperation* op, std::string* reason) {
    size_t pos = 0;
    if (s.empty()) {
        *reason = "a continuation line with nothing to continue";
        return false;
    }
    if (s.front() == '@') {
        pos = 1;
    } else if (s.front() == '"') {
        std::string name;
        if (!ParseQuoted(s, &pos, &name, reason)) return false;
        op->name = FromUtf8(name);
        if (!ValidValueName(op->name, reason)) return false;
    } else {
        *reason = "expected [KEY], \"name\"=, @= or a ; comment";
        return false;
    }
    std::string_view rest = Trim(s.substr(pos));
    if (rest.empty() || rest.front() != '=') {
        *reason = "expected '=' after the value name";
        return false;
    }
    return ParseValueData(Trim(rest.substr(1)), op, reason);
}

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

namespace {

bool ParseRegLines(std::string_view bytes, std::vector<RegOperation>* ops, std::string* error) {
    std::string converted;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (!Utf16LeToUtf8(bytes.substr(2), &converted, error)) return false;
        bytes = converted;
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        *error = LineError(1, "UTF-16 big-endian text is not supported (use UTF-16LE or UTF-8)");
        return false;
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }

    std::vector<std::string_view> lines;
    for (size_t start = 0; start <= bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!IsValidUtf8(lines[i])) {
            *error = LineError(static_cast<int>(i + 1), "invalid UTF-8 text");
            return false;
        }
    }

    bool header = false;
    bool haveKey = false, keyDeleted = false;
    HKEY root = nullptr;
    std::u16string path;
    std::string reason;
    for (size_t i = 0; i < lines.size(); ++i) {
        int lineNo = static_cast<int>(i + 1);
        std::string_view t = Trim(lines[i]);
        if (!header) {
            if (t.empty()) continue;
            if (t != kHeader4 && t != kHeader5) {
                *error = LineError(lineNo, "expected the header REGEDIT4 or Windows Registry Editor Version 5.00");
                return false;
            }
            header = true;
            continue;
        }
        if (t.empty() || t.front() == ';') continue;

        if (t.front() == '[') {
            if (t.back() != ']' || t.size() < 2) {
                *error = LineError(lineNo, "a key line must end with ']'");
                return false;
            }
            std::string_view inner = t.substr(1, t.size() - 2);
            bool deletion = !inner.empty() && inner.front() == '-';
            if (deletion) inner.remove_prefix(1);
            if (!ParseRegKeyPath(FromUtf8(inner), &root, &path, &reason)) {
                *error = LineError(lineNo, reason);
                return false;
            }
            if (deletion && path.empty()) {
                *error = LineError(lineNo, "a root key cannot be deleted");
                return false;
            }
            RegOperation op{deletion ? RegOperation::Kind::DeleteKey : RegOperation::Kind::CreateKey, lineNo, root,
                            path, {}, 0, {}};
            ops->push_back(std::move(op));
            haveKey = true;
            keyDeleted = deletion;
            continue;
        }

        // A value line, perhaps continued on the following lines by a trailing '\'.
        std::string logical(t);
        while (!logical.empty() && logical.back() == '\\') {
            logical.pop_back();
            if (++i >= lines.size()) {
                *error = LineError(lineNo, "the value continues past the end of the file");
                return false;
            }
            logical += Trim(lines[i]);
        }
        if (!haveKey) {
            *error = LineError(lineNo, "a value before the first [KEY] line");
            return false;
        }
        if (keyDeleted) {
            *error = LineError(lineNo, "a value under a [-KEY] deletion");
            return false;
        }
        // The key is the preceding key operation's; repeating its path here would let a file of
        // one long key line and many short value lines take memory quadratic in its size.
        RegOperation op{RegOperation::Kind::SetValue, lineNo, root, {}, {}, 0, {}};
        if (!ParseValueLine(logical, &op, &reason)) {
            *error = LineError(lineNo, reason);
            return false;
        }
        ops->push_back(std::move(op));
    }
    if (!header) {
        *error = LineError(1, "expected the header REGEDIT4 or Windows Registry Editor Version 5.00");
        return false;
    }
    return true;
}

}  // namespace

bool ParseRegText(std::string_view bytes, std::vector<RegOperation>* ops, std::string* error) {
    ops->clear();
    if (ParseRegLines(bytes, ops, error)) return true;
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

bool ExportRegistry(Device& device, std::u16string_view keyPath, std::string* text, std::string* error) {
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

    std::string out = std::string(kHeader4) + "\n\n";
    bool first = true;
    for (const auto& [id, name] : starts) {
        if (LONG rc = EmitKey(reg, id, name, 0, &first, &out)) {
            *error = "cannot read the registry: " + DescribeError(rc);
            return false;
        }
    }
    tx.Commit();
    *text = std::move(out);
    return true;
}

bool ImportRegistry(Device& device, std::string_view fileBytes, std::string* error) {
    std::vector<RegOperation> ops;
    if (!ParseRegText(fileBytes, &ops, error)) return false;
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

// The registry script interpreter: replacement, tokenising, parsing into a key tree, then
// carrying the tree out in register or unregister mode.
#include "registrar.h"

#include <cstdint>
#include <optional>

#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace imshell {

namespace {

// Deeper nesting than any real script has; it keeps hostile input from exhausting the stack.
constexpr int kMaxDepth = 32;
// Key names longer than this are refused by the registry anyway.
constexpr size_t kMaxNameLength = 255;

enum class KeyFlag { None, NoRemove, ForceRemove, Delete };

struct ScriptValue {
    std::u16string name;  // empty: the key's default value
    DWORD type = REG_SZ;
    std::u16string text;
    DWORD number = 0;
    std::vector<BYTE> bytes;
};

struct ScriptKey {
    std::u16string name;
    KeyFlag flag = KeyFlag::None;
    std::vector<ScriptValue> values;  // the default value first when the key has one
    std::vector<ScriptKey> children;
};

struct ScriptRoot {
    HKEY root;
    std::vector<ScriptKey> keys;
};

struct Token {
    std::u16string text;
    bool quoted = false;
    bool Is(std::u16string_view word) const { return !quoted && EqualsNoCase(text, word); }
};

bool IsSpace(WCHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool Replace(std::u16string_view script, const std::vector<Replacement>& replacements, std::u16string* out,
             std::u16string* error) {
    out->clear();
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] != u'%') {
            out->push_back(script[i]);
            continue;
        }
        size_t end = script.find(u'%', i + 1);
        if (end == std::u16string_view::npos) {
            *error = u"unterminated %name%";
            return false;
        }
        std::u16string_view name = script.substr(i + 1, end - i - 1);
        if (name.empty()) {
            out->push_back(u'%');
        } else {
            const Replacement* found = nullptr;
            for (const Replacement& r : replacements)
                if (EqualsNoCase(r.name, name)) found = &r;
            if (!found) {
                *error = u"unknown replacement %" + std::u16string(name) + u"%";
                return false;
            }
            *out += found->value;
        }
        i = end;
    }
    return true;
}

bool Tokenise(std::u16string_view text, std::vector<Token>* tokens, std::u16string* error) {
    // A NUL would cut a name short where the registry reads it, and name another key.
    if (text.find(u'\0') != std::u16string_view::npos) {
        *error = u"NUL in the script";
        return false;
    }
    size_t i = 0;
    while (i < text.size()) {
        if (IsSpace(text[i])) {
            ++i;
            continue;
        }
        Token token;
        if (text[i] == u'\'') {
            token.quoted = true;
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    *error = u"unterminated quoted text";
                    return false;
                }
                if (text[i] == u'\'') {
                    if (i + 1 < text.size() && text[i + 1] == u'\'') {
                        token.text.push_back(u'\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                token.text.push_back(text[i++]);
            }
        } else {
            while (i < text.size() && !IsSpace(text[i])) token.text.push_back(text[i++]);
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

std::optional<HKEY> RootKey(const Token& token) {
    if (token.Is(u"HKCR") || token.Is(u"HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
    if (token.Is(u"HKLM") || token.Is(u"HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
    if (token.Is(u"HKCU") || token.Is(u"HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
    if (token.Is(u"HKU") || token.Is(u"HKEY_USERS")) return HKEY_USERS;
    return std::nullopt;
}

int HexDigit(WCHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ParseNumber(std::u16string_view text, DWORD* number) {
    uint64_t value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    for (WCHAR c : text) {
        int digit = HexDigit(c);
        if (digit < 0 || digit >= base) return false;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return false;
    }
    *number = static_cast<DWORD>(value);
    return true;
}

bool ParseBytes(std::u16string_view text, std::vector<BYTE>* bytes) {
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<BYTE>(high * 16 + low));
    }
    return true;
}

class Parser {
public:
    Parser(const std::vector<Token>& tokens, std::u16string* error) : m_tokens(tokens), m_error(error) {}

    bool ParseScript(std::vector<ScriptRoot>* roots) {
        while (m_pos < m_tokens.size()) {
            std::optional<HKEY> root = RootKey(m_tokens[m_pos]);
            if (!root) return Fail(u"unknown root key '" + m_tokens[m_pos].text + u"'");
            ++m_pos;
            ScriptRoot parsed{*root, {}};
            if (!Expect(u"{") || !ParseBlock(&parsed.keys, nullptr, 1)) return false;
            roots->push_back(std::move(parsed));
        }
        return true;
    }

private:
    bool Fail(std::u16string why) {
        *m_error = std::move(why);
        return false;
    }
    bool AtEnd() const { return m_pos >= m_tokens.size(); }
    bool Expect(std::u16string_view word) {
        if (AtEnd() || !m_tokens[m_pos].Is(word))
            return Fail(u"expected '" + std::u16string(word) + u"'" +
                        (AtEnd() ? std::u16string(u" at the end") : u" before '" + m_tokens[m_pos].text + u"'"));
        ++m_pos;
        return true;
    }

    // A key name is a relative path: no empty component, so that it never names its parent.
    bool ParseKeyName(std::u16string* name) {
        if (!ParseName(name)) return false;
        if (name->front() == u'\\' || name->back() == u'\\' || name->find(u"\\\\") != std::u16string::npos)
            return Fail(u"bad key name '" + *name + u"'");
        return true;
    }

    bool ParseName(std::u16string* name) {
        if (AtEnd()) return Fail(u"a name is missing at the end");
        const Token& token = m_tokens[m_pos];
        if (!token.quoted && (token.text == u"{" || token.text == u"}" || token.text == u"="))
            return Fail(u"a name is missing before '" + token.text + u"'");
        if (token.text.empty() || token.text.size() > kMaxNameLength) return Fail(u"a name is empty or too long");
        *name = token.text;
        ++m_pos;
        return true;
    }

    // "= TYPE 'DATA'"; the '=' has been read.
    bool ParseData(ScriptValue* value) {
        if (AtEnd()) return Fail(u"a value type is missing at the end");
        const Token& type = m_tokens[m_pos++];
        if (AtEnd() || !m_tokens[m_pos].quoted) return Fail(u"value data must be quoted");
        const std::u16string& data = m_tokens[m_pos++].text;
        if (type.Is(u"s")) {
            value->type = REG_SZ;
            value->text = data;
        } else if (type.Is(u"d")) {
            value->type = REG_DWORD;
            if (!ParseNumber(data, &value->number)) return Fail(u"bad number '" + data + u"'");
        } else if (type.Is(u"b")) {
            value->type = REG_BINARY;
            if (!ParseBytes(data, &value->bytes)) return Fail(u"bad hex bytes '" + data + u"'");
        } else {
            return Fail(u"unknown value type '" + type.text + u"'");
        }
        return true;
    }

    // Items up to and including the closing brace. key null: a root's block, which holds keys
    // only.
    bool ParseBlock(std::vector<ScriptKey>* keys, ScriptKey* key, int depth) {
        if (depth > kMaxDepth) return Fail(u"keys nested too deeply");
        for (;;) {
            if (AtEnd()) return Fail(u"'}' is missing at the end");
            const Token& token = m_tokens[m_pos];
            if (token.Is(u"}")) {
                ++m_pos;
                return true;
            }
            if (token.Is(u"val")) {
                if (!key) return Fail(u"a value outside of a key");
                ++m_pos;
                ScriptValue value;
                if (!ParseName(&value.name) || !Expect(u"=") || !ParseData(&value)) return false;
                key->values.push_back(std::move(value));
                continue;
            }
            ScriptKey child;
            if (token.Is(u"NoRemove")) child.flag = KeyFlag::NoRemove;
            if (token.Is(u"ForceRemove")) child.flag = KeyFlag::ForceRemove;
            if (token.Is(u"Delete")) child.flag = KeyFlag::Delete;
            if (child.flag != KeyFlag::None) ++m_pos;
            if (!ParseKeyName(&child.name)) return false;
            if (!AtEnd() && m_tokens[m_pos].Is(u"=")) {
                ++m_pos;
                ScriptValue value;
                if (!ParseData(&value)) return false;
                child.values.push_back(std::move(value));
            }
            if (!AtEnd() && m_tokens[m_pos].Is(u"{")) {
                ++m_pos;
                if (!ParseBlock(&child.children, &child, depth + 1)) return false;
            }
            keys->push_back(std::move(child));
        }
    }

    const std::vector<Token>& m_tokens;
    std::u16string* m_error;
    size_t m_pos = 0;
};

HRESULT FromStatus(LONG status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

LONG WriteValue(HKEY key, const ScriptValue& value) {
    const WCHAR* name = value.name.empty() ? nullptr : value.name.c_str();
    switch (value.type) {
    case REG_DWORD:
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                              sizeof value.number);
    case REG_BINARY:
        return RegSetValueExW(key, name, 0, REG_BINARY, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
    default:
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                              static_cast<DWORD>((value.text.size() + 1) * sizeof(WCHAR)));
    }
}

HRESULT RegisterKeys(HKEY parent, const std::vector<ScriptKey>& keys) {
    for (const ScriptKey& key : keys) {
        if (key.flag == KeyFlag::Delete || key.flag == KeyFlag::ForceRemove) {
            LONG status = RegDeleteKeyW(parent, key.name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
            if (key.flag == KeyFlag::Delete) continue;
        }
        HKEY handle = nullptr;
        LONG status = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                      nullptr, &handle, nullptr);
        if (status != ERROR_SUCCESS) return FromStatus(status);
        HRESULT hr = S_OK;
        for (const ScriptValue& value : key.values) {
            status = WriteValue(handle, value);
            if (status != ERROR_SUCCESS) {
                hr = FromStatus(status);
                break;
            }
        }
        if (SUCCEEDED(hr)) hr = RegisterKeys(handle, key.children);
        RegCloseKey(handle);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// True when the key holds no subkey and no value but the default one.
bool IsLeftEmpty(HKEY key) {
    DWORD subKeys = 0, values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (subKeys) return false;
    if (values == 0) return true;
    if (values > 1) return false;
    DWORD size = 0;
    return RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

void Remember(HRESULT* first, HRESULT hr) {
    if (SUCCEEDED(*first) && FAILED(hr)) *first = hr;
}

HRESULT UnregisterKeys(HKEY parent, const std::vector<ScriptKey>& keys) {
    HRESULT first = S_OK;
    for (const ScriptKey& key : keys) {
        if (key.flag == KeyFlag::Delete) continue;
        if (key.flag == KeyFlag::ForceRemove) {
            LONG status = RegDeleteKeyW(parent, key.name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) Remember(&first, FromStatus(status));
            continue;
        }
        HKEY handle = nullptr;
        LONG status = RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, &handle);
        if (status == ERROR_FILE_NOT_FOUND) continue;
        if (status != ERROR_SUCCESS) {
            Remember(&first, FromStatus(status));
            continue;
        }
        Remember(&first, UnregisterKeys(handle, key.children));
        for (const ScriptValue& value : key.values) {
            if (value.name.empty()) continue;
            status = RegDeleteValueW(handle, value.name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) Remember(&first, FromStatus(status));
        }
        const bool empty = key.flag == KeyFlag::None && IsLeftEmpty(handle);
        RegCloseKey(handle);
        if (empty) {
            status = RegDeleteKeyW(parent, key.name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) Remember(&first, FromStatus(status));
        }
    }
    return first;
}

}  // namespace

HRESULT RunRegistryScript(std::u16string_view script, const std::vector<Replacement>& replacements,
                          RegistrarMode mode, std::u16string* error) {
    std::u16string why;
    std::u16string text;
    std::vector<Token> tokens;
    std::vector<ScriptRoot> roots;
    if (!Replace(script, replacements, &text, &why) || !Tokenise(text, &tokens, &why) ||
        !Parser(tokens, &why).ParseScript(&roots)) {
        DebugTrace(u"registry script: %s\n", why.c_str());
        if (error) *error = why;
        return kScriptSyntaxError;
    }
    HRESULT first = S_OK;
    for (const ScriptRoot& root : roots) {
        if (mode == RegistrarMode::Register) {
            HRESULT hr = RegisterKeys(root.root, root.keys);
            if (FAILED(hr)) return hr;
        } else {
            Remember(&first, UnregisterKeys(root.root, root.keys));
        }
    }
    return first;
}

HRESULT RunRegistryResource(HINSTANCE module, UINT id, const std::vector<Replacement>& replacements,
                            RegistrarMode mode) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), u"REGISTRY");
    if (!found) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    std::string_view bytes(static_cast<const char*>(data), SizeofResource(module, found));
    return RunRegistryScript(FromUtf8(bytes), replacements, mode);
}

}  // namespace imshell

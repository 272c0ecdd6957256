#include "description.h"

#include <charconv>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"

namespace cabmaker {

namespace {

// A line's words: runs without blanks, or "quoted text" (\" and \\ inside quotes).
bool Words(std::string_view line, std::vector<std::string>* words, std::string* error) {
    for (size_t i = 0; i < line.size();) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        std::string word;
        if (line[i] == '"') {
            size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() && (line[j + 1] == '"' || line[j + 1] == '\\')) ++j;
                word += line[j];
            }
            if (j >= line.size()) {
                *error = "a quote is not closed";
                return false;
            }
            i = j + 1;
        } else {
            size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') word += line[j++];
            i = j;
        }
        words->push_back(std::move(word));
    }
    return true;
}

bool Number(const std::string& text, uint32_t* value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), *value, hex ? 16 : 10);
    return ec == std::errc() && end == text.data() + text.size() && begin != end;
}

std::vector<uint8_t> Units(std::u16string_view text) {
    std::vector<uint8_t> data;
    for (char16_t unit : text) {
        data.push_back(uint8_t(unit & 0xFF));
        data.push_back(uint8_t(unit >> 8));
    }
    return data;
}

bool Root(std::string_view text, host::CeRegistryRoot* root) {
    if (text == "HKCR") *root = host::CeRegistryRoot::ClassesRoot;
    else if (text == "HKCU") *root = host::CeRegistryRoot::CurrentUser;
    else if (text == "HKLM") *root = host::CeRegistryRoot::LocalMachine;
    else if (text == "HKU") *root = host::CeRegistryRoot::Users;
    else return false;
    return true;
}

// reg ROOT\KEY NAME TYPE VALUE... [keep] [subst]
bool Value(std::vector<std::string> w, host::CeCabinetDescription::Value* value, std::string* error) {
    while (w.size() > 4 && (w.back() == "keep" || w.back() == "subst")) {
        (w.back() == "keep" ? value->noClobber : value->substitute) = true;
        w.pop_back();
    }
    if (w.size() < 4) {
        *error = "reg needs ROOT\\KEY, NAME, TYPE and a value";
        return false;
    }
    const size_t slash = w[1].find('\\');
    if (slash == std::string::npos || !Root(std::string_view(w[1]).substr(0, slash), &value->root)) {
        *error = "'" + w[1] + "' is not HKCR, HKCU, HKLM or HKU, a backslash and a key";
        return false;
    }
    value->key = FromUtf8(w[1].substr(slash + 1));
    value->name = FromUtf8(w[2]);
    const std::string& type = w[3];
    const std::vector<std::string> items(w.begin() + 4, w.end());
    if (type == "dword") {
        uint32_t n = 0;
        if (items.size() != 1 || !Number(items[0], &n)) {
            *error = "dword takes one number (decimal or 0x hexadecimal)";
            return false;
        }
        value->type = REG_DWORD;
        value->data = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    } else if (type == "sz" || type == "multi_sz") {
        if (type == "sz" && items.size() != 1) {
            *error = "sz takes one text";
            return false;
        }
        std::u16string text;
        for (const std::string& item : items) {
            text += FromUtf8(item);
            text += u'\0';
        }
        if (type == "multi_sz") text += u'\0';
        value->type = type == "sz" ? REG_SZ : REG_MULTI_SZ;
        value->data = Units(text);
    } else if (type == "binary") {
        value->type = REG_BINARY;
        for (const std::string& item : items) {
            uint32_t byte = 0;
            if (item.size() != 2 || !Number("0x" + item, &byte)) {
                *error = "binary takes bytes as two hexadecimal digits each, not '" + item + "'";
                return false;
            }
            value->data.push_back(uint8_t(byte));
        }
    } else {
        *error = "unknown type '" + type + "' (dword, sz, multi_sz, binary)";
        return false;
    }
    return true;
}

}  // namespace

bool ParseDescription(std::string_view text, const std::filesystem::path& baseDir, host::CeCabinetDescription* out,
                      std::string* error) {
    host::CeCabinetDescription d;
    size_t number = 0;
    auto fail = [&](const std::string& why) {
        *error = std::to_string(number) + ": " + why;
        return false;
    };
    auto hostFile = [&](const std::string& path) { return host::CabinetContent{baseDir / path, {}}; };
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        std::vector<std::string> w;
        std::string why;
        if (!Words(line, &w, &why)) return fail(why);
        if (w.empty()) continue;
        const std::string& key = w[0];
        if ((key == "app" || key == "provider" || key == "members" || key == "codepage" || key == "setup") &&
            w.size() != 2)
            return fail(key + " takes one word");
        if (key == "app") {
            d.appName = FromUtf8(w[1]);
        } else if (key == "provider") {
            d.provider = FromUtf8(w[1]);
        } else if (key == "members") {
            d.memberBase = w[1];
        } else if (key == "codepage") {
            uint32_t cp = 0;
            if (!Number(w[1], &cp) || (cp != 1252 && cp != 1251)) return fail("the code page is 1252 or 1251");
            d.codePage = int(cp);
        } else if (key == "setup") {
            d.setupLibrary = hostFile(w[1]);
        } else if (key == "file") {
            const bool keep = w.size() == 5 && w[4] == "keep";
            if (w.size() != 4 && !keep) return fail("file takes HOSTFILE FOLDER NAME [keep]");
            d.files.push_back({hostFile(w[1]), FromUtf8(w[2]), FromUtf8(w[3]), keep ? host::kCeFileNoOverwrite : 0u});
        } else if (key == "reg") {
            host::CeCabinetDescription::Value value;
            if (!Value(w, &value, &why)) return fail(why);
            d.values.push_back(std::move(value));
        } else if (key == "shortcut") {
            if (w.size() != 4) return fail("shortcut takes FOLDER NAME TARGET");
            d.shortcuts.push_back({FromUtf8(w[1]), FromUtf8(w[2]), FromUtf8(w[3])});
        } else {
            return fail("unknown line '" + key + "' (app, provider, members, codepage, file, setup, reg, shortcut)");
        }
    }
    number = 0;
    if (d.appName.empty()) return fail("the description has no app line");
    *out = std::move(d);
    return true;
}

}  // namespace cabmaker

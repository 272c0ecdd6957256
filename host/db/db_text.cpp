#include "host/db/db_text.h"

#include <cstdint>
#include <cstdio>

#include "host/db/record_blob.h"
#include "platform/database.h"

namespace host::cedb {

namespace {

void AppendUtf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        out->push_back(char(c));
    } else if (c < 0x800) {
        out->push_back(char(0xC0 | (c >> 6)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(char(0xE0 | (c >> 12)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (c >> 18)));
        out->push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(char(0x80 | (c & 0x3F)));
    }
}

// One UTF-8 sequence at pos, strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
bool NextCodePoint(std::string_view s, size_t* pos, char32_t* c) {
    const auto b0 = uint8_t(s[*pos]);
    int extra;
    char32_t min;
    if (b0 < 0x80) {
        *c = b0;
        ++*pos;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1, min = 0x80, *c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, min = 0x800, *c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, min = 0x10000, *c = b0 & 0x07;
    } else {
        return false;
    }
    if (s.size() - *pos <= size_t(extra)) return false;
    for (int i = 1; i <= extra; ++i) {
        const auto b = uint8_t(s[*pos + size_t(i)]);
        if ((b & 0xC0) != 0x80) return false;
        *c = (*c << 6) | (b & 0x3F);
    }
    if (*c < min || *c > 0x10FFFF || (*c >= 0xD800 && *c <= 0xDFFF)) return false;
    *pos += size_t(extra) + 1;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal number of at most 10 digits, with a '-' only where allowed.
bool ParseDecimal(std::string_view text, bool allowSign, int64_t* value) {
    bool negative = false;
    if (allowSign && !text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *value = negative ? -v : v;
    return true;
}

void AppendLe(std::string* out, uint64_t v, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}

void AppendUnit(std::string* out, char16_t unit) { AppendLe(out, unit, 2); }

// Reads one property's value from text (which starts right after ID#TYPE#) up to its ';'; *used
// receives how much of text it took, the ';' included. An empty return means success.
std::string ParseValue(std::string_view text, WORD type, std::string* value, size_t* used) {
    value->clear();
    if (type == CEVT_LPWSTR) {
        size_t at = 0;
        while (at < text.size()) {
            const char c = text[at];
            if (c == ';') {
                *used = at + 1;
                return {};
            }
            if (c == '#') return "a # in a text is written \\#";
            if (c == '\\') {
                if (at + 1 >= text.size()) return "a \\ ends the line";
                const char e = text[at + 1];
                at += 2;
                switch (e) {
                case '\\': AppendUnit(value, u'\\'); break;
                case ';': AppendUnit(value, u';'); break;
                case '#': AppendUnit(value, u'#'); break;
                case 'r': AppendUnit(value, u'\r'); break;
                case 'n': AppendUnit(value, u'\n'); break;
                case 'u': {
                    unsigned unit = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int d = at < text.size() ? HexDigit(text[at]) : -1;
                        if (d < 0) return "\\u takes four hexadecimal digits";
                        unit = unit * 16 + unsigned(d);
                        ++at;
                    }
                    if (unit < 0xD800 || unit > 0xDFFF) return "\\u is only for a surrogate (D800 to DFFF)";
                    AppendUnit(value, char16_t(unit));
                    break;
                }
                default: return std::string("unknown escape \\") + (e >= 0x20 && e < 0x7F ? std::string(1, e) : "?");
                }
                continue;
            }
            char32_t cp = 0;
            if (!NextCodePoint(text, &at, &cp)) return "not UTF-8 text";
            if (cp == 0) return "a text holds no NUL character";
            if (cp >= 0x10000) {
                AppendUnit(value, char16_t(0xD800 + ((cp - 0x10000) >> 10)));
                AppendUnit(value, char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                AppendUnit(value, char16_t(cp));
            }
        }
        return "no ';' ends its value";
    }
    const size_t end = text.find(';');
    if (end == std::string_view::npos) return "no ';' ends its value";
    *used = end + 1;
    const std::string_view digits = text.substr(0, end);
    int64_t number = 0;
    switch (type) {
    case CEVT_I2:
        if (!ParseDecimal(digits, true, &number) || number < INT16_MIN || number > INT16_MAX)
            return "a CEVT_I2 value is a number from -32768 to 32767";
        AppendLe(value, uint64_t(number), 2);
        return {};
    case CEVT_UI2:
        if (!ParseDecimal(digits, false, &number) || number > UINT16_MAX)
            return "a CEVT_UI2 value is a number from 0 to 65535";
        AppendLe(value, uint64_t(number), 2);
        return {};
    case CEVT_I4:
        if (!ParseDecimal(digits, true, &number) || number < INT32_MIN || number > INT32_MAX)
            return "a CEVT_I4 value is a number from -2147483648 to 2147483647";
        AppendLe(value, uint64_t(number), 4);
        return {};
    case CEVT_UI4:
        if (!ParseDecimal(digits, false, &number) || number > UINT32_MAX)
            return "a CEVT_UI4 value is a number from 0 to 4294967295";
        AppendLe(value, uint64_t(number), 4);
        return {};
    default: {
        if (digits.size() % 2) return "a value in hexadecimal has two digits per byte";
        for (size_t i = 0; i < digits.size(); i += 2) {
            const int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
            if (hi < 0 || lo < 0) return "a value in hexadecimal holds only 0-9 and a-f";
            value->push_back(char(hi * 16 + lo));
        }
        const size_t fixed = FixedSize(type);
        if (fixed && value->size() != fixed) return "this type's value is " + std::to_string(fixed) + " bytes";
        return {};
    }
    }
}

std::string ParseLine(std::string_view line, std::string* blob) {
    blob->clear();
    if (line.empty()) return "a record needs at least one property";
    size_t at = 0, total = 0;
    std::vector<CEPROPID> seen;
    std::string value;
    for (int n = 1; at < line.size(); ++n) {
        const std::string where = "property " + std::to_string(n) + ": ";
        const size_t idEnd = line.find('#', at);
        const size_t typeEnd = idEnd == std::string_view::npos ? idEnd : line.find('#', idEnd + 1);
        if (typeEnd == std::string_view::npos) return where + "expected ID#TYPE#VALUE;";
        int64_t id = 0, type = 0;
        if (!ParseDecimal(line.substr(at, idEnd - at), false, &id) || id > 0xFFFF)
            return where + "the identifier is a number from 0 to 65535";
        if (!ParseDecimal(line.substr(idEnd + 1, typeEnd - idEnd - 1), false, &type) || type > 0xFFFF ||
            !IsKnownType(WORD(type)))
            return where + "the type is not one of 2, 3, 5, 11, 18, 19, 31, 64, 65";
        const CEPROPID propid = PROPID_FROM(id, type);
        for (CEPROPID earlier : seen)
            if (earlier == propid) return where + std::to_string(id) + "#" + std::to_string(type) + " appears twice";
        seen.push_back(propid);
        size_t used = 0;
        const std::string wrong = ParseValue(line.substr(typeEnd + 1), WORD(type), &value, &used);
        if (!wrong.empty()) return where + wrong;
        const size_t size = PlatformSize(propid, value);
        if (size > CEDB_MAXPROPDATASIZE)
            return where + "a value holds at most " + std::to_string(CEDB_MAXPROPDATASIZE) + " bytes";
        total += size;
        if (total > CEDB_MAXRECORDSIZE)
            return "a record's values hold at most " + std::to_string(CEDB_MAXRECORDSIZE) + " bytes";
        AppendProperty(blob, propid, value);
        at = typeEnd + 1 + used;
    }
    return {};
}

}  // namespace

bool FormatRecord(std::string_view blob, std::string* line) {
    std::vector<PropertyView> properties;
    if (!DecodeRecord(blob, &properties)) return false;
    line->clear();
    char number[32];
    for (const PropertyView& p : properties) {
        const WORD type = TypeFromPropID(p.propid);
        std::snprintf(number, sizeof number, "%u#%u#", unsigned(p.propid >> 16), unsigned(type));
        *line += number;
        const char* v = p.value.data();
        switch (type) {
        case CEVT_I2: std::snprintf(number, sizeof number, "%d", int(int16_t(ReadLe16(v)))); *line += number; break;
        case CEVT_UI2: std::snprintf(number, sizeof number, "%u", unsigned(ReadLe16(v))); *line += number; break;
        case CEVT_I4: std::snprintf(number, sizeof number, "%d", int(int32_t(ReadLe32(v)))); *line += number; break;
        case CEVT_UI4: std::snprintf(number, sizeof number, "%u", unsigned(ReadLe32(v))); *line += number; break;
        case CEVT_LPWSTR:
            for (size_t i = 0; i + 1 < p.value.size(); i += 2) {
                const char16_t unit = ReadLe16(v + i);
                if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < p.value.size()) {
                    const char16_t low = ReadLe16(v + i + 2);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        AppendUtf8(line, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00));
                        i += 2;
                        continue;
                    }
                }
                switch (unit) {
                case u'\\': *line += "\\\\"; break;
                case u';': *line += "\\;"; break;
                case u'#': *line += "\\#"; break;
                case u'\r': *line += "\\r"; break;
                case u'\n': *line += "\\n"; break;
                default:
                    if (unit >= 0xD800 && unit <= 0xDFFF) {
                        std::snprintf(number, sizeof number, "\\u%04X", unsigned(unit));
                        *line += number;
                    } else {
                        AppendUtf8(line, unit);
                    }
                }
            }
            break;
        default:
            for (char c : p.value) {
                std::snprintf(number, sizeof number, "%02x", unsigned(uint8_t(c)));
                *line += number;
            }
            break;
        }
        *line += ';';
    }
    return true;
}

bool ParseRecords(std::string_view text, std::vector<std::string>* blobs, size_t* line, std::string* error) {
    blobs->clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view current = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!current.empty() && current.back() == '\r') current.remove_suffix(1);
        std::string blob;
        std::string wrong = ParseLine(current, &blob);
        if (!wrong.empty()) {
            *line = number;
            *error = std::move(wrong);
            blobs->clear();
            return false;
        }
        blobs->push_back(std::move(blob));
    }
    return true;
}

}  // namespace host::cedb

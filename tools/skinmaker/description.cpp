#include "description.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>

namespace skinmaker {
namespace {

struct NamedKey {
    const char* name;
    char16_t code;
    const char16_t* label;
};

// Key names a description may use, their codes in the function block, and their default labels.
constexpr NamedKey kNamedKeys[] = {
    {"Shift", 0xF000, u"\u21E7"}, {"Ctrl", 0xF001, u"Ctrl"},      {"Caps", 0xF002, u"Caps"},
    {"Lang", 0xF003, u"Lang"},    {"Digit", 0xF004, u"123"},      {"Uml", 0xF005, u"\u00C0\u00C9"},
    {"Esc", 0xF010, u"Esc"},      {"Backspace", 0xF011, u"\u232B"}, {"Enter", 0xF012, u"\u21B5"},
    {"Space", 0xF013, u"\u2423"}, {"Tab", 0xF014, u"Tab"},        {"Left", 0xF015, u"\u2190"},
    {"Up", 0xF016, u"\u2191"},    {"Right", 0xF017, u"\u2192"},   {"Down", 0xF018, u"\u2193"},
};

constexpr int kMaxIncludeDepth = 8;
constexpr int kMaxPixels = 4096;

const NamedKey* FindNamedKey(std::string_view name) {
    for (const auto& key : kNamedKeys) {
        std::string_view known = key.name;
        if (known.size() == name.size() &&
            std::equal(known.begin(), known.end(), name.begin(),
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                   std::tolower(static_cast<unsigned char>(b)); }))
            return &key;
    }
    return nullptr;
}

// Decodes UTF-8 into UTF-16 code units; false on malformed input or a character outside the
// Basic Multilingual Plane (a key carries one UTF-16 unit per word).
bool DecodeUtf8(std::string_view text, std::u16string* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char32_t cp;
        size_t extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        out->push_back(static_cast<char16_t>(cp));
        i += extra + 1;
    }
    return true;
}

bool ParseInt(std::string_view text, int* value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

class Parser {
public:
    Parser(const CharTables& tables, int scale, SkinDescription* skin)
        : m_tables(tables), m_scale(scale), m_skin(skin), m_keyWidth(16 * scale) {}

    bool ParseFile(const std::filesystem::path& file, int depth);
    bool Validate();
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const std::string& message) {
        m_error = m_where + ": " + message;
        return false;
    }
    bool Line(std::vector<std::string>& tokens, const std::filesystem::path& file, int depth);
    bool Pixels(const std::string& token, int* value, bool allowZero = false);
    bool Character(const std::string& token, char16_t* value);
    bool Text(const std::string& token, std::u16string* value);
    bool KeyToken(const std::string& token, std::vector<KeyCell>* cells);

    const CharTables& m_tables;
    int m_scale;
    SkinDescription* m_skin;
    std::string m_where;
    std::string m_error;
    Keyboard* m_board = nullptr;
    int m_keyWidth;  // scaled
};

bool Parser::Pixels(const std::string& token, int* value, bool allowZero) {
    int v = 0;
    if (!ParseInt(token, &v) || v < (allowZero ? 0 : 1) || v > kMaxPixels / m_scale)
        return Fail("'" + token + "' is not a pixel length (" + (allowZero ? "0" : "1") + " to " +
                    std::to_string(kMaxPixels / m_scale) + ")");
    *value = v * m_scale;
    return true;
}

bool Parser::Character(const std::string& token, char16_t* value) {
    if (token.size() > 2 && (token[0] == 'U' || token[0] == 'u') && token[1] == '+') {
        unsigned v = 0;
        std::string_view hex(token.data() + 2, token.size() - 2);
        auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
        if (ec != std::errc() || end != hex.data() + hex.size() || v > 0xFFFF || (v >= 0xD800 && v <= 0xDFFF))
            return Fail("'" + token + "' is not a character code U+0000 to U+FFFF");
        *value = static_cast<char16_t>(v);
        return true;
    }
    std::u16string units;
    if (!DecodeUtf8(token, &units) || units.size() != 1)
        return Fail("'" + token + "' is not one character (write U+XXXX for a code)");
    *value = units[0];
    return true;
}

bool Parser::Text(const std::string& token, std::u16string* value) {
    // "-" stands for an empty label, since a token cannot be empty.
    if (token == "-") {
        value->clear();
        return true;
    }
    if (!DecodeUtf8(token, value)) return Fail("'" + token + "' is not UTF-8 text of the Basic Multilingual Plane");
    if (value->size() > 16) return Fail("label '" + token + "' is longer than 16 characters");
    return true;
}

bool Parser::KeyToken(const std::string& token, std::vector<KeyCell>* cells) {
    std::string name = token;
    int width = m_keyWidth;
    if (auto colon = token.find(':'); colon != std::string::npos) {
        name = token.substr(0, colon);
        if (!Pixels(token.substr(colon + 1), &width)) return false;
    }
    if (name == "gap") {
        cells->push_back({-1, width});
        return true;
    }
    if (const NamedKey* key = FindNamedKey(name)) {
        int entry = m_tables.EntryOfCode(key->code);
        if (entry < 0) return Fail("the engine's function table has no " + std::string(key->name) + " key");
        cells->push_back({entry, width});
        return true;
    }
    int first = 0, last = 0;
    if (auto dash = name.find('-'); dash != std::string::npos && dash > 0) {
        if (!ParseInt(name.substr(0, dash), &first) || !ParseInt(name.substr(dash + 1), &last) || first < 0 ||
            last < first || last - first > 64)
            return Fail("'" + name + "' is not a range of entry indices N-M");
    } else if (ParseInt(name, &first) && first >= 0) {
        last = first;
    } else {
        return Fail("'" + name + "' is neither an entry index nor a key name (Shift, Ctrl, Caps, Lang, Digit, Uml, "
                    "Esc, Backspace, Enter, Space, Tab, Left, Up, Right, Down, gap)");
    }
    for (int entry = first; entry <= last; ++entry) cells->push_back({entry, width});
    return true;
}

bool Parser::ParseFile(const std::filesystem::path& file, int depth) {
    std::ifstream in(file);
    if (!in) {
        m_error = (m_where.empty() ? file.string() : m_where + ": " + file.string()) + ": cannot open the description";
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        m_where = file.string() + ":" + std::to_string(number);
        std::vector<std::string> tokens;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
            if (i >= line.size() || line[i] == '#') break;
            size_t start = i;
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
            tokens.push_back(line.substr(start, i - start));
        }
        if (tokens.empty()) continue;
        if (!Line(tokens, file, depth)) return false;
    }
    return true;
}

bool Parser::Line(std::vector<std::string>& t, const std::filesystem::path& file, int depth) {
    const std::string& word = t[0];
    auto expect = [&](size_t min, size_t max, const char* usage) {
        if (t.size() < min || t.size() > max) return Fail(std::string("usage: ") + usage);
        return true;
    };
    if (word == "include") {
        if (!expect(2, 2, "include FILE")) return false;
        if (depth >= kMaxIncludeDepth) return Fail("includes nested deeper than 8 files");
        std::string where = m_where;
        if (!ParseFile(file.parent_path() / t[1], depth + 1)) return false;
        m_where = where;
        return true;
    }
    if (word == "name") {
        if (!expect(2, 2, "name NAME")) return false;
        m_skin->name = t[1];
        return true;
    }
    if (word == "key-width") {
        if (!expect(2, 2, "key-width PIXELS")) return false;
        return Pixels(t[1], &m_keyWidth);
    }
    if (word == "keyboard") {
        if (!expect(4, 4, "keyboard portrait|landscape|digits WIDTH HEIGHT")) return false;
        Board board;
        if (t[1] == "portrait") board = Board::Portrait;
        else if (t[1] == "landscape") board = Board::Landscape;
        else if (t[1] == "digits") board = Board::Digits;
        else return Fail("unknown keyboard '" + t[1] + "' (portrait, landscape or digits)");
        Keyboard& kb = m_skin->boards[static_cast<int>(board)];
        if (kb.present) return Fail("keyboard " + t[1] + " was already described at " + kb.where);
        kb.present = true;
        kb.where = m_where;
        if (!Pixels(t[2], &kb.width) || !Pixels(t[3], &kb.height)) return false;
        m_board = &kb;
        return true;
    }
    if (word == "row") {
        if (t.size() < 3) return Fail("usage: row HEIGHT KEY...");
        if (!m_board) return Fail("a row must follow a 'keyboard' line");
        Row row;
        row.where = m_where;
        if (!Pixels(t[1], &row.height)) return false;
        for (size_t i = 2; i < t.size(); ++i) {
            if (!KeyToken(t[i], &row.keys)) return false;
        }
        m_board->rows.push_back(std::move(row));
        return true;
    }
    if (word == "languages") {
        if (!expect(3, 3, "languages LANG1-LABEL LANG2-LABEL")) return false;
        KeyLabel& lang = m_skin->labels[0xF003];
        return Text(t[1], &lang.lang1) && Text(t[2], &lang.lang2) && Text(t[1], &lang.digits);
    }
    if (word == "label" || word == "label2" || word == "digit-label") {
        if (!expect(3, 3, "label|label2|digit-label KEY TEXT")) return false;
        const NamedKey* key = FindNamedKey(t[1]);
        if (!key) return Fail("unknown key name '" + t[1] + "'");
        KeyLabel& label = m_skin->labels[key->code];
        std::u16string text;
        if (!Text(t[2], &text)) return false;
        if (word == "label") label.lang1 = label.lang2 = label.digits = text;
        else if (word == "label2") label.lang2 = text;
        else label.digits = text;
        return true;
    }
    if (word == "caps-rect") {
        if (!expect(5, 5, "caps-rect LEFT TOP RIGHT BOTTOM")) return false;
        PixelRect r;
        if (!Pixels(t[1], &r.left, true) || !Pixels(t[2], &r.top, true) || !Pixels(t[3], &r.right, true) ||
            !Pixels(t[4], &r.bottom, true))
            return false;
        if (r.right <= r.left || r.bottom <= r.top) return Fail("caps-rect is empty");
        m_skin->capsRect = r;
        return true;
    }
    if (word == "swipe-only") {
        if (!expect(1, 1, "swipe-only")) return false;
        m_skin->swipeOnly = true;
        return true;
    }
    if (word == "lang2") {
        if (!expect(6, 6, "lang2 ENTRY SMALL LARGE EXT-SMALL EXT-LARGE")) return false;
        int entry = 0;
        if (!ParseInt(t[1], &entry) || entry < m_tables.FirstChar() || entry > 0xFFFF)
            return Fail("lang2 entry '" + t[1] + "' is not a character entry (" + std::to_string(m_tables.FirstChar()) +
                        " or above)");
        if (m_skin->lang2.count(entry)) return Fail("lang2 entry " + t[1] + " is given twice");
        std::array<char16_t, 4> words{};
        for (int i = 0; i < 4; ++i)
            if (!Character(t[2 + i], &words[i])) return false;
        m_skin->lang2[entry] = words;
        return true;
    }
    if (word == "color") {
        if (!expect(3, 3, "color background|border|key|function|status RRGGBB")) return false;
        uint32_t* slot = nullptr;
        Palette& p = m_skin->palette;
        if (t[1] == "background") slot = &p.background;
        else if (t[1] == "border") slot = &p.border;
        else if (t[1] == "key") slot = &p.characterKey;
        else if (t[1] == "function") slot = &p.functionKey;
        else if (t[1] == "status") slot = &p.statusKey;
        else return Fail("unknown colour '" + t[1] + "'");
        unsigned v = 0;
        auto [end, ec] = std::from_chars(t[2].data(), t[2].data() + t[2].size(), v, 16);
        if (t[2].size() != 6 || ec != std::errc() || end != t[2].data() + t[2].size())
            return Fail("'" + t[2] + "' is not a colour RRGGBB");
        *slot = v;
        return true;
    }
    return Fail("unknown directive '" + word + "'");
}

bool Parser::Validate() {
    static const char* const kNames[] = {"portrait", "landscape", "digits"};
    int limit = m_skin->EntryLimit(m_tables);
    for (int b = 0; b < kBoardCount; ++b) {
        const Keyboard& kb = m_skin->boards[b];
        if (!kb.present) {
            if (static_cast<Board>(b) == Board::Landscape) continue;
            m_error = std::string("the description has no 'keyboard ") + kNames[b] + "' section";
            return false;
        }
        if (kb.rows.empty()) {
            m_error = kb.where + ": keyboard " + kNames[b] + " has no rows";
            return false;
        }
        int height = 0;
        for (const Row& row : kb.rows) {
            height += row.height;
            int width = 0;
            for (const KeyCell& cell : row.keys) {
                width += cell.width;
                if (cell.entry >= limit) {
                    m_error = row.where + ": entry " + std::to_string(cell.entry) + " is not in the table (0 to " +
                              std::to_string(limit - 1) + ")";
                    return false;
                }
            }
            if (width != kb.width) {
                m_error = row.where + ": the row is " + std::to_string(width) + " px wide, the keyboard " +
                          std::to_string(kb.width) + " px";
                return false;
            }
        }
        if (height != kb.height) {
            m_error = kb.where + ": the rows are " + std::to_string(height) + " px high, the keyboard " +
                      std::to_string(kb.height) + " px";
            return false;
        }
    }
    if (m_skin->capsRect) {
        const PixelRect& r = *m_skin->capsRect;
        const Keyboard& kb = m_skin->Of(Board::Portrait);
        if (r.right > kb.width || r.bottom > kb.height) {
            m_error = "caps-rect reaches outside the portrait keyboard";
            return false;
        }
    }
    return true;
}

}  // namespace

int SkinDescription::EntryLimit(const CharTables& tables) const {
    int limit = tables.EngineEntryCount();
    if (!lang2.empty()) limit = std::max(limit, lang2.rbegin()->first + 1);
    return limit;
}

bool ParseDescription(const std::filesystem::path& file, const CharTables& tables, int scale, SkinDescription* skin,
                      std::string* error) {
    *skin = SkinDescription{};
    skin->scale = scale;
    for (const NamedKey& key : kNamedKeys) skin->labels[key.code] = {key.label, key.label, key.label};
    skin->labels[0xF004].digits = u"abc";
    skin->name = file.stem().string();
    Parser parser(tables, scale, skin);
    if (!parser.ParseFile(file, 0) || !parser.Validate()) {
        *error = parser.Error();
        return false;
    }
    return true;
}

}  // namespace skinmaker

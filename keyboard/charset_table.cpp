#include "charset_table.h"

#include <algorithm>

namespace keyboard {

namespace {

WCHAR ReadLe16(const uint8_t* p) { return static_cast<WCHAR>(p[0] | p[1] << 8); }
WCHAR ReadBe16(const uint8_t* p) { return static_cast<WCHAR>(p[0] << 8 | p[1]); }

size_t Room(const std::vector<CharsetEntry>& table) { return kMaxCharsetEntries - table.size(); }

void AppendUniform(std::vector<CharsetEntry>& table, std::span<const uint8_t> data, WCHAR (*read)(const uint8_t*)) {
    size_t count = std::min(data.size() / 2, Room(table));
    for (size_t i = 0; i < count; ++i) {
        CharsetEntry entry;
        std::fill(std::begin(entry.wc), std::end(entry.wc), read(data.data() + 2 * i));
        table.push_back(entry);
    }
}

}  // namespace

CharsetMarks BuildCharset(const CharsetSources& sources, std::vector<CharsetEntry>& table) {
    CharsetMarks marks;
    table.clear();

    AppendUniform(table, sources.digitalset, ReadLe16);
    marks.m_nLastDigit = static_cast<int32_t>(table.size()) - 1;

    marks.m_nFirstFunc = marks.m_nLastDigit + 1;
    AppendUniform(table, sources.funcset, ReadBe16);
    marks.m_nLastFunc = static_cast<int32_t>(table.size()) - 1;
    marks.m_nFirstChar = marks.m_nLastFunc + 1;

    size_t english = std::min(sources.charsetEn.size() / 8, Room(table));
    for (size_t i = 0; i < english; ++i) {
        CharsetEntry entry;
        for (int w = 0; w < 4; ++w) entry.wc[w] = ReadLe16(sources.charsetEn.data() + 8 * i + 2 * w);
        table.push_back(entry);
    }

    // The second language fills words 4-7 from the first character entry on; a longer list than
    // the English one adds entries whose words 0-3 stay zero.
    size_t locale = sources.localeCharset.size() >= 2 ? (sources.localeCharset.size() - 2) / 8 : 0;
    size_t first = static_cast<size_t>(marks.m_nFirstChar);
    locale = std::min(locale, kMaxCharsetEntries - first);
    if (first + locale > table.size()) table.resize(first + locale);
    for (size_t k = 0; k < locale; ++k) {
        const uint8_t* record = sources.localeCharset.data() + 2 + 8 * k;
        for (int w = 0; w < 4; ++w) table[first + k].wc[4 + w] = ReadLe16(record + 2 * w);
    }

    marks.m_nLastChar = static_cast<int32_t>(table.size()) - 1;
    return marks;
}

bool IsStatusKeyCode(std::span<const CharsetEntry> table, WCHAR code) {
    return table.size() >= 11 && code >= kKeyShift && code < kKeyShift + 6;
}

bool IsDigitalLineCode(std::span<const CharsetEntry> table, WCHAR code) {
    if (table.size() < 11) return false;
    return (code >= u'0' && code <= u'9') || code == u'-' || code == u'=' || code == kKeyBackspace;
}

bool IsFunctionalKeyCode(std::span<const CharsetEntry> table, const CharsetMarks& marks, WCHAR code) {
    if (table.size() < 11) return false;
    if (marks.m_nFirstFunc < 0 || marks.m_nFirstFunc > marks.m_nLastFunc) return false;
    if (static_cast<size_t>(marks.m_nLastFunc) >= table.size()) return false;
    return table[marks.m_nFirstFunc].Code() <= code && code <= table[marks.m_nLastFunc].Code();
}

}  // namespace keyboard

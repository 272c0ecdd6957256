// The character table: one entry per key, holding the characters the key produces on every page.
// Built from the engine's own tables ("digitalset", "funcset", "charset_en") and the skin's
// optional second language ("LOCALE_CHARSET"); skins name keys by their index in it.
//
// Invariants: the table is the digit block, then the function block, then the character block,
// and the marks say where each ends (a block whose source is missing is empty and its marks
// follow from the others). A build starts from nothing, so no entry of an earlier build
// survives. The table never holds more than kMaxCharsetEntries entries: layout records address
// keys with 16 bits, so a larger table could not be reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/wintypes.h"

namespace keyboard {

// Key codes (word 0 of an entry).
inline constexpr WCHAR kKeyShift = 0xF000;
inline constexpr WCHAR kKeyCtrl = 0xF001;
inline constexpr WCHAR kKeyCaps = 0xF002;
inline constexpr WCHAR kKeyLang = 0xF003;
inline constexpr WCHAR kKeyDigit = 0xF004;
inline constexpr WCHAR kKeyUml = 0xF005;
inline constexpr WCHAR kKeyEsc = 0xF010;
inline constexpr WCHAR kKeyBackspace = 0xF011;
inline constexpr WCHAR kKeyEnter = 0xF012;
inline constexpr WCHAR kKeySpace = 0xF013;
inline constexpr WCHAR kKeyTab = 0xF014;
inline constexpr WCHAR kKeyLeft = 0xF015;
inline constexpr WCHAR kKeyUp = 0xF016;
inline constexpr WCHAR kKeyRight = 0xF017;
inline constexpr WCHAR kKeyDown = 0xF018;

inline constexpr size_t kMaxCharsetEntries = 65536;

// The eight characters of one key: language 1 small and large, extended page 1 small and large,
// language 2 small and large, extended page 2 small and large. Word 0 is also the key code.
struct CharsetEntry {
    WCHAR wc[8] = {};

    WCHAR Code() const { return wc[0]; }
    // Page k (0 language 1, 1 extended page 1, 2 language 2, 3 extended page 2) as one value:
    // the small character in the low half, the large one in the high half.
    DWORD Pair(int page) const { return wc[2 * page] | static_cast<DWORD>(wc[2 * page + 1]) << 16; }
};

struct CharsetMarks {
    int32_t m_nLastDigit = -1;
    int32_t m_nFirstFunc = 0;
    int32_t m_nLastFunc = -1;
    int32_t m_nFirstChar = 0;
    int32_t m_nLastChar = -1;
};

// The raw resources; an empty span is a missing resource.
struct CharsetSources {
    std::span<const uint8_t> digitalset;     // UTF-16LE characters
    std::span<const uint8_t> funcset;        // 16-bit BIG-endian codes
    std::span<const uint8_t> charsetEn;      // 8-byte records: words 0-3, little-endian
    std::span<const uint8_t> localeCharset;  // 2-byte header, then 8-byte records: words 4-7
};

// Rebuilds table from the sources and returns its marks.
CharsetMarks BuildCharset(const CharsetSources& sources, std::vector<CharsetEntry>& table);

// Key classification over a built table. All three answer false while the table has fewer than
// 11 entries.
bool IsStatusKeyCode(std::span<const CharsetEntry> table, WCHAR code);
bool IsDigitalLineCode(std::span<const CharsetEntry> table, WCHAR code);
// Codes from word 0 of the first function entry to word 0 of the last one; false when the
// function block is empty.
bool IsFunctionalKeyCode(std::span<const CharsetEntry> table, const CharsetMarks& marks, WCHAR code);

}  // namespace keyboard

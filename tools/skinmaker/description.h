// A skin description: the hand-written text a skin is made from (format in README.md). Parsing
// resolves key names to entry indices of the engine's table and applies the scale, so that
// everything after it works in pixels and entry indices only.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "char_tables.h"

namespace skinmaker {

// Pixels of an image; right and bottom are exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

enum class Board { Portrait, Landscape, Digits };
inline constexpr int kBoardCount = 3;

struct KeyCell {
    int entry = -1;  // -1: a gap, drawn as background and given no layout record
    int width = 0;
};

struct Row {
    int height = 0;
    std::vector<KeyCell> keys;
    std::string where;  // file:line, for messages
};

struct Keyboard {
    bool present = false;
    int width = 0;
    int height = 0;
    std::vector<Row> rows;
    std::string where;
};

// Labels of a function or status key: on the letter keyboards in language-1 states, in
// language-2 states, and on the digit keyboard.
struct KeyLabel {
    std::u16string lang1;
    std::u16string lang2;
    std::u16string digits;
};

// Colours as 0xRRGGBB.
struct Palette {
    uint32_t background = 0x3B4252;
    uint32_t border = 0x242933;
    uint32_t characterKey = 0xECEFF4;
    uint32_t functionKey = 0xC9D1DC;
    uint32_t statusKey = 0xB3C6DA;
};

struct SkinDescription {
    std::string name;
    std::array<Keyboard, kBoardCount> boards;
    std::map<char16_t, KeyLabel> labels;  // by key code (0xF000 ...)
    std::optional<PixelRect> capsRect;
    bool swipeOnly = false;
    std::map<int, std::array<char16_t, 4>> lang2;  // words 4-7 by entry index
    Palette palette;
    int scale = 1;

    const Keyboard& Of(Board b) const { return boards[static_cast<int>(b)]; }
    // Entries the engine's table will have with this skin's second language.
    int EntryLimit(const CharTables& tables) const;
};

// Reads a description (and the files it includes), resolves names through tables and multiplies
// every length by scale. False with "file:line: reason" on the first error.
bool ParseDescription(const std::filesystem::path& file, const CharTables& tables, int scale, SkinDescription* skin,
                      std::string* error);

}  // namespace skinmaker

// The engine's character table as a skin sees it: the digit block, the function block and the
// character block, read from the same text tables the engine's resources are built from, so
// that a skin is always labelled against the entry positions the engine will use.
#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace skinmaker {

// The eight words of one entry: language 1 small and large, extended page 1 small and large,
// language 2 small and large, extended page 2 small and large.
using EntryWords = std::array<char16_t, 8>;

class CharTables {
public:
    // Reads digitalset.txt, funcset.txt and charset_en.txt from folder. False with a message
    // naming the file and line on the first malformed or missing table.
    bool Load(const std::filesystem::path& folder, std::string* error);

    int FirstFunc() const { return static_cast<int>(m_digits.size()); }
    int FirstChar() const { return FirstFunc() + static_cast<int>(m_funcs.size()); }
    // Entries the engine has before a skin's second language extends the table.
    int EngineEntryCount() const { return FirstChar() + static_cast<int>(m_chars.size()); }

    // The entry index of a function or status key code, or -1 when the function block lacks it.
    int EntryOfCode(char16_t code) const;
    // True for entries of the function block (status keys included).
    bool IsFunctionEntry(int entry) const { return entry >= FirstFunc() && entry < FirstChar(); }
    char16_t FunctionCode(int entry) const { return m_funcs[entry - FirstFunc()]; }

    // The words of an entry as the engine builds them, with the second language's words from
    // lang2 (keyed by entry index; missing entries keep zeros). entry must be below the table
    // size that lang2 gives.
    EntryWords Words(int entry, const std::map<int, std::array<char16_t, 4>>& lang2) const;

private:
    std::vector<char16_t> m_digits;
    std::vector<char16_t> m_funcs;
    std::vector<std::array<char16_t, 4>> m_chars;
};

}  // namespace skinmaker

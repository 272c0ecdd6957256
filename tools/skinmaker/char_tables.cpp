#include "char_tables.h"

#include <fstream>
#include <sstream>

namespace skinmaker {
namespace {

// Reads a table of hexadecimal code units, wordsPerLine on each line; '#' starts a comment.
bool ReadHexTable(const std::filesystem::path& file, size_t wordsPerLine, std::vector<std::vector<char16_t>>* rows,
                  std::string* error) {
    std::ifstream in(file);
    if (!in) {
        *error = file.string() + ": cannot open the table";
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<char16_t> row;
        std::string word;
        while (words >> word) {
            size_t used = 0;
            unsigned long value = 0;
            bool ok = word.size() <= 4;
            if (ok) {
                try {
                    value = std::stoul(word, &used, 16);
                } catch (...) {
                    ok = false;
                }
            }
            if (!ok || used != word.size()) {
                *error = file.string() + ":" + std::to_string(number) + ": '" + word + "' is not a hexadecimal code unit";
                return false;
            }
            row.push_back(static_cast<char16_t>(value));
        }
        if (row.empty()) continue;
        if (row.size() != wordsPerLine) {
            *error = file.string() + ":" + std::to_string(number) + ": expected " + std::to_string(wordsPerLine) +
                     " code units, found " + std::to_string(row.size());
            return false;
        }
        rows->push_back(std::move(row));
    }
    if (rows->empty()) {
        *error = file.string() + ": the table is empty";
        return false;
    }
    return true;
}

}  // namespace

bool CharTables::Load(const std::filesystem::path& folder, std::string* error) {
    std::vector<std::vector<char16_t>> digits, funcs, chars;
    if (!ReadHexTable(folder / "digitalset.txt", 1, &digits, error) ||
        !ReadHexTable(folder / "funcset.txt", 1, &funcs, error) ||
        !ReadHexTable(folder / "charset_en.txt", 4, &chars, error))
        return false;
    m_digits.clear();
    m_funcs.clear();
    m_chars.clear();
    for (const auto& row : digits) m_digits.push_back(row[0]);
    for (const auto& row : funcs) m_funcs.push_back(row[0]);
    for (const auto& row : chars) m_chars.push_back({row[0], row[1], row[2], row[3]});
    return true;
}

int CharTables::EntryOfCode(char16_t code) const {
    for (size_t i = 0; i < m_funcs.size(); ++i)
        if (m_funcs[i] == code) return FirstFunc() + static_cast<int>(i);
    return -1;
}

EntryWords CharTables::Words(int entry, const std::map<int, std::array<char16_t, 4>>& lang2) const {
    EntryWords words{};
    if (entry < FirstFunc()) {
        words.fill(m_digits[entry]);
        return words;
    }
    if (entry < FirstChar()) {
        words.fill(m_funcs[entry - FirstFunc()]);
        return words;
    }
    size_t k = static_cast<size_t>(entry - FirstChar());
    if (k < m_chars.size())
        for (int i = 0; i < 4; ++i) words[i] = m_chars[k][i];
    if (auto it = lang2.find(entry); it != lang2.end())
        for (int i = 0; i < 4; ++i) words[4 + i] = it->second[i];
    return words;
}

}  // namespace skinmaker

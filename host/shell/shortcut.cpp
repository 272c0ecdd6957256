#include "host/shell/shortcut.h"

#include <cctype>

#include "host/kernel/ansi_codepage.h"
#include "platform/text.h"

namespace host {

namespace {

bool IsUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        if (more == 9 || (more == 1 && c < 0xC2) || i + more >= bytes.size()) return false;
        for (size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

std::u16string Decode(std::string_view bytes, int codePage) {
    if (IsUtf8(bytes)) return FromUtf8(std::string(bytes));
    std::u16string text;
    for (const char c : bytes) text.push_back(AnsiToUnit(codePage, static_cast<unsigned char>(c)));
    return text;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::string FormatShortcut(const Shortcut& shortcut) {
    std::u16string command = u"\"" + shortcut.target + u"\"";
    if (!shortcut.arguments.empty()) command += u" " + shortcut.arguments;
    return std::to_string(command.size()) + "#" + ToUtf8(command);
}

bool ParseShortcut(std::string_view bytes, int ansiCodePage, Shortcut* shortcut, std::string* error) {
    // One line: what follows the first line end is not part of it.
    const size_t end = bytes.find_first_of("\r\n");
    if (end != std::string_view::npos) bytes = bytes.substr(0, end);
    size_t digits = 0;
    while (digits < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[digits]))) ++digits;
    if (digits == 0 || digits > 4 || digits >= bytes.size() || bytes[digits] != '#') {
        *error = "not a shortcut: it does not start with a character count and '#'";
        return false;
    }
    const size_t count = std::stoul(std::string(bytes.substr(0, digits)));
    std::u16string command = Decode(bytes.substr(digits + 1), ansiCodePage);
    if (count < command.size()) command.resize(count);
    size_t at = 0;
    while (at < command.size() && IsBlank(command[at])) ++at;
    std::u16string target;
    if (at < command.size() && command[at] == u'"') {
        const size_t close = command.find(u'"', at + 1);
        if (close == std::u16string::npos) {
            *error = "not a shortcut: the quoted path has no closing quote";
            return false;
        }
        target = command.substr(at + 1, close - at - 1);
        at = close + 1;
    } else {
        const size_t stop = command.find_first_of(u" \t", at);
        target = command.substr(at, stop == std::u16string::npos ? std::u16string::npos : stop - at);
        at = stop == std::u16string::npos ? command.size() : stop;
    }
    while (at < command.size() && IsBlank(command[at])) ++at;
    size_t last = command.size();
    while (last > at && IsBlank(command[last - 1])) --last;
    if (target.empty()) {
        *error = "not a shortcut: it names no program";
        return false;
    }
    shortcut->target = std::move(target);
    shortcut->arguments = command.substr(at, last - at);
    return true;
}

}  // namespace host

#include "host/store/device_path.h"

#include "platform/text.h"
#include "platform/winerror.h"

namespace host {

namespace {

// Host file systems limit a name to 255 bytes, and the host stores names as UTF-8.
constexpr size_t kHostNameMax = 255;

bool IsForbiddenUnit(WCHAR c) {
    if (c < 0x20) return true;
    switch (c) {
    case u'/':
    case u':':
    case u'"':
    case u'<':
    case u'>':
    case u'|':
    case u'\\':
        return true;
    default:
        return false;
    }
}

DWORD CheckName(std::u16string_view name, bool wildcardsAllowed) {
    if (name.empty()) return ERROR_INVALID_NAME;
    bool onlyDots = true;
    size_t hostBytes = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        WCHAR c = name[i];
        if (IsForbiddenUnit(c)) return ERROR_INVALID_NAME;
        if ((c == u'*' || c == u'?') && !wildcardsAllowed) return ERROR_INVALID_NAME;
        if (c != u'.') onlyDots = false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return ERROR_INVALID_NAME;
            ++i;
            hostBytes += 4;
            continue;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) return ERROR_INVALID_NAME;
        hostBytes += c < 0x80 ? 1 : (c < 0x800 ? 2 : 3);
    }
    // "..." and longer runs of dots are refused with "." and "..": some file systems fold them
    // to "." and the device never shows such names.
    if (onlyDots) return ERROR_INVALID_NAME;
    if (hostBytes > kHostNameMax) return ERROR_FILENAME_EXCED_RANGE;
    return ERROR_SUCCESS;
}

bool MatchFrom(std::u16string_view name, std::u16string_view pattern) {
    // Greedy matching with one backtrack point: the last '*' seen.
    size_t n = 0, p = 0;
    size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || towupper16(pattern[p]) == towupper16(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool HasWildcards(std::u16string_view name) {
    return name.find_first_of(u"*?") != std::u16string_view::npos;
}

bool IsValidDeviceName(std::u16string_view name, PathKind kind) {
    return CheckName(name, kind == PathKind::Pattern) == ERROR_SUCCESS;
}

DWORD SplitDevicePath(std::u16string_view path, PathKind kind, std::vector<std::u16string>* parts) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    if (path.find(u'\0') != std::u16string_view::npos) return ERROR_INVALID_NAME;
    if (path.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    std::u16string_view rest = path;
    if (rest[0] == u'\\') rest.remove_prefix(1);
    std::vector<std::u16string> result;
    while (!rest.empty()) {
        size_t cut = rest.find(u'\\');
        std::u16string_view name = rest.substr(0, cut);
        bool last = cut == std::u16string_view::npos;
        if (DWORD error = CheckName(name, kind == PathKind::Pattern && last)) return error;
        result.emplace_back(name);
        if (last) break;
        rest.remove_prefix(cut + 1);
        // A backslash at the very end leaves an empty last component.
        if (rest.empty()) return ERROR_INVALID_NAME;
    }
    *parts = std::move(result);
    return ERROR_SUCCESS;
}

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
    if (MatchFrom(name, pattern)) return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
        name.find(u'.') == std::u16string_view::npos)
        return MatchFrom(name, pattern.substr(0, pattern.size() - 2));
    return false;
}

}  // namespace host

#include "text.h"

#include <climits>
#include <cstdlib>
#include <cstring>

size_t wcslen(const WCHAR* s) {
    const WCHAR* p = s;
    while (*p) ++p;
    return static_cast<size_t>(p - s);
}

WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
    WCHAR* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i]; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
    return dst;
}

WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
    wcscpy(dst + wcslen(dst), src);
    return dst;
}

WCHAR* wcsncat(WCHAR* dst, const WCHAR* src, size_t n) {
    WCHAR* d = dst + wcslen(dst);
    while (n-- && *src) *d++ = *src++;
    *d = 0;
    return dst;
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
    while (*a && *a == *b) ++a, ++b;
    return (int)*a - (int)*b;
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        if (*a != *b) return (int)*a - (int)*b;
        if (!*a) return 0;
    }
    return 0;
}

// The C runtime orders case-insensitive comparisons as if both sides were lower case, so "_"
// sorts before letters. Equality must stay exactly that of the upper-case folding that the file
// system and registry use; lower-casing the upper-case form keeps it, because towlower16 maps
// distinct upper-case forms to distinct keys once dotted capital I is kept apart from "I".
static unsigned OrderKey(WCHAR c) {
    WCHAR upper = towupper16(c);
    return upper == 0x130 ? 0x130u : towlower16(upper);
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        unsigned ka = OrderKey(*a), kb = OrderKey(*b);
        if (ka != kb) return (int)ka - (int)kb;
        if (!ka) return 0;
    }
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        unsigned ka = OrderKey(*a), kb = OrderKey(*b);
        if (ka != kb) return (int)ka - (int)kb;
        if (!ka) return 0;
    }
    return 0;
}

const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
    for (;; ++s) {
        if (*s == c) return s;
        if (!*s) return nullptr;
    }
}
WCHAR* wcschr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
    const WCHAR* found = nullptr;
    for (;; ++s) {
        if (*s == c) found = s;
        if (!*s) return found;
    }
}
WCHAR* wcsrchr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub) {
    if (!*sub) return s;
    size_t n = wcslen(sub);
    for (; *s; ++s)
        if (*s == *sub && wcsncmp(s, sub, n) == 0) return s;
    return nullptr;
}
WCHAR* wcsstr(WCHAR* s, const WCHAR* sub) { return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(s), sub)); }

WCHAR* _wcsdup(const WCHAR* s) {
    if (!s) return nullptr;
    size_t n = wcslen(s) + 1;
    auto* p = static_cast<WCHAR*>(malloc(n * sizeof(WCHAR)));
    if (p) memcpy(p, s, n * sizeof(WCHAR));
    return p;
}

static bool IsSpace16(WCHAR c) { return c == ' ' || (c >= 9 && c <= 13); }

static int DigitValue(WCHAR c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Shared by wcstoul and wcstol: parses the magnitude, reports the sign and whether it overflowed.
static unsigned long long ParseInteger(const WCHAR* s, WCHAR** end, int base, bool* negative, bool* overflow,
                                       unsigned long long limit) {
    const WCHAR* p = s;
    *negative = false;
    *overflow = false;
    while (IsSpace16(*p)) ++p;
    if (*p == '+' || *p == '-') *negative = (*p++ == '-');
    if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = (p[0] == '0') ? 8 : 10;
    }
    if (base < 2 || base > 36) {
        if (end) *end = const_cast<WCHAR*>(s);
        return 0;
    }
    const WCHAR* digits = p;
    unsigned long long v = 0;
    for (int d; (d = DigitValue(*p)) < base; ++p) {
        if (v > (limit - d) / base) *overflow = true;
        else v = v * base + d;
    }
    if (end) *end = const_cast<WCHAR*>(p == digits ? s : p);
    return v;
}

unsigned long wcstoul(const WCHAR* s, WCHAR** end, int base) {
    bool neg, ovf;
    unsigned long long v = ParseInteger(s, end, base, &neg, &ovf, UINT32_MAX);
    // The device's unsigned long is 32 bits wide.
    if (ovf) return UINT32_MAX;
    uint32_t r = static_cast<uint32_t>(v);
    return neg ? static_cast<uint32_t>(0u - r) : r;
}

long wcstol(const WCHAR* s, WCHAR** end, int base) {
    bool neg, ovf;
    unsigned long long v = ParseInteger(s, end, base, &neg, &ovf, (unsigned long long)INT32_MAX + 1);
    if (ovf || (!neg && v > (unsigned long long)INT32_MAX)) return neg ? INT32_MIN : INT32_MAX;
    return neg ? -static_cast<long long>(v) : static_cast<long long>(v);
}

long _wtol(const WCHAR* s) { return wcstol(s, nullptr, 10); }
int _wtoi(const WCHAR* s) { return static_cast<int>(wcstol(s, nullptr, 10)); }

int ScanHex(const WCHAR* s, DWORD* v) {
    if (!s) return 0;
    const WCHAR* p = s;
    while (IsSpace16(*p)) ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = (*p++ == '-');
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) p += 2;
    if (DigitValue(*p) >= 16) return 0;
    uint32_t r = 0;
    for (; DigitValue(*p) < 16; ++p) r = r * 16 + DigitValue(*p);
    *v = neg ? 0u - r : r;
    return 1;
}

namespace {

// Letters whose lower-case forms are a run at a fixed distance from their upper-case forms.
struct OffsetRange {
    WCHAR lowerFirst, lowerLast;
    int toUpper;
};
const OffsetRange kOffsetRanges[] = {
    {0x00E0, 0x00F6, -0x20}, {0x00F8, 0x00FE, -0x20},  // Latin-1
    {0x03AD, 0x03AF, -0x25}, {0x03B1, 0x03C1, -0x20}, {0x03C3, 0x03CB, -0x20}, {0x03CD, 0x03CE, -0x3F},  // Greek
    {0x0430, 0x044F, -0x20}, {0x0450, 0x045F, -0x50},  // Cyrillic
    {0x0561, 0x0586, -0x30},                           // Armenian
    {0xFF41, 0xFF5A, -0x20},                           // full-width Latin
};

// Runs where upper and lower case alternate; upperOdd tells which of each pair is upper case.
struct PairRange {
    WCHAR first, last;
    bool upperOdd;
};
const PairRange kPairRanges[] = {
    {0x0100, 0x012F, false}, {0x0132, 0x0137, false}, {0x0139, 0x0148, true},  {0x014A, 0x0177, false},
    {0x0179, 0x017E, true},  {0x01CD, 0x01DC, true},  {0x01DE, 0x01EF, false}, {0x01F8, 0x021F, false},
    {0x0222, 0x0233, false}, {0x03D8, 0x03EF, false}, {0x0460, 0x0481, false}, {0x048A, 0x04BF, false},
    {0x04C1, 0x04CE, true},  {0x04D0, 0x052F, false}, {0x1E00, 0x1E95, false}, {0x1EA0, 0x1EFF, false},
};

// Irregular letters. A zero in one direction means that mapping does not exist: the dotless i,
// the long s, the micro sign and the final sigma have upper-case forms whose lower case is
// another letter, and the dotted capital I lowers to a plain i.
struct SinglePair {
    WCHAR lower, upper;
    bool toUpper, toLower;
};
const SinglePair kSingles[] = {
    {0x00FF, 0x0178, true, true}, {0x03AC, 0x0386, true, true}, {0x03CC, 0x038C, true, true},
    {0x04CF, 0x04C0, true, true}, {0x00B5, 0x039C, true, false}, {0x0131, 'I', true, false},
    {0x017F, 'S', true, false},   {0x03C2, 0x03A3, true, false}, {'i', 0x0130, false, true},
};

}  // namespace

WCHAR towupper16(WCHAR c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? WCHAR(c - 0x20) : c;
    for (const auto& r : kOffsetRanges)
        if (c >= r.lowerFirst && c <= r.lowerLast) return WCHAR(c + r.toUpper);
    for (const auto& r : kPairRanges)
        if (c >= r.first && c <= r.last) {
            bool isUpper = ((c & 1) != 0) == r.upperOdd;
            return isUpper ? c : WCHAR(c - 1);
        }
    for (const auto& p : kSingles)
        if (p.toUpper && c == p.lower) return p.upper;
    return c;
}

WCHAR towlower16(WCHAR c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? WCHAR(c + 0x20) : c;
    for (const auto& r : kOffsetRanges)
        if (c >= r.lowerFirst + r.toUpper && c <= r.lowerLast + r.toUpper) return WCHAR(c - r.toUpper);
    for (const auto& r : kPairRanges)
        if (c >= r.first && c <= r.last) {
            bool isUpper = ((c & 1) != 0) == r.upperOdd;
            return isUpper ? WCHAR(c + 1) : c;
        }
    for (const auto& p : kSingles)
        if (p.toLower && c == p.upper) return p.lower;
    return c;
}

WCHAR* CharUpperW(WCHAR* s) {
    if (IS_INTRESOURCE(s)) return reinterpret_cast<WCHAR*>(static_cast<uintptr_t>(towupper16(WCHAR((uintptr_t)s))));
    for (WCHAR* p = s; *p; ++p) *p = towupper16(*p);
    return s;
}

WCHAR* CharLowerW(WCHAR* s) {
    if (IS_INTRESOURCE(s)) return reinterpret_cast<WCHAR*>(static_cast<uintptr_t>(towlower16(WCHAR((uintptr_t)s))));
    for (WCHAR* p = s; *p; ++p) *p = towlower16(*p);
    return s;
}

DWORD CharUpperBuffW(WCHAR* s, DWORD count) {
    for (DWORD i = 0; i < count; ++i) s[i] = towupper16(s[i]);
    return count;
}

WCHAR* _wcsupr(WCHAR* s) {
    for (WCHAR* p = s; *p; ++p) *p = towupper16(*p);
    return s;
}

WCHAR* _wcslwr(WCHAR* s) {
    for (WCHAR* p = s; *p; ++p) *p = towlower16(*p);
    return s;
}

namespace {

// Output cursor that never writes past the end and remembers whether anything was cut.
struct Out {
    WCHAR* buf;
    size_t size;
    size_t pos = 0;
    bool cut = false;
    void Put(WCHAR c) {
        if (pos + 1 < size) buf[pos++] = c;
        else cut = true;
    }
    void Pad(size_t n, WCHAR c) {
        while (n--) Put(c);
    }
};

// Pads s to width. With zero padding the first prefixLen units (a sign, "0x") stay in front of
// the zeros.
void EmitField(Out& o, const WCHAR* s, size_t len, int width, bool left, WCHAR padChar, size_t prefixLen = 0) {
    size_t pad = (width > 0 && (size_t)width > len) ? (size_t)width - len : 0;
    if (left) {
        for (size_t i = 0; i < len; ++i) o.Put(s[i]);
        o.Pad(pad, ' ');
        return;
    }
    if (padChar == '0') {
        for (size_t i = 0; i < prefixLen; ++i) o.Put(s[i]);
        s += prefixLen;
        len -= prefixLen;
    }
    o.Pad(pad, padChar);
    for (size_t i = 0; i < len; ++i) o.Put(s[i]);
}

}  // namespace

int vswprintf16(WCHAR* buf, size_t size, const WCHAR* fmt, va_list ap) {
    Out o{buf, size};
    for (const WCHAR* f = fmt; *f; ++f) {
        if (*f != '%') {
            o.Put(*f);
            continue;
        }
        ++f;
        bool left = false, zero = false, plus = false, space = false, alternate = false;
        for (;; ++f) {
            if (*f == '-') left = true;
            else if (*f == '0') zero = true;
            else if (*f == '+') plus = true;
            else if (*f == ' ') space = true;
            else if (*f == '#') alternate = true;
            else break;
        }
        int width = -1, prec = -1;
        if (*f == '*') {
            width = va_arg(ap, int);
            if (width < 0) left = true, width = -width;
            ++f;
        } else if (*f >= '0' && *f <= '9') {
            width = 0;
            while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        }
        if (*f == '.') {
            ++f;
            prec = 0;
            if (*f == '*') {
                prec = va_arg(ap, int);
                ++f;
            } else
                while (*f >= '0' && *f <= '9') prec = prec * 10 + (*f++ - '0');
        }
        bool narrow = false, wide64 = false;
        while (*f == 'l' || *f == 'h' || *f == 'I' || *f == 'w') {
            if (*f == 'h') narrow = true;
            if (*f == 'l' && f[1] == 'l') wide64 = true, ++f;
            if (*f == 'I' && f[1] == '6' && f[2] == '4') wide64 = true, f += 2;
            ++f;
        }
        WCHAR tmp[72];
        switch (*f) {
        case 0:
            --f;
            break;
        case '%':
            o.Put('%');
            break;
        case 'c': {
            WCHAR c = static_cast<WCHAR>(va_arg(ap, int));
            EmitField(o, &c, 1, width, left, ' ');
            break;
        }
        case 's':
        case 'S': {
            bool ascii = (*f == 'S') || narrow;
            size_t len = 0;
            if (ascii) {
                const char* s = va_arg(ap, const char*);
                std::u16string w = FromUtf8(s ? s : "(null)");
                len = w.size();
                if (prec >= 0 && (size_t)prec < len) len = prec;
                EmitField(o, w.c_str(), len, width, left, ' ');
            } else {
                const WCHAR* s = va_arg(ap, const WCHAR*);
                if (!s) s = u"(null)";
                while ((prec < 0 || len < (size_t)prec) && s[len]) ++len;
                EmitField(o, s, len, width, left, ' ');
            }
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'p': {
            unsigned long long mag;
            bool neg = false;
            int base = (*f == 'x' || *f == 'X' || *f == 'p') ? 16 : 10;
            if (*f == 'p') {
                mag = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
                if (width < 0) width = 8, zero = true;
            } else if (*f == 'd' || *f == 'i') {
                long long v = wide64 ? va_arg(ap, long long) : va_arg(ap, int);
                if (narrow) v = static_cast<short>(v);
                neg = v < 0;
                mag = neg ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
            } else {
                mag = wide64 ? va_arg(ap, unsigned long long) : va_arg(ap, unsigned int);
                if (narrow) mag = static_cast<unsigned short>(mag);
            }
            const char* digits = (*f == 'X' || *f == 'p') ? "0123456789ABCDEF" : "0123456789abcdef";
            bool isZero = mag == 0;
            WCHAR rev[32];
            int n = 0;
            // A precision of 0 prints no digits for the value 0, as the C runtime does.
            while (mag || (n == 0 && prec != 0)) {
                rev[n++] = digits[mag % base];
                mag /= base;
            }
            // The digit buffer holds 64 digits of precision; nothing asks for more.
            if (prec > 64) prec = 64;
            int len = 0;
            bool isSigned = *f == 'd' || *f == 'i';
            if (neg) tmp[len++] = '-';
            else if (plus && isSigned) tmp[len++] = '+';
            else if (space && isSigned) tmp[len++] = ' ';
            if (alternate && !isZero && (*f == 'x' || *f == 'X')) {
                tmp[len++] = '0';
                tmp[len++] = *f;
            }
            size_t prefixLen = static_cast<size_t>(len);
            for (int k = n; k < prec; ++k) tmp[len++] = '0';
            while (n) tmp[len++] = rev[--n];
            EmitField(o, tmp, len, width, left, (zero && prec < 0) ? '0' : ' ', prefixLen);
            break;
        }
        default:
            // Unknown conversions are copied so that the mistake is visible.
            o.Put('%');
            o.Put(*f);
            break;
        }
    }
    if (size) buf[o.pos] = 0;
    return o.cut ? -1 : static_cast<int>(o.pos);
}

int swprintf16(WCHAR* buf, size_t size, const WCHAR* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vswprintf16(buf, size, fmt, ap);
    va_end(ap);
    return n;
}

int wsprintfW(WCHAR* buf, const WCHAR* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vswprintf16(buf, 1024, fmt, ap);
    va_end(ap);
    return n < 0 ? static_cast<int>(wcslen(buf)) : n;
}

std::u16string VFormatW(const WCHAR* fmt, va_list ap) {
    std::u16string out(256, u'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, ap);
        int n = vswprintf16(out.data(), out.size(), fmt, copy);
        va_end(copy);
        if (n >= 0) {
            out.resize(n);
            return out;
        }
        out.resize(out.size() * 2);
    }
}

std::u16string FormatW(const WCHAR* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::u16string s = VFormatW(fmt, ap);
    va_end(ap);
    return s;
}

std::string ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string ToUtf8(const WCHAR* s) { return s ? ToUtf8(std::u16string_view(s)) : std::string(); }

std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char b = s[i];
        uint32_t c;
        int n;
        if (b < 0x80) c = b, n = 0;
        else if ((b & 0xE0) == 0xC0) c = b & 0x1F, n = 1;
        else if ((b & 0xF0) == 0xE0) c = b & 0x0F, n = 2;
        else if ((b & 0xF8) == 0xF0) c = b & 0x07, n = 3;
        else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        // A sequence cut short (by a wrong byte or the end of the text) is replaced as a whole by
        // one U+FFFD; the byte that cut it starts the next character.
        int valid = 1;
        while (valid <= n && i + valid < s.size() && (static_cast<unsigned char>(s[i + valid]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(s[i + valid]) & 0x3F);
            ++valid;
        }
        if (valid <= n) {
            out += u'\uFFFD';
            i += valid;
            continue;
        }
        static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
        if (c < minimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += n + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::u16string UpperCase(std::u16string_view s) {
    std::u16string r(s);
    for (auto& c : r) c = towupper16(c);
    return r;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        WCHAR ca = towupper16(a[i]), cb = towupper16(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

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

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        WCHAR ca = towupper16(*a), cb = towupper16(*b);
        if (ca != cb) return (int)ca - (int)cb;
        if (!ca) return 0;
    }
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        WCHAR ca = towupper16(*a), cb = towupper16(*b);
        if (ca != cb) return (int)ca - (int)cb;
        if (!ca) return 0;
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

WCHAR towupper16(WCHAR c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? WCHAR(c - 0x20) : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return WCHAR(c - 0x20);
        if (c == 0xFF) return 0x178;
        if (c == 0xB5) return 0x39C;
        return c;
    }
    if (c <= 0x17F) {
        if (c == 0x131) return 'I';
        if (c == 0x17F) return 'S';
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : WCHAR(c - 1);
        if (c == 0x138 || c == 0x149 || c == 0x130 || c == 0x178) return c;
        return (c & 1) ? WCHAR(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return WCHAR(c - 0x20);
    if (c == 0x3C2) return 0x3A3;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return WCHAR(c - 0x25);
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return WCHAR(c - 0x3F);
    if (c >= 0x430 && c <= 0x44F) return WCHAR(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return WCHAR(c - 0x50);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c & 1) ? WCHAR(c - 1) : c;
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c : WCHAR(c - 1);
    if (c == 0x4CF) return 0x4C0;
    if (c >= 0xFF41 && c <= 0xFF5A) return WCHAR(c - 0x20);
    return c;
}

WCHAR towlower16(WCHAR c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? WCHAR(c + 0x20) : c;
    if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? WCHAR(c + 0x20) : c;
    if (c <= 0x17F) {
        if (c == 0x130) return 'i';
        if (c == 0x178) return 0xFF;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? WCHAR(c + 1) : c;
        if (c == 0x138 || c == 0x149 || c == 0x131 || c == 0x17F) return c;
        return (c & 1) ? c : WCHAR(c + 1);
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return WCHAR(c + 0x20);
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return WCHAR(c + 0x25);
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return WCHAR(c + 0x3F);
    if (c >= 0x410 && c <= 0x42F) return WCHAR(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return WCHAR(c + 0x50);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c & 1) ? c : WCHAR(c + 1);
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? WCHAR(c + 1) : c;
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0xFF21 && c <= 0xFF3A) return WCHAR(c + 0x20);
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

void EmitField(Out& o, const WCHAR* s, size_t len, int width, bool left, WCHAR padChar, bool signAware) {
    size_t pad = (width > 0 && (size_t)width > len) ? (size_t)width - len : 0;
    if (left) {
        for (size_t i = 0; i < len; ++i) o.Put(s[i]);
        o.Pad(pad, ' ');
        return;
    }
    if (padChar == '0' && signAware && len && (s[0] == '-' || s[0] == '+')) {
        o.Put(s[0]);
        ++s;
        --len;
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
        bool left = false, zero = false, plus = false;
        for (;; ++f) {
            if (*f == '-') left = true;
            else if (*f == '0') zero = true;
            else if (*f == '+') plus = true;
            else if (*f == ' ' || *f == '#') {
            } else break;
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
            EmitField(o, &c, 1, width, left, ' ', false);
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
                EmitField(o, w.c_str(), len, width, left, ' ', false);
            } else {
                const WCHAR* s = va_arg(ap, const WCHAR*);
                if (!s) s = u"(null)";
                while ((prec < 0 || len < (size_t)prec) && s[len]) ++len;
                EmitField(o, s, len, width, left, ' ', false);
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
            WCHAR rev[32];
            int n = 0;
            do {
                rev[n++] = digits[mag % base];
                mag /= base;
            } while (mag);
            int len = 0;
            if (neg) tmp[len++] = '-';
            else if (plus && (*f == 'd' || *f == 'i')) tmp[len++] = '+';
            for (int k = n; k < prec; ++k) tmp[len++] = '0';
            while (n) tmp[len++] = rev[--n];
            EmitField(o, tmp, len, width, left, (zero && prec < 0) ? '0' : ' ', true);
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
        if (n && i + n >= s.size()) {
            out += u'\uFFFD';
            break;
        }
        bool ok = true;
        for (int k = 1; k <= n; ++k) {
            unsigned char cb = s[i + k];
            if ((cb & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (cb & 0x3F);
        }
        static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < minimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
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

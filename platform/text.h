// UTF-16 text helpers with the semantics of the device's C runtime. They are overloads on
// char16_t of the familiar wide-character names, so the package's code reads as on the device.
// Case folding covers Latin-1, Latin Extended-A and -B (Romanian), Latin Extended Additional
// (Vietnamese), Greek, Cyrillic, Armenian and full-width Latin: device names are localised.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "wintypes.h"

size_t wcslen(const WCHAR* s);
WCHAR* wcscpy(WCHAR* dst, const WCHAR* src);
WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n);
WCHAR* wcscat(WCHAR* dst, const WCHAR* src);
// Appends at most n units of src and always terminates, as the C runtime does.
WCHAR* wcsncat(WCHAR* dst, const WCHAR* src, size_t n);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
// Equal exactly when the upper-case forms are equal (as EqualsNoCase); ordered as the C runtime
// orders them, as if lower case, so "_" sorts before every letter.
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
const WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcschr(WCHAR* s, WCHAR c);
const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(WCHAR* s, WCHAR c);
const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub);
WCHAR* wcsstr(WCHAR* s, const WCHAR* sub);
// Heap copy released with free(), as the device's _wcsdup.
WCHAR* _wcsdup(const WCHAR* s);

// Numeric conversions as the C runtime does them: leading white space, optional sign,
// base 0 detects 0x and leading 0; end receives the first unconverted unit.
unsigned long wcstoul(const WCHAR* s, WCHAR** end, int base);
long wcstol(const WCHAR* s, WCHAR** end, int base);
long _wtol(const WCHAR* s);
int _wtoi(const WCHAR* s);
// swscanf(s, L"%X", &v): white space, optional 0x, hex digits in either case. Returns 1 when a
// number was converted (v receives it, wrapping at 32 bits as the runtime does), else 0.
int ScanHex(const WCHAR* s, DWORD* v);

WCHAR towupper16(WCHAR c);
WCHAR towlower16(WCHAR c);
// In place, as CharUpperW/CharLowerW with a string argument; returns s.
WCHAR* CharUpperW(WCHAR* s);
WCHAR* CharLowerW(WCHAR* s);
// Upper-cases count units in place; returns count.
DWORD CharUpperBuffW(WCHAR* s, DWORD count);
// In place; return s.
WCHAR* _wcsupr(WCHAR* s);
WCHAR* _wcslwr(WCHAR* s);

// printf-style formatting: %s (WCHAR*), %S and %hs (char*), %c, %d %i %u %x %X %p, %%, with
// flags '-' '0' '+' ' ' '#', width and precision ('*' too) and the 'l', 'h', 'll' and 'I64' size
// prefixes. 'l' is 32 bits wide, as on the device. Output is
// always terminated when size > 0. Returns the units written (terminator excluded), or -1 when
// the output was cut.
int vswprintf16(WCHAR* buf, size_t size, const WCHAR* fmt, va_list ap);
int swprintf16(WCHAR* buf, size_t size, const WCHAR* fmt, ...);
// wsprintfW writes into a buffer the caller sized; as on the device it is bounded at 1024 units.
int wsprintfW(WCHAR* buf, const WCHAR* fmt, ...);
std::u16string FormatW(const WCHAR* fmt, ...);
std::u16string VFormatW(const WCHAR* fmt, va_list ap);

// Conversions between the device's UTF-16 and the host's UTF-8. Unpaired surrogates become
// U+FFFD in UTF-8; invalid UTF-8 bytes become U+FFFD in UTF-16.
std::string ToUtf8(std::u16string_view s);
std::string ToUtf8(const WCHAR* s);
std::u16string FromUtf8(std::string_view s);

// Case-insensitive helpers on whole strings, folding to upper case as the file system and the
// registry do: equality as _wcsicmp, order by the upper-case forms.
std::u16string UpperCase(std::u16string_view s);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
int CompareNoCase(std::u16string_view a, std::u16string_view b);

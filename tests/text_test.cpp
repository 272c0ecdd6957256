// The UTF-16 helpers, checked against what the device's C runtime does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Case

// Upper and lower case map onto each other for the localised alphabets.
TEST(TextCase, FoldsNonAsciiLetters) {
    struct Pair {
        WCHAR lower, upper;
    };
    const Pair pairs[] = {
        {u'à', u'À'}, {u'ÿ', u'Ÿ'}, {u'ł', u'Ł'}, {u'ž', u'Ž'}, {u'ș', u'Ș'}, {u'ǎ', u'Ǎ'}, {u'ữ', u'Ữ'},
        {u'ά', u'Ά'}, {u'ω', u'Ω'}, {u'я', u'Я'}, {u'ё', u'Ё'}, {u'ӂ', u'Ӂ'}, {u'ӏ', u'Ӏ'}, {u'ա', u'Ա'},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(p.upper, towupper16(p.lower)) << int(p.lower);
        EXPECT_EQ(p.lower, towlower16(p.upper)) << int(p.upper);
        EXPECT_EQ(p.upper, towupper16(p.upper)) << int(p.upper);
        EXPECT_EQ(p.lower, towlower16(p.lower)) << int(p.lower);
    }
    for (WCHAR c : {u'ß', u'ĸ', u'÷', u'_', u'中'}) {
        EXPECT_EQ(c, towupper16(c)) << int(c);
        EXPECT_EQ(c, towlower16(c)) << int(c);
    }
    // One-way mappings.
    EXPECT_EQ(u'Σ', towupper16(u'ς'));
    EXPECT_EQ(u'I', towupper16(u'ı'));
    EXPECT_EQ(u'i', towlower16(u'İ'));

    WCHAR text[] = u"Привет, Ελλάδα & Ÿes";
    EXPECT_EQ(std::u16string(u"ПРИВЕТ, ΕΛΛΆΔΑ & ŸES"), _wcsupr(text));
    EXPECT_EQ(std::u16string(u"привет, ελλάδα & ÿes"), CharLowerW(text));
    EXPECT_EQ(WCHAR(u'Ж'), WCHAR(uintptr_t(CharUpperW(reinterpret_cast<WCHAR*>(uintptr_t(u'ж'))))));
}

// The tables agree with each other over the whole of UTF-16: lowering an upper-case letter and
// raising it again gives it back, except for the one-way mappings.
TEST(TextCase, MappingsAreConsistentEverywhere) {
    for (unsigned c = 1; c <= 0xFFFF; ++c) {
        WCHAR w = WCHAR(c);
        WCHAR lower = towlower16(w), upper = towupper16(w);
        if (lower != w && w != u'İ') {
            EXPECT_EQ(w, towupper16(lower)) << std::hex << c;
        }
        if (upper != w && w != u'ı' && w != u'ſ' && w != u'µ' && w != u'ς') {
            EXPECT_EQ(w, towlower16(upper)) << std::hex << c;
        }
    }
}

// _wcsicmp finds two strings equal exactly when their upper-case forms are equal, as the file
// system and registry do, over every unit; it orders as the C runtime does, as if lower case.
TEST(TextCase, NoCaseComparisonAgreesWithUpperCaseFolding) {
    std::vector<std::u16string> all;
    for (unsigned c = 1; c <= 0xFFFF; ++c) all.emplace_back(1, WCHAR(c));
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    for (size_t i = 0; i + 1 < all.size(); ++i) {
        bool equal = _wcsicmp(all[i].c_str(), all[i + 1].c_str()) == 0;
        bool upperEqual = towupper16(all[i][0]) == towupper16(all[i + 1][0]);
        ASSERT_EQ(upperEqual, equal) << std::hex << int(all[i][0]) << " " << int(all[i + 1][0]);
    }
    EXPECT_EQ(0, _wcsicmp(u"\\Windows\\ПАПКА", u"\\windows\\папка"));
    EXPECT_EQ(0, _wcsicmp(u"ΣΊΣΥΦΟΣ", u"σίσυφος"));
    EXPECT_EQ(0, _wcsicmp(u"Ünïcödé", u"üNÏCÖDÉ"));
    EXPECT_NE(0, _wcsicmp(u"İ", u"i"));
    EXPECT_LT(_wcsicmp(u"_a", u"ab"), 0) << "'_' sorts before letters, as in lower case";
    EXPECT_LT(_wcsicmp(u"abc", u"ABCD"), 0);
    EXPECT_GT(_wcsicmp(u"b", u"A"), 0);
    EXPECT_EQ(0, _wcsnicmp(u"vl_RUS.xml", u"VL_rus.XML.bak", 10));
    EXPECT_NE(0, _wcsnicmp(u"vl_RUS.xml", u"VL_rus.XML.bak", 11));
    EXPECT_LT(CompareNoCase(u"apple", u"BANANA"), 0);
    EXPECT_EQ(0, CompareNoCase(u"Файл", u"фАЙЛ"));
    EXPECT_FALSE(EqualsNoCase(u"abc", u"abcd"));
}

// ---------------------------------------------------------------------------------------------
// Copy, compare, search

TEST(TextBasics, CopyCompareSearch) {
    // wcsncpy pads with NULs up to n and does not terminate a cut copy; wcsncat always does.
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    wcsncpy(buffer, u"ab", 4);
    EXPECT_EQ(0, memcmp(buffer, u"ab\0\0####", 8 * sizeof(WCHAR)));
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    wcsncpy(buffer, u"xyz", 2);
    EXPECT_EQ(0, memcmp(buffer, u"xy######", 8 * sizeof(WCHAR)));
    WCHAR joined[8] = u"ab";
    EXPECT_EQ(std::u16string(u"abcd"), wcsncat(joined, u"cdef", 2));

    EXPECT_LT(wcscmp(u"A", u"a"), 0);
    EXPECT_GT(wcscmp(u"ab", u"a"), 0);
    EXPECT_LT(wcscmp(u"a", u"\xFFFF"), 0) << "units compare unsigned";
    const WCHAR* path = u"\\Windows\\vl_rus.xml";
    EXPECT_EQ(path + 8, wcsrchr(path, u'\\'));
    EXPECT_EQ(path + wcslen(path), wcschr(path, 0));
    EXPECT_EQ(path + 12, wcsstr(path, u"rus"));
    EXPECT_EQ(nullptr, wcsstr(path, u"RUS"));
}

// ---------------------------------------------------------------------------------------------
// Numbers

TEST(TextNumbers, WcstoulAndWcstol) {
    const WCHAR* s = u"  0x1Fz";
    WCHAR* end = nullptr;
    EXPECT_EQ(0x1Fu, wcstoul(s, &end, 0));
    EXPECT_EQ(s + 6, end);
    EXPECT_EQ(0x1Fu, wcstoul(u"1f", nullptr, 16));
    EXPECT_EQ(0x1Fu, wcstoul(u"0X1F", nullptr, 16));
    EXPECT_EQ(8u, wcstoul(u"010", nullptr, 0));
    EXPECT_EQ(10u, wcstoul(u"010", nullptr, 10));
    EXPECT_EQ(0xFFFFFFFFu, wcstoul(u"-1", nullptr, 10)) << "a negative number wraps at 32 bits";

    // Out of range: the largest value, with every digit consumed.
    s = u"99999999999 rest";
    EXPECT_EQ(0xFFFFFFFFu, wcstoul(s, &end, 10));
    EXPECT_EQ(s + 11, end);
    EXPECT_EQ(0xFFFFFFFFu, wcstoul(u"4294967295", nullptr, 10));
    EXPECT_EQ(0xFFFFFFFFu, wcstoul(u"4294967296", nullptr, 10));

    // No digits: 0, and the end is the start, even after a sign or a bare "0x".
    for (const WCHAR* none : {u"", u"  +", u"xyz", u"-"}) {
        end = reinterpret_cast<WCHAR*>(uintptr_t(0xDEADBEEF));
        EXPECT_EQ(0u, wcstoul(none, &end, 10));
        EXPECT_EQ(none, end);
    }
    s = u"0xg";
    EXPECT_EQ(0u, wcstoul(s, &end, 16));
    EXPECT_EQ(s + 1, end);

    EXPECT_EQ(2147483647, wcstol(u"2147483648", nullptr, 10));
    EXPECT_EQ(-2147483647 - 1, wcstol(u"-2147483648", nullptr, 10));
    EXPECT_EQ(-2147483647 - 1, wcstol(u"-9999999999", nullptr, 10));
    EXPECT_EQ(-42, wcstol(u"\t-42abc", nullptr, 10));
    EXPECT_EQ(1049, _wtol(u"1049"));
    EXPECT_EQ(-7, _wtoi(u" -7"));
    EXPECT_EQ(0, _wtol(u"0x419")) << "_wtol reads decimal only";
}

// swscanf "%X": white space, an optional 0x, hex digits in either case; nothing converted leaves
// the output alone.
TEST(TextNumbers, ScanHex) {
    DWORD v = 0xDEADBEEF;
    EXPECT_EQ(1, ScanHex(u" 0419", &v));
    EXPECT_EQ(0x419u, v);
    EXPECT_EQ(1, ScanHex(u"0x1a2B;rest", &v));
    EXPECT_EQ(0x1A2Bu, v);
    EXPECT_EQ(1, ScanHex(u"123456789", &v));
    EXPECT_EQ(0x23456789u, v) << "wraps at 32 bits";
    EXPECT_EQ(1, ScanHex(u"-1", &v));
    EXPECT_EQ(0xFFFFFFFFu, v);
    v = 0xDEADBEEF;
    for (const WCHAR* bad : {u"", u"  ", u"zz", u"-", u"+g"}) {
        EXPECT_EQ(0, ScanHex(bad, &v));
        EXPECT_EQ(0xDEADBEEFu, v);
    }
    EXPECT_EQ(0, ScanHex(nullptr, &v));
}

// ---------------------------------------------------------------------------------------------
// Formatting

TEST(TextFormat, Conversions) {
    EXPECT_EQ(u"[Vexor] [-12] [12] [4294967295] [ff] [FF]",
              FormatW(u"[%s] [%d] [%i] [%u] [%x] [%X]", u"Vexor", -12, 12, -1, 255, 255));
    EXPECT_EQ(u"[  ab] [ab  ] [00042] [-0042] [  -42] [+42] [ 42]",
              FormatW(u"[%4s] [%-4s] [%05d] [%05d] [%5d] [%+d] [% d]", u"ab", u"ab", 42, -42, -42, 42, 42));
    EXPECT_EQ(u"[abc] [005] [] [0x1f] [0X1F] [0]", FormatW(u"[%.3s] [%.3d] [%.0d] [%#x] [%#X] [%#x]", u"abcdef", 5, 0, 31, 31, 0));
    EXPECT_EQ(u"[0x001f]", FormatW(u"[%#06x]", 31));
    EXPECT_EQ(u"[   7] [7   ] [ab]", FormatW(u"[%*d] [%-*d] [%.*s]", 4, 7, 4, 7, 2, u"abc"));
    EXPECT_EQ(u"utf8 Жук, c=Z, 100%", FormatW(u"%S %hs, c=%c, 100%%", "utf8", "Жук", u'Z'));
    EXPECT_EQ(u"(null)", FormatW(u"%s", static_cast<const WCHAR*>(nullptr)));
    EXPECT_EQ(u"-5 123456789012 7 65535", FormatW(u"%ld %I64d %lu %hu", -5, 123456789012LL, 7u, 0x1FFFF));
    std::u16string big(1000, u'x');
    EXPECT_EQ(big + u"!", FormatW(u"%s!", big.c_str()));
}

// A cut output is terminated and reported as -1; wsprintfW stops at 1024 units.
TEST(TextFormat, BoundedOutput) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(-1, swprintf16(buffer, 5, u"%d", 123456));
    EXPECT_EQ(std::u16string(u"1234"), buffer);
    EXPECT_EQ(u'#', buffer[5]);
    EXPECT_EQ(4, swprintf16(buffer, 5, u"%d", 1234));
    EXPECT_EQ(-1, swprintf16(nullptr, 0, u"x"));

    std::vector<WCHAR> out(2000, u'#');
    std::u16string longText(1500, u'y');
    EXPECT_EQ(1023, wsprintfW(out.data(), u"%s", longText.c_str()));
    EXPECT_EQ(0, out[1023]);
    EXPECT_EQ(u'#', out[1024]);
}

// ---------------------------------------------------------------------------------------------
// UTF-8

TEST(TextUtf8, RoundTripsAndReplacesInvalidInput) {
    std::u16string text = u"Aж€\U0001F600";
    std::string utf8 = ToUtf8(text);
    EXPECT_EQ("A\xD0\xB6\xE2\x82\xAC\xF0\x9F\x98\x80", utf8);
    EXPECT_EQ(text, FromUtf8(utf8));
    EXPECT_EQ(std::string(""), ToUtf8(static_cast<const WCHAR*>(nullptr)));

    // An unpaired surrogate becomes U+FFFD.
    EXPECT_EQ("a\xEF\xBF\xBD" "b", ToUtf8(std::u16string(u"a") + char16_t(0xD800) + u"b"));
    EXPECT_EQ("\xEF\xBF\xBD", ToUtf8(std::u16string(1, char16_t(0xDC00))));

    // Invalid bytes, overlong forms, encoded surrogates and sequences cut short each become
    // U+FFFD without swallowing the text that follows.
    EXPECT_EQ(u"a\uFFFDb", FromUtf8("a\xFF" "b"));
    EXPECT_EQ(u"\uFFFD\uFFFD", FromUtf8("\xC0\xAF"));
    EXPECT_EQ(u"\uFFFD\uFFFD\uFFFD", FromUtf8("\xED\xA0\x80"));
    EXPECT_EQ(u"\uFFFDA", FromUtf8("\xE2" "A"));
    EXPECT_EQ(u"\uFFFDA", FromUtf8("\xE2\x82" "A"));
    EXPECT_EQ(u"x\uFFFD", FromUtf8("x\xF0\x9F\x98"));
}

}  // namespace

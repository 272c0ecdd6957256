// The script engine's registry and text helpers: single-value reads and writes over the platform
// registry, the `If` language test against "CurLang", and the first-occurrence replacement.
#include <cstdlib>
#include <cstring>
#include <vector>
#include <tuple>

#include "reg_test_image.h"
#include "script/reghelpers.h"

namespace {

class RegHelpersTest : public RegImageTest {
protected:
    void SetCurLang(DWORD value, DWORD type = REG_DWORD) { Set(HKEY_CURRENT_USER, u"MUI", u"CurLang", type, &value, 4); }
    // Size and type of a stored value, or size kSentinel when it is missing.
    DWORD StoredSize(const WCHAR* path, const WCHAR* name, DWORD* type = nullptr) {
        HKEY key = nullptr;
        DWORD size = kSentinel;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &key) != ERROR_SUCCESS) return kSentinel;
        RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
        RegCloseKey(key);
        return size;
    }
};

TEST_F(RegHelpersTest, ReadValueCopiesExactlyTheStoredBytesUpTo8096) {
    std::vector<BYTE> fits(8096, 0x5A), tooBig(8097, 0x5A);
    fits[8095] = 0x01;
    ASSERT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"R", u"Fits", fits.data(), DWORD(fits.size()), u"REG_BINARY"), 0);
    ASSERT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"R", u"Big", tooBig.data(), DWORD(tooBig.size()), u"REG_BINARY"), 0);

    DWORD size = kSentinel, type = kSentinel;
    BYTE* data = RegReadValue(HKEY_LOCAL_MACHINE, u"r", u"FITS", &size, &type);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 8096u);
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(memcmp(data, fits.data(), fits.size()), 0);
    free(data);

    /* A value larger than the 8 096-byte buffer cannot be read: null, size 0, type untouched. */
    size = type = kSentinel;
    EXPECT_EQ(RegReadValue(HKEY_LOCAL_MACHINE, u"R", u"Big", &size, &type), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, kSentinel);

    /* A missing key or value reads as nothing. */
    for (const WCHAR* key : {u"Nope", u"R"}) {
        size = kSentinel;
        EXPECT_EQ(RegReadValue(HKEY_LOCAL_MACHINE, key, u"Nope", &size, &type), nullptr);
        EXPECT_EQ(size, 0u);
    }

    /* An empty value still reads as a (zero-length) success. */
    ASSERT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"R", u"Empty", nullptr, 0, u"REG_BINARY"), 0);
    size = kSentinel;
    data = RegReadValue(HKEY_LOCAL_MACHINE, u"R", u"Empty", &size, &type);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 0u);
    free(data);
}

TEST_F(RegHelpersTest, ReadDwordOnlyAcceptsADword) {
    DWORD value = kSentinel;
    /* Missing: 0 with value 0. */
    EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", &value), 0);
    EXPECT_EQ(value, 0u);
    SetCurLang(0x419);
    value = kSentinel;
    EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, u"mui", u"curlang", &value), 1);
    EXPECT_EQ(value, 0x419u);
    /* Four bytes of another type are not a REG_DWORD. */
    SetCurLang(0x419, REG_BINARY);
    value = kSentinel;
    EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", &value), 0);
    EXPECT_EQ(value, 0u);
    /* A longer REG_DWORD gives its first four bytes; a shorter one is refused. */
    const BYTE longer[] = {0x19, 0x04, 0, 0, 0xAA, 0xBB};
    const BYTE shorter[] = {0x19, 0x04};
    for (const auto& [bytes, size, ok, expected] :
         {std::tuple{longer, DWORD(sizeof longer), 1, 0x419u}, std::tuple{shorter, DWORD(sizeof shorter), 0, 0u}}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"MUI", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, u"CurLang", 0, REG_DWORD, bytes, size), ERROR_SUCCESS);
        RegCloseKey(key);
        value = kSentinel;
        EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", &value), ok) << size;
        EXPECT_EQ(value, expected) << size;
    }
}

TEST_F(RegHelpersTest, WriteValueTakesItsTypeFromTheFifthCharacter) {
    DWORD number = 0x12345678, type = 0;
    /* "REG_DWORD" writes 4 bytes whatever count is given. */
    EXPECT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"W\\Deep", u"D", &number, 99, u"REG_DWORD"), 0);
    EXPECT_EQ(StoredSize(u"W\\Deep", u"D", &type), 4u);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    /* "REG_SZ" with count 4 writes 8 bytes. */
    EXPECT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"W", u"S", u"abc", 4, u"REG_SZ"), 0);
    EXPECT_EQ(StoredSize(u"W", u"S", &type), 8u);
    EXPECT_EQ(type, DWORD(REG_SZ));
    /* "REG_BINARY" writes count bytes. */
    EXPECT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"W", u"B", "\x01\x02\x03", 3, u"REG_BINARY"), 0);
    EXPECT_EQ(StoredSize(u"W", u"B", &type), 3u);
    EXPECT_EQ(type, DWORD(REG_BINARY));

    /* Any other type name writes nothing and returns -1, and creates no key. */
    EXPECT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"W2", u"M", u"a\0", 3, u"REG_MULTI_SZ"), -1);
    EXPECT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"W2", u"M", u"a", 2, u"REG_"), -1);
    EXPECT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"W2", u"M", u"a", 2, nullptr), -1);
    EXPECT_EQ(StoredSize(u"W2", u"M"), kSentinel);

    /* A platform failure comes back as its error code. */
    EXPECT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"\\Bad", u"x", &number, 4, u"REG_DWORD"), ERROR_BAD_PATHNAME);
}

TEST_F(RegHelpersTest, LanguageMatchesComparesHexTextWithCurLang) {
    /* With CurLang missing, only a text that converts to 0 holds. */
    EXPECT_EQ(LanguageMatches(u"0"), 0);
    EXPECT_EQ(LanguageMatches(u"0000"), 0);
    EXPECT_EQ(LanguageMatches(u"409"), 1);
    /* A null text or one without a number never matches, not even language 0. */
    EXPECT_EQ(LanguageMatches(nullptr), 1);
    EXPECT_EQ(LanguageMatches(u""), 1);
    EXPECT_EQ(LanguageMatches(u"en"), 1);

    SetCurLang(0x409);
    for (const WCHAR* text : {u"0409", u"409", u"409 ", u" 409", u"0x409", u"409x"}) EXPECT_EQ(LanguageMatches(text), 0);
    for (const WCHAR* text : {u"0419", u"0", u"4090", u"xyz"}) EXPECT_EQ(LanguageMatches(text), 1);
}

TEST_F(RegHelpersTest, ReplaceFirstNoCaseReplacesOnlyTheFirstOccurrenceThatFits) {
    const std::u16string original = u"\\Windows\\Start Menu\\Programs\\Start Menu.lnk";
    const std::u16string replaced = u"\\Windows\\Startmen\u00fc Ordner\\Programs\\Start Menu.lnk";
    WCHAR text[260];
    for (const WCHAR* old : {u"start menu", u"START MENU", u"Start Menu"}) {
        wcscpy(text, original.c_str());
        WCHAR* after = ReplaceFirstNoCase(text, 260, old, u"Startmen\u00fc Ordner");
        EXPECT_EQ(std::u16string(text), replaced);
        ASSERT_NE(after, nullptr);
        EXPECT_EQ(std::u16string(after), u"\\Programs\\Start Menu.lnk");
    }

    /* Exactly fitting (length + 1 == capacity) is done; one unit less leaves the text unchanged. */
    const DWORD needed = DWORD(replaced.size() + 1);
    wcscpy(text, original.c_str());
    EXPECT_NE(ReplaceFirstNoCase(text, needed, u"start menu", u"Startmen\u00fc Ordner"), nullptr);
    wcscpy(text, original.c_str());
    EXPECT_EQ(ReplaceFirstNoCase(text, needed - 1, u"start menu", u"Startmen\u00fc Ordner"), nullptr);
    EXPECT_EQ(std::u16string(text), original);

    /* A shorter new text moves the tail left. */
    wcscpy(text, u"a?b?c");
    EXPECT_EQ(std::u16string(ReplaceFirstNoCase(text, 260, u"?B", u"")), u"?c");
    EXPECT_EQ(std::u16string(text), u"a?c");

    /* Nothing to find: absent text, empty text, empty old text. */
    wcscpy(text, u"abc");
    EXPECT_EQ(ReplaceFirstNoCase(text, 260, u"x", u"y"), nullptr);
    EXPECT_EQ(ReplaceFirstNoCase(text, 260, u"", u"y"), nullptr);
    text[0] = 0;
    EXPECT_EQ(ReplaceFirstNoCase(text, 260, u"a", u"y"), nullptr);
    EXPECT_EQ(text[0], 0);

    /* Case folding covers Cyrillic as well. */
    wcscpy(text, u"\\\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b\\x");
    EXPECT_NE(ReplaceFirstNoCase(text, 260, u"\u043f\u0420\u041e\u0433\u0440\u0430\u043c\u043c\u044b", u"P"), nullptr);
    EXPECT_EQ(std::u16string(text), u"\\P\\x");
}

}  // namespace

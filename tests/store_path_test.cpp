// Device paths and name patterns of the object store, checked as text.
#include <gtest/gtest.h>

#include "host/store/device_path.h"
#include "platform/text.h"
#include "platform/winerror.h"

using host::MatchesPattern;
using host::PathKind;
using host::SplitDevicePath;

namespace {

const std::vector<std::u16string> kSentinel = {u"untouched"};

DWORD Split(std::u16string_view path, PathKind kind = PathKind::Entry, std::vector<std::u16string>* out = nullptr) {
    std::vector<std::u16string> parts = kSentinel;
    DWORD error = SplitDevicePath(path, kind, &parts);
    if (error) {
        EXPECT_EQ(parts, kSentinel) << "parts changed on failure";
    }
    if (out) *out = parts;
    return error;
}

}  // namespace

// Components are split at backslashes; the root has none, and a path without a leading
// backslash starts at the root (the device has no current folder).
TEST(StorePath, SplitsAbsoluteAndRootedPaths) {
    std::vector<std::u16string> parts;
    ASSERT_EQ(Split(u"\\Windows\\Startup\\a.txt", PathKind::Entry, &parts), ERROR_SUCCESS);
    EXPECT_EQ(parts, (std::vector<std::u16string>{u"Windows", u"Startup", u"a.txt"}));
    ASSERT_EQ(Split(u"\\", PathKind::Entry, &parts), ERROR_SUCCESS);
    EXPECT_TRUE(parts.empty());
    ASSERT_EQ(Split(u"My Documents\\b", PathKind::Entry, &parts), ERROR_SUCCESS);
    EXPECT_EQ(parts, (std::vector<std::u16string>{u"My Documents", u"b"}));
    EXPECT_EQ(Split(u""), DWORD(ERROR_PATH_NOT_FOUND));
}

// Anything that could walk out of the store, name another volume or be read differently by
// the host is refused as an invalid name.
TEST(StorePath, RefusesHostilePaths) {
    const char16_t* hostile[] = {
        u"\\..",        u"\\..\\etc\\passwd", u"\\Windows\\..\\..\\x", u"\\.",          u"\\a\\.\\b",
        u"\\...",       u"\\a\\\\b",          u"\\a\\",                u"\\\\srv\\share", u"C:\\Windows",
        u"\\C:",        u"\\a/b",             u"/etc/passwd",          u"\\a\x01z",     u"\\a|b",
        u"\\a<b",       u"\\a>b",             u"\\\"a\"",              u"\\a*",         u"\\a?b\\c",
        u"\\x\xD800",   u"\\\xDC00y",
    };
    for (const char16_t* path : hostile) EXPECT_EQ(Split(path), DWORD(ERROR_INVALID_NAME)) << ToUtf8(path);
    EXPECT_EQ(Split(std::u16string_view(u"\\a\0b", 4)), DWORD(ERROR_INVALID_NAME));
    // Wildcards are for the last component of a search only.
    EXPECT_EQ(Split(u"\\W*\\x.txt", PathKind::Pattern), DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(Split(u"\\Windows\\*.vx?", PathKind::Pattern), DWORD(ERROR_SUCCESS));
}

// MAX_PATH counts the terminator: 259 units pass, 260 do not. A name must also fit the host's
// 255-byte limit once written as UTF-8.
TEST(StorePath, EnforcesLengthLimits) {
    std::u16string path = u"\\" + std::u16string(200, u'a') + u"\\" + std::u16string(57, u'b');
    ASSERT_EQ(path.size(), 259u);
    EXPECT_EQ(Split(path), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Split(path + u"c"), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(Split(u"\\" + std::u16string(127, u'ж')), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Split(u"\\" + std::u16string(128, u'ж')), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(Split(u"\\" + std::u16string(256, u'a')), DWORD(ERROR_FILENAME_EXCED_RANGE));
}

// Matching ignores case (Cyrillic too), '?' is exactly one unit, and "*.*" also finds names
// without a dot, as the device's searches do.
TEST(StorePath, MatchesPatternsAsTheDevice) {
    struct Case {
        const char16_t* name;
        const char16_t* pattern;
        bool match;
    } cases[] = {
        {u"README", u"*.*", true},     {u"a.b.c", u"*.*", true},       {u"Skin.VXS", u"*.vxs", true},
        {u"skin.vxs.bak", u"*.vxs", false}, {u"abc", u"a?c", true},    {u"ac", u"a?c", false},
        {u"abc", u"a*.*", true},       {u"bcd", u"a*.*", false},       {u"a.b", u"*b.*", false},
        {u"ПРИВЕТ.TXT", u"привет.*", true}, {u"vl_0419.xml", u"VL_*.XML", true}, {u"x", u"*", true},
        {u"aXbXc", u"a*b*c", true},    {u"aXbX", u"a*b*c", false},     {u"a.txt", u"a.txt", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << ToUtf8(c.name) << " ~ " << ToUtf8(c.pattern);
}

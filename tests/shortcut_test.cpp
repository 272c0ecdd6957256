#include <gtest/gtest.h>

#include "host/shell/shortcut.h"

namespace {

host::Shortcut Parsed(std::string_view bytes, int codePage = 1252) {
    host::Shortcut shortcut;
    std::string error;
    EXPECT_TRUE(host::ParseShortcut(bytes, codePage, &shortcut, &error)) << bytes << ": " << error;
    return shortcut;
}

std::string Refusal(std::string_view bytes) {
    host::Shortcut shortcut;
    std::string error;
    EXPECT_FALSE(host::ParseShortcut(bytes, 1252, &shortcut, &error)) << bytes;
    return error;
}

TEST(Shortcut, WrittenTextIsReadBackAndCountsItsCharacters) {
    const std::string text = host::FormatShortcut({u"\\Windows\\Dawnstep.exe", u""});
    EXPECT_EQ(text, "23#\"\\Windows\\Dawnstep.exe\"");
    const host::Shortcut withArgs = Parsed(host::FormatShortcut({u"\\Program Files\\Мой\\a b.exe", u"/x \"y z\""}));
    EXPECT_EQ(withArgs.target, u"\\Program Files\\Мой\\a b.exe");
    EXPECT_EQ(withArgs.arguments, u"/x \"y z\"");
    // The count is of characters, not bytes.
    EXPECT_EQ(host::FormatShortcut({u"\\Ё", u""}).substr(0, 2), "4#");
}

TEST(Shortcut, ReadsAsTheShellDoes) {
    const host::Shortcut bare = Parsed("21#\\Windows\\pword.exe -n\r\n");
    EXPECT_EQ(bare.target, u"\\Windows\\pword.exe");
    EXPECT_EQ(bare.arguments, u"-n");
    // The count bounds the command: what lies beyond it is not read.
    const host::Shortcut cut = Parsed("18#\\Windows\\pword.exe -n");
    EXPECT_EQ(cut.target, u"\\Windows\\pword.exe");
    EXPECT_EQ(cut.arguments, u"");
    // Text that is not UTF-8 is in the device's ANSI code page.
    EXPECT_EQ(Parsed("7#\\\xC0\xE1.exe", 1251).target, u"\\Аб.exe");
    EXPECT_EQ(Parsed("7#\\\xC0\xE1.exe", 1252).target, u"\\Àá.exe");
}

TEST(Shortcut, RefusesWhatIsNotAShortcut) {
    EXPECT_NE(Refusal("").find("character count"), std::string::npos);
    EXPECT_NE(Refusal("#\\Windows\\a.exe").find("character count"), std::string::npos);
    EXPECT_NE(Refusal("12\\Windows\\a.exe").find("character count"), std::string::npos);
    EXPECT_NE(Refusal("99999#\\a.exe").find("character count"), std::string::npos);
    EXPECT_NE(Refusal("20#\"\\Windows\\a.exe").find("closing quote"), std::string::npos);
    EXPECT_NE(Refusal("5#  \"\" ").find("no program"), std::string::npos);
}

}  // namespace

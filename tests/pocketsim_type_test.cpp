// pocketsim keyboard ... type TEXT taps what a person would tap to type the text.
#include <gtest/gtest.h>

#include <string>

#include "run_program.h"

namespace {

class PocketsimTypeTest : public testing_support::PocketsimTestBase {};

// The demo types "Hi there" key by key (Shift, then h, i, space, t, h, e, r, e).
TEST_F(PocketsimTypeTest, TypingGivesTheSameEventsAsTheDemosTaps) {
    Init();
    auto taps = Run({"keyboard", m_image, "key", "48", "key", "99", "key", "89", "key", "57", "key", "86", "key", "99",
                     "key", "84", "key", "85", "key", "84", "status"});
    ASSERT_EQ(taps.exitCode, 0) << taps.err;
    auto typed = Run({"keyboard", m_image, "type", "Hi there", "status"});
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    EXPECT_EQ(typed.out, taps.out);
}

// Other pages are reached through their status keys, and each character comes out as itself.
TEST_F(PocketsimTypeTest, OtherLanguagesAndPagesAndWhatNoKeyTypes) {
    Init();
    auto r = Run({"keyboard", m_image, "type", "1!ж\t", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string typed;
    for (size_t at = 0; (at = r.out.find(" U+", at)) != std::string::npos; at += 3) {
        const std::string unit = r.out.substr(at + 1, 6);
        if (r.out.compare(at - 10, 10, "0x00000080") == 0 || r.out.compare(at - 10, 10, "0x20000080") == 0)
            typed += unit + " ";
    }
    EXPECT_EQ(typed, "U+0031 U+0021 U+0436 U+0009 ") << r.out;
    EXPECT_NE(r.out.find("lng1=0"), std::string::npos) << r.out;

    r = Run({"keyboard", m_image, "type", "a\xe2\x98\x83"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "SendCharEvents 0x41 0x00000080 U+0061\nSendCharEvents 0x41 0x00010000 U+0061\n");
    EXPECT_NE(r.err.find("cannot type U+2603"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"keyboard", m_image, "type"}).exitCode, 2);
}

}  // namespace

// Skins as their authors see them: pocketsim skin check on skin files, and what the keyboard
// says when it does not take the skin it was asked for.
#include <gtest/gtest.h>

#include <string>

#include "run_program.h"

namespace {

class PocketsimSkinTest : public testing_support::PocketsimTestBase {
protected:
    static std::string TestSkin(const char* name) { return std::string(VX_KBD_DATA_DIR) + "/" + name + ".vxs"; }
};

TEST_F(PocketsimSkinTest, CheckListsResourcesAndTheScreensASkinFits) {
    const std::string classic = std::string(VX_SKINS_DIR) + "/Classic.vxs";
    auto r = Run({"skin", "check", classic});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind(classic + ": PE32 ARM, Windows CE\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("  bitmap CHAR_KEYBOARD_BITMAP  240x80, 24 bits\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  RC_DATA CHAR_LAYOUT_STRUCT  992 bytes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nfits 240x320\nfits 320x240\ndoes not fit 480x640: portrait image 240 wide, screen 480\n"),
              std::string::npos)
        << r.out;

    r = Run({"skin", "check", classic, "--screen", "480x640"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\ndoes not fit 480x640: portrait image 240 wide, screen 480\n"), std::string::npos);
    EXPECT_EQ(r.out.find("fits 240x320"), std::string::npos);

    // A skin for portrait screens only, and one without a keyboard image.
    r = Run({"skin", "check", TestSkin("vga"), "--screen", "640x480"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("does not fit 640x480: no landscape image (LANSCAPE_KEYBOARD_BITMAP)\n"), std::string::npos);
    EXPECT_EQ(Run({"skin", "check", TestSkin("vga"), "--screen", "480x640"}).exitCode, 0);
    r = Run({"skin", "check", TestSkin("noimage")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("does not fit 240x320: no portrait image (char_keyboard_bitmap)\n"), std::string::npos);

    WriteFile("text.vxs", "not a library");
    r = Run({"skin", "check", (m_dir / "text.vxs").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is not a skin library"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"skin", "check", classic, "--screen", "wide"}).exitCode, 2);
    EXPECT_EQ(Run({"skin", "paint"}).exitCode, 2);
}

TEST_F(PocketsimSkinTest, TheKeyboardSaysWhenItTookAnotherSkin) {
    Init();
    auto r = Run({"keyboard", m_image, "skin", "Capslock"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    r = Run({"keyboard", m_image, "skin", "Grande"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "pocketsim: skin 'Grande' not taken: \\windows\\Grande.vxs: portrait image 480 wide, screen "
                     "240; the keyboard loaded \\windows\\Classic.vxs instead\n");
    r = Run({"keyboard", m_image, "skin", "Blue"});
    EXPECT_NE(r.err.find("pocketsim: skin 'Blue' not taken: no skin file's path contains it"), std::string::npos)
        << r.err;
}

}  // namespace

// End-to-end: pocketsim keyboard on images made by pocketsim init, compared with the lines a
// person would see, and its renders read back as PNG files.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <set>
#include <vector>

#include "run_program.h"

namespace fs = std::filesystem;

namespace {

const char kTapQ[] = "SendCharEvents 0x51 0x00000080 U+0071\nSendCharEvents 0x51 0x00010000 U+0071\n";
const char kFresh[] = "shift=0 caps=0 ctrl=0 lng1=1 digital=0 uml=0\n";

struct Png {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

bool ReadPng(const fs::path& file, Png* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out->width = image.width;
    out->height = image.height;
    out->rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr) != 0;
}

class PocketsimKeyboard : public testing_support::PocketsimTestBase {
protected:
    void SetUp() override {
        PocketsimTestBase::SetUp();
        Init();
    }
    testing_support::RunResult Keyboard(std::vector<std::string> events) {
        events.insert(events.begin(), {"keyboard", m_image});
        return Run(events);
    }
};

}  // namespace

// Every way of naming a key's centre taps the same key; offsets move the point; a tap outside
// the panel sends nothing.
TEST_F(PocketsimKeyboard, PointFormsReachTheSameKey) {
    for (const std::vector<std::string>& events : std::vector<std::vector<std::string>>{
             {"key", "82"}, {"tap", "@82"}, {"down", "@82", "up", "@82"}, {"tap", "@82+1,-1"}, {"tap", "-5,-5", "key", "82"}}) {
        auto r = Keyboard(events);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, kTapQ) << events[0] << " " << events[1];
        EXPECT_EQ(r.err, "");
    }
    // 17 to the left of q lies the Tab key.
    auto r = Keyboard({"tap", "@82-17,+0"});
    EXPECT_EQ(r.out, "SendCharEvents 0x09 0x00000080 U+0009\n");
}

// Shift latches for one character and is released after it; status shows each step.
TEST_F(PocketsimKeyboard, ShiftIsOneShot) {
    auto r = Keyboard({"status", "key", "48", "status", "key", "82", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kFresh) +
                         "SendVirtualKey 0x10 0x00000000\n"
                         "shift=1 caps=0 ctrl=0 lng1=1 digital=0 uml=0\n"
                         "SendCharEvents 0x51 0x20000080 U+0051\n"
                         "SendCharEvents 0x51 0x20010000 U+0051\n"
                         "SendVirtualKey 0x10 0x00000002\n" +
                         kFresh);
}

// A consumed double click (Shift: CAPS lock) swallows the following up and moves until the next
// down; one the engine does not consume is an ordinary second press.
TEST_F(PocketsimKeyboard, DoubleClickAsThePanelWindowHandlesIt) {
    auto r = Keyboard({"down", "@48", "up", "@48", "dblclk", "@48", "up", "@48", "move", "@82", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "SendVirtualKey 0x10 0x00000000\n"
              "SendVirtualKey 0x10 0x00000002\n"
              "shift=0 caps=1 ctrl=0 lng1=1 digital=0 uml=0\n");

    r = Keyboard({"down", "@82", "up", "@82", "dblclk", "@82", "up", "@82"});
    EXPECT_EQ(r.out, std::string(kTapQ) + kTapQ);
}

// render writes the panel at the input panel's size: a quarter of the screen high in portrait,
// a third in landscape after rotate, which the image keeps.
TEST_F(PocketsimKeyboard, RenderAndRotate) {
    const fs::path portrait = m_dir / "portrait.png", landscape = m_dir / "landscape.png";
    auto r = Keyboard({"render", portrait.string(), "rotate", "render", landscape.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Png png;
    ASSERT_TRUE(ReadPng(portrait, &png));
    EXPECT_EQ(png.width, 240u);
    EXPECT_EQ(png.height, 80u);
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < png.rgb.size(); i += 3)
        colours.insert(static_cast<uint32_t>(png.rgb[i]) << 16 | png.rgb[i + 1] << 8 | png.rgb[i + 2]);
    EXPECT_GT(colours.size(), 2u);
    EXPECT_TRUE(colours.count(0));  // black labels

    ASSERT_TRUE(ReadPng(landscape, &png));
    EXPECT_EQ(png.width, 320u);
    EXPECT_EQ(png.height, 80u);
    r = Keyboard({"render", portrait.string()});
    ASSERT_TRUE(ReadPng(portrait, &png));
    EXPECT_EQ(png.width, 320u);
}

// An image made in landscape shows the whole keyboard: the panel is a third of the screen high,
// so the bottom row (Ctrl, 123, EN, Space) is drawn and types.
TEST_F(PocketsimKeyboard, ALandscapeImageShowsTheBottomRow) {
    Init({"--screen", "320x240", "--force"});
    const fs::path file = m_dir / "landscape.png";
    auto r = Keyboard({"render", file.string(), "tap", "130,74", "tap", "10,74", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "SendVirtualKey 0x20 0x00000000\nSendVirtualKey 0x20 0x00000002\nSendVirtualKey 0x11 0x00000000\n"
              "shift=0 caps=0 ctrl=1 lng1=1 digital=0 uml=0\n");
    Png png;
    ASSERT_TRUE(ReadPng(file, &png));
    EXPECT_EQ(png.width, 320u);
    EXPECT_EQ(png.height, 80u);
}

// Without skins the render shows the notice in two colours only.
TEST_F(PocketsimKeyboard, NoSkinRendersTheNotice) {
    for (const char* skin : {"Classic.vxs", "Capslock.vxs", "Grande.vxs"})
        fs::remove(fs::path(m_image) / "store" / "Windows" / skin);
    const fs::path file = m_dir / "none.png";
    auto r = Keyboard({"status", "render", file.string(), "tap", "10,10"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kFresh);
    Png png;
    ASSERT_TRUE(ReadPng(file, &png));
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < png.rgb.size(); i += 3)
        colours.insert(static_cast<uint32_t>(png.rgb[i]) << 16 | png.rgb[i + 1] << 8 | png.rgb[i + 2]);
    EXPECT_EQ(colours.size(), 2u);
}

// A key the layout shown lacks stops the run with status 1 after what ran before; a malformed
// event is a usage error before anything runs.
TEST_F(PocketsimKeyboard, ErrorsAndUsage) {
    auto r = Keyboard({"key", "82", "key", "60000", "key", "82"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, kTapQ);
    EXPECT_EQ(r.err, "pocketsim: entry 60000 has no key in the layout shown\n");

    for (const std::vector<std::string>& events : std::vector<std::vector<std::string>>{
             {"key", "82", "jump", "1,1"}, {"key", "82", "tap"}, {"key", "82", "tap", "@82+1,1"}, {"tap", "1;2"},
             {"tap", "40000,1"}, {"key", "-3"}}) {
        r = Keyboard(events);
        EXPECT_EQ(r.exitCode, 2) << events.back();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err, "");
    }
    r = Run({"keyboard", (m_dir / "missing").string(), "status"});
    EXPECT_EQ(r.exitCode, 1);
    r = Run({"keyboard", "--help"});
    EXPECT_EQ(r.exitCode, 0);
}

// skin NAME is stored verbatim and the keyboard starts again with it.
TEST_F(PocketsimKeyboard, SkinIsStoredAndUsed) {
    auto r = Keyboard({"skin", "Capslock", "key", "50", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("caps=1"), std::string::npos) << r.out;
    r = Run({"reg", "export", m_image, "HKEY_LOCAL_MACHINE\\Software\\Vexor\\7.0"});
    EXPECT_NE(r.out.find("\"Skin\"=\"Capslock\""), std::string::npos) << r.out;
}

// show and hide are the SIP's Showing and Hiding: a latched Shift is released while the panel is
// hidden and pressed again when it shows. A hidden panel takes no pen, a second hide does
// nothing, and a run ends without Hiding, so nothing follows the last event's lines.
TEST_F(PocketsimKeyboard, ShowAndHideReleaseAndPressTheLatchedShift) {
    auto r = Keyboard({"key", "48", "hide", "key", "82", "hide", "show", "show", "status"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "SendVirtualKey 0x10 0x00000000\n"
              "SendVirtualKey 0x10 0x00000002\n"
              "SendVirtualKey 0x10 0x00000000\n"
              "shift=1 caps=0 ctrl=0 lng1=1 digital=0 uml=0\n");
    r = Keyboard({"key", "48"});
    EXPECT_EQ(r.out, "SendVirtualKey 0x10 0x00000000\n");
}

// rotate turns the screen and the SIP passes the new panel size on: the keys are found in the
// new layout, and rotating back gives the portrait panel again.
TEST_F(PocketsimKeyboard, RotateReachesTheInputMethodThroughTheSip) {
    const fs::path file = m_dir / "back.png";
    auto r = Keyboard({"rotate", "key", "82", "rotate", "key", "82", "render", file.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kTapQ) + kTapQ);
    Png png;
    ASSERT_TRUE(ReadPng(file, &png));
    EXPECT_EQ(png.width, 240u);
    EXPECT_EQ(png.height, 80u);
}

// init registers the input method as the registration tool does: the class the SIP finds and
// the type library under the library's identifier, with the library's folder as help folder.
TEST_F(PocketsimKeyboard, InitRegistersTheInputMethodAndItsTypeLibrary) {
    auto r = Run({"reg", "export", m_image, "HKEY_CLASSES_ROOT\\TypeLib"});
    EXPECT_EQ(r.out,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CLASSES_ROOT\\TypeLib]\n\n"
              "[HKEY_CLASSES_ROOT\\TypeLib\\{7003B863-E71D-45D8-90AA-16DB9A05C906}]\n\n"
              "[HKEY_CLASSES_ROOT\\TypeLib\\{7003B863-E71D-45D8-90AA-16DB9A05C906}\\1.0]\n"
              "@=\"Vexor 1.0 Type Library\"\n\n"
              "[HKEY_CLASSES_ROOT\\TypeLib\\{7003B863-E71D-45D8-90AA-16DB9A05C906}\\1.0\\409]\n\n"
              "[HKEY_CLASSES_ROOT\\TypeLib\\{7003B863-E71D-45D8-90AA-16DB9A05C906}\\1.0\\409\\win32]\n"
              "@=\"\\\\Windows\\\\vexor.dll\"\n\n"
              "[HKEY_CLASSES_ROOT\\TypeLib\\{7003B863-E71D-45D8-90AA-16DB9A05C906}\\1.0\\FLAGS]\n"
              "@=\"0\"\n\n"
              "[HKEY_CLASSES_ROOT\\TypeLib\\{7003B863-E71D-45D8-90AA-16DB9A05C906}\\1.0\\HELPDIR]\n"
              "@=\"\\\\Windows\"\n");
    r = Run({"reg", "export", m_image, "HKEY_CLASSES_ROOT\\CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\InprocServer32"});
    EXPECT_NE(r.out.find("@=\"\\\\Windows\\\\vexor.dll\"\n"), std::string::npos) << r.out;
}

// unregister removes the class, so the SIP starts the device's other keyboard instead; register
// brings it back. Without the library both fail with status 1 and one line naming it.
TEST_F(PocketsimKeyboard, RegisterAndUnregisterCallTheLibrarysEntryPoints) {
    auto r = Run({"unregister", m_image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"reg", "export", m_image, "HKEY_CLASSES_ROOT\\CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}"});
    EXPECT_EQ(r.exitCode, 1);
    r = Keyboard({"status"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pocketsim: the running input method is not the package's keyboard\n");

    r = Run({"register", m_image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Keyboard({"key", "82"});
    EXPECT_EQ(r.out, kTapQ);

    fs::remove(fs::path(m_image) / "store" / "Windows" / "vexor.dll");
    for (const char* command : {"register", "unregister"}) {
        r = Run({command, m_image});
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_EQ(r.err, "pocketsim: cannot load \\Windows\\vexor.dll (error 126)\n") << command;
    }
    r = Run({"register"});
    EXPECT_EQ(r.exitCode, 2);
    for (const char* command : {"register", "unregister"}) {
        r = Run({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("usage: pocketsim ") + command, 0), 0u) << r.out;
    }
}

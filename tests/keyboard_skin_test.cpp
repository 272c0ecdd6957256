// The engine on a fresh device image: its own compiled tables, skin libraries built with windres
// and ld (keyboard_data/*.rc), skin validity per screen, the skin choice and the settings.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "test_image.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "keyboard_fixtures.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace fs = std::filesystem;
using namespace keyboard;
using kbdtest::TestKeyboard;

namespace {

class KeyboardSkins : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        m_device->SetTraceSink([this](std::u16string_view line) { m_trace += ToUtf8(line); });
        ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
        Install("kbdengine.so", u"\\Windows\\kbdengine.dll");
        m_engine = LoadLibraryW(u"\\Windows\\kbdengine.dll");
        ASSERT_NE(m_engine, nullptr) << GetLastError();
        kbd.m_hInstance = m_engine;
    }
    void TearDown() override {
        kbd.m_hInstance = nullptr;
        if (kbd.m_hSkinLib) FreeLibrary(kbd.m_hSkinLib);
        kbd.m_hSkinLib = nullptr;
        if (m_engine) FreeLibrary(m_engine);
        ImageTest::TearDown();
    }

    void Install(const char* file, std::u16string_view devicePath) {
        InstallFile(fs::path(VX_KBD_DATA_DIR) / file, devicePath);
    }
    void Screen(int width, int height) {
        m_device->SetSetting("screen.width", std::to_string(width));
        m_device->SetSetting("screen.height", std::to_string(height));
    }
    // Loads a skin as Init would, for LoadSkin alone.
    void UseSkin(const WCHAR* path) {
        kbd.m_hSkinLib = LoadLibraryW(path);
        ASSERT_NE(kbd.m_hSkinLib, nullptr);
    }
    LONG Width(HBITMAP bitmap) {
        BITMAP bm{};
        return bitmap && GetObjectW(bitmap, sizeof bm, &bm) ? bm.bmWidth : -1;
    }
    void SetString(const WCHAR* name, std::u16string_view text, DWORD type = REG_SZ) {
        SettingsKey(SettingsKey::Mode::Create);
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                                 static_cast<DWORD>(text.size() * 2)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetDword(const WCHAR* name, DWORD value) { SettingsKey(SettingsKey::Mode::Create).WriteDword(name, value); }
    std::optional<DWORD> Dword(const WCHAR* name) { return SettingsKey(SettingsKey::Mode::Open).ReadDword(name); }
    std::optional<std::u16string> String(const WCHAR* name) {
        return SettingsKey(SettingsKey::Mode::Open).ReadString(name);
    }

    HMODULE m_engine = nullptr;
    std::string m_trace;
    TestKeyboard kbd;
};

}  // namespace

// The engine's compiled tables: digit block 0-47, function block 48-69 read big-endian, the 152
// English records 70-221, and string 103.
TEST_F(KeyboardSkins, EngineTablesAsCompiled) {
    ASSERT_TRUE(kbd.LoadCharsets());
    EXPECT_EQ(kbd.m_nLastDigit, 47);
    EXPECT_EQ(kbd.m_nFirstFunc, 48);
    EXPECT_EQ(kbd.m_nLastFunc, 69);
    EXPECT_EQ(kbd.m_nFirstChar, 70);
    EXPECT_EQ(kbd.m_nLastChar, 221);
    ASSERT_EQ(kbd.m_Charset.size(), 222u);
    const auto& t = kbd.m_Charset;
    EXPECT_EQ(t[0].wc[7], u'[');
    EXPECT_EQ(t[32].wc[0], 0x20AC);
    EXPECT_EQ(t[47].wc[3], u'0');
    EXPECT_EQ(t[48].Code(), kKeyShift);
    EXPECT_EQ(t[50].Code(), kKeyCaps);
    EXPECT_EQ(t[51].Code(), kKeyLang);
    EXPECT_EQ(t[55].Code(), kKeyBackspace);
    EXPECT_EQ(t[57].Code(), kKeySpace);
    EXPECT_EQ(t[69].wc[7], 0xF025);
    EXPECT_EQ(t[70].Pair(0), 0x00210031u);
    EXPECT_EQ(t[70].Pair(1), 0x00BF00BFu);
    EXPECT_EQ(t[82].Pair(0), 0x00510071u);
    EXPECT_EQ(t[82].Pair(1), 0x00C000E0u);
    EXPECT_EQ(t[130].Pair(0), 0x003D003Du);
    EXPECT_EQ(t[221].Pair(1), 0x00AE00A9u);
    EXPECT_EQ(t[221].Pair(2), 0u);
    EXPECT_TRUE(kbd.IsFunctionalKeyEntry(0xF025));
    EXPECT_FALSE(kbd.IsFunctionalKeyEntry(0xF026));

    const WCHAR* text = nullptr;
    int length = LoadStringW(m_engine, 103, reinterpret_cast<LPWSTR>(&text), 0);
    EXPECT_EQ(std::u16string(text, length > 0 ? length : 0), u"SKINS NOT FOUND");
}

// A skin is valid when its portrait image is as wide as the shorter side of the screen: in
// landscape that is the height (a 240-wide image on 320x240, a 480-wide one on 640x480); a file
// that is no library, or has no keyboard image, is not.
TEST_F(KeyboardSkins, ValidityPerScreen) {
    Install("alpha.vxs", u"\\Windows\\alpha.vxs");
    Install("vga.vxs", u"\\Windows\\vga.vxs");
    Install("noimage.vxs", u"\\Windows\\noimage.vxs");
    Install("alpha_layout.bin", u"\\Windows\\text.vxs");
    EXPECT_TRUE(kbd.IsValidSkin(u"\\Windows\\alpha.vxs"));
    EXPECT_FALSE(kbd.IsValidSkin(u"\\Windows\\vga.vxs"));
    Screen(320, 240);
    EXPECT_TRUE(kbd.IsValidSkin(u"\\Windows\\alpha.vxs"));
    EXPECT_FALSE(kbd.IsValidSkin(u"\\Windows\\vga.vxs"));
    Screen(480, 640);
    EXPECT_FALSE(kbd.IsValidSkin(u"\\Windows\\alpha.vxs"));
    EXPECT_TRUE(kbd.IsValidSkin(u"\\Windows\\vga.vxs"));
    Screen(640, 480);
    EXPECT_FALSE(kbd.IsValidSkin(u"\\Windows\\alpha.vxs"));
    EXPECT_TRUE(kbd.IsValidSkin(u"\\Windows\\vga.vxs"));
    m_trace.clear();
    EXPECT_FALSE(kbd.IsValidSkin(u"\\Windows\\noimage.vxs"));
    EXPECT_NE(m_trace.find("LoadBmp error: "), std::string::npos) << m_trace;
    EXPECT_FALSE(kbd.IsValidSkin(u"\\Windows\\text.vxs"));
    EXPECT_FALSE(kbd.IsValidSkin(u"\\Windows\\missing.vxs"));
    EXPECT_NE(m_trace.find("LoadLib error: "), std::string::npos) << m_trace;
}

// Portrait: the letter layout with its duplicate index, the CAPS rectangle, every mask; the
// skin has no CAPS key and is not swipe-only.
TEST_F(KeyboardSkins, LoadPortrait) {
    Install("alpha.vxs", u"\\Windows\\alpha.vxs");
    UseSkin(u"\\Windows\\alpha.vxs");
    kbd.m_nSwipeMode = 0;
    ASSERT_TRUE(kbd.LoadSkin(240, 320));
    EXPECT_TRUE(kbd.m_bPortrait);
    EXPECT_FALSE(kbd.m_bHasCapsKey);
    EXPECT_EQ(kbd.m_nSwipeMode, 0u);
    EXPECT_EQ(Dword(kSwipeOnlySkinValue), 0u);
    EXPECT_TRUE(SameRect(kbd.m_CAPSRect, RECT{0, 0, 128, 16}));
    EXPECT_EQ(kbd.m_CharLayout.Size(), 5u) << "three stray words make no record";
    ASSERT_NE(kbd.m_CharLayout.Find(57), nullptr);
    EXPECT_EQ(kbd.m_CharLayout.Find(57)->m_Rect.size(), 2u);
    EXPECT_EQ(kbd.m_CharLayout.Find(57)->m_nBitmap, 2u);
    EXPECT_EQ(kbd.GetKeyIndex(8, 24, TRUE), 82);
    EXPECT_EQ(kbd.GetKeyIndex(8, 8, FALSE), 36);
    EXPECT_EQ(Width(kbd.m_hKbdBmp), 240);
    EXPECT_NE(kbd.m_hUml2LrgKbMask, nullptr);
    EXPECT_NE(kbd.m_hDigitMask, nullptr);
}

// Landscape without a landscape layout: the letter layout with the landscape images.
TEST_F(KeyboardSkins, LandscapeFallsBackToLetterLayout) {
    Install("alpha.vxs", u"\\Windows\\alpha.vxs");
    UseSkin(u"\\Windows\\alpha.vxs");
    ASSERT_TRUE(kbd.LoadSkin(320, 240));
    EXPECT_FALSE(kbd.m_bPortrait);
    EXPECT_EQ(Width(kbd.m_hKbdBmp), 320);
    EXPECT_EQ(Width(kbd.m_hLng1SmlKbMask), 320);
    EXPECT_EQ(Width(kbd.m_hDigitKbdBmp), 240);
    EXPECT_EQ(kbd.GetKeyIndex(8, 24, TRUE), 82);
}

// A square size loads the portrait images but is no portrait, so the CAPS-rectangle exemption is
// off; an image that fits neither side fails and keeps the tables.
TEST_F(KeyboardSkins, SquareAndWrongSizes) {
    Install("alpha.vxs", u"\\Windows\\alpha.vxs");
    UseSkin(u"\\Windows\\alpha.vxs");
    ASSERT_TRUE(kbd.LoadSkin(240, 240));
    EXPECT_FALSE(kbd.m_bPortrait);
    EXPECT_EQ(Width(kbd.m_hKbdBmp), 240);
    m_trace.clear();
    EXPECT_FALSE(kbd.LoadSkin(480, 640));
    EXPECT_NE(m_trace.find("can't load this skin for other resolution"), std::string::npos);
    EXPECT_EQ(kbd.GetKeyIndex(8, 24, TRUE), 82);
}

// The landscape layout when present (it decides the CAPS key), SWIPE_ONLY forcing gestures on,
// short layout and CAPS_RECT resources read as absent, extended masks only with ExtSym.
TEST_F(KeyboardSkins, LandscapeLayoutSwipeOnlyAndShortResources) {
    Install("beta.vxs", u"\\Windows\\beta.vxs");
    UseSkin(u"\\Windows\\beta.vxs");
    kbd.m_nSwipeMode = 0;
    kbd.m_bExtSym = false;
    ASSERT_TRUE(kbd.LoadSkin(240, 320));
    EXPECT_TRUE(kbd.m_bHasCapsKey);
    EXPECT_EQ(kbd.m_nSwipeMode, 1u);
    EXPECT_EQ(Dword(kSwipeOnlySkinValue), 1u);
    EXPECT_TRUE(kbd.m_DigitLayout.Empty());
    EXPECT_TRUE(SameRect(kbd.m_CAPSRect, RECT{}));
    EXPECT_EQ(kbd.m_hUml1SmlKbMask, nullptr);

    ASSERT_TRUE(kbd.LoadSkin(320, 240));
    EXPECT_FALSE(kbd.m_bHasCapsKey);
    EXPECT_EQ(kbd.GetKeyIndex(18, 24, TRUE), 82);
}

// Without a keyboard image the load fails; the layout tables are still read.
TEST_F(KeyboardSkins, MissingImageFailsLoad) {
    Install("noimage.vxs", u"\\Windows\\noimage.vxs");
    UseSkin(u"\\Windows\\noimage.vxs");
    EXPECT_FALSE(kbd.LoadSkin(240, 320));
    EXPECT_EQ(kbd.m_hKbdBmp, nullptr);
    EXPECT_EQ(kbd.GetKeyIndex(8, 24, TRUE), 82);
}

// "Skin" holding a bare word: the first valid path containing it is loaded, and the engine keeps
// the word itself, which the shell compares with "Skin".
TEST_F(KeyboardSkins, StoredSkinChosenBySubstring) {
    Install("alpha.vxs", u"\\Windows\\darkblue.vxs");
    Install("beta.vxs", u"\\Windows\\blue.vxs");
    SetString(kSkinValue, std::u16string(u"blue") + u'\0');
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_FALSE(kbd.m_bNoSkin);
    EXPECT_EQ(kbd.m_SkinPath, u"blue");
    EXPECT_EQ(kbd.m_SkinFile, u"\\windows\\darkblue.vxs");
    EXPECT_NE(kbd.m_hSkinLib, nullptr);
    EXPECT_FALSE(kbd.m_bHasCapsKey) << "darkblue (alpha) was loaded";
    EXPECT_EQ(String(kSkinValue), u"blue");
    EXPECT_EQ(Dword(kSwipeValue), 1u) << "a missing Swipe is written as 1";
    EXPECT_GT(kbd.maskSelections, 0);
}

// An empty or unmatched "Skin" takes the first valid file and writes its path; invalid files are
// passed over.
TEST_F(KeyboardSkins, FirstValidSkinWrittenBack) {
    Install("vga.vxs", u"\\Windows\\big.vxs");
    Install("beta.vxs", u"\\Windows\\caps.vxs");
    SetString(kSkinValue, u"");
    SetDword(kSwipeValue, 0);
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_EQ(kbd.m_SkinPath, u"\\windows\\caps.vxs");
    EXPECT_EQ(String(kSkinValue), u"\\windows\\caps.vxs");
    EXPECT_EQ(kbd.m_nSwipeMode, 1u) << "swipe-only skin";

    SetString(kSkinValue, u"big");
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_EQ(kbd.m_SkinPath, u"\\windows\\caps.vxs") << "big is not valid on this screen";
}

// No skin files, or none valid: Init succeeds with the notice and no keys.
TEST_F(KeyboardSkins, NoUsableSkin) {
    m_trace.clear();
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_TRUE(kbd.m_bNoSkin);
    EXPECT_NE(m_trace.find("No valid skins"), std::string::npos);
    Install("vga.vxs", u"\\Windows\\big.vxs");
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_TRUE(kbd.m_bNoSkin);
    EXPECT_EQ(kbd.GetKeyIndex(8, 24, TRUE), -1);
    EXPECT_FALSE(String(kSkinValue).has_value());
}

// Re-initialising keeps the language and clears every other state; the character table follows
// the skin's second language up and down.
TEST_F(KeyboardSkins, ReinitKeepsLanguageAndRebuildsTable) {
    Install("alpha.vxs", u"\\Windows\\alpha.vxs");
    Install("beta.vxs", u"\\Windows\\beta.vxs");
    SetString(kSkinValue, u"beta");
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_EQ(kbd.m_nLastChar, 229);
    EXPECT_EQ(kbd.m_Charset[229].wc[4], 0x400 + 159);
    kbd.m_stKbStatus = KbStatus{true, true, true, false, true, true};
    SetString(kSkinValue, u"alpha");
    ASSERT_TRUE(kbd.Init(320, 240));
    EXPECT_EQ(kbd.m_stKbStatus, (KbStatus{false, false, false, false, false, false}));
    EXPECT_EQ(kbd.m_nLastChar, 221);
    EXPECT_EQ(kbd.m_Charset[79].wc[5], 0x509);
    EXPECT_EQ(kbd.m_Charset[80].wc[5], 0);
}

// Each setting counts only with the type it is written with, or that type's expandable twin:
// "Skin" as REG_EXPAND_SZ is kept, "UserSkins" as a plain REG_SZ and "Swipe" or "ExtSym" as
// text count as missing.
TEST_F(KeyboardSkins, SettingsCountOnlyWithTheirOwnType) {
    Install("alpha.vxs", u"\\Windows\\alpha.vxs");
    Install("beta.vxs", u"\\Windows\\beta.vxs");
    SetString(kSkinValue, u"beta", REG_EXPAND_SZ);
    SetString(kSwipeValue, u"0", REG_SZ);
    SetString(kExtSymValue, u"0", REG_SZ);
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_EQ(kbd.m_SkinPath, u"beta");
    EXPECT_EQ(kbd.m_SkinFile, u"\\windows\\beta.vxs");
    EXPECT_EQ(String(kSkinValue), u"beta") << "an expandable Skin is not overwritten";
    EXPECT_EQ(Dword(kSwipeValue), 1u) << "a text Swipe counts as missing";
    EXPECT_TRUE(kbd.m_bExtSym);

    ASSERT_EQ(m_device->Files().MountStorage(u"\\Storage Card"), DWORD(ERROR_SUCCESS));
    Install("beta.vxs", u"\\Storage Card\\mine.vxs");
    SetString(kUserSkinsValue, std::u16string(u"\\Storage Card\\mine.vxs") + u'\0', REG_SZ);
    EXPECT_EQ(kbd.GetSkinList(), (SkinList{u"\\windows\\alpha.vxs", u"\\windows\\beta.vxs"}));
    SetString(kUserSkinsValue, std::u16string(u"\\Storage Card\\mine.vxs") + u'\0', REG_EXPAND_SZ);
    EXPECT_EQ(kbd.GetSkinList().size(), 2u);
}

// "UserSkins" paths of existing files follow the "\windows" skins, in their order; a missing
// file and a wildcard are skipped; ExtSym 0 leaves the extended masks unloaded.
TEST_F(KeyboardSkins, UserSkinsAndExtSym) {
    Install("alpha.vxs", u"\\Windows\\alpha.vxs");
    ASSERT_EQ(m_device->Files().MountStorage(u"\\Storage Card"), DWORD(ERROR_SUCCESS));
    Install("beta.vxs", u"\\Storage Card\\mine.vxs");
    std::u16string multi = std::u16string(u"\\Storage Card\\gone.vxs") + u'\0' + u"\\Storage Card\\*.vxs" + u'\0' +
                           u"\\Storage Card\\mine.vxs" + u'\0' + u'\0' + u"\\Windows\\alpha.vxs" + u'\0';
    SetString(kUserSkinsValue, multi, REG_MULTI_SZ);
    EXPECT_EQ(kbd.GetSkinList(), (SkinList{u"\\windows\\alpha.vxs", u"\\Storage Card\\mine.vxs"}));

    SetString(kSkinValue, u"mine");
    SetDword(kExtSymValue, 0);
    ASSERT_TRUE(kbd.Init(240, 320));
    EXPECT_EQ(kbd.m_SkinFile, u"\\Storage Card\\mine.vxs");
    EXPECT_FALSE(kbd.m_bExtSym);
    EXPECT_EQ(kbd.m_hUml1SmlKbMask, nullptr);
}

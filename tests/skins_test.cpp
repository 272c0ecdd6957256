// The shipped skins, checked as the keyboard engine reads them (through the platform's library,
// resource and bitmap calls on a fresh image), and the skin maker's own promises: the record
// formats it writes and the inputs it refuses.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "test_image.h"
#include "host/gdi/bitmap.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

const DWORD kSentinel = 0xDEADBEEF;
constexpr int kEngineEntries = 222;  // digit block, function block and "charset_en"
constexpr int kFirstChar = 70;

struct ShippedSkin {
    const char* file;
    int screenWidth;  // the portrait screen the skin is made for
    int screenHeight;
    bool capsKey;
    bool swipeOnly;
};

void PrintTo(const ShippedSkin& skin, std::ostream* os) { *os << skin.file; }

const ShippedSkin kShippedSkins[] = {
    {"Classic.vxs", 240, 320, false, false},
    {"Capslock.vxs", 240, 320, true, true},
    {"Grande.vxs", 480, 640, false, false},
};

const char16_t* const kLetterMasks[] = {u"LANG1_SMALL_MASK", u"LANG1_LARGE_MASK", u"LANG2_SMALL_MASK",
                                        u"LANG2_LARGE_MASK", u"UML1_SMALL_MASK",  u"UML1_LARGE_MASK",
                                        u"UML2_SMALL_MASK",  u"UML2_LARGE_MASK"};

struct Record {
    int entry, left, top, right, bottom;
};

std::vector<uint8_t> ReadHostFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

std::vector<Record> ParseLayout(const std::vector<uint8_t>& bytes) {
    std::vector<Record> records;
    auto be = [&](size_t at) { return (bytes[at] << 8) | bytes[at + 1]; };
    for (size_t at = 0; at + 16 <= bytes.size(); at += 16)
        records.push_back({be(at), be(at + 4), be(at + 6), be(at + 8), be(at + 10)});
    return records;
}

class SkinsShipped : public ImageTestBase<::testing::TestWithParam<ShippedSkin>> {
protected:
    void SetUp() override {
        ImageTestBase::SetUp();
        fs::create_directories(m_device->StoreRoot() / "Windows");
        m_hostFile = fs::path(VX_SKINS_DIR) / GetParam().file;
        m_devicePath = u"\\Windows\\" + FromUtf8(GetParam().file);
        InstallFile(m_hostFile, m_devicePath);
        m_module = LoadLibraryExW(m_devicePath.c_str(), nullptr, 0);
        ASSERT_NE(m_module, nullptr) << "LoadLibraryExW error " << GetLastError();
    }
    void TearDown() override {
        if (m_module) FreeLibrary(m_module);
        ImageTestBase::TearDown();
    }

    std::optional<std::vector<uint8_t>> Data(const char16_t* name, LPCWSTR type = u"RC_DATA") {
        HRSRC found = FindResourceW(m_module, name, type);
        if (!found) return std::nullopt;
        DWORD size = SizeofResource(m_module, found);
        auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(m_module, found)));
        if (!bytes) return std::nullopt;
        return std::vector<uint8_t>(bytes, bytes + size);
    }
    std::vector<Record> Layout(const char16_t* name) {
        auto bytes = Data(name);
        return bytes ? ParseLayout(*bytes) : std::vector<Record>{};
    }
    // Width, height and depth of a bitmap resource; bmWidth stays at the sentinel when loading fails.
    BITMAP Bitmap(const char16_t* name) {
        BITMAP bm;
        std::memset(&bm, 0xEF, sizeof bm);
        bm.bmWidth = static_cast<LONG>(kSentinel);
        HBITMAP handle = LoadBitmapW(m_module, name);
        if (!handle) return bm;
        EXPECT_EQ(GetObjectW(handle, sizeof bm, &bm), static_cast<int>(sizeof bm));
        DeleteObject(handle);
        return bm;
    }
    // The entries of layout whose rectangles hold at least one label pixel of the mask, and
    // whether every label pixel lies inside some rectangle.
    std::map<int, int> LabelPixelsPerEntry(const char16_t* mask, const std::vector<Record>& layout, bool* allInside) {
        std::map<int, int> counts;
        *allInside = true;
        HBITMAP handle = LoadBitmapW(m_module, mask);
        const host::Bitmap* bitmap = host::BitmapFromHandle(handle);
        if (!bitmap) {
            *allInside = false;
            return counts;
        }
        for (int y = 0; y < bitmap->Height(); ++y)
            for (int x = 0; x < bitmap->Width(); ++x) {
                if (bitmap->Pixel(x, y) != 0) continue;  // a white bit lets the image show
                bool inside = false;
                for (const Record& r : layout)
                    if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) {
                        ++counts[r.entry];
                        inside = true;
                        break;
                    }
                *allInside = *allInside && inside;
            }
        DeleteObject(handle);
        return counts;
    }
    int EntryLimit() {
        auto locale = Data(u"LOCALE_CHARSET");
        int records = locale && locale->size() >= 2 ? static_cast<int>((locale->size() - 2) / 8) : 0;
        return std::max(kEngineEntries, kFirstChar + records);
    }

    fs::path m_hostFile;
    std::u16string m_devicePath;
    HMODULE m_module = nullptr;
};

// A skin carries every resource the engine loads for both orientations; its data resources are
// of the string-named type "RC_DATA", not the numbered RT_RCDATA.
TEST_P(SkinsShipped, CarriesEveryResourceTheEngineLoads) {
    for (const char16_t* name : {u"char_keyboard_bitmap", u"LANSCAPE_KEYBOARD_BITMAP", u"digit_keyboard_bitmap",
                                 u"DIGIT_MASK"})
        EXPECT_NE(Bitmap(name).bmWidth, static_cast<LONG>(kSentinel)) << ToUtf8(name);
    for (const char16_t* mask : kLetterMasks) {
        EXPECT_NE(Bitmap(mask).bmWidth, static_cast<LONG>(kSentinel)) << ToUtf8(mask);
        EXPECT_NE(Bitmap((std::u16string(mask) + u"_LS").c_str()).bmWidth, static_cast<LONG>(kSentinel))
            << ToUtf8(mask) << "_LS";
    }
    for (const char16_t* name : {u"CHAR_LAYOUT_STRUCT", u"LNDSCP_LAYOUT_STRUCT", u"DIGIT_LAYOUT_STRUCT",
                                 u"LOCALE_CHARSET", u"CAPS_RECT"}) {
        EXPECT_TRUE(Data(name).has_value()) << ToUtf8(name);
        EXPECT_EQ(FindResourceW(m_module, name, RT_RCDATA), nullptr) << ToUtf8(name);
    }
    EXPECT_EQ(Data(u"SWIPE_ONLY").has_value(), GetParam().swipeOnly);
    ASSERT_TRUE(Data(u"CAPS_RECT").has_value());
    EXPECT_EQ(Data(u"CAPS_RECT")->size(), 16u);
}

// Images are as high as the panel: a quarter of the screen height in portrait, a third in
// landscape; each mask has its image's size and one bit per pixel; images are 24-bit.
TEST_P(SkinsShipped, ImagesFitThePanelAndMasksMatchTheirImage) {
    const int w = GetParam().screenWidth, h = GetParam().screenHeight;
    BITMAP portrait = Bitmap(u"char_keyboard_bitmap");
    BITMAP landscape = Bitmap(u"LANSCAPE_KEYBOARD_BITMAP");
    BITMAP digits = Bitmap(u"digit_keyboard_bitmap");
    EXPECT_EQ(portrait.bmWidth, w);
    EXPECT_EQ(portrait.bmHeight, h / 4);
    EXPECT_EQ(landscape.bmWidth, h);
    EXPECT_EQ(landscape.bmHeight, w / 3);
    EXPECT_EQ(digits.bmWidth, w);
    EXPECT_EQ(digits.bmHeight, h / 4);
    for (const BITMAP& image : {portrait, landscape, digits}) EXPECT_EQ(image.bmBitsPixel, 24);

    auto sameSize = [&](const char16_t* mask, const BITMAP& image) {
        BITMAP m = Bitmap(mask);
        EXPECT_EQ(m.bmWidth, image.bmWidth) << ToUtf8(mask);
        EXPECT_EQ(m.bmHeight, image.bmHeight) << ToUtf8(mask);
        EXPECT_EQ(m.bmBitsPixel, 1) << ToUtf8(mask);
    };
    for (const char16_t* mask : kLetterMasks) {
        sameSize(mask, portrait);
        sameSize((std::u16string(mask) + u"_LS").c_str(), landscape);
    }
    sameSize(u"DIGIT_MASK", digits);
}

// Every record names an entry of the table, lies inside its image, and no two keys overlap
// (where they would, the lower entry index silently takes the pen).
TEST_P(SkinsShipped, LayoutRecordsNameTableEntriesInsideTheImage) {
    const int limit = EntryLimit();
    struct Case {
        const char16_t* layout;
        const char16_t* image;
    };
    for (Case c : {Case{u"CHAR_LAYOUT_STRUCT", u"char_keyboard_bitmap"},
                   Case{u"LNDSCP_LAYOUT_STRUCT", u"LANSCAPE_KEYBOARD_BITMAP"},
                   Case{u"DIGIT_LAYOUT_STRUCT", u"digit_keyboard_bitmap"}}) {
        SCOPED_TRACE(ToUtf8(c.layout));
        auto bytes = Data(c.layout);
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(bytes->size() % 16, 0u);
        std::vector<Record> records = ParseLayout(*bytes);
        ASSERT_FALSE(records.empty());
        BITMAP image = Bitmap(c.image);
        for (const Record& r : records) {
            EXPECT_TRUE(r.entry >= 0 && r.entry < limit) << r.entry;
            EXPECT_TRUE(r.left <= r.right && r.right < image.bmWidth) << r.entry;
            EXPECT_TRUE(r.top <= r.bottom && r.bottom < image.bmHeight) << r.entry;
        }
        for (size_t i = 0; i < records.size(); ++i)
            for (size_t j = i + 1; j < records.size(); ++j) {
                const Record &a = records[i], &b = records[j];
                bool overlap = a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
                EXPECT_FALSE(overlap) << a.entry << " and " << b.entry;
            }
    }
}

// The letter layouts carry the CAPS key (entry 50) exactly in skins made with one, and the
// digit keyboard carries the Digit key (entry 52) to go back.
TEST_P(SkinsShipped, StatusKeysMatchTheSkinsKind) {
    auto has = [](const std::vector<Record>& records, int entry) {
        for (const Record& r : records)
            if (r.entry == entry) return true;
        return false;
    };
    for (const char16_t* layout : {u"CHAR_LAYOUT_STRUCT", u"LNDSCP_LAYOUT_STRUCT"}) {
        std::vector<Record> records = Layout(layout);
        EXPECT_EQ(has(records, 50), GetParam().capsKey) << ToUtf8(layout);
        for (int status : {48, 49, 51, 52, 53}) EXPECT_TRUE(has(records, status)) << ToUtf8(layout) << " " << status;
    }
    EXPECT_TRUE(has(Layout(u"DIGIT_LAYOUT_STRUCT"), 52));
}

// CAPS_RECT (four little-endian integers) covers exactly the digit row of the portrait
// keyboard: the digits, "-", "=" (entries 70 to 81) and Backspace (55).
TEST_P(SkinsShipped, CapsRectCoversTheDigitRow) {
    auto bytes = Data(u"CAPS_RECT");
    ASSERT_TRUE(bytes && bytes->size() >= 16);
    int left = static_cast<int32_t>(Le32(*bytes, 0)), top = static_cast<int32_t>(Le32(*bytes, 4));
    int right = static_cast<int32_t>(Le32(*bytes, 8)), bottom = static_cast<int32_t>(Le32(*bytes, 12));
    for (const Record& r : Layout(u"CHAR_LAYOUT_STRUCT")) {
        bool inside = r.left >= left && r.right < right && r.top >= top && r.bottom < bottom;
        bool digitRow = (r.entry >= 70 && r.entry <= 81) || r.entry == 55;
        EXPECT_EQ(inside, digitRow) << "entry " << r.entry;
    }
}

// The second language is Russian on the keys of the standard Russian layout, and no key of the
// 60-entry arrangement types character 0 in a language-2 state.
TEST_P(SkinsShipped, SecondLanguageIsRussianOnTheStandardKeys) {
    auto bytes = Data(u"LOCALE_CHARSET");
    ASSERT_TRUE(bytes.has_value());
    ASSERT_EQ((bytes->size() - 2) % 8, 0u);
    ASSERT_GE(bytes->size(), 2u + 8 * 60);
    auto word = [&](int entry, int w) { return static_cast<char16_t>(Le16(*bytes, 2 + 8 * (entry - kFirstChar) + 2 * w)); };
    const std::pair<int, char16_t> keys[] = {{82, u'й'}, {88, u'г'}, {93, u'ъ'}, {94, u'ф'}, {103, u'ж'},
                                             {104, u'э'}, {105, u'я'}, {112, u'б'}, {113, u'ю'}, {115, u'ё'}};
    for (auto [entry, small] : keys) {
        EXPECT_EQ(word(entry, 0), small) << entry;
        EXPECT_EQ(word(entry, 1), towupper16(small)) << entry;
    }
    EXPECT_EQ(word(72, 1), u'№');
    for (int entry = kFirstChar; entry < kFirstChar + 60; ++entry)
        for (int w = 0; w < 4; ++w) EXPECT_NE(word(entry, w), 0) << entry << " word " << (4 + w);
}

// Every key shows a label in every state, and labels never spill outside the keys.
TEST_P(SkinsShipped, EveryKeyIsLabelledInEveryMask) {
    struct Case {
        const char16_t* layout;
        std::u16string mask;
    };
    std::vector<Case> cases = {{u"DIGIT_LAYOUT_STRUCT", u"DIGIT_MASK"}};
    for (const char16_t* mask : kLetterMasks) {
        cases.push_back({u"CHAR_LAYOUT_STRUCT", mask});
        cases.push_back({u"LNDSCP_LAYOUT_STRUCT", std::u16string(mask) + u"_LS"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.mask));
        std::vector<Record> layout = Layout(c.layout);
        bool allInside = false;
        std::map<int, int> counts = LabelPixelsPerEntry(c.mask.c_str(), layout, &allInside);
        EXPECT_TRUE(allInside);
        for (const Record& r : layout) EXPECT_GT(counts[r.entry], 0) << "entry " << r.entry;
    }
}

// A device loads the file only as an ARM library for the Windows CE subsystem.
TEST_P(SkinsShipped, PeHeaderNamesArmAndWindowsCe) {
    std::vector<uint8_t> file = ReadHostFile(m_hostFile);
    ASSERT_GE(file.size(), 0x40u);
    ASSERT_EQ(file[0], 'M');
    uint32_t pe = Le32(file, 0x3C);
    ASSERT_LE(pe + 24 + 70, file.size());
    ASSERT_EQ(Le32(file, pe), 0x00004550u);  // "PE\0\0"
    EXPECT_EQ(Le16(file, pe + 4), 0x01C0u);
    EXPECT_NE(Le16(file, pe + 22) & 0x2000, 0u);  // IMAGE_FILE_DLL
    EXPECT_EQ(Le16(file, pe + 24), 0x10Bu);       // PE32
    EXPECT_EQ(Le16(file, pe + 24 + 68), 9u);      // IMAGE_SUBSYSTEM_WINDOWS_CE_GUI
}

INSTANTIATE_TEST_SUITE_P(Skins, SkinsShipped, ::testing::ValuesIn(kShippedSkins),
                         [](const ::testing::TestParamInfo<ShippedSkin>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

// The options dialog finds the file of a chosen title as a part of its path, so one sample skin
// whose title held another's would be checked and stored in its place.
TEST(SkinsShippedTogether, NoTitleIsPartOfAnother) {
    for (const ShippedSkin& a : kShippedSkins)
        for (const ShippedSkin& b : kShippedSkins) {
            const std::string title = std::string(a.file).substr(0, std::string(a.file).rfind('.'));
            if (&a == &b) continue;
            EXPECT_EQ(std::string(b.file).find(title), std::string::npos) << title << " in " << b.file;
        }
}

// The skin maker run as a build runs it, on descriptions written by the test.
class SkinsMaker : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vx_skinmaker_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs skinmaker with args; returns its exit status and keeps its standard error.
    int Run(const std::string& args) {
        std::string command = std::string("'") + VX_SKINMAKER + "' " + args + " 2>'" + (m_dir / "stderr").string() + "'";
        int status = std::system(command.c_str());
        std::ifstream in(m_dir / "stderr");
        m_stderr.assign(std::istreambuf_iterator<char>(in), {});
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Build(const std::string& description) {
        std::ofstream(m_dir / "test.skin") << description;
        return Run("build '" + (m_dir / "test.skin").string() + "' --tables '" VX_SOURCE_DIR "/keyboard/res' --font '" +
                   VX_SKIN_FONT + "' --out '" + (m_dir / "out").string() + "' --name test");
    }

    fs::path m_dir;
    std::string m_stderr;
};

const char kTinySkin[] = R"(keyboard portrait 32 32
row 16  82 83
row 16  Shift:32
keyboard digits 32 16
row 16  38 Digit
lang2 82 й Й ё Ё
caps-rect 0 0 32 16
)";

// Layout records are big-endian with inclusive right and bottom edges; a gap makes no record;
// LOCALE_CHARSET starts with two header bytes and holds one little-endian record per entry
// from 70; CAPS_RECT is four little-endian integers.
TEST_F(SkinsMaker, WritesTheEnginesRecordFormats) {
    ASSERT_EQ(Build(kTinySkin), 0) << m_stderr;
    const std::vector<uint8_t> layout = {
        0, 82, 0, 0, 0, 0,  0,  0,  0, 15, 0, 15, 0, 0, 0, 0,   // q
        0, 83, 0, 0, 0, 16, 0,  0,  0, 31, 0, 15, 0, 0, 0, 0,   // w
        0, 48, 0, 0, 0, 0,  0,  16, 0, 31, 0, 31, 0, 0, 0, 0};  // Shift
    EXPECT_EQ(ReadHostFile(m_dir / "out" / "char_layout_struct.bin"), layout);
    std::vector<uint8_t> locale = ReadHostFile(m_dir / "out" / "locale_charset.bin");
    ASSERT_EQ(locale.size(), 2u + 8 * 13);
    EXPECT_EQ(Le16(locale, 2), 0u);  // entry 70 keeps zeros
    EXPECT_EQ(Le16(locale, 2 + 8 * 12), 0x0439u);
    EXPECT_EQ(Le16(locale, 2 + 8 * 12 + 6), 0x0401u);
    std::vector<uint8_t> caps = ReadHostFile(m_dir / "out" / "caps_rect.bin");
    ASSERT_EQ(caps.size(), 16u);
    EXPECT_EQ(Le32(caps, 8), 32u);
    EXPECT_EQ(Le32(caps, 12), 16u);
    EXPECT_FALSE(fs::exists(m_dir / "out" / "swipe_only.bin"));
    EXPECT_FALSE(fs::exists(m_dir / "out" / "lndscp_layout_struct.bin"));
}

// Masks are bottom-up 1-bit BMPs of the image's size: black (0) bits are label pixels, found
// on the key they label and nowhere else, and the small and capital masks differ.
TEST_F(SkinsMaker, MasksHoldLabelsOnTheirKeys) {
    ASSERT_EQ(Build("keyboard portrait 32 32\nrow 16 82 gap\nrow 16 gap 83\n"
                    "keyboard digits 16 16\nrow 16 Digit\n"),
              0)
        << m_stderr;
    std::vector<uint8_t> bmp = ReadHostFile(m_dir / "out" / "lang1_small_mask.bmp");
    ASSERT_GE(bmp.size(), 62u + 32 * 4);
    EXPECT_EQ(Le32(bmp, 18), 32u);
    EXPECT_EQ(Le32(bmp, 22), 32u);
    EXPECT_EQ(Le16(bmp, 28), 1u);
    const uint32_t offset = Le32(bmp, 10);
    int quadrant[2][2] = {};  // [bottom half][right half]
    for (int y = 0; y < 32; ++y) {
        const uint8_t* row = bmp.data() + offset + (31 - y) * 4;
        for (int x = 0; x < 32; ++x)
            if (!(row[x / 8] & (0x80 >> (x % 8)))) ++quadrant[y / 16][x / 16];
    }
    EXPECT_GT(quadrant[0][0], 0);  // q, top left
    EXPECT_GT(quadrant[1][1], 0);  // w, bottom right
    EXPECT_EQ(quadrant[0][1], 0);
    EXPECT_EQ(quadrant[1][0], 0);
    EXPECT_NE(bmp, ReadHostFile(m_dir / "out" / "lang1_large_mask.bmp"));
}

// A description with a fault is refused with its file and line and exit status 1, and nothing
// is written.
TEST_F(SkinsMaker, RefusesFaultyDescriptionsWithTheirLine) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"keyboard portrait 32 16\nrow 16 82 83 84\n", "test.skin:2: the row is 48 px wide, the keyboard 32 px"},
        {"keyboard portrait 32 16\nrow 16 82 Hyper\n", "test.skin:2: 'Hyper' is neither"},
        {"keyboard portrait 32 16\nrow 16 82 222\nkeyboard digits 16 16\nrow 16 0\n", "test.skin:2: entry 222 is not in the table"},
        {"lang2 69 a b c d\n", "test.skin:1: lang2 entry '69' is not a character entry"},
        {"lang2 82 ab b c d\n", "test.skin:1: 'ab' is not one character"},
        {"keyboard portrait 16 16\nrow 16 82\n", "no 'keyboard digits' section"},
        {"keyboard portrait 16 32\nrow 16 82\nkeyboard digits 16 16\nrow 16 0\n", "rows are 16 px high, the keyboard 32 px"},
        {"include missing.inc\n", "missing.inc: cannot open"},
        {"row 16 82\n", "test.skin:1: a row must follow a 'keyboard' line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Build(c.text), 1);
        EXPECT_NE(m_stderr.find(c.reason), std::string::npos) << m_stderr;
        EXPECT_FALSE(fs::exists(m_dir / "out" / "test.rc"));
    }
    EXPECT_EQ(Run("build"), 2);
}

// set-machine-arm changes the two machine bytes of a PE file and nothing else, and refuses a
// file that is not PE without touching it.
TEST_F(SkinsMaker, SetMachineArmPatchesOnlyPeFiles) {
    std::vector<uint8_t> original = ReadHostFile(fs::path(VX_SKINS_DIR) / "Classic.vxs");
    ASSERT_GT(original.size(), 0x200u);
    uint32_t pe = Le32(original, 0x3C);
    std::vector<uint8_t> i386 = original;
    i386[pe + 4] = 0x4C;
    i386[pe + 5] = 0x01;
    fs::path file = m_dir / "x.vxs";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(i386.data()), i386.size());
    EXPECT_EQ(Run("set-machine-arm '" + file.string() + "'"), 0) << m_stderr;
    EXPECT_EQ(ReadHostFile(file), original);

    std::vector<uint8_t> noSignature = i386;
    noSignature[pe] = 'X';
    for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>(600, 0xEF), noSignature}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bad.data()), bad.size());
        EXPECT_EQ(Run("set-machine-arm '" + file.string() + "'"), 1);
        EXPECT_NE(m_stderr.find("not a PE file"), std::string::npos) << m_stderr;
        EXPECT_EQ(ReadHostFile(file), bad);
    }
}

// A label too large for its key is left off with a warning naming it; the skin is still made.
// With --vxs the same command compiles and links the finished library, marked as ARM.
TEST_F(SkinsMaker, WarnsOfLabelsThatDoNotFitAndLinksTheLibrary) {
    std::ofstream(m_dir / "test.skin") << "keyboard portrait 32 32\nrow 16  82 83\nrow 16  Shift:32\n"
                                          "keyboard digits 32 16\nrow 16  38 Ctrl:4 Digit:12\n";
    const fs::path vxs = m_dir / "test.vxs";
    ASSERT_EQ(Run("build '" + (m_dir / "test.skin").string() + "' --tables '" VX_SOURCE_DIR "/keyboard/res' --font '" +
                  VX_SKIN_FONT + "' --out '" + (m_dir / "out").string() + "' --name test --vxs '" + vxs.string() +
                  "' --windres '" VX_WINDRES_I686 "' --ld '" VX_LD_I686 "' --cpp '" VX_CPP "'"),
              0)
        << m_stderr;
    EXPECT_NE(m_stderr.find("warning: " + (m_dir / "test.skin").string() +
                            ": label \"Ctrl\" of entry 49 on the digit keyboard does not fit its key (4x16 pixels)"),
              std::string::npos)
        << m_stderr;
    EXPECT_EQ(m_stderr.find("Shift"), std::string::npos) << m_stderr;
    const std::vector<uint8_t> library = ReadHostFile(vxs);
    ASSERT_GT(library.size(), 0x100u);
    EXPECT_EQ(library[0], 'M');
    const uint32_t pe = Le32(library, 0x3C);
    ASSERT_LT(pe + 6, library.size());
    EXPECT_EQ(Le16(library, pe + 4), 0x01C0u);

    EXPECT_EQ(Run("build '" + (m_dir / "test.skin").string() + "' --tables '" VX_SOURCE_DIR "/keyboard/res' --font '" +
                  VX_SKIN_FONT + "' --out '" + (m_dir / "out").string() + "' --vxs '" + vxs.string() +
                  "' --windres /nonexistent/windres"),
              1);
    EXPECT_NE(m_stderr.find("cannot run /nonexistent/windres"), std::string::npos) << m_stderr;
}

}  // namespace

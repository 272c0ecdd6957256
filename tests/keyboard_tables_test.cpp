// The keyboard's data readers on plain bytes: layout records, the CAPS rectangle and the
// character table with its second language.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "charset_table.h"
#include "keyboard_fixtures.h"
#include "layout_table.h"

using namespace keyboard;

using kbdtest::LayoutBytes;
using kbdtest::LocaleBytes;
using Sources = kbdtest::EngineSources;

// Records are 16 bytes; a shorter resource holds none and a trailing remainder is ignored.
TEST(KeyboardLayoutRecords, CountIsSizeOverSixteen) {
    std::vector<uint8_t> two = LayoutBytes({{70, 0, 0, 0, 15, 15}, {82, 0, 0, 16, 15, 31}});
    two.resize(40, 0xAA);
    LayoutTable table;
    EXPECT_EQ(ReadLayoutRecords(two, table).records, 2u);
    EXPECT_EQ(table.Size(), 2u);

    LayoutTable empty;
    std::vector<uint8_t> fifteen(two.begin(), two.begin() + 15);
    EXPECT_EQ(ReadLayoutRecords(fifteen, empty).records, 0u);
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(ReadLayoutRecords({}, empty).records, 0u);
}

// Fields are big-endian; the rectangle and bitmap number come from their offsets.
TEST(KeyboardLayoutRecords, FieldsAreBigEndian) {
    LayoutTable table;
    ReadLayoutRecords(LayoutBytes({{0x0152, 0x0102, 0x0103, 0x0104, 0x0205, 0x0306}}), table);
    const LayoutEntry* entry = table.Find(0x152);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->m_nBitmap, 0x0102u);
    ASSERT_EQ(entry->m_Rect.size(), 1u);
    EXPECT_TRUE(SameRect(entry->m_Rect[0], RECT{0x103, 0x104, 0x205, 0x306}));
}

// Records with one index make one key of several rectangles; the later bitmap number wins.
TEST(KeyboardLayoutRecords, DuplicateIndexAppendsRectangles) {
    LayoutTable table;
    ReadLayoutRecords(LayoutBytes({{57, 1, 32, 64, 127, 79}, {70, 0, 0, 0, 15, 15}, {57, 2, 128, 64, 159, 79}}), table);
    const LayoutEntry* space = table.Find(57);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->m_nBitmap, 2u);
    ASSERT_EQ(space->m_Rect.size(), 2u);
    EXPECT_TRUE(SameRect(space->m_Rect[0], RECT{32, 64, 127, 79}));
    EXPECT_TRUE(SameRect(space->m_Rect[1], RECT{128, 64, 159, 79}));
    EXPECT_EQ(table.HitTest(140, 70), 57);
}

// Entry 50 in a layout is the CAPS key.
TEST(KeyboardLayoutRecords, IndexFiftyMarksCapsKey) {
    LayoutTable with, without;
    EXPECT_TRUE(ReadLayoutRecords(LayoutBytes({{82, 0, 0, 0, 9, 9}, {50, 0, 10, 0, 19, 9}}), with).hasCapsKey);
    EXPECT_FALSE(ReadLayoutRecords(LayoutBytes({{82, 0, 0, 0, 9, 9}, {51, 0, 10, 0, 19, 9}}), without).hasCapsKey);
}

// All four bounds count; overlapping rectangles resolve to the lower entry index, whatever the
// record order; no rectangle gives -1.
TEST(KeyboardHitTest, InclusiveBoundsAndLowestIndexWins) {
    LayoutTable table;
    ReadLayoutRecords(LayoutBytes({{84, 0, 200, 0, 239, 40}, {80, 0, 220, 20, 239, 60}, {82, 0, 0, 16, 15, 31}}),
                      table);
    EXPECT_EQ(table.HitTest(0, 16), 82);
    EXPECT_EQ(table.HitTest(15, 31), 82);
    EXPECT_EQ(table.HitTest(16, 31), -1);
    EXPECT_EQ(table.HitTest(0, 15), -1);
    EXPECT_EQ(table.HitTest(230, 30), 80);
    EXPECT_EQ(table.HitTest(210, 10), 84);
    EXPECT_EQ(table.HitTest(-1, -1), -1);
    table.Add(10, 0, RECT{0, 0, 300, 300});
    EXPECT_EQ(table.HitTest(230, 30), 10) << "a key added later must join the hit test";
}

// CAPS_RECT is four signed little-endian integers; shorter than 16 bytes it is absent.
TEST(KeyboardCapsRect, SignedLittleEndianOrAbsent) {
    std::vector<uint8_t> bytes = {0xFE, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0x80, 0, 0, 0, 0x10, 0x01, 0, 0};
    auto rect = ReadCapsRect(bytes);
    ASSERT_TRUE(rect.has_value());
    EXPECT_TRUE(SameRect(*rect, RECT{-2, 2, 128, 272}));
    bytes.pop_back();
    EXPECT_FALSE(ReadCapsRect(bytes).has_value());
}

// The three blocks follow each other; function codes are read big-endian; words 4-7 start zero.
TEST(KeyboardCharset, BlocksAndMarks) {
    Sources s;
    std::vector<CharsetEntry> table;
    CharsetMarks marks = BuildCharset(s.Spans(), table);
    EXPECT_EQ(marks.m_nLastDigit, 47);
    EXPECT_EQ(marks.m_nFirstFunc, 48);
    EXPECT_EQ(marks.m_nLastFunc, 69);
    EXPECT_EQ(marks.m_nFirstChar, 70);
    EXPECT_EQ(marks.m_nLastChar, 221);
    ASSERT_EQ(table.size(), 222u);
    for (WCHAR w : table[48].wc) EXPECT_EQ(w, 0xF000);
    for (WCHAR w : table[5].wc) EXPECT_EQ(w, u'5');
    EXPECT_EQ(table[70].wc[0], u'1');
    EXPECT_EQ(table[70].wc[3], 0xBF);
    EXPECT_EQ(table[70].wc[4], 0);
    EXPECT_EQ(table[70].Pair(0), 0x00210031u);
    EXPECT_EQ(table[82].Pair(1), 0x00C000E0u);
}

// The second language fills words 4-7 from the first character entry on: 10 records fill 70-79
// only; 152 all; 160 add entries 222-229 with zero words 0-3.
TEST(KeyboardCharset, SecondLanguageFillsAndGrows) {
    Sources s;
    std::vector<CharsetEntry> table;

    s.locale = LocaleBytes(10);
    EXPECT_EQ(BuildCharset(s.Spans(), table).m_nLastChar, 221);
    EXPECT_EQ(table[79].wc[4], 0x409);
    EXPECT_EQ(table[79].wc[7], 0x709);
    EXPECT_EQ(table[80].wc[4], 0);

    s.locale = LocaleBytes(152);
    EXPECT_EQ(BuildCharset(s.Spans(), table).m_nLastChar, 221);
    EXPECT_EQ(table[221].wc[5], 0x500 + 151);

    s.locale = LocaleBytes(160);
    CharsetMarks marks = BuildCharset(s.Spans(), table);
    EXPECT_EQ(marks.m_nLastChar, 229);
    ASSERT_EQ(table.size(), 230u);
    EXPECT_EQ(table[229].wc[0], 0);
    EXPECT_EQ(table[229].wc[3], 0);
    EXPECT_EQ(table[229].wc[6], 0x600 + 159);

    // A rebuild with a smaller second language keeps nothing of the larger one.
    s.locale = LocaleBytes(10);
    EXPECT_EQ(BuildCharset(s.Spans(), table).m_nLastChar, 221);
    ASSERT_EQ(table.size(), 222u);
    EXPECT_EQ(table[100].wc[4], 0);
}

// Missing resources leave their blocks empty; a second language shorter than its header adds
// nothing.
TEST(KeyboardCharset, MissingResourcesLeaveBlocksEmpty) {
    Sources s;
    std::vector<CharsetEntry> table(5);
    CharsetSources spans = s.Spans();
    spans.funcset = {};
    spans.localeCharset = std::span<const uint8_t>(s.digits.data(), 1);
    CharsetMarks marks = BuildCharset(spans, table);
    EXPECT_EQ(marks.m_nLastDigit, 47);
    EXPECT_EQ(marks.m_nFirstFunc, 48);
    EXPECT_EQ(marks.m_nLastFunc, 47);
    EXPECT_EQ(marks.m_nFirstChar, 48);
    EXPECT_EQ(table.size(), 48u + 152u);
    EXPECT_FALSE(IsFunctionalKeyCode(table, marks, 0xF011)) << "no function block, no function key";

    marks = BuildCharset(CharsetSources{}, table);
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(marks.m_nLastChar, -1);
}

// The classification tests answer false on a table of fewer than 11 entries.
TEST(KeyboardCharset, ClassificationNeedsElevenEntries) {
    Sources s;
    std::vector<CharsetEntry> table;
    CharsetMarks marks = BuildCharset(s.Spans(), table);
    EXPECT_TRUE(IsStatusKeyCode(table, 0xF005));
    EXPECT_FALSE(IsStatusKeyCode(table, 0xF006));
    EXPECT_TRUE(IsFunctionalKeyCode(table, marks, 0xF000));
    EXPECT_TRUE(IsFunctionalKeyCode(table, marks, 0xF025));
    EXPECT_FALSE(IsFunctionalKeyCode(table, marks, 0xF026));
    EXPECT_TRUE(IsDigitalLineCode(table, u'='));
    EXPECT_TRUE(IsDigitalLineCode(table, 0xF011));
    EXPECT_FALSE(IsDigitalLineCode(table, u'+'));

    table.resize(10);
    EXPECT_FALSE(IsStatusKeyCode(table, 0xF000));
    EXPECT_FALSE(IsDigitalLineCode(table, u'1'));
    EXPECT_FALSE(IsFunctionalKeyCode(table, marks, 0xF010));
}

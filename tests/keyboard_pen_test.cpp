// The engine driven by the pen on plain data: a character table shaped like the engine's, a
// hand-made layout, a recording SIP callback, and recorded capture and invalidation. Each case
// checks the exact callback calls, the status and the pressed-key list.
#include <gtest/gtest.h>

#include "keyboard_fixtures.h"
#include "render_plan.h"

using namespace keyboard;
using kbdtest::RecordingCallback;
using kbdtest::TestKeyboard;
using Calls = std::vector<std::string>;

namespace {

// Key centres of the layout below.
constexpr POINT kOne{8, 8}, kMinus{24, 8}, kBack{220, 8}, kQ{8, 24}, kC{24, 24}, kShift{16, 40}, kCtrl{40, 40},
    kLang{56, 40}, kDigit{72, 40}, kUml{88, 40}, kTwin46{104, 40}, kSpace{80, 72}, kTab{176, 72}, kFar{300, 5},
    kNowhere{230, 60}, kBeyond{230, 40}, kDigit36{8, 8};

class KeyboardPen : public ::testing::Test {
protected:
    void SetUp() override {
        kbdtest::EngineSources sources;
        sources.locale = kbdtest::LocaleBytes(152);
        const CharsetMarks marks = BuildCharset(sources.Spans(), kbd.m_Charset);
        kbd.m_nLastDigit = marks.m_nLastDigit;
        kbd.m_nFirstFunc = marks.m_nFirstFunc;
        kbd.m_nLastFunc = marks.m_nLastFunc;
        kbd.m_nFirstChar = marks.m_nFirstChar;
        kbd.m_nLastChar = marks.m_nLastChar;
        ReadLayoutRecords(kbdtest::LayoutBytes({{70, 0, 0, 0, 15, 15},
                                                {80, 0, 16, 0, 31, 15},
                                                {55, 0, 200, 0, 239, 15},
                                                {82, 0, 0, 16, 15, 31},
                                                {107, 0, 16, 16, 31, 31},
                                                {48, 0, 0, 32, 31, 47},
                                                {49, 0, 32, 32, 47, 47},
                                                {51, 0, 48, 32, 63, 47},
                                                {52, 0, 64, 32, 79, 47},
                                                {53, 0, 80, 32, 95, 47},
                                                {46, 0, 96, 32, 111, 47},
                                                {57, 0, 32, 64, 127, 79},
                                                {57, 0, 128, 64, 159, 79},
                                                {58, 0, 160, 64, 191, 79},
                                                {300, 0, 224, 32, 239, 47}}),
                          kbd.m_CharLayout);
        ReadLayoutRecords(kbdtest::LayoutBytes({{36, 0, 0, 0, 15, 15}, {52, 0, 64, 32, 79, 47}}), kbd.m_DigitLayout);
        kbd.m_CAPSRect = RECT{0, 0, 240, 16};
        kbd.m_bPortrait = true;
        kbd.m_pIMCallback = &sink;
        kbd.GetKeyboardMask();
    }

    void Tap(POINT p) {
        kbd.PressKey(p, &wnd, TRUE);
        kbd.PressKey(p, &wnd, FALSE);
    }
    void Stroke(POINT from, POINT to) {
        kbd.PressKey(from, &wnd, TRUE);
        kbd.MoveMouse(to, &wnd);
        kbd.PressKey(to, &wnd, FALSE);
    }
    POINT Moved(POINT p, LONG dx, LONG dy) { return POINT{p.x + dx, p.y + dy}; }
    const RECT& RectOf(int32_t index) { return kbd.m_CharLayout.Find(index)->m_Rect[0]; }
    bool Pressed(const RECT& r) {
        for (const RECT& p : kbd.m_PressedRects)
            if (SameRect(p, r)) return true;
        return false;
    }

    TestKeyboard kbd;
    RecordingCallback sink;
    HWND wnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000));
};

}  // namespace

// Shift then q: capital Q with the Shift flag, then the Shift latch is released with a key-up
// and its highlight removed.
TEST_F(KeyboardPen, ShiftLatchTypesOneCapital) {
    Tap(kShift);
    EXPECT_EQ(sink.Take(), Calls{"SendVirtualKey 0x10 0x00000000"});
    EXPECT_TRUE(kbd.m_stKbStatus.m_bShift);
    EXPECT_TRUE(Pressed(RectOf(48)));

    Tap(kQ);
    EXPECT_EQ(sink.Take(), (Calls{"SendCharEvents 0x51 0x20000080 U+0051", "SendCharEvents 0x51 0x20010000 U+0051",
                                  "SendVirtualKey 0x10 0x00000002"}));
    EXPECT_FALSE(kbd.m_stKbStatus.m_bShift);
    EXPECT_TRUE(kbd.m_PressedRects.empty());
    EXPECT_FALSE(kbd.captureHeld);
}

// Without a CAPS key a double tap on Shift gives CAPS on, Shift off; Shift then turns CAPS off
// with one key-down and nothing to release it.
TEST_F(KeyboardPen, DoubleTapShiftWithoutCapsKey) {
    Tap(kShift);
    EXPECT_TRUE(kbd.DblPressKey(kShift, &wnd));
    EXPECT_EQ(sink.Take(), (Calls{"SendVirtualKey 0x10 0x00000000", "SendVirtualKey 0x10 0x00000002"}));
    EXPECT_TRUE(kbd.m_stKbStatus.m_bCAPS);
    EXPECT_FALSE(kbd.m_stKbStatus.m_bShift);
    EXPECT_EQ(kbd.m_MaskSelection.main, MaskId::Lng1Large);

    Tap(kShift);
    EXPECT_EQ(sink.Take(), Calls{"SendVirtualKey 0x10 0x00000000"});
    EXPECT_FALSE(kbd.m_stKbStatus.m_bCAPS);
    EXPECT_FALSE(kbd.m_stKbStatus.m_bShift);
    EXPECT_FALSE(kbd.DblPressKey(kQ, &wnd));
}

// With a CAPS key a double tap is never consumed and Shift simply toggles.
TEST_F(KeyboardPen, DoubleTapIgnoredWithCapsKey) {
    kbd.m_bHasCapsKey = true;
    kbd.m_stKbStatus.m_bCAPS = true;
    EXPECT_FALSE(kbd.DblPressKey(kShift, &wnd));
    Tap(kShift);
    EXPECT_TRUE(kbd.m_stKbStatus.m_bShift);
    EXPECT_TRUE(kbd.m_stKbStatus.m_bCAPS);
}

// Digit while Ctrl is latched: digit keyboard on, Ctrl cleared without a VK_CONTROL event; digit
// keys then type word 7 from the digit layout (entry 36 holds "6" in these tables).
TEST_F(KeyboardPen, DigitClearsCtrlWithoutEvent) {
    Tap(kCtrl);
    EXPECT_EQ(sink.Take(), Calls{"SendVirtualKey 0x11 0x00000000"});
    Tap(kDigit);
    EXPECT_TRUE(sink.Take().empty());
    EXPECT_FALSE(kbd.m_stKbStatus.m_bCtrl);
    EXPECT_TRUE(kbd.m_stKbStatus.m_bDigital);
    EXPECT_EQ(kbd.m_MaskSelection.image, KeyboardImage::Digits);
    Tap(kDigit36);
    EXPECT_EQ(sink.Take(), (Calls{"SendCharEvents 0x36 0x00000080 U+0036", "SendCharEvents 0x36 0x00010000 U+0036"}));
}

// Ctrl latched, c: one character event with the Ctrl flags and no key-up, then Ctrl is released.
TEST_F(KeyboardPen, CtrlTypesOneEventThenReleases) {
    Tap(kCtrl);
    sink.Take();
    Tap(kC);
    EXPECT_EQ(sink.Take(), (Calls{"SendCharEvents 0x43 0x40010080 U+0063", "SendVirtualKey 0x11 0x00000002"}));
    EXPECT_FALSE(kbd.m_stKbStatus.m_bCtrl);
}

// Shift+Backspace deletes forward: Shift up, Delete down and up; the latch is then released.
TEST_F(KeyboardPen, ShiftBackspaceDeletesForward) {
    Tap(kShift);
    sink.Take();
    Tap(kBack);
    EXPECT_EQ(sink.Take(), (Calls{"SendVirtualKey 0x10 0x00000002", "SendVirtualKey 0x2E 0x00000000",
                                  "SendVirtualKey 0x2E 0x00000002", "SendVirtualKey 0x10 0x00000002"}));
}

// Under CAPS lock the digit row inside the CAPS rectangle keeps its small character; other keys
// and a skin without the rectangle follow CAPS.
TEST_F(KeyboardPen, CapsRectangleExemptsDigitRow) {
    Tap(kShift);
    kbd.DblPressKey(kShift, &wnd);
    sink.Take();
    Tap(kOne);
    Tap(kMinus);
    Tap(kQ);
    EXPECT_EQ(sink.Take(), (Calls{"SendCharEvents 0x31 0x20000080 U+0031", "SendCharEvents 0x31 0x20010000 U+0031",
                                  "SendCharEvents 0xE7 0x20000080 U+002D", "SendCharEvents 0xE7 0x20010000 U+002D",
                                  "SendCharEvents 0x51 0x20000080 U+0051", "SendCharEvents 0x51 0x20010000 U+0051"}));
    kbd.m_CAPSRect = RECT{};
    Tap(kOne);
    EXPECT_EQ(sink.Take()[0], "SendCharEvents 0x31 0x20000080 U+0021");
}

// Language 2 types words 4-5, keeps the language-1 virtual key, and shows Lang pressed.
TEST_F(KeyboardPen, SecondLanguage) {
    Tap(kLang);
    EXPECT_FALSE(kbd.m_stKbStatus.m_bLng1);
    EXPECT_TRUE(Pressed(RectOf(51)));
    Tap(kQ);
    EXPECT_EQ(sink.Take()[0], "SendCharEvents 0x51 0x00000080 U+040C");
    Tap(kLang);
    EXPECT_FALSE(Pressed(RectOf(51)));
}

// Uml is a one-shot page while extended symbols are on, and ignored while they are off.
TEST_F(KeyboardPen, UmlPageDependsOnExtendedSymbols) {
    kbd.m_bExtSym = false;
    Tap(kUml);
    EXPECT_FALSE(kbd.m_stKbStatus.m_bUml);
    kbd.m_bExtSym = true;
    Tap(kUml);
    EXPECT_TRUE(kbd.m_stKbStatus.m_bUml);
    Tap(kQ);
    Tap(kQ);
    Calls calls = sink.Take();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], "SendCharEvents 0x51 0x00000080 U+00E0");
    EXPECT_EQ(calls[2], "SendCharEvents 0x51 0x00000080 U+0071");
}

// 20 px right and 5 down: mode 1 sends a space only, mode 2 types the key first, mode 0 nothing.
TEST_F(KeyboardPen, SwipeRightByMode) {
    Stroke(kQ, Moved(kQ, 20, 5));
    EXPECT_EQ(sink.Take(), Calls{"SendVirtualKey 0x20 0x00000000"});
    kbd.m_nSwipeMode = 2;
    Stroke(kQ, Moved(kQ, 20, 5));
    EXPECT_EQ(sink.Take(), (Calls{"SendCharEvents 0x51 0x00000080 U+0071", "SendCharEvents 0x51 0x00010000 U+0071",
                                  "SendVirtualKey 0x20 0x00000000"}));
    kbd.m_nSwipeMode = 0;
    Stroke(kQ, Moved(kQ, 20, 5));
    EXPECT_TRUE(sink.Take().empty());
    EXPECT_FALSE(kbd.captureHeld);
}

// Exactly 15 px is no gesture: mode 1 types nothing, mode 2 only the key.
TEST_F(KeyboardPen, FifteenPixelsIsNoGesture) {
    Stroke(kQ, Moved(kQ, 15, 0));
    EXPECT_TRUE(sink.Take().empty());
    kbd.m_nSwipeMode = 2;
    Stroke(kQ, Moved(kQ, 15, 0));
    EXPECT_EQ(sink.Take().size(), 2u);
}

// Left is Backspace and down is Enter (key-downs only); 20 right and 20 up is an upward swipe,
// which types the other case with the Shift flag; upward on Shift sends nothing.
TEST_F(KeyboardPen, SwipeDirections) {
    Stroke(kC, Moved(kC, -16, 0));
    Stroke(kQ, Moved(kQ, 0, 16));
    EXPECT_EQ(sink.Take(), (Calls{"SendVirtualKey 0x08 0x00000000", "SendVirtualKey 0x0D 0x00000000"}));
    Stroke(kQ, Moved(kQ, 20, -20));
    EXPECT_EQ(sink.Take(), (Calls{"SendCharEvents 0x51 0x20000080 U+0051", "SendCharEvents 0x51 0x20010000 U+0051"}));
    Stroke(kShift, Moved(kShift, 0, -20));
    EXPECT_TRUE(sink.Take().empty());
    EXPECT_FALSE(kbd.m_stKbStatus.m_bShift);
}

// A gesture ends at the last move, not where the pen lifts; a press without moves is no gesture.
TEST_F(KeyboardPen, GestureEndsAtLastMove) {
    kbd.PressKey(kQ, &wnd, TRUE);
    kbd.MoveMouse(Moved(kQ, 2, 20), &wnd);
    kbd.PressKey(kFar, &wnd, FALSE);
    EXPECT_EQ(sink.Take(), Calls{"SendVirtualKey 0x0D 0x00000000"});
    kbd.PressKey(kQ, &wnd, TRUE);
    kbd.PressKey(kFar, &wnd, FALSE);
    EXPECT_TRUE(sink.Take().empty());
}

// With gestures off and extended symbols on, an upward swipe from Lang turns the page on and
// sends nothing; a swipe right from Lang does nothing.
TEST_F(KeyboardPen, LangSwipeUpWithExtendedSymbols) {
    kbd.m_nSwipeMode = 0;
    Stroke(kLang, Moved(kLang, 20, 0));
    EXPECT_FALSE(kbd.m_stKbStatus.m_bUml);
    Stroke(kLang, Moved(kLang, 0, -20));
    EXPECT_TRUE(kbd.m_stKbStatus.m_bUml);
    EXPECT_TRUE(kbd.m_stKbStatus.m_bLng1);
    EXPECT_TRUE(sink.Take().empty());
    kbd.m_bExtSym = false;
    kbd.m_stKbStatus.m_bUml = false;
    Stroke(kLang, Moved(kLang, 0, -20));
    EXPECT_FALSE(kbd.m_stKbStatus.m_bUml);
}

// A pen-down outside every key and a pen-up on a key type nothing and leave no capture.
TEST_F(KeyboardPen, DownOutsideTypesNothing) {
    kbd.PressKey(kNowhere, &wnd, TRUE);
    kbd.PressKey(kQ, &wnd, FALSE);
    EXPECT_TRUE(sink.Take().empty());
    EXPECT_EQ(kbd.captures, 0);
    EXPECT_FALSE(kbd.captureHeld);
}

// Down on 46 and up on 53 is a tap on 53; no highlight is left but the active Uml page's.
TEST_F(KeyboardPen, TwinKeysCountAsOne) {
    kbd.PressKey(kTwin46, &wnd, TRUE);
    kbd.MoveMouse(kUml, &wnd);
    kbd.PressKey(kUml, &wnd, FALSE);
    EXPECT_TRUE(kbd.m_stKbStatus.m_bUml);
    ASSERT_EQ(kbd.m_PressedRects.size(), 1u);
    EXPECT_TRUE(Pressed(RectOf(53)));
}

// The highlight follows the pen on and off the pressed key, invalidating only its rectangles;
// a two-rectangle key toggles both; the list ends as it began.
TEST_F(KeyboardPen, HighlightFollowsPen) {
    kbd.PressKey(kSpace, &wnd, TRUE);
    EXPECT_EQ(kbd.m_PressedRects.size(), 2u);
    EXPECT_TRUE(kbd.captureHeld);
    kbd.MoveMouse(kQ, &wnd);
    EXPECT_TRUE(kbd.m_PressedRects.empty());
    kbd.MoveMouse(kTab, &wnd);
    EXPECT_TRUE(kbd.m_PressedRects.empty()) << "no other key lights up during a drag";
    kbd.MoveMouse(Moved(kSpace, 60, 0), &wnd);
    EXPECT_EQ(kbd.m_PressedRects.size(), 2u);
    kbd.PressKey(Moved(kSpace, 60, 0), &wnd, FALSE);
    EXPECT_TRUE(kbd.m_PressedRects.empty());
    EXPECT_EQ(sink.Take(), (Calls{"SendVirtualKey 0x20 0x00000000", "SendVirtualKey 0x20 0x00000002"}));
    EXPECT_EQ(kbd.invalidated.size(), 8u);
    EXPECT_EQ(kbd.wholeInvalidations, 0);
}

// Shift latched and pressed again: pen-down takes its highlight off, pen-up puts it back and the
// status change removes it with the latch.
TEST_F(KeyboardPen, PressingLatchedShift) {
    Tap(kShift);
    kbd.PressKey(kShift, &wnd, TRUE);
    EXPECT_FALSE(Pressed(RectOf(48)));
    kbd.PressKey(kShift, &wnd, FALSE);
    EXPECT_FALSE(Pressed(RectOf(48)));
    EXPECT_FALSE(kbd.m_stKbStatus.m_bShift);
    EXPECT_TRUE(kbd.m_PressedRects.empty());
}

// A layout index beyond the character table is a key that types nothing.
TEST_F(KeyboardPen, IndexBeyondTableTypesNothing) {
    EXPECT_EQ(kbd.GetKeyIndex(kBeyond.x, kBeyond.y, TRUE), 300);
    Tap(kBeyond);
    Stroke(kBeyond, Moved(kBeyond, -30, 0));
    EXPECT_TRUE(sink.Take().empty());
    EXPECT_TRUE(kbd.m_PressedRects.empty());
}

// Without a window nothing is toggled; without a callback status keys still work, and what the
// keys would have sent is dropped, not kept for the next callback; a code not in the layout finds
// one empty rectangle.
TEST_F(KeyboardPen, NoWindowNoCallback) {
    kbd.DrawButton(*kbd.m_CharLayout.Find(82), nullptr, TRUE);
    EXPECT_TRUE(kbd.m_PressedRects.empty());
    kbd.m_pIMCallback = nullptr;
    Tap(kShift);
    EXPECT_TRUE(kbd.m_stKbStatus.m_bShift);
    Tap(kQ);
    EXPECT_FALSE(kbd.m_stKbStatus.m_bShift);
    kbd.m_pIMCallback = &sink;
    Tap(kQ);
    EXPECT_EQ(sink.Take(), (Calls{"SendCharEvents 0x51 0x00000080 U+0071", "SendCharEvents 0x51 0x00010000 U+0071"}));
    const LayoutEntry& none = kbd.FindLayoutEntry(kKeyCaps);
    ASSERT_EQ(none.m_Rect.size(), 1u);
    EXPECT_TRUE(IsEmptyRect(none.m_Rect[0]));
}

namespace {

std::vector<Blit> PlanOf(const PaintScene& scene) {
    std::vector<Blit> out;
    PlanPaint(scene, [&out](const Blit& b) { out.push_back(b); });
    return out;
}

}  // namespace

// Under CAPS lock in portrait the CAPS rectangle gets the opposite-case mask and the rest of the
// image the main one, each pixel once; a pressed key whose corner is in the rectangle (edges
// included) uses the opposite-case mask too. Everything is clipped to the image.
TEST(KeyboardPaintPlan, CapsRectangleSplit) {
    const RECT pressed[] = {{0, 0, 15, 15}, {240, 16, 250, 31}, {0, 16, 15, 31}, {-5, 70, 20, 90}};
    PaintScene scene{240, 80, true, RECT{0, 0, 240, 16}, pressed};
    std::vector<Blit> plan = PlanOf(scene);
    ASSERT_EQ(plan.size(), 5u);
    EXPECT_TRUE(SameRect(plan[0].rect, RECT{0, 16, 240, 80}));
    EXPECT_EQ(plan[0].mask, MaskSource::Main);
    EXPECT_TRUE(SameRect(plan[1].rect, RECT{0, 0, 240, 16}));
    EXPECT_EQ(plan[1].mask, MaskSource::Ext);
    EXPECT_EQ(plan[1].rop, 0x00CC0020u);
    EXPECT_EQ(plan[2].mask, MaskSource::Ext);
    EXPECT_EQ(plan[2].rop, 0xFF330008u);
    EXPECT_EQ(plan[3].mask, MaskSource::Ext) << "the corner (0,16) lies on the rectangle's edge";
    EXPECT_TRUE(SameRect(plan[4].rect, RECT{0, 70, 20, 80}));
    EXPECT_EQ(plan[4].mask, MaskSource::Main);
    long area = 0;
    for (size_t i = 0; i < 2; ++i) area += (plan[i].rect.right - plan[i].rect.left) * (plan[i].rect.bottom - plan[i].rect.top);
    EXPECT_EQ(area, 240 * 80);
}

// An all-zero CAPS rectangle, or no split, draws the whole image and every pressed key with the
// main mask.
TEST(KeyboardPaintPlan, NoSplitUsesMainMask) {
    const RECT pressed[] = {{0, 0, 15, 15}};
    for (PaintScene scene : {PaintScene{240, 80, true, RECT{}, pressed}, PaintScene{240, 80, false, RECT{0, 0, 240, 16}, pressed}}) {
        std::vector<Blit> plan = PlanOf(scene);
        ASSERT_EQ(plan.size(), 2u);
        EXPECT_TRUE(SameRect(plan[0].rect, RECT{0, 0, 240, 80}));
        EXPECT_EQ(plan[0].mask, MaskSource::Main);
        EXPECT_EQ(plan[1].mask, MaskSource::Main);
    }
    EXPECT_TRUE(PlanOf(PaintScene{0, 80, false, RECT{}, pressed}).empty());
}

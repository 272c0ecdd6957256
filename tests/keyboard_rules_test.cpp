// The keyboard's rules as pure functions: status keys, one-shot release, mask choice, swipe
// classification, character choice, virtual-key mapping and the planned callback calls.
#include <gtest/gtest.h>

#include "key_delivery.h"
#include "platform/windows.h"
#include "status_machine.h"

using namespace keyboard;

namespace {

KbStatus Status(bool shift, bool caps, bool ctrl = false, bool lng1 = true, bool digital = false, bool uml = false) {
    return KbStatus{shift, caps, ctrl, lng1, digital, uml};
}

// q / Q with a grave on the extended page, as entry 82 of the engine's table; the second
// language and page 2 hold Cyrillic.
CharsetEntry QEntry() { return CharsetEntry{{u'q', u'Q', 0xE0, 0xC0, 0x439, 0x419, 0x451, 0x401}}; }

}  // namespace

// Without a CAPS key, Shift while CAPS is on turns CAPS off and leaves Shift as it was (one key-down
// is still sent); with a CAPS key Shift simply toggles.
TEST(KeyboardStatusKeys, ShiftUnderCapsDependsOnCapsKey) {
    StatusTransition noKey = ApplyStatusKey(Status(false, true), kKeyShift, {false, true});
    EXPECT_EQ(noKey.status, Status(false, false));
    EXPECT_EQ(noKey.event->flags, 0u);
    StatusTransition withKey = ApplyStatusKey(Status(false, true), kKeyShift, {true, true});
    EXPECT_EQ(withKey.status, Status(true, true));
}

// CAPS and Lang toggle; Uml toggles only with extended symbols on; other codes change nothing.
TEST(KeyboardStatusKeys, LocksTogglesAndUml) {
    EXPECT_TRUE(ApplyStatusKey(Status(false, false), kKeyCaps, {}).status.m_bCAPS);
    EXPECT_FALSE(ApplyStatusKey(Status(false, false), kKeyLang, {}).status.m_bLng1);
    EXPECT_TRUE(ApplyStatusKey(Status(false, false), kKeyUml, {false, true}).status.m_bUml);
    EXPECT_FALSE(ApplyStatusKey(Status(false, false), kKeyUml, {false, false}).status.m_bUml);
    StatusTransition other = ApplyStatusKey(Status(true, true, true), 0xF011, {});
    EXPECT_EQ(other.status, Status(true, true, true));
    EXPECT_FALSE(other.event);
}

// Releasing the one-shots sends Shift up then Ctrl up, clears Uml too, and keeps CAPS and Lang.
TEST(KeyboardStatusKeys, ReleaseClearsOneShotsOnly) {
    ModifierRelease r = ReleaseOneShots(Status(true, true, true, false, false, true));
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.status, Status(false, true, false, false));
    ASSERT_EQ(r.eventCount, 2u);
    EXPECT_EQ(r.events[0].vk, VK_SHIFT);
    EXPECT_EQ(r.events[1].vk, VK_CONTROL);
    EXPECT_EQ(r.events[1].flags, static_cast<DWORD>(KEYEVENTF_KEYUP));
    EXPECT_FALSE(ReleaseOneShots(Status(false, true, false, false, true)).changed);
    EXPECT_EQ(ReleaseOneShots(Status(false, false, false, true, false, true)).eventCount, 0u);
}

// Ctrl shows language 1 small, the digit keyboard its own image, and Shift inverts CAPS, the
// opposite case going to the CAPS-rectangle mask.
TEST(KeyboardMasks, ChoicePerStatus) {
    MaskSelection ctrl = ChooseMasks(Status(true, true, true, false, true, true));
    EXPECT_EQ(ctrl.main, MaskId::Lng1Small);
    EXPECT_EQ(ctrl.image, KeyboardImage::Letters);
    EXPECT_EQ(ctrl.ext, MaskId::Stock);

    MaskSelection digits = ChooseMasks(Status(false, true, false, true, true));
    EXPECT_EQ(digits.image, KeyboardImage::Digits);
    EXPECT_EQ(digits.main, MaskId::Digit);
    EXPECT_EQ(digits.ext, MaskId::Stock);

    EXPECT_EQ(ChooseMasks(Status(false, false)).main, MaskId::Lng1Small);
    EXPECT_EQ(ChooseMasks(Status(true, false, false, false)).main, MaskId::Lng2Large);
    MaskSelection caps = ChooseMasks(Status(false, true, false, true, false, true));
    EXPECT_EQ(caps.main, MaskId::Uml1Large);
    EXPECT_EQ(caps.ext, MaskId::Uml1Small);
    MaskSelection both = ChooseMasks(Status(true, true, false, false));
    EXPECT_EQ(both.main, MaskId::Lng2Small);
    EXPECT_EQ(both.ext, MaskId::Lng2Large);
}

// 16 pixels is the smallest move that counts; a horizontal move wins only when strictly longer
// than the vertical one.
TEST(KeyboardSwipe, ThresholdsAndTies) {
    EXPECT_EQ(ClassifySwipe({10, 10}, {26, 10}), SwipeDirection::Right);
    EXPECT_EQ(ClassifySwipe({10, 10}, {25, 10}), SwipeDirection::None);
    EXPECT_EQ(ClassifySwipe({30, 10}, {14, 15}), SwipeDirection::Left);
    EXPECT_EQ(ClassifySwipe({10, 40}, {10, 24}), SwipeDirection::Up);
    EXPECT_EQ(ClassifySwipe({10, 40}, {10, 25}), SwipeDirection::None);
    EXPECT_EQ(ClassifySwipe({10, 10}, {10, 26}), SwipeDirection::Down);
    EXPECT_EQ(ClassifySwipe({10, 40}, {30, 20}), SwipeDirection::Up) << "20 right, 20 up is no horizontal move";
    EXPECT_EQ(ClassifySwipe({10, 10}, {30, 30}), SwipeDirection::Down);
    EXPECT_EQ(ClassifySwipe({10, 10}, {30, 15}), SwipeDirection::Right);
    EXPECT_EQ(ClassifySwipe({INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}), SwipeDirection::Up);
}

// The mask shown picks page and case; an upward swipe or a forced case takes the other
// character; the digit mask always takes word 7; no mask types nothing.
TEST(KeyboardCharacterChoice, ByMaskShiftedAndForced) {
    const CharsetEntry q = QEntry();
    EXPECT_EQ(ChooseCharacter(q, MaskId::Lng1Small, false, ForcedCase::None), u'q');
    EXPECT_EQ(ChooseCharacter(q, MaskId::Lng1Small, true, ForcedCase::None), u'Q');
    EXPECT_EQ(ChooseCharacter(q, MaskId::Lng1Large, false, ForcedCase::Small), u'q');
    EXPECT_EQ(ChooseCharacter(q, MaskId::Lng1Large, false, ForcedCase::Large), u'Q');
    EXPECT_EQ(ChooseCharacter(q, MaskId::Uml1Large, false, ForcedCase::None), 0xC0);
    EXPECT_EQ(ChooseCharacter(q, MaskId::Lng2Small, false, ForcedCase::None), 0x439);
    EXPECT_EQ(ChooseCharacter(q, MaskId::Uml2Small, true, ForcedCase::None), 0x401);
    EXPECT_EQ(ChooseCharacter(q, MaskId::Digit, true, ForcedCase::Small), 0x401);
    EXPECT_FALSE(ChooseCharacter(q, MaskId::Stock, false, ForcedCase::None));
}

// Letters map by the large character, digits and seven punctuation keys by the small one (which
// wins); anything else gets the unmapped code.
TEST(KeyboardVirtualKeys, Mapping) {
    EXPECT_EQ(VirtualKeyForCharacter(0x00510071), 0x51);  // q Q
    EXPECT_EQ(VirtualKeyForCharacter(0x00210031), 0x31);  // 1 !
    EXPECT_EQ(VirtualKeyForCharacter(0x003A003B), 0xBA);  // ; :
    EXPECT_EQ(VirtualKeyForCharacter(0x007B005B), 0xDB);  // [ {
    EXPECT_EQ(VirtualKeyForCharacter(0x007D005D), 0xDD);  // ] }
    EXPECT_EQ(VirtualKeyForCharacter(0x00220027), 0xDE);  // ' "
    EXPECT_EQ(VirtualKeyForCharacter(0x003C002C), 0xBC);  // , <
    EXPECT_EQ(VirtualKeyForCharacter(0x003E002E), 0xBE);  // . >
    EXPECT_EQ(VirtualKeyForCharacter(0x003F002F), 0xBF);  // / ?
    EXPECT_EQ(VirtualKeyForCharacter(0x0041002F), 0xBF) << "the small character overrides a letter";
    EXPECT_EQ(VirtualKeyForCharacter(0x005F002D), kUnmappedVirtualKey);  // - _
    EXPECT_EQ(VirtualKeyForCharacter(0x04190439), kUnmappedVirtualKey);
    EXPECT_NE(kUnmappedVirtualKey, VK_SHIFT);
}

namespace {

DeliveryState Delivery(KbStatus status, bool functional = false) {
    DeliveryState d;
    d.status = status;
    d.mask = ChooseMasks(status).main;
    d.functional = functional;
    return d;
}

void ExpectChar(const KeyCall& call, UINT vk, DWORD flags, WCHAR ch) {
    EXPECT_EQ(call.kind, KeyCall::Kind::CharEvent);
    EXPECT_EQ(call.vk, vk);
    EXPECT_EQ(call.flags, flags);
    EXPECT_EQ(call.ch, ch);
}

void ExpectKey(const KeyCall& call, UINT vk, DWORD flags) {
    EXPECT_EQ(call.kind, KeyCall::Kind::VirtualKey);
    EXPECT_EQ(call.vk, vk);
    EXPECT_EQ(call.flags, flags);
}

KeyCalls Plan(const CharsetEntry& e, bool shifted, const DeliveryState& d) {
    return PlanKeyDelivery(e.Pair(0), e.Pair(1), e.Pair(2), e.Pair(3), shifted, d);
}

}  // namespace

// A character goes down with KeyStateDownFlag and up with KeyShiftNoCharacterFlag; the Shift
// flag is the exclusive or of CAPS, Shift and an upward swipe.
TEST(KeyboardDelivery, CharacterFlags) {
    KeyCalls plain = Plan(QEntry(), false, Delivery(Status(false, false)));
    ASSERT_EQ(plain.count, 2u);
    ExpectChar(plain.calls[0], 0x51, 0x80, u'q');
    ExpectChar(plain.calls[1], 0x51, 0x10000, u'q');

    KeyCalls caps = Plan(QEntry(), false, Delivery(Status(false, true)));
    ExpectChar(caps.calls[0], 0x51, 0x20000080, u'Q');
    ExpectChar(caps.calls[1], 0x51, 0x20010000, u'Q');
    KeyCalls capsShift = Plan(QEntry(), false, Delivery(Status(true, true)));
    ExpectChar(capsShift.calls[0], 0x51, 0x80, u'q');
    KeyCalls swipe = Plan(QEntry(), true, Delivery(Status(false, false)));
    ExpectChar(swipe.calls[0], 0x51, 0x20000080, u'Q');
}

// On a portrait skin with a CAPS rectangle, digit-row keys ignore CAPS: small without Shift,
// large with it; the Shift flag still follows the exclusive or.
TEST(KeyboardDelivery, DigitRowExemptFromCaps) {
    CharsetEntry one{{u'1', u'!', 0xBF, 0xBF, 0, 0, 0, 0}};
    DeliveryState d = Delivery(Status(false, true));
    d.portrait = true;
    d.capsRectSet = true;
    d.digitalLine = true;
    KeyCalls plan = Plan(one, false, d);
    ExpectChar(plan.calls[0], 0x31, 0x20000080, u'1');
    d = Delivery(Status(true, true));
    d.portrait = d.capsRectSet = d.digitalLine = true;
    ExpectChar(Plan(one, false, d).calls[0], 0x31, 0x80, u'!');
    SCOPED_TRACE("not portrait: no exemption");
    d = Delivery(Status(false, true));
    d.digitalLine = true;
    d.capsRectSet = true;
    ExpectChar(Plan(one, false, d).calls[0], 0x31, 0x20000080, u'!');
}

// Function keys: down and up virtual keys; Esc down only; Tab one character event; Shift turns
// Backspace into Shift-up, Delete down and up; reserved codes send nothing.
TEST(KeyboardDelivery, FunctionKeys) {
    auto key = [](WCHAR code) { return CharsetEntry{{code, code, code, code, code, code, code, code}}; };
    KeyCalls back = Plan(key(kKeyBackspace), false, Delivery(Status(false, false), true));
    ASSERT_EQ(back.count, 2u);
    ExpectKey(back.calls[0], VK_BACK, 0);
    ExpectKey(back.calls[1], VK_BACK, KEYEVENTF_KEYUP);
    KeyCalls del = Plan(key(kKeyBackspace), false, Delivery(Status(true, false), true));
    ASSERT_EQ(del.count, 3u);
    ExpectKey(del.calls[0], VK_SHIFT, KEYEVENTF_KEYUP);
    ExpectKey(del.calls[1], VK_DELETE, 0);
    ExpectKey(del.calls[2], VK_DELETE, KEYEVENTF_KEYUP);
    KeyCalls esc = Plan(key(kKeyEsc), false, Delivery(Status(false, false), true));
    ASSERT_EQ(esc.count, 1u);
    ExpectKey(esc.calls[0], VK_ESCAPE, 0);
    KeyCalls tab = Plan(key(kKeyTab), true, Delivery(Status(false, false), true));
    ASSERT_EQ(tab.count, 1u);
    ExpectChar(tab.calls[0], 9, 0x20000080, u'\t');
    ExpectKey(Plan(key(kKeyDown), false, Delivery(Status(false, false), true)).calls[1], VK_DOWN, KEYEVENTF_KEYUP);
    EXPECT_EQ(Plan(key(0xF019), false, Delivery(Status(false, false), true)).count, 0u);
    EXPECT_EQ(Plan(key(kKeyShift), true, Delivery(Status(false, false), true)).count, 0u);
}

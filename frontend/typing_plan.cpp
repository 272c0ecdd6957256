#include "typing_plan.h"

#include "CKeyboard.h"
#include "keyboard/key_delivery.h"
#include "keyboard/status_machine.h"

namespace cli {

namespace {

using namespace keyboard;

constexpr WCHAR kStatusKeys[] = {kKeyShift, kKeyLang, kKeyDigit, kKeyUml};
// A person reaches any page with at most this many status keys (Digit or Lang, Uml, Shift).
constexpr size_t kMaxStatusKeys = 3;

// The keys an application reads as text that the keyboard sends as virtual keys only.
bool VirtualKeyTypes(UINT vk, char16_t c) {
    return (vk == 0x20 && c == u' ') || (vk == 0x0D && (c == u'\n' || c == u'\r')) || (vk == 0x09 && c == u'\t');
}

const LayoutTable& Shown(const CKeyboard& kbd, const KbStatus& status) {
    return status.m_bDigital ? kbd.m_DigitLayout : kbd.m_CharLayout;
}

// The entry of the shown layout that carries the code, or -1.
int EntryFor(const CKeyboard& kbd, const KbStatus& status, WCHAR code) {
    const LayoutTable& layout = Shown(kbd, status);
    for (size_t i = 0; i < kbd.m_Charset.size(); ++i)
        if (kbd.m_Charset[i].Code() == code && layout.Find(static_cast<int32_t>(i))) return static_cast<int>(i);
    return -1;
}

// The first key of the shown layout that types c in this status, or -1.
__attribute__((no_sanitize("vptr"))) int KeyTyping(const CKeyboard& kbd, const KbStatus& status, char16_t c) {
    const MaskId mask = ChooseMasks(status).main;
    for (const auto& [index, unused] : Shown(kbd, status)) {
        if (index < 0 || static_cast<size_t>(index) >= kbd.m_Charset.size()) continue;
        const CharsetEntry& entry = kbd.m_Charset[static_cast<size_t>(index)];
        if (kbd.IsStatusKeyEntry(entry.Code())) continue;
        DeliveryState state;
        state.status = status;
        state.mask = mask;
        state.portrait = kbd.m_bPortrait;
        state.capsRectSet = !IsEmptyRect(kbd.m_CAPSRect);
        state.functional = kbd.IsFunctionalKeyEntry(entry.Code());
        state.digitalLine = kbd.IsDigitalLineEntry(entry.Code());
        const KeyCalls plan = PlanKeyDelivery(entry.Pair(0), entry.Pair(1), entry.Pair(2), entry.Pair(3), false, state);
        for (size_t k = 0; k < plan.count; ++k) {
            const KeyCall& call = plan.calls[k];
            if (call.kind == KeyCall::Kind::CharEvent ? call.ch == c : call.flags == 0 && VirtualKeyTypes(call.vk, c))
                return index;
        }
    }
    return -1;
}

// Depth-limited search over status key sequences, shortest first: *entries gets the taps.
bool Search(const CKeyboard& kbd, const KbStatus& status, char16_t c, size_t depth, std::vector<int>* entries) {
    if (depth == 0) {
        const int key = KeyTyping(kbd, status, c);
        if (key < 0) return false;
        entries->push_back(key);
        return true;
    }
    for (WCHAR code : kStatusKeys) {
        const int entry = EntryFor(kbd, status, code);
        if (entry < 0) continue;
        const KbStatus next = ApplyStatusKey(status, code, StatusRules{kbd.m_bHasCapsKey, kbd.m_bExtSym}).status;
        if (next == status) continue;
        entries->push_back(entry);
        if (Search(kbd, next, c, depth - 1, entries)) return true;
        entries->pop_back();
    }
    return false;
}

}  // namespace

bool PlanCharacter(const CKeyboard& kbd, char16_t c, std::vector<int>* entries) {
    for (size_t depth = 0; depth <= kMaxStatusKeys; ++depth) {
        entries->clear();
        if (Search(kbd, kbd.m_stKbStatus, c, depth, entries)) return true;
    }
    entries->clear();
    return false;
}

}  // namespace cli

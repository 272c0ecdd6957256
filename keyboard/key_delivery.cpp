#include "key_delivery.h"

#include "platform/windows.h"

namespace keyboard {

BYTE VirtualKeyForCharacter(DWORD lng1) {
    const WCHAR small = static_cast<WCHAR>(lng1 & 0xFFFF);
    const WCHAR large = static_cast<WCHAR>(lng1 >> 16);
    BYTE vk = kUnmappedVirtualKey;
    if (large >= u'A' && large <= u'Z') vk = static_cast<BYTE>(large);
    if (small >= u'0' && small <= u'9') return static_cast<BYTE>(small);
    switch (small) {
    case u';': return VK_OEM_1;
    case u'[': return VK_OEM_4;
    case u']': return VK_OEM_6;
    case u'\'': return VK_OEM_7;
    case u',': return VK_OEM_COMMA;
    case u'.': return VK_OEM_PERIOD;
    case u'/': return VK_OEM_2;
    default: return vk;
    }
}

std::optional<WCHAR> ChooseCharacter(const CharsetEntry& entry, MaskId mask, bool shifted, ForcedCase forced) {
    int page;
    bool large;
    switch (mask) {
    case MaskId::Lng1Small: page = 0, large = false; break;
    case MaskId::Lng1Large: page = 0, large = true; break;
    case MaskId::Uml1Small: page = 1, large = false; break;
    case MaskId::Uml1Large: page = 1, large = true; break;
    case MaskId::Lng2Small: page = 2, large = false; break;
    case MaskId::Lng2Large: page = 2, large = true; break;
    case MaskId::Uml2Small: page = 3, large = false; break;
    case MaskId::Uml2Large: page = 3, large = true; break;
    case MaskId::Digit: return entry.wc[7];
    default: return std::nullopt;
    }
    const bool other = shifted || (large ? forced == ForcedCase::Small : forced == ForcedCase::Large);
    if (other) large = !large;
    return entry.wc[2 * page + (large ? 1 : 0)];
}

namespace {

void PlanFunctionKey(WCHAR code, bool shifted, const KbStatus& status, KeyCalls& plan) {
    auto pressAndRelease = [&plan](BYTE vk) {
        plan.Key(vk, 0);
        plan.Key(vk, KEYEVENTF_KEYUP);
    };
    switch (code) {
    case kKeyEsc: plan.Key(VK_ESCAPE, 0); break;
    case kKeyBackspace:
        // With Shift latched the key deletes forward; the application's Shift is released first
        // so that it sees a plain Delete.
        if (status.m_bShift) {
            plan.Key(VK_SHIFT, KEYEVENTF_KEYUP);
            pressAndRelease(VK_DELETE);
        } else {
            pressAndRelease(VK_BACK);
        }
        break;
    case kKeyEnter: pressAndRelease(VK_RETURN); break;
    case kKeySpace: pressAndRelease(VK_SPACE); break;
    case kKeyTab:
        plan.Char(VK_TAB, KeyStateDownFlag | ((shifted || status.m_bShift) ? KeyShiftAnyShiftFlag : 0u), u'\t');
        break;
    case kKeyLeft: pressAndRelease(VK_LEFT); break;
    case kKeyUp: pressAndRelease(VK_UP); break;
    case kKeyRight: pressAndRelease(VK_RIGHT); break;
    case kKeyDown: pressAndRelease(VK_DOWN); break;
    default: break;  // status keys reached by a swipe and the reserved codes do nothing
    }
}

}  // namespace

KeyCalls PlanKeyDelivery(DWORD lng1, DWORD uml1, DWORD lng2, DWORD uml2, bool shifted, const DeliveryState& state) {
    KeyCalls plan;
    const KbStatus& s = state.status;
    const WCHAR code = static_cast<WCHAR>(lng1 & 0xFFFF);
    if (state.functional) {
        PlanFunctionKey(code, shifted, s, plan);
        return plan;
    }

    DWORD flags = KeyStateDownFlag;
    if (s.m_bCtrl)
        flags |= KeyShiftAnyCtrlFlag;
    else if ((s.m_bCAPS != s.m_bShift) != shifted)
        flags |= KeyShiftAnyShiftFlag;

    ForcedCase forced = ForcedCase::None;
    if (state.portrait && s.m_bCAPS && !s.m_bCtrl && !s.m_bDigital && state.capsRectSet && state.digitalLine)
        forced = s.m_bShift ? ForcedCase::Large : ForcedCase::Small;

    CharsetEntry entry;
    const DWORD pairs[4] = {lng1, uml1, lng2, uml2};
    for (int page = 0; page < 4; ++page) {
        entry.wc[2 * page] = static_cast<WCHAR>(pairs[page] & 0xFFFF);
        entry.wc[2 * page + 1] = static_cast<WCHAR>(pairs[page] >> 16);
    }
    std::optional<WCHAR> ch = ChooseCharacter(entry, state.mask, shifted, forced);
    if (!ch) return plan;

    const BYTE vk = VirtualKeyForCharacter(lng1);
    if (s.m_bCtrl) {
        plan.Char(vk, flags | KeyShiftNoCharacterFlag | KeyShiftAnyCtrlFlag, *ch);
    } else {
        plan.Char(vk, flags, *ch);
        plan.Char(vk, (flags & ~static_cast<DWORD>(KeyStateDownFlag)) | KeyShiftNoCharacterFlag, *ch);
    }
    return plan;
}

void SendKeyCalls(IIMCallback* callback, const KeyCalls& plan) {
    if (!callback) return;
    for (size_t i = 0; i < plan.count; ++i) {
        const KeyCall& call = plan.calls[i];
        if (call.kind == KeyCall::Kind::VirtualKey) {
            callback->SendVirtualKey(static_cast<BYTE>(call.vk), call.flags);
        } else {
            UINT shiftState = call.flags;
            UINT character = call.ch;
            callback->SendCharEvents(call.vk, call.flags, 1, &shiftState, &character);
        }
    }
}

}  // namespace keyboard

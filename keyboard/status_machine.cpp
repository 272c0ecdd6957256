#include "status_machine.h"

#include "platform/windows.h"

namespace keyboard {

StatusTransition ApplyStatusKey(const KbStatus& status, WCHAR code, const StatusRules& rules) {
    StatusTransition t{status, std::nullopt};
    KbStatus& s = t.status;
    switch (code) {
    case kKeyShift:
        t.event = VirtualKeyEvent{VK_SHIFT, s.m_bShift ? static_cast<DWORD>(KEYEVENTF_KEYUP) : 0u};
        if (!rules.hasCapsKey && s.m_bCAPS)
            s.m_bCAPS = false;
        else
            s.m_bShift = !s.m_bShift;
        break;
    case kKeyCtrl:
        t.event = VirtualKeyEvent{VK_CONTROL, s.m_bCtrl ? static_cast<DWORD>(KEYEVENTF_KEYUP) : 0u};
        s.m_bCtrl = !s.m_bCtrl;
        break;
    case kKeyCaps: s.m_bCAPS = !s.m_bCAPS; break;
    case kKeyLang: s.m_bLng1 = !s.m_bLng1; break;
    case kKeyDigit:
        s.m_bDigital = !s.m_bDigital;
        if (s.m_bDigital) s.m_bCtrl = false;
        break;
    case kKeyUml:
        if (rules.extSym) s.m_bUml = !s.m_bUml;
        break;
    default: break;
    }
    return t;
}

ModifierRelease ReleaseOneShots(const KbStatus& status) {
    ModifierRelease r;
    r.status = status;
    r.changed = status.m_bShift || status.m_bCtrl || status.m_bUml;
    if (!r.changed) return r;
    if (status.m_bShift) r.events[r.eventCount++] = VirtualKeyEvent{VK_SHIFT, KEYEVENTF_KEYUP};
    if (status.m_bCtrl) r.events[r.eventCount++] = VirtualKeyEvent{VK_CONTROL, KEYEVENTF_KEYUP};
    r.status.m_bShift = r.status.m_bCtrl = r.status.m_bUml = false;
    return r;
}

MaskSelection ChooseMasks(const KbStatus& s) {
    MaskSelection m;
    if (s.m_bCtrl) {
        m.main = MaskId::Lng1Small;
        return m;
    }
    if (s.m_bDigital) {
        m.image = KeyboardImage::Digits;
        m.main = MaskId::Digit;
        return m;
    }
    MaskId small, large;
    if (s.m_bUml) {
        small = s.m_bLng1 ? MaskId::Uml1Small : MaskId::Uml2Small;
        large = s.m_bLng1 ? MaskId::Uml1Large : MaskId::Uml2Large;
    } else {
        small = s.m_bLng1 ? MaskId::Lng1Small : MaskId::Lng2Small;
        large = s.m_bLng1 ? MaskId::Lng1Large : MaskId::Lng2Large;
    }
    if (!s.m_bCAPS) {
        m.main = s.m_bShift ? large : small;
    } else {
        m.main = s.m_bShift ? small : large;
        m.ext = s.m_bShift ? large : small;
    }
    return m;
}

SwipeDirection ClassifySwipe(POINT start, POINT end) {
    const int64_t dx = static_cast<int64_t>(end.x) - start.x;
    const int64_t rise = static_cast<int64_t>(start.y) - end.y;  // positive upward
    const int64_t dy = rise < 0 ? -rise : rise;
    if (dx > kSwipeThreshold && dx > dy) return SwipeDirection::Right;
    if (-dx > kSwipeThreshold && -dx > dy) return SwipeDirection::Left;
    if (rise > kSwipeThreshold) return SwipeDirection::Up;
    if (-rise > kSwipeThreshold) return SwipeDirection::Down;
    return SwipeDirection::None;
}

}  // namespace keyboard

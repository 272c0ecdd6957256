// Pen input and the keyboard status: hit-testing, status keys and one-shot release, taps,
// gestures and the pressed highlight that follows the pen.
//
// Keys act at pen-up, never at pen-down. The highlight of the pressed key is tracked by the
// index actually drawn, so that it always comes off the key it went on, whichever of the twin
// keys 46 and 53 the pen ends on and however the pen wandered.
#include "keyboard_core.h"

#include "platform/windows.h"

using namespace keyboard;

namespace {

HWND WindowOf(HWND* window) { return window ? *window : nullptr; }

}  // namespace

int KeyboardCore::GetKeyIndex(int x, int y, BOOL letters) const {
    return (letters ? m_CharLayout : m_DigitLayout).HitTest(x, y);
}

BOOL KeyboardCore::IsDigitalLineEntry(WCHAR code) const { return IsDigitalLineCode(m_Charset, code); }
BOOL KeyboardCore::IsStatusKeyEntry(WCHAR code) const { return IsStatusKeyCode(m_Charset, code); }
BOOL KeyboardCore::IsFunctionalKeyEntry(WCHAR code) const { return IsFunctionalKeyCode(m_Charset, Marks(), code); }

void KeyboardCore::GetKeyboardMask() {
    m_MaskSelection = ChooseMasks(m_stKbStatus);
    SelectMasks();
}

void KeyboardCore::SendVirtualKeyEvent(const VirtualKeyEvent& event) {
    if (m_pIMCallback) m_pIMCallback->SendVirtualKey(event.vk, event.flags);
}

void KeyboardCore::SetKbStatus(WCHAR code, HWND* window) {
    if (m_Charset.size() < 7) return;
    PaintStatusButtons(window);
    StatusTransition t = ApplyStatusKey(m_stKbStatus, code, StatusRules{m_bHasCapsKey, m_bExtSym});
    if (t.event) SendVirtualKeyEvent(*t.event);
    m_stKbStatus = t.status;
    GetKeyboardMask();
    PaintStatusButtons(window);
    if (HWND w = WindowOf(window)) InvalidateWindow(w, nullptr);
}

void KeyboardCore::ReleaseModifiers(HWND* window) {
    ModifierRelease release = ReleaseOneShots(m_stKbStatus);
    if (!release.changed) return;
    PaintStatusButtons(window);
    for (size_t i = 0; i < release.eventCount; ++i) SendVirtualKeyEvent(release.events[i]);
    m_PressedRects.clear();
    m_stKbStatus = release.status;
    GetKeyboardMask();
    PaintStatusButtons(WindowOf(window) ? window : m_phLastWnd);
    if (HWND w = WindowOf(window)) InvalidateWindow(w, nullptr);
}

void KeyboardCore::ShowPressed(int32_t index, HWND* window) {
    if (const LayoutEntry* entry = ShownLayout().Find(index)) DrawButton(*entry, window, TRUE);
    m_bPressedShown = true;
    m_nShownIndex = index;
}

void KeyboardCore::HidePressed(HWND* window) {
    if (m_bPressedShown && m_nShownIndex != -1)
        if (const LayoutEntry* entry = ShownLayout().Find(m_nShownIndex)) DrawButton(*entry, window, TRUE);
    m_bPressedShown = false;
    m_nShownIndex = -1;
}

void KeyboardCore::EndPress() {
    ReleasePen();
    m_nPressedIndex = -1;
}

void KeyboardCore::PressKey(POINT point, HWND* window, BOOL down) {
    m_phLastWnd = window;
    const int32_t index = GetKeyIndex(point.x, point.y, !m_stKbStatus.m_bDigital);

    if (down) {
        HidePressed(window);
        m_nPressedIndex = index;
        m_ptDown = point;
        // A gesture ends at the last move; a press without moves must not end at the point of
        // an earlier gesture.
        m_ptLast = point;
        if (index != -1) {
            if (HWND w = WindowOf(window)) CapturePen(w);
            ShowPressed(index, window);
        }
        return;
    }

    if (IsTwinKeyIndex(index) && IsTwinKeyIndex(m_nPressedIndex)) m_nPressedIndex = index;

    if (index != -1 && index == m_nPressedIndex) {
        HidePressed(window);
        // A layout may name an index beyond the character table: such a key types nothing.
        if (const CharsetEntry* found = EntryAt(index)) {
            const CharsetEntry entry = *found;
            if (IsStatusKeyEntry(entry.Code())) {
                SetKbStatus(entry.Code(), window);
            } else {
                SendKeyEntry(entry, false);
                ReleaseModifiers(window);
            }
        }
        EndPress();
        return;
    }

    // The pen lifted off the pressed key (or no key was pressed).
    HidePressed(window);
    const CharsetEntry* found = m_nPressedIndex == -1 ? nullptr : EntryAt(m_nPressedIndex);
    if (!found) {
        EndPress();
        return;
    }
    const CharsetEntry entry = *found;
    const bool statusKey = IsStatusKeyEntry(entry.Code());
    if (m_nSwipeMode == 0 && !(entry.Code() == kKeyLang && m_bExtSym)) {
        EndPress();
        return;
    }
    if (m_nSwipeMode == 2) {
        if (statusKey) {
            SetKbStatus(entry.Code(), window);
        } else {
            SendKeyEntry(entry, false);
            ReleaseModifiers(window);
        }
    }
    Swipe(m_ptDown, m_ptLast, entry, window);
    if (!statusKey) ReleaseModifiers(window);
    EndPress();
}

void KeyboardCore::MoveMouse(POINT point, HWND* window) {
    m_ptLast = point;
    const int32_t index = GetKeyIndex(point.x, point.y, !m_stKbStatus.m_bDigital);
    int32_t old = m_nPressedIndex;
    if (IsTwinKeyIndex(index) && IsTwinKeyIndex(old)) old = index;
    if (index == old) {
        if (!m_bPressedShown && index != -1) ShowPressed(index, window);
    } else if (m_bPressedShown && old != -1) {
        HidePressed(window);
    }
}

BOOL KeyboardCore::DblPressKey(POINT point, HWND* window) {
    if (m_bHasCapsKey) return FALSE;
    const int32_t index = GetKeyIndex(point.x, point.y, !m_stKbStatus.m_bDigital);
    if (index == -1) return FALSE;
    const CharsetEntry* entry = EntryAt(index);
    if (!entry || entry->Code() != kKeyShift) return FALSE;
    SetKbStatus(kKeyShift, window);
    SetKbStatus(kKeyCaps, window);
    return TRUE;
}

void KeyboardCore::Swipe(POINT start, POINT end, const CharsetEntry& entry, HWND* window) {
    if (!m_pIMCallback || !WindowOf(window)) return;
    const bool gestures = m_nSwipeMode != 0;
    switch (ClassifySwipe(start, end)) {
    case SwipeDirection::Right:
        if (gestures) m_pIMCallback->SendVirtualKey(VK_SPACE, 0);
        break;
    case SwipeDirection::Left:
        if (gestures) m_pIMCallback->SendVirtualKey(VK_BACK, 0);
        break;
    case SwipeDirection::Up:
        if (entry.Code() == kKeyLang && m_bExtSym)
            SetKbStatus(kKeyUml, window);
        else if (gestures)
            SendKeyEntry(entry, true);
        break;
    case SwipeDirection::Down:
        if (gestures) m_pIMCallback->SendVirtualKey(VK_RETURN, 0);
        break;
    case SwipeDirection::None: break;
    }
}

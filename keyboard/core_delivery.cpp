// Key delivery and the pressed-key list: a typed key goes to the SIP callback as planned by
// PlanKeyDelivery for the mask shown; pressed keys and active status keys are toggled in and out
// of m_PressedRects, and only the toggled rectangles are invalidated.
#include "keyboard_core.h"

#include "render_plan.h"

using namespace keyboard;

void KeyboardCore::SendKeyToApp(DWORD lng1, DWORD uml1, DWORD lng2, DWORD uml2, BOOL bShifted) {
    if (!m_pIMCallback) return;
    const WCHAR code = static_cast<WCHAR>(lng1 & 0xFFFF);
    DeliveryState state;
    state.status = m_stKbStatus;
    state.mask = m_MaskSelection.main;
    state.portrait = m_bPortrait;
    state.capsRectSet = !IsEmptyRect(m_CAPSRect);
    state.functional = IsFunctionalKeyEntry(code);
    state.digitalLine = IsDigitalLineEntry(code);
    SendKeyCalls(m_pIMCallback, PlanKeyDelivery(lng1, uml1, lng2, uml2, bShifted != FALSE, state));
}

void KeyboardCore::SendKeyEntry(const CharsetEntry& entry, bool shifted) {
    SendKeyToApp(entry.Pair(0), entry.Pair(1), entry.Pair(2), entry.Pair(3), shifted);
}

void KeyboardCore::DrawButton(const LayoutEntry& entry, HWND* window, BOOL invalidate) {
    HWND w = window ? *window : nullptr;
    if (!w) return;
    for (const RECT& rect : entry.m_Rect) {
        if (IsEmptyRect(rect)) continue;
        TogglePressedRect(m_PressedRects, rect);
        if (invalidate) InvalidateWindow(w, &rect);
    }
}

void KeyboardCore::PaintStatusButtons(HWND* window) {
    const KbStatus& s = m_stKbStatus;
    if (s.m_bShift) DrawButton(FindLayoutEntry(kKeyShift), window, FALSE);
    if (s.m_bCAPS) DrawButton(FindLayoutEntry(kKeyCaps), window, FALSE);
    if (s.m_bCtrl) DrawButton(FindLayoutEntry(kKeyCtrl), window, FALSE);
    if (!s.m_bLng1) DrawButton(FindLayoutEntry(kKeyLang), window, TRUE);
    if (s.m_bUml) DrawButton(FindLayoutEntry(kKeyUml), window, FALSE);
}

const LayoutEntry& KeyboardCore::FindLayoutEntry(WCHAR code) const {
    const LayoutTable& layout = ShownLayout();
    for (size_t i = 0; i < m_Charset.size(); ++i) {
        if (m_Charset[i].Code() != code) continue;
        if (const LayoutEntry* entry = layout.Find(static_cast<int32_t>(i))) return *entry;
    }
    return m_EmptyEntry;
}

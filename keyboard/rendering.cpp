// Painting: the keyboard image combined with the label mask of the current state in masked block
// transfers planned by PlanPaint, then every pressed rectangle inverted; or, without a skin, the
// "SKINS NOT FOUND" notice. Nothing here allocates: the plan hands its transfers to a lambda and
// the notice is read through the string loader's pointer form.
#include "CKeyboard.h"

#include "platform/modules.h"
#include "render_plan.h"

using namespace keyboard;

namespace {

constexpr UINT kNoSkinString = 103;

}  // namespace

void CKeyboard::Paint(HDC dc, HWND* window) {
    if (!dc) return;
    if (m_bNoSkin) {
        HWND w = window ? *window : nullptr;
        if (!w) return;
        RECT client{};
        GetClientRect(w, &client);
        SetTextColor(dc, GetSysColor(COLOR_ACTIVECAPTION));
        FillRect(dc, &client, GetSysColorBrush(COLOR_INACTIVECAPTION));
        SetBkColor(dc, GetSysColor(COLOR_INACTIVECAPTION));
        SetTextAlign(dc, TA_CENTER | TA_BASELINE);
        LPWSTR text = nullptr;
        int length = LoadStringW(m_hInstance, kNoSkinString, reinterpret_cast<LPWSTR>(&text), 0);
        if (length > 0 && text)
            ExtTextOutW(dc, (client.right - client.left) / 2, (client.bottom - client.top) / 2, ETO_CLIPPED, &client,
                        text, static_cast<UINT>(length), nullptr);
        return;
    }
    if (!m_hKbdDC) return;

    BITMAP image{};
    HGDIOBJ shown = GetCurrentObject(m_hKbdDC, OBJ_BITMAP);
    if (!shown || GetObjectW(shown, sizeof image, &image) == 0) return;
    HBITMAP mainMask = m_hMaskDC ? static_cast<HBITMAP>(GetCurrentObject(m_hMaskDC, OBJ_BITMAP)) : nullptr;
    HBITMAP extMask = m_hExtMaskDC ? static_cast<HBITMAP>(GetCurrentObject(m_hExtMaskDC, OBJ_BITMAP)) : nullptr;

    const KbStatus& s = m_stKbStatus;
    PaintScene scene;
    scene.width = image.bmWidth;
    scene.height = image.bmHeight;
    scene.capsSplit = m_bPortrait && s.m_bCAPS && !s.m_bCtrl && !s.m_bDigital;
    scene.capsRect = m_CAPSRect;
    scene.pressed = m_PressedRects;
    PlanPaint(scene, [&](const Blit& blit) {
        const RECT& r = blit.rect;
        MaskBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, m_hKbdDC, r.left, r.top,
                blit.mask == MaskSource::Ext ? extMask : mainMask, r.left, r.top, blit.rop);
    });
}

// Rendering as pure planning: the list of keys drawn pressed, and the masked block transfers that
// paint the keyboard. The engine turns each planned transfer into one MaskBlt.
//
// Invariants: a rectangle is in the pressed list while its key is drawn pressed, and toggling a
// rectangle twice leaves the list as it was. Planning a paint never allocates: transfers are
// handed to a sink one by one, and each lies inside the keyboard image.
#pragma once

#include <span>
#include <vector>

#include "layout_table.h"
#include "platform/gdi.h"

namespace keyboard {

// Where the mask bit is 1 the image shows; where it is 0 (a label pixel) the label is black.
inline constexpr DWORD kNormalRop = MAKEROP4(SRCCOPY, BLACKNESS);
// A pressed key: the image inverted, labels white.
inline constexpr DWORD kPressedRop = MAKEROP4(NOTSRCCOPY, WHITENESS);
static_assert(kNormalRop == 0x00CC0020 && kPressedRop == 0xFF330008);

// Removes the first rectangle equal to rect, or appends rect when there is none. True when the
// rectangle was appended (the key is now drawn pressed).
bool TogglePressedRect(std::vector<RECT>& pressed, const RECT& rect);

enum class MaskSource : uint8_t { Main, Ext };

struct Blit {
    RECT rect;  // the same coordinates in the destination, the image and the mask
    MaskSource mask;
    DWORD rop;
};

struct PaintScene {
    LONG width = 0;   // of the keyboard image shown
    LONG height = 0;
    // Portrait, CAPS on, neither Ctrl nor the digit keyboard: the CAPS rectangle shows the
    // opposite-case mask, so the digit row keeps its unshifted labels.
    bool capsSplit = false;
    RECT capsRect{};
    std::span<const RECT> pressed;
};

namespace detail {
inline RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
           a.bottom < b.bottom ? a.bottom : b.bottom};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}
inline bool HasArea(const RECT& r) { return r.right > r.left && r.bottom > r.top; }
}  // namespace detail

// Calls sink(const Blit&) for every transfer of one paint, in drawing order: the image with the
// main mask (outside the CAPS rectangle when split), the CAPS rectangle with the opposite-case
// mask, then each pressed rectangle, clipped to the image. A pressed rectangle whose top-left
// corner lies in a non-empty CAPS rectangle (bounds inclusive) uses the opposite-case mask
// while split.
template <class Sink>
void PlanPaint(const PaintScene& scene, Sink&& sink) {
    const RECT image{0, 0, scene.width, scene.height};
    if (!detail::HasArea(image)) return;
    const RECT inner = detail::Intersect(scene.capsRect, image);
    if (!scene.capsSplit || !detail::HasArea(inner)) {
        sink(Blit{image, MaskSource::Main, kNormalRop});
    } else {
        const RECT bands[4] = {
            {0, 0, image.right, inner.top},
            {0, inner.bottom, image.right, image.bottom},
            {0, inner.top, inner.left, inner.bottom},
            {inner.right, inner.top, image.right, inner.bottom},
        };
        for (const RECT& band : bands)
            if (detail::HasArea(band)) sink(Blit{band, MaskSource::Main, kNormalRop});
        sink(Blit{inner, MaskSource::Ext, kNormalRop});
    }

    const RECT& caps = scene.capsRect;
    const bool capsSet = !IsEmptyRect(caps);
    for (const RECT& r : scene.pressed) {
        const bool inCaps = scene.capsSplit && capsSet && caps.left <= r.left && r.left <= caps.right &&
                            caps.top <= r.top && r.top <= caps.bottom;
        const RECT clipped = detail::Intersect(r, image);
        if (detail::HasArea(clipped)) sink(Blit{clipped, inCaps ? MaskSource::Ext : MaskSource::Main, kPressedRop});
    }
}

}  // namespace keyboard

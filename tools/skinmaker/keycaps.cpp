#include "keycaps.h"

#include <algorithm>

namespace skinmaker {
namespace {

uint32_t Mix(uint32_t rgb, uint32_t toward, double amount) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        double a = (rgb >> shift) & 0xFF;
        double b = (toward >> shift) & 0xFF;
        auto c = static_cast<uint32_t>(a + (b - a) * amount + 0.5);
        out |= std::min<uint32_t>(c, 255) << shift;
    }
    return out;
}

uint32_t Lighten(uint32_t rgb, double amount) { return Mix(rgb, 0xFFFFFF, amount); }
uint32_t Darken(uint32_t rgb, double amount) { return Mix(rgb, 0x000000, amount); }

// One cap on a grid over its bounding box. A cell is body when the cap covers it and its right,
// lower and lower-right neighbours: the rightmost column and bottom row of every rectangle stay
// background, which leaves a one-pixel gap between neighbouring keys while the layout
// rectangles still tile the image without holes.
void DrawCap(RgbImage& image, const KeyCap& cap, uint32_t face, const Palette& palette, int scale) {
    PixelRect box = cap.rects.front();
    for (const PixelRect& r : cap.rects) {
        box.left = std::min(box.left, r.left);
        box.top = std::min(box.top, r.top);
        box.right = std::max(box.right, r.right);
        box.bottom = std::max(box.bottom, r.bottom);
    }
    const int w = box.Width(), h = box.Height();
    auto covered = [&](int x, int y) {
        for (const PixelRect& r : cap.rects)
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
        return false;
    };
    std::vector<uint8_t> body(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int ix = box.left + x, iy = box.top + y;
            body[y * w + x] = covered(ix, iy) && covered(ix + 1, iy) && covered(ix, iy + 1) && covered(ix + 1, iy + 1);
        }
    // Steps from each body cell to the first non-body cell in the four directions (1: the
    // neighbour is outside).
    std::vector<int> up(body.size()), down(body.size()), left(body.size()), right(body.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            size_t i = y * w + x;
            up[i] = !body[i] ? 0 : (y == 0 ? 1 : up[i - w] + 1);
            left[i] = !body[i] ? 0 : (x == 0 ? 1 : left[i - 1] + 1);
        }
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x) {
            size_t i = y * w + x;
            down[i] = !body[i] ? 0 : (y == h - 1 ? 1 : down[i + w] + 1);
            right[i] = !body[i] ? 0 : (x == w - 1 ? 1 : right[i + 1] + 1);
        }
    const int radius = scale;
    const int bevel = scale;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            size_t i = y * w + x;
            if (!body[i]) continue;
            int dv = std::min(up[i], down[i]), dh = std::min(left[i], right[i]);
            if (dv + dh <= radius + 1) continue;  // rounded corner
            uint32_t c;
            if (dv == 1 || dh == 1 || dv + dh == radius + 2) {
                c = palette.border;
            } else {
                // A soft vertical gradient: lighter at the top of the cap.
                double t = h > 1 ? static_cast<double>(y) / (h - 1) : 0.0;
                c = t < 0.5 ? Lighten(face, 0.10 * (0.5 - t) * 2) : Darken(face, 0.07 * (t - 0.5) * 2);
                if (down[i] <= 1 + bevel) c = Darken(face, 0.22);
                else if (right[i] <= 1 + bevel) c = Darken(face, 0.10);
                else if (up[i] <= 1 + bevel || left[i] <= 1 + bevel) c = Lighten(face, 0.55);
            }
            image.Set(box.left + x, box.top + y, c);
        }
}

}  // namespace

RgbImage DrawKeyboard(const Keyboard& board, const std::vector<KeyCap>& caps, const Palette& palette, int scale,
                      const std::function<KeyKind(int entry)>& kindOf) {
    RgbImage image(board.width, board.height, palette.background);
    for (const KeyCap& cap : caps) {
        uint32_t face = palette.characterKey;
        switch (kindOf(cap.entry)) {
        case KeyKind::Character: face = palette.characterKey; break;
        case KeyKind::Function: face = palette.functionKey; break;
        case KeyKind::Status: face = palette.statusKey; break;
        }
        DrawCap(image, cap, face, palette, scale);
    }
    return image;
}

}  // namespace skinmaker

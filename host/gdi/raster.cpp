#include "host/gdi/raster.h"

#include <algorithm>

#include "platform/gdi.h"

namespace host {

namespace {

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool HasArea(const RECT& r) { return r.right > r.left && r.bottom > r.top; }

// Calls draw(RECT) for each part of rect that lies on the surface and inside the clip list.
template <class Draw>
void ForEachClip(const DeviceContext& dc, const RECT& rect, Draw&& draw) {
    const RECT bounds{0, 0, dc.surface->Width(), dc.surface->Height()};
    const RECT onSurface = Intersect(rect, bounds);
    if (!HasArea(onSurface)) return;
    if (dc.clipCount == 0) {
        draw(onSurface);
        return;
    }
    for (int i = 0; i < dc.clipCount; ++i) {
        RECT part = Intersect(onSurface, dc.clip[i]);
        if (HasArea(part)) draw(part);
    }
}

void Store(Bitmap& bitmap, bool mono, int x, int y, uint32_t pixel) {
    if (mono)
        bitmap.SetMono(x, y, MonoBit(pixel));
    else
        bitmap.SetPixel(x, y, pixel);
}

}  // namespace

bool Blit(const BlitRequest& q) {
    if (!q.dest || !q.dest->surface) return false;
    DeviceContext& dc = *q.dest;
    Bitmap& dst = *dc.surface;
    const bool masked = q.mask != nullptr && q.foreground != q.background;
    const bool needSource = RopUsesSource(q.foreground) || (masked && RopUsesSource(q.background));
    if (needSource && !q.source) return false;
    if (q.width <= 0 || q.height <= 0) return true;

    const bool dstMono = dst.Depth() == 1;
    uint32_t pattern = 0xFFFFFF;
    if (const Brush* brush = BrushFromHandle(dc.brush)) pattern = ColorToPixel(brush->color);
    if (dstMono) pattern = MonoBit(pattern) ? 0xFFFFFF : 0;
    const uint32_t textPixel = ColorToPixel(dc.textColor);
    const uint32_t bkPixel = ColorToPixel(dc.bkColor);
    const uint32_t sourceBkPixel = ColorToPixel(q.sourceBkColor);
    const bool srcMono = q.source && q.source->Depth() == 1;

    // Worked out in 64 bits, so that no coordinate a caller passes can overflow, then cut to
    // the destination, which makes every remaining value small.
    int64_t left = q.x, top = q.y, right = int64_t{q.x} + q.width, bottom = int64_t{q.y} + q.height;
    const int64_t dxSrc64 = int64_t{q.xSrc} - q.x, dySrc64 = int64_t{q.ySrc} - q.y;
    if (needSource) {
        // Only the part whose source lies inside the source bitmap is drawn.
        left = std::max(left, -dxSrc64);
        top = std::max(top, -dySrc64);
        right = std::min(right, q.source->Width() - dxSrc64);
        bottom = std::min(bottom, q.source->Height() - dySrc64);
    }
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, dst.Width());
    bottom = std::min<int64_t>(bottom, dst.Height());
    if (right <= left || bottom <= top) return true;
    const RECT want{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                    static_cast<LONG>(bottom)};
    const int dxSrc = needSource ? static_cast<int>(dxSrc64) : 0, dySrc = needSource ? static_cast<int>(dySrc64) : 0;
    const int64_t dxMask = int64_t{q.xMask} - q.x, dyMask = int64_t{q.yMask} - q.y;
    // A transfer within one bitmap runs against the direction of the move so that it reads
    // every source pixel before overwriting it.
    const bool same = q.source == &dst;
    const bool bottomUp = same && dySrc < 0;
    const bool rightToLeft = same && dySrc == 0 && dxSrc < 0;

    ForEachClip(dc, want, [&](const RECT& r) {
        const int width = r.right - r.left;
        for (int row = 0; row < r.bottom - r.top; ++row) {
            const int y = bottomUp ? r.bottom - 1 - row : r.top + row;
            uint32_t* out = dst.Row(y) + r.left;
            const uint32_t* in = needSource ? q.source->Row(y + dySrc) + r.left + dxSrc : nullptr;
            // The mask row, when this row lies on the mask; beyond it every bit counts as 1.
            const int64_t my = y + dyMask;
            const uint32_t* maskRow =
                masked && my >= 0 && my < q.mask->Height() ? q.mask->Row(static_cast<int>(my)) : nullptr;
            const int64_t mx0 = r.left + dxMask;
            const int64_t maskWidth = masked ? q.mask->Width() : 0;
            const bool plain = !dstMono && !srcMono;
            // The keyboard's two operations over a row the mask covers whole: one pass each.
            if (plain && in && !same && maskRow && mx0 >= 0 && mx0 + width <= maskWidth) {
                const uint32_t* bits = maskRow + mx0;
                if (q.foreground == 0xCC && q.background == 0x00) {
                    for (int i = 0; i < width; ++i) out[i] = MonoBit(bits[i]) ? in[i] & 0xFFFFFFu : 0u;
                    continue;
                }
                if (q.foreground == 0x33 && q.background == 0xFF) {
                    for (int i = 0; i < width; ++i) out[i] = MonoBit(bits[i]) ? ~in[i] & 0xFFFFFFu : 0xFFFFFFu;
                    continue;
                }
            }
            for (int col = 0; col < width; ++col) {
                const int i = rightToLeft ? width - 1 - col : col;
                uint8_t code = q.foreground;
                if (maskRow) {
                    const int64_t mx = mx0 + i;
                    if (mx >= 0 && mx < maskWidth && !MonoBit(maskRow[mx])) code = q.background;
                }
                uint32_t s = in ? in[i] : 0;
                if (plain) {
                    out[i] = ApplyRop3(code, pattern, s, out[i]);
                    continue;
                }
                if (in) {
                    if (srcMono && !dstMono)
                        s = MonoBit(s) ? bkPixel : textPixel;
                    else if (!srcMono && dstMono)
                        s = s == sourceBkPixel ? 0xFFFFFF : 0;
                }
                Store(dst, dstMono, r.left + i, y, ApplyRop3(code, pattern, s, out[i]));
            }
        }
    });
    return true;
}

void FillSolid(DeviceContext& dc, const RECT& rect, COLORREF color) {
    if (!dc.surface) return;
    Bitmap& dst = *dc.surface;
    const bool mono = dst.Depth() == 1;
    const uint32_t pixel = ColorToPixel(color);
    ForEachClip(dc, rect, [&](const RECT& r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) Store(dst, mono, x, y, pixel);
    });
}

namespace {

// The built-in font: 5x7 glyphs, '#' ink, drawn one row below the top of a 6x9 cell. Lower-case
// letters are drawn as capitals; a character without a glyph is drawn as a hollow box.
struct Glyph {
    char ch;
    const char* rows;  // 35 characters, row by row
};

constexpr Glyph kGlyphs[] = {
    {' ', "..................................."},
    {'A', ".###.#...##...#######...##...##...#"},
    {'B', "####.#...##...#####.#...##...#####."},
    {'C', ".###.#...##....#....#....#...#.###."},
    {'D', "####.#...##...##...##...##...#####."},
    {'E', "######....#....####.#....#....#####"},
    {'F', "######....#....####.#....#....#...."},
    {'G', ".###.#...##....#.####...##...#.####"},
    {'H', "#...##...##...#######...##...##...#"},
    {'I', ".###...#....#....#....#....#...###."},
    {'J', "..###...#....#....#....##..#..##..."},
    {'K', "#...##..#.#.#..##...#.#..#..#.#...#"},
    {'L', "#....#....#....#....#....#....#####"},
    {'M', "#...###.###.#.##.#.##...##...##...#"},
    {'N', "#...##...###..##.#.##..###...##...#"},
    {'O', ".###.#...##...##...##...##...#.###."},
    {'P', "####.#...##...#####.#....#....#...."},
    {'Q', ".###.#...##...##...##.#.##..#..##.#"},
    {'R', "####.#...##...#####.#.#..#..#.#...#"},
    {'S', ".#####....#.....###.....#....#####."},
    {'T', "#####..#....#....#....#....#....#.."},
    {'U', "#...##...##...##...##...##...#.###."},
    {'V', "#...##...##...##...##...#.#.#...#.."},
    {'W', "#...##...##...##.#.##.#.##.#.#.#.#."},
    {'X', "#...##...#.#.#...#...#.#.#...##...#"},
    {'Y', "#...##...#.#.#...#....#....#....#.."},
    {'Z', "#####....#...#...#...#...#....#####"},
    {'0', ".###.#...##..###.#.###..##...#.###."},
    {'1', "..#...##....#....#....#....#...###."},
    {'2', ".###.#...#....#...#...#...#...#####"},
    {'3', "#####...#...#.....#.....##...#.###."},
    {'4', "...#...##..#.#.#..#.#####...#....#."},
    {'5', "######....####.....#....##...#.###."},
    {'6', "..##..#...#....####.#...##...#.###."},
    {'7', "#####....#...#...#...#....#....#..."},
    {'8', ".###.#...##...#.###.#...##...#.###."},
    {'9', ".###.#...##...#.####....#...#..##.."},
    {'.', ".........................##....##.."},
    {',', "....................##....#...#...."},
    {'!', "..#....#....#....#....#.........#.."},
    {'?', ".###.#...#....#...#...#.........#.."},
    {'-', "...............#####..............."},
    {':', ".....##...##.........##...##......."},
    {'\'', "..#....#...#......................."},
    {'/', "....#....#...#...#...#...#....#...."},
};
constexpr bool GlyphsWellFormed() {
    for (const Glyph& g : kGlyphs) {
        int length = 0;
        while (g.rows[length]) ++length;
        if (length != 35) return false;
    }
    return true;
}
static_assert(GlyphsWellFormed(), "every glyph has 7 rows of 5");

constexpr const char* kBoxGlyph = "######...##...##...##...##...######";

const char* GlyphRows(WCHAR ch) {
    if (ch >= u'a' && ch <= u'z') ch = static_cast<WCHAR>(ch - u'a' + u'A');
    for (const Glyph& g : kGlyphs)
        if (static_cast<WCHAR>(g.ch) == ch) return g.rows;
    return kBoxGlyph;
}

}  // namespace

void DrawText(DeviceContext& dc, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
              const int* dx) {
    if (!dc.surface) return;
    Bitmap& dst = *dc.surface;
    const bool mono = dst.Depth() == 1;
    const uint32_t ink = ColorToPixel(dc.textColor);
    const uint32_t paper = ColorToPixel(dc.bkColor);

    if ((options & ETO_OPAQUE) && rect) FillSolid(dc, *rect, dc.bkColor);

    // TA_UPDATECP is not modelled: the text starts at (x, y) and no current position moves.
    long width = 0;
    for (UINT i = 0; i < count; ++i) width += dx ? dx[i] : kCellWidth;
    long left = x;
    if ((dc.textAlign & TA_CENTER) == TA_CENTER)
        left = x - width / 2;
    else if (dc.textAlign & TA_RIGHT)
        left = x - width;
    long top = y;
    if ((dc.textAlign & TA_BASELINE) == TA_BASELINE)
        top = y - kAscent;
    else if (dc.textAlign & TA_BOTTOM)
        top = y - kCellHeight;

    // Kept well inside 32 bits; a surface is never that large.
    auto clamp = [](long v) { return static_cast<LONG>(std::clamp<long>(v, -0x7FFFFFF, 0x7FFFFFF)); };
    RECT area{clamp(left), clamp(top), clamp(left + width), clamp(top + kCellHeight)};
    if ((options & ETO_CLIPPED) && rect) area = Intersect(area, *rect);

    ForEachClip(dc, area, [&](const RECT& r) {
        long cellLeft = left;
        for (UINT i = 0; i < count; ++i) {
            const long advance = dx ? dx[i] : kCellWidth;
            const char* rows = GlyphRows(text[i]);
            // Only the columns of this cell that lie in the clip rectangle.
            const long firstColumn = std::max<long>(0, r.left - cellLeft);
            const long endColumn = std::min<long>(advance, r.right - cellLeft);
            for (int cy = 0; cy < kCellHeight; ++cy) {
                const long py = top + cy;
                if (py < r.top || py >= r.bottom) continue;
                for (long cx = firstColumn; cx < endColumn; ++cx) {
                    const long px = cellLeft + cx;
                    const bool inked = cy >= 1 && cy <= 7 && cx < 5 && rows[(cy - 1) * 5 + cx] == '#';
                    Store(dst, mono, static_cast<int>(px), static_cast<int>(py), inked ? ink : paper);
                }
            }
            cellLeft += advance;
        }
    });
}

}  // namespace host

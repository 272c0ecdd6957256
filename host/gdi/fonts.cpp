#include "host/gdi/fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <mutex>

#include "host/gdi/raster.h"
#include "host/kernel/device.h"
#include "host/kernel/object_table.h"
#include "platform/text.h"

namespace host {

namespace {

constexpr char kRegularFace[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr char kBoldFace[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
// The system font's size in points, as the device's.
constexpr int kSystemFontPoints = 9;
// A font without a height draws at the system font's.
constexpr int kDefaultPoints = kSystemFontPoints;
// Heights beyond this are not text a screen of the device shows; they are held to it.
constexpr int kMaxPixelHeight = 512;

ObjectTable<Font>& Fonts() {
    static ObjectTable<Font> table(0x3C000000u);
    return table;
}

// FreeType's library and faces are shared by every thread; one lock keeps them consistent.
struct FaceSet {
    std::mutex lock;
    FT_Library library = nullptr;
    FT_Face regular = nullptr;
    FT_Face bold = nullptr;
    bool tried = false;
};

FaceSet& Faces() {
    static FaceSet* faces = new FaceSet;  // never destroyed: text may be drawn during exit
    return *faces;
}

// The face for the weight, at the pixel size of the logical font; null when the fonts are
// missing. The face set's lock is held.
FT_Face FaceFor(FaceSet& faces, const LOGFONTW& logical) {
    if (!faces.tried) {
        faces.tried = true;
        if (FT_Init_FreeType(&faces.library) == 0) {
            FT_New_Face(faces.library, kRegularFace, 0, &faces.regular);
            FT_New_Face(faces.library, kBoldFace, 0, &faces.bold);
        }
        if (!faces.regular)
            if (Device* device = CurrentDevice())
                device->Trace(u"fonts: cannot read " + FromUtf8(kRegularFace) + u" (package fonts-dejavu-core)\n");
    }
    FT_Face face = logical.lfWeight >= 600 && faces.bold ? faces.bold : faces.regular;
    if (!face) return nullptr;
    int pixels = 0;
    if (logical.lfHeight < 0) {
        pixels = -logical.lfHeight;
    } else if (logical.lfHeight > 0) {
        // A positive height is the whole cell: the em is that share of it.
        const long cell = face->ascender - face->descender;
        pixels = cell > 0 ? static_cast<int>((static_cast<long>(logical.lfHeight) * face->units_per_EM + cell / 2) / cell)
                          : logical.lfHeight;
    } else {
        pixels = (kDefaultPoints * ScreenPixelsPerInch() + 36) / 72;
    }
    pixels = std::clamp(pixels, 1, kMaxPixelHeight);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) return nullptr;
    return face;
}

int Round26(FT_Pos value) { return static_cast<int>((value + 32) >> 6); }

// The advance of one character in pixels (0 for one the face cannot load).
int Advance(FT_Face face, char16_t c) {
    if (FT_Load_Char(face, c, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return 0;
    return Round26(face->glyph->advance.x);
}

}  // namespace

HFONT RegisterFont(const LOGFONTW& logical) {
    auto font = std::make_unique<Font>();
    font->logical = logical;
    font->logical.lfFaceName[LF_FACESIZE - 1] = 0;
    return HandleOf<HFONT>(Fonts().Insert(std::move(font)));
}

const Font* FontFromHandle(HFONT handle) { return Fonts().Find(HandleValue(handle)); }

bool DeleteFont(HFONT handle) {
    const Font* font = FontFromHandle(handle);
    if (!font || font->stock) return false;
    return Fonts().Take(HandleValue(handle)) != nullptr;
}

HFONT SystemFont() {
    static const HFONT system = [] {
        auto font = std::make_unique<Font>();
        font->stock = true;
        font->logical.lfHeight = -((kSystemFontPoints * 96 + 36) / 72);
        font->logical.lfWeight = FW_NORMAL;
        const char16_t face[] = u"System";
        std::copy(std::begin(face), std::end(face), font->logical.lfFaceName);
        return HandleOf<HFONT>(Fonts().Insert(std::move(font)));
    }();
    return system;
}

int ScreenPixelsPerInch() {
    const Device* device = CurrentDevice();
    const int shortSide = device ? std::min(device->ScreenWidth(), device->ScreenHeight()) : 240;
    // 96 on the 240-pixel screens, 192 on the 480-pixel ones the device's VGA models have.
    return std::clamp(shortSide * 96 / 240, 96, 192);
}

bool MeasureFont(const LOGFONTW& logical, FontMetrics* metrics) {
    FaceSet& faces = Faces();
    std::lock_guard guard(faces.lock);
    FT_Face face = FaceFor(faces, logical);
    if (!face) return false;
    const FT_Size_Metrics& size = face->size->metrics;
    metrics->ascent = Round26(size.ascender);
    metrics->descent = Round26(-size.descender);
    metrics->height = metrics->ascent + metrics->descent;
    metrics->internalLeading = std::max(0, metrics->height - static_cast<int>(size.y_ppem));
    metrics->aveCharWidth = Advance(face, u'x');
    metrics->maxCharWidth = Round26(size.max_advance);
    metrics->weight = logical.lfWeight >= 600 ? FW_BOLD : FW_NORMAL;
    return true;
}

int TextWidth(const LOGFONTW& logical, std::u16string_view text) {
    FaceSet& faces = Faces();
    std::lock_guard guard(faces.lock);
    FT_Face face = FaceFor(faces, logical);
    if (!face) return 0;
    int width = 0;
    for (char16_t c : text) width += Advance(face, c);
    return width;
}

void DrawFontText(DeviceContext& dc, const LOGFONTW& logical, int x, int y, std::u16string_view text, COLORREF color,
                  const RECT* clip) {
    if (!dc.surface) return;
    Bitmap& surface = *dc.surface;
    FaceSet& faces = Faces();
    std::lock_guard guard(faces.lock);
    FT_Face face = FaceFor(faces, logical);
    if (!face) return;
    const uint32_t ink = ColorToPixel(color);
    const bool mono = surface.Depth() == 1;
    const int baseline = y + Round26(face->size->metrics.ascender);
    auto inside = [&](int px, int py) {
        if (px < 0 || py < 0 || px >= surface.Width() || py >= surface.Height()) return false;
        if (clip && (px < clip->left || px >= clip->right || py < clip->top || py >= clip->bottom)) return false;
        if (dc.clipCount == 0) return true;
        for (int i = 0; i < dc.clipCount; ++i) {
            const RECT& r = dc.clip[i];
            if (px >= r.left && px < r.right && py >= r.top && py < r.bottom) return true;
        }
        return false;
    };
    long pen = x;
    for (char16_t c : text) {
        if (pen > surface.Width() + 0x10000L) break;
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bits = glyph->bitmap;
        if (bits.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (unsigned row = 0; row < bits.rows; ++row) {
                const unsigned char* line = bits.buffer + static_cast<long>(row) * bits.pitch;
                for (unsigned column = 0; column < bits.width; ++column) {
                    if (!(line[column >> 3] & (0x80 >> (column & 7)))) continue;
                    const long px = pen + glyph->bitmap_left + static_cast<long>(column);
                    const long py = static_cast<long>(baseline) - glyph->bitmap_top + static_cast<long>(row);
                    if (px < 0 || py < 0 || px > 0x7FFFFFFF || py > 0x7FFFFFFF) continue;
                    if (!inside(static_cast<int>(px), static_cast<int>(py))) continue;
                    if (mono)
                        surface.SetMono(static_cast<int>(px), static_cast<int>(py), ((ink >> 16 & 0xFF) + (ink >> 8 & 0xFF) + (ink & 0xFF)) >= 384);
                    else
                        surface.SetPixel(static_cast<int>(px), static_cast<int>(py), ink);
                }
            }
        }
        pen += Round26(glyph->advance.x);
    }
}

void DrawFontTextOut(DeviceContext& dc, const LOGFONTW& logical, int x, int y, UINT options, const RECT* rect,
                     std::u16string_view text) {
    if ((options & ETO_OPAQUE) && rect) FillSolid(dc, *rect, dc.bkColor);
    FontMetrics metrics;
    if (!MeasureFont(logical, &metrics)) return;
    const int width = TextWidth(logical, text);
    int left = x;
    if ((dc.textAlign & TA_CENTER) == TA_CENTER)
        left = x - width / 2;
    else if (dc.textAlign & TA_RIGHT)
        left = x - width;
    int top = y;
    if ((dc.textAlign & TA_BASELINE) == TA_BASELINE)
        top = y - metrics.ascent;
    else if (dc.textAlign & TA_BOTTOM)
        top = y - metrics.height;
    const RECT* clip = (options & ETO_CLIPPED) && rect ? rect : nullptr;
    if (dc.bkMode == OPAQUE) {
        RECT cell{left, top, left + width, top + metrics.height};
        if (clip)
            cell = RECT{std::max(cell.left, clip->left), std::max(cell.top, clip->top),
                        std::min(cell.right, clip->right), std::min(cell.bottom, clip->bottom)};
        FillSolid(dc, cell, dc.bkColor);
    }
    DrawFontText(dc, logical, left, top, text, dc.textColor, clip);
}

}  // namespace host

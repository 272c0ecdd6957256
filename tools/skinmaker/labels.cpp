#include "labels.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cmath>

namespace skinmaker {

LabelPainter::~LabelPainter() {
    if (m_face) FT_Done_Face(m_face);
    if (m_library) FT_Done_FreeType(m_library);
}

bool LabelPainter::Open(const std::filesystem::path& font, GlyphRendering rendering, std::string* error) {
    m_rendering = rendering;
    if (FT_Init_FreeType(&m_library) != 0) {
        *error = "FreeType could not start";
        return false;
    }
    if (FT_New_Face(m_library, font.c_str(), 0, &m_face) != 0) {
        *error = font.string() + ": not a font FreeType can read";
        return false;
    }
    if (!FT_IS_SCALABLE(m_face)) {
        *error = font.string() + ": the font is not scalable";
        return false;
    }
    return true;
}

bool LabelPainter::Render(char16_t c, int pixels, Glyph* glyph) {
    FT_UInt index = FT_Get_Char_Index(m_face, c);
    if (index == 0) return false;
    if (FT_Set_Pixel_Sizes(m_face, 0, static_cast<FT_UInt>(pixels)) != 0) return false;
    FT_Int32 flags = FT_LOAD_RENDER | (m_rendering == GlyphRendering::Mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(m_face, index, flags) != 0) return false;
    const FT_GlyphSlot slot = m_face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    glyph->left = slot->bitmap_left;
    glyph->top = slot->bitmap_top;
    glyph->width = static_cast<int>(bm.width);
    glyph->rows = static_cast<int>(bm.rows);
    glyph->advance = static_cast<int>(slot->advance.x >> 6);
    glyph->on.assign(static_cast<size_t>(glyph->width) * glyph->rows, 0);
    for (int y = 0; y < glyph->rows; ++y) {
        const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        for (int x = 0; x < glyph->width; ++x) {
            bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[x / 8] & (0x80 >> (x % 8))) != 0 : row[x] >= 112;
            glyph->on[y * glyph->width + x] = on;
        }
    }
    return true;
}

int LabelPainter::CapHeight(int pixels) {
    Glyph h;
    return Render(u'H', pixels, &h) ? h.top : pixels * 7 / 10;
}

bool LabelPainter::Draw(Mask& mask, const PixelRect& area, std::u16string_view text, LabelStyle style,
                        std::vector<char16_t>* missing) {
    if (text.empty()) return true;
    // The usable inside of a cap: its outline, and the one-pixel gap on the right and bottom of
    // every layout rectangle, stay free of label pixels.
    const int ix0 = area.left + 1, iy0 = area.top + 1;
    const int iw = area.Width() - 3, ih = area.Height() - 3;
    if (iw <= 0 || ih <= 0) return false;
    const double share = style == LabelStyle::Text ? 0.56 : 0.69;
    int pixels = std::max(6, static_cast<int>(std::lround(area.Height() * share)));

    std::vector<Glyph> glyphs;
    std::vector<int> pens;
    int inkLeft = 0, inkRight = 0, inkTop = 0, inkBottom = 0;
    for (; pixels >= 6; --pixels) {
        glyphs.clear();
        pens.clear();
        inkLeft = INT_MAX, inkRight = INT_MIN, inkTop = INT_MAX, inkBottom = INT_MIN;
        int pen = 0;
        for (char16_t c : text) {
            Glyph g;
            if (!Render(c, pixels, &g)) {
                if (missing && std::find(missing->begin(), missing->end(), c) == missing->end()) missing->push_back(c);
                continue;
            }
            if (g.width > 0 && g.rows > 0) {
                inkLeft = std::min(inkLeft, pen + g.left);
                inkRight = std::max(inkRight, pen + g.left + g.width);
                inkTop = std::min(inkTop, -g.top);
                inkBottom = std::max(inkBottom, -g.top + g.rows);
            }
            pens.push_back(pen);
            pen += g.advance;
            glyphs.push_back(std::move(g));
        }
        if (inkLeft == INT_MAX) return true;  // nothing visible
        if (inkRight - inkLeft <= iw && inkBottom - inkTop <= ih) break;
    }
    if (pixels < 6) return false;

    int originX = ix0 + (iw - (inkRight - inkLeft)) / 2 - inkLeft;
    int baseline;
    if (style == LabelStyle::Character) {
        // Characters share one baseline per size, so a row of letters lines up; descenders
        // hang below the centred capitals.
        int cap = CapHeight(pixels);
        baseline = iy0 + (ih + cap) / 2;
        if (baseline + inkBottom > iy0 + ih) baseline = iy0 + ih - inkBottom;
        if (baseline + inkTop < iy0) baseline = iy0 - inkTop;
    } else {
        baseline = iy0 + (ih - (inkBottom - inkTop)) / 2 - inkTop;
    }
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const Glyph& g = glyphs[i];
        for (int y = 0; y < g.rows; ++y)
            for (int x = 0; x < g.width; ++x) {
                if (!g.on[y * g.width + x]) continue;
                int px = originX + pens[i] + g.left + x, py = baseline - g.top + y;
                if (px >= ix0 && px < ix0 + iw && py >= iy0 && py < iy0 + ih && px < mask.Width() && py < mask.Height())
                    mask.SetLabel(px, py);
            }
    }
    return true;
}

}  // namespace skinmaker

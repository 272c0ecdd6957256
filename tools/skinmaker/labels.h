// Key labels drawn into masks with FreeType. Glyphs are rendered hinted in monochrome (or
// anti-aliased and thresholded), because a mask pixel is either a label pixel or not, and the
// labels must stay legible at the 11-pixel sizes of a 240-pixel keyboard.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "raster.h"

typedef struct FT_LibraryRec_* FT_Library;
typedef struct FT_FaceRec_* FT_Face;

namespace skinmaker {

enum class LabelStyle {
    Character,  // one character of the table: on the common baseline of its row
    Symbol,     // one symbol of a function key: centred
    Text,       // a word such as "Ctrl": smaller, centred
};

enum class GlyphRendering { Mono, Threshold };

class LabelPainter {
public:
    LabelPainter() = default;
    ~LabelPainter();
    LabelPainter(const LabelPainter&) = delete;
    LabelPainter& operator=(const LabelPainter&) = delete;

    bool Open(const std::filesystem::path& font, GlyphRendering rendering, std::string* error);
    // Draws text inside the cap rectangle area (the label keeps clear of the outline), shrinking
    // it until it fits. Characters the font lacks are skipped and reported in missing. False,
    // with nothing drawn, when the label does not fit even at the smallest size.
    bool Draw(Mask& mask, const PixelRect& area, std::u16string_view text, LabelStyle style,
              std::vector<char16_t>* missing);

private:
    struct Glyph {
        int left = 0;
        int top = 0;
        int width = 0;
        int rows = 0;
        int advance = 0;
        std::vector<uint8_t> on;
    };
    bool Render(char16_t c, int pixels, Glyph* glyph);
    int CapHeight(int pixels);

    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
    GlyphRendering m_rendering = GlyphRendering::Mono;
};

}  // namespace skinmaker

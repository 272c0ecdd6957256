// Writes the SIP button bitmaps of the vexor library at build time, so that their artwork lives
// here as text: narrow.bmp (16 x 16, 24 bits per pixel, a keyboard on silver) and wide.bmp
// (32 x 16, 4 bits per pixel, the word mark "VEXOR" in black on white).
//
// usage: vexor_icons OUTPUT_FOLDER
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// '#' is the glyph, '.' the silver background that the image list masks out.
const char* const kNarrow[16] = {
    "................", "................", "................", "................",
    ".##############.", ".#............#.", ".#.#.#.#.#.#..#.", ".#............#.",
    ".#..#.#.#.#.#.#.", ".#............#.", ".#...######...#.", ".#............#.",
    ".##############.", "................", "................", "................",
};

// '#' is black, '.' white.
const char* const kWide[16] = {
    "................................", "................................", "................................",
    "................................", "..#...#.#####.#...#..###..####..", "..#...#.#.....#...#.#...#.#...#.",
    "..#...#.#......#.#..#...#.#...#.", "...#.#..####....#...#...#.####..", "...#.#..#......#.#..#...#.#.#...",
    "...#.#..#.....#...#.#...#.#..#..", "....#...#####.#...#..###..#...#.", "................................",
    "................................", "................................", "................................",
    "................................",
};

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

// File header and BITMAPINFOHEADER for a bottom-up BI_RGB bitmap.
std::vector<uint8_t> Headers(int width, int height, int bits, uint32_t paletteEntries, uint32_t imageSize) {
    std::vector<uint8_t> out;
    const uint32_t offset = 14 + 40 + paletteEntries * 4;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(bits));
    Put32(out, 0);
    Put32(out, imageSize);
    Put32(out, 3780);
    Put32(out, 3780);
    Put32(out, paletteEntries);
    Put32(out, 0);
    return out;
}

std::vector<uint8_t> Narrow() {
    const int stride = ((3 * 16 + 3) / 4) * 4;
    std::vector<uint8_t> out = Headers(16, 16, 24, 0, static_cast<uint32_t>(stride * 16));
    for (int row = 15; row >= 0; --row) {
        for (int x = 0; x < 16; ++x) {
            // Blue, green, red: a dark blue glyph, which the library recolours anyway.
            const bool glyph = kNarrow[row][x] == '#';
            out.push_back(glyph ? 0x80 : 0xC0);
            out.push_back(glyph ? 0x00 : 0xC0);
            out.push_back(glyph ? 0x00 : 0xC0);
        }
    }
    return out;
}

std::vector<uint8_t> Wide() {
    // The standard 16-colour palette: index 0 black, index 15 white.
    static const uint32_t kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                          0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                          0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    const int stride = ((32 * 4 + 31) / 32) * 4;
    std::vector<uint8_t> out = Headers(32, 16, 4, 16, static_cast<uint32_t>(stride * 16));
    for (uint32_t rgb : kPalette) {
        out.push_back(static_cast<uint8_t>(rgb));
        out.push_back(static_cast<uint8_t>(rgb >> 8));
        out.push_back(static_cast<uint8_t>(rgb >> 16));
        out.push_back(0);
    }
    for (int row = 15; row >= 0; --row)
        for (int x = 0; x < 32; x += 2) {
            const uint8_t left = kWide[row][x] == '#' ? 0 : 15;
            const uint8_t right = kWide[row][x + 1] == '#' ? 0 : 15;
            out.push_back(static_cast<uint8_t>(left << 4 | right));
        }
    return out;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vexor_icons OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    if (!Write(folder + "/narrow.bmp", Narrow()) || !Write(folder + "/wide.bmp", Wide())) {
        std::fprintf(stderr, "vexor_icons: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}

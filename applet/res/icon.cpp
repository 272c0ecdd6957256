// Writes the applet's icon at build time, so that its artwork lives here as text: lingo.ico,
// 16 x 16 at 32 bits per pixel, two speech bubbles on a transparent ground.
//
// usage: lingo_icon OUTPUT_FILE
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// 'b' blue, 'r' red, 'w' white, '.' transparent.
const char* const kArt[16] = {
    "................", ".bbbbbbbb.......", "bbwwbbwwbb......", "bbwwbbwwbb......",
    "bbbbwwbbbb......", "bbbbwwbbbb......", ".bbbbbbbb.......", "...bb...........",
    "..b...rrrrrrrr..", "......rrwrrwrrr.", ".....rrrwwwwrrr.", ".....rrrwrrwrrr.",
    "......rrrrrrrr..", "..........rr....", "...........r....", "................",
};

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lingo_icon OUTPUT_FILE\n");
        return 2;
    }
    std::vector<uint8_t> image;
    // The image: a BITMAPINFOHEADER twice as high (colour rows, then the mask), bottom-up.
    Put32(image, 40);
    Put32(image, 16);
    Put32(image, 32);
    Put16(image, 1);
    Put16(image, 32);
    for (int i = 0; i < 6; ++i) Put32(image, 0);
    for (int y = 15; y >= 0; --y)
        for (int x = 0; x < 16; ++x) {
            const char c = kArt[y][x];
            const uint32_t bgra = c == 'b' ? 0xFF1E5AC8u : c == 'r' ? 0xFFC8321Eu : c == 'w' ? 0xFFFFFFFFu : 0u;
            Put32(image, bgra);
        }
    // The AND mask: 1 where transparent, rows padded to 32 bits.
    for (int y = 15; y >= 0; --y) {
        uint32_t row = 0;
        for (int x = 0; x < 16; ++x)
            if (kArt[y][x] == '.') row |= 0x80000000u >> x;
        image.push_back(static_cast<uint8_t>(row >> 24));
        image.push_back(static_cast<uint8_t>(row >> 16));
        image.push_back(0);
        image.push_back(0);
    }
    std::vector<uint8_t> file;
    Put16(file, 0);
    Put16(file, 1);  // an icon
    Put16(file, 1);  // one image
    file.push_back(16);
    file.push_back(16);
    file.push_back(0);
    file.push_back(0);
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<uint32_t>(image.size()));
    Put32(file, 6 + 16);
    file.insert(file.end(), image.begin(), image.end());
    FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "lingo_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

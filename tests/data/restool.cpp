// Build-time helper for the resource test data:
//   restool bitmaps OUTDIR          writes the pattern bitmaps (bitmap_pattern.h) as BMP files
//   restool machine FILE 0xNNNN     sets the COFF machine field of a PE file
// The BMP writer follows the stored layout directly (rows padded to 4 bytes, bottom-up unless
// the height is negative), independently of the reader under test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bitmap_pattern.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Places the 8 bits of v where mask says, for the BI_BITFIELDS file.
uint32_t Spread(uint32_t v, uint32_t mask) {
    int shift = 0;
    while (!(mask & (1u << shift))) ++shift;
    return (v << shift) & mask;
}

std::vector<uint8_t> MakeBmp(const testdata::PatternBitmap& b) {
    int stride = ((b.width * b.depth + 31) / 32) * 4;
    int paletteEntries = b.depth <= 8 ? b.paletteSize : 0;
    int extra = b.bitfields ? 12 : 0;
    uint32_t bitsOffset = 14 + 40 + extra + paletteEntries * 4;
    uint32_t imageSize = static_cast<uint32_t>(stride * b.height);

    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, bitsOffset + imageSize);
    Put32(out, 0);
    Put32(out, bitsOffset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(b.width));
    Put32(out, static_cast<uint32_t>(b.topDown ? -b.height : b.height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(b.depth));
    Put32(out, b.bitfields ? 3 : 0);
    Put32(out, imageSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, b.depth <= 8 && paletteEntries == (1 << b.depth) ? 0 : static_cast<uint32_t>(paletteEntries));
    Put32(out, 0);
    if (b.bitfields) {
        Put32(out, testdata::kRedMask);
        Put32(out, testdata::kGreenMask);
        Put32(out, testdata::kBlueMask);
    }
    for (int i = 0; i < paletteEntries; ++i) {
        uint32_t c = testdata::PatternPalette(i);
        out.push_back(c & 0xFF);
        out.push_back((c >> 8) & 0xFF);
        out.push_back((c >> 16) & 0xFF);
        out.push_back(0);
    }
    for (int row = 0; row < b.height; ++row) {
        int y = b.topDown ? row : b.height - 1 - row;
        std::vector<uint8_t> line(static_cast<size_t>(stride), 0);
        for (int x = 0; x < b.width; ++x) {
            uint32_t c = testdata::PatternColour(x, y);
            uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, bl = c & 0xFF;
            switch (b.depth) {
            case 1:
                if (testdata::PatternIndex(b, x, y)) line[x / 8] |= 0x80 >> (x % 8);
                break;
            case 4:
                line[x / 2] |= testdata::PatternIndex(b, x, y) << (x % 2 ? 0 : 4);
                break;
            case 8: line[x] = static_cast<uint8_t>(testdata::PatternIndex(b, x, y)); break;
            case 24:
                line[x * 3] = bl;
                line[x * 3 + 1] = g;
                line[x * 3 + 2] = r;
                break;
            case 32: {
                uint32_t v = b.bitfields ? Spread(r, testdata::kRedMask) | Spread(g, testdata::kGreenMask) |
                                               Spread(bl, testdata::kBlueMask)
                                         : (r << 16) | (g << 8) | bl;
                std::memcpy(&line[x * 4], &v, 4);
                break;
            }
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

int PatchMachine(const char* path, const char* value) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    uint8_t dos[64];
    if (!f.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        std::fprintf(stderr, "restool: %s is not a PE file\n", path);
        return 1;
    }
    uint32_t peOffset = dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 | static_cast<uint32_t>(dos[0x3F]) << 24;
    char sig[4];
    f.seekg(peOffset);
    if (!f.read(sig, 4) || std::memcmp(sig, "PE\0\0", 4) != 0) {
        std::fprintf(stderr, "restool: %s has no PE signature\n", path);
        return 1;
    }
    unsigned long machine = std::strtoul(value, nullptr, 0);
    char field[2] = {static_cast<char>(machine & 0xFF), static_cast<char>((machine >> 8) & 0xFF)};
    f.seekp(peOffset + 4);
    if (!f.write(field, 2)) {
        std::fprintf(stderr, "restool: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "bitmaps") == 0) {
        for (const auto& b : testdata::kPatternBitmaps) {
            std::string path = std::string(argv[2]) + "/" + b.file;
            if (!WriteFile(path, MakeBmp(b))) {
                std::fprintf(stderr, "restool: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "machine") == 0) return PatchMachine(argv[2], argv[3]);
    std::fprintf(stderr, "usage: restool bitmaps OUTDIR | restool machine FILE 0xNNNN\n");
    return 2;
}

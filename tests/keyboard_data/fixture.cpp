// Build-time helper for the keyboard tests' skin libraries:
//   kbd_fixture bmp OUT WIDTH HEIGHT BITS     a plain BMP (BITS 1: all mask bits set; 24: grey)
//   kbd_fixture be16 OUT VALUE...             each value as an unsigned 16-bit big-endian word
//   kbd_fixture le16 OUT VALUE...             ... little-endian
//   kbd_fixture le32 OUT VALUE...             each value as a signed 32-bit little-endian word
// Values are decimal or 0x-prefixed hex. The writers follow the stored formats directly,
// independently of the readers under test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Put(std::vector<uint8_t>& out, uint64_t v, int bytes, bool bigEndian) {
    for (int i = 0; i < bytes; ++i) {
        int shift = 8 * (bigEndian ? bytes - 1 - i : i);
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

std::vector<uint8_t> MakeBmp(int width, int height, int bits) {
    const int stride = ((width * bits + 31) / 32) * 4;
    const int palette = bits == 1 ? 2 : 0;
    const uint32_t offset = 14 + 40 + palette * 4;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put(out, offset + static_cast<uint32_t>(stride * height), 4, false);
    Put(out, 0, 4, false);
    Put(out, offset, 4, false);
    Put(out, 40, 4, false);
    Put(out, static_cast<uint32_t>(width), 4, false);
    Put(out, static_cast<uint32_t>(height), 4, false);
    Put(out, 1, 2, false);
    Put(out, static_cast<uint32_t>(bits), 2, false);
    Put(out, 0, 4, false);
    Put(out, static_cast<uint32_t>(stride * height), 4, false);
    Put(out, 2835, 4, false);
    Put(out, 2835, 4, false);
    Put(out, static_cast<uint32_t>(palette), 4, false);
    Put(out, 0, 4, false);
    if (bits == 1) {
        Put(out, 0x00000000, 4, false);
        Put(out, 0x00FFFFFF, 4, false);
    }
    out.insert(out.end(), static_cast<size_t>(stride * height), bits == 1 ? 0xFF : 0x80);
    return out;
}

bool Write(const char* path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

int Usage() {
    std::fprintf(stderr, "usage: kbd_fixture bmp OUT W H BITS | be16|le16|le32 OUT VALUE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string kind = argv[1];
    std::vector<uint8_t> data;
    if (kind == "bmp") {
        if (argc != 6) return Usage();
        int width = std::atoi(argv[3]), height = std::atoi(argv[4]), bits = std::atoi(argv[5]);
        if (width <= 0 || height <= 0 || (bits != 1 && bits != 24)) return Usage();
        data = MakeBmp(width, height, bits);
    } else if (kind == "be16" || kind == "le16" || kind == "le32") {
        const int bytes = kind == "le32" ? 4 : 2;
        for (int i = 3; i < argc; ++i) {
            char* end = nullptr;
            long long v = std::strtoll(argv[i], &end, 0);
            if (!end || *end) return Usage();
            Put(data, static_cast<uint64_t>(v), bytes, kind == "be16");
        }
    } else {
        return Usage();
    }
    if (!Write(argv[2], data)) {
        std::fprintf(stderr, "kbd_fixture: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

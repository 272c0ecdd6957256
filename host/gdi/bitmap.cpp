#include "host/kernel/object_table.h"
#include "host/gdi/bitmap.h"

#include <bit>
#include <mutex>
#include <unordered_map>

#include "host/modules/resource_tree.h"

namespace host {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kHeaderWithMasks = 52;  // BITMAPV2INFOHEADER and later hold the masks themselves
constexpr uint32_t kMaxColourTable = 256;

// One colour channel of a BI_BITFIELDS or 16-bit pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    uint32_t Extract(uint32_t pixel) const {
        if (!mask) return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return (v >> (bits - 8)) & 0xFF;
        return v * 255 / ((1u << bits) - 1);
    }
};

bool ContiguousMask(uint32_t mask) {
    if (!mask) return true;
    uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

std::unique_ptr<Bitmap> Fail(std::string* error, const char* reason) {
    if (error) *error = reason;
    return nullptr;
}

ObjectTable<Bitmap>& Handles() {
    static ObjectTable<Bitmap> table(0x20000000u);
    return table;
}

}  // namespace

Bitmap::Bitmap(int width, int height, int depth)
    : m_width(width), m_height(height), m_depth(depth),
      m_pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0) {
    if (depth <= 8) m_indices.assign(m_pixels.size(), 0);
    // A monochrome bitmap made here is black and white; a decoded one replaces this palette.
    if (depth == 1) m_palette = {0x000000u, 0xFFFFFFu};
}

std::unique_ptr<Bitmap> Bitmap::Create(int width, int height, int depth) {
    if (width <= 0 || height <= 0) return nullptr;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) return nullptr;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels) return nullptr;
    return std::unique_ptr<Bitmap>(new Bitmap(width, height, depth));
}

void Bitmap::SetPalette(std::vector<uint32_t> palette) {
    m_palette = std::move(palette);
    // The brighter of a two-colour palette's entries stands for white.
    auto level = [](uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF); };
    m_whiteIndex = m_palette.size() >= 2 && level(m_palette[0]) > level(m_palette[1]) ? 0 : 1;
}

void Bitmap::SetPaletteIndex(int x, int y, uint8_t index) {
    if (m_indices.empty()) return;
    m_indices[Index(x, y)] = index;
    m_pixels[Index(x, y)] = index < m_palette.size() ? m_palette[index] : 0;
}

std::unique_ptr<Bitmap> DecodeDib(std::span<const uint8_t> dib, std::string* error) {
    if (dib.size() < 4) return Fail(error, "the bitmap header is cut short");
    uint32_t headerSize = ReadLe32(dib.data());
    if (headerSize < kInfoHeaderSize) return Fail(error, "unsupported bitmap header");
    if (headerSize > dib.size()) return Fail(error, "the bitmap header is cut short");
    const uint8_t* h = dib.data();
    int32_t width = static_cast<int32_t>(ReadLe32(h + 4));
    int32_t storedHeight = static_cast<int32_t>(ReadLe32(h + 8));
    int depth = ReadLe16(h + 14);
    uint32_t compression = ReadLe32(h + 16);
    uint32_t coloursUsed = ReadLe32(h + 32);

    if (width <= 0 || storedHeight == 0 || storedHeight == INT32_MIN) return Fail(error, "the bitmap size is not valid");
    bool topDown = storedHeight < 0;
    int32_t height = topDown ? -storedHeight : storedHeight;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > Bitmap::kMaxPixels)
        return Fail(error, "the bitmap is too large");
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return Fail(error, "unsupported bitmap depth");
    if (compression != kBiRgb && !(compression == kBiBitfields && (depth == 16 || depth == 32)))
        return Fail(error, "compressed bitmaps are not supported");

    size_t pos = headerSize;
    uint32_t redMask = 0x00FF0000u, greenMask = 0x0000FF00u, blueMask = 0x000000FFu;
    if (depth == 16) {
        redMask = 0x7C00u;
        greenMask = 0x03E0u;
        blueMask = 0x001Fu;
    }
    if (compression == kBiBitfields) {
        const uint8_t* masks = nullptr;
        if (headerSize >= kHeaderWithMasks) {
            masks = h + kInfoHeaderSize;
        } else {
            if (dib.size() - pos < 12) return Fail(error, "the bitmap's colour masks are cut short");
            masks = h + pos;
            pos += 12;
        }
        redMask = ReadLe32(masks);
        greenMask = ReadLe32(masks + 4);
        blueMask = ReadLe32(masks + 8);
        if (!ContiguousMask(redMask) || !ContiguousMask(greenMask) || !ContiguousMask(blueMask))
            return Fail(error, "the bitmap's colour masks are not valid");
    }

    if (coloursUsed > kMaxColourTable) return Fail(error, "the bitmap's colour table is too large");
    uint32_t tableEntries = depth <= 8 ? (coloursUsed ? coloursUsed : 1u << depth) : coloursUsed;
    if ((dib.size() - pos) / 4 < tableEntries) return Fail(error, "the bitmap's colour table is cut short");
    std::vector<uint32_t> palette;
    if (depth <= 8) {
        palette.reserve(tableEntries);
        for (uint32_t i = 0; i < tableEntries; ++i) {
            const uint8_t* q = dib.data() + pos + i * 4;
            palette.push_back(static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[1]) << 8 | q[0]);
        }
    }
    pos += static_cast<size_t>(tableEntries) * 4;

    uint64_t rowBits = static_cast<uint64_t>(width) * static_cast<uint64_t>(depth);
    uint64_t stride = (rowBits + 31) / 32 * 4;
    // The last row may leave out its padding; every other row is whole.
    uint64_t needed = stride * static_cast<uint64_t>(height - 1) + (rowBits + 7) / 8;
    if (needed > dib.size() - pos) return Fail(error, "the bitmap's bits are cut short");

    auto bitmap = Bitmap::Create(width, height, depth);
    if (!bitmap) return Fail(error, "the bitmap is too large");
    bitmap->SetPalette(std::move(palette));
    Channel red(redMask), green(greenMask), blue(blueMask);
    for (int32_t row = 0; row < height; ++row) {
        int y = topDown ? row : height - 1 - row;
        const uint8_t* line = dib.data() + pos + stride * static_cast<uint64_t>(row);
        for (int32_t x = 0; x < width; ++x) {
            switch (depth) {
            case 1: bitmap->SetPaletteIndex(x, y, (line[x / 8] >> (7 - x % 8)) & 1); break;
            case 4: bitmap->SetPaletteIndex(x, y, (line[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F); break;
            case 8: bitmap->SetPaletteIndex(x, y, line[x]); break;
            case 16: {
                uint32_t v = ReadLe16(line + x * 2);
                bitmap->SetPixel(x, y, red.Extract(v) << 16 | green.Extract(v) << 8 | blue.Extract(v));
                break;
            }
            case 24: {
                const uint8_t* q = line + x * 3;
                bitmap->SetPixel(x, y, static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[1]) << 8 | q[0]);
                break;
            }
            case 32: {
                uint32_t v = ReadLe32(line + x * 4);
                bitmap->SetPixel(x, y, red.Extract(v) << 16 | green.Extract(v) << 8 | blue.Extract(v));
                break;
            }
            }
        }
    }
    return bitmap;
}

HBITMAP RegisterBitmap(std::unique_ptr<Bitmap> bitmap) {
    if (!bitmap) return nullptr;
    return HandleOf<HBITMAP>(Handles().Insert(std::move(bitmap)));
}

Bitmap* BitmapFromHandle(HBITMAP handle) { return Handles().Find(HandleValue(handle)); }

bool IsBitmapHandle(const void* handle) {
    return Handles().Find(reinterpret_cast<uintptr_t>(handle)) != nullptr;
}

HBITMAP StockBitmap() {
    static const HBITMAP stock = RegisterBitmap(Bitmap::Create(1, 1, 1));
    return stock;
}

bool DeleteBitmap(HBITMAP handle) {
    if (handle == StockBitmap()) return false;
    return Handles().Take(HandleValue(handle)) != nullptr;
}

}  // namespace host

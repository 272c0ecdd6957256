#include "raster.h"

#include <png.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace skinmaker {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Headers of a BMP file whose pixel rows follow the palette.
std::vector<uint8_t> BmpHeaders(int width, int height, int bits, const std::vector<uint32_t>& palette) {
    uint32_t stride = ((static_cast<uint32_t>(width) * bits + 31) / 32) * 4;
    uint32_t pixelBytes = stride * static_cast<uint32_t>(height);
    uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(palette.size());
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + pixelBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));  // positive: bottom-up
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0);  // BI_RGB
    Put32(out, pixelBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, static_cast<uint32_t>(palette.size()));
    Put32(out, 0);
    for (uint32_t rgb : palette) Put32(out, rgb);  // stored B, G, R, 0
    return out;
}

}  // namespace

bool WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes, std::string* error) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        *error = file.string() + ": cannot write the file";
        return false;
    }
    return true;
}

bool WriteBmp(const std::filesystem::path& file, const RgbImage& image, std::string* error) {
    std::vector<uint8_t> out = BmpHeaders(image.Width(), image.Height(), 24, {});
    size_t stride = ((static_cast<size_t>(image.Width()) * 24 + 31) / 32) * 4;
    for (int y = image.Height() - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < image.Width(); ++x) {
            uint32_t rgb = image.At(x, y);
            out.push_back(static_cast<uint8_t>(rgb));
            out.push_back(static_cast<uint8_t>(rgb >> 8));
            out.push_back(static_cast<uint8_t>(rgb >> 16));
        }
        out.resize(start + stride, 0);
    }
    return WriteBytes(file, out, error);
}

bool WriteBmp(const std::filesystem::path& file, const Mask& mask, std::string* error) {
    std::vector<uint8_t> out = BmpHeaders(mask.Width(), mask.Height(), 1, {0x000000, 0xFFFFFF});
    size_t stride = ((static_cast<size_t>(mask.Width()) + 31) / 32) * 4;
    for (int y = mask.Height() - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < mask.Width(); ++x)
            if (mask.Shows(x, y)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return WriteBytes(file, out, error);
}

bool WritePreviewPng(const std::filesystem::path& file, const RgbImage& image, const Mask* mask, std::string* error) {
    std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(file.c_str(), "wb"), &std::fclose);
    if (!fp) {
        *error = file.string() + ": cannot write the file";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        *error = "libpng could not start";
        return false;
    }
    std::vector<uint8_t> row(static_cast<size_t>(image.Width()) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *error = file.string() + ": libpng failed to write the image";
        return false;
    }
    png_init_io(png, fp.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width()), static_cast<png_uint_32>(image.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            uint32_t rgb = (mask && !mask->Shows(x, y)) ? 0 : image.At(x, y);
            row[x * 3] = static_cast<uint8_t>(rgb >> 16);
            row[x * 3 + 1] = static_cast<uint8_t>(rgb >> 8);
            row[x * 3 + 2] = static_cast<uint8_t>(rgb);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace skinmaker

// The pictures a skin carries: 24-bit keyboard images and 1-bit label masks, with their BMP
// writers, and PNG previews for people to look at.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace skinmaker {

class RgbImage {
public:
    RgbImage(int width, int height, uint32_t fill) : m_width(width), m_height(height), m_pixels(width * height, fill) {}
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    uint32_t At(int x, int y) const { return m_pixels[y * m_width + x]; }
    void Set(int x, int y, uint32_t rgb) { m_pixels[y * m_width + x] = rgb; }

private:
    int m_width;
    int m_height;
    std::vector<uint32_t> m_pixels;  // 0xRRGGBB
};

// A label mask: true lets the keyboard image show, false is a label pixel.
class Mask {
public:
    Mask(int width, int height) : m_width(width), m_height(height), m_bits(width * height, 1) {}
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Shows(int x, int y) const { return m_bits[y * m_width + x] != 0; }
    void SetLabel(int x, int y) { m_bits[y * m_width + x] = 0; }

private:
    int m_width;
    int m_height;
    std::vector<uint8_t> m_bits;
};

// Bottom-up BMP files (BITMAPFILEHEADER + BITMAPINFOHEADER). The mask is 1 bit per pixel with the
// palette black (index 0, label) and white (index 1, image shows).
bool WriteBmp(const std::filesystem::path& file, const RgbImage& image, std::string* error);
bool WriteBmp(const std::filesystem::path& file, const Mask& mask, std::string* error);
// The image as the keyboard shows it under the mask: label pixels black, the rest the image.
bool WritePreviewPng(const std::filesystem::path& file, const RgbImage& image, const Mask* mask, std::string* error);
bool WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace skinmaker

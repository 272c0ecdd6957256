// The PNG writer, checked by reading its files back with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "host/gdi/bitmap.h"
#include "host/gdi/png_writer.h"

namespace fs = std::filesystem;

namespace {

class PngWriter : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vx_png_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

}  // namespace

// Every pixel comes back as written, at the bitmap's size, whatever depth the bitmap has.
TEST_F(PngWriter, RoundTripsEveryPixel) {
    for (int depth : {32, 1}) {
        auto bitmap = host::Bitmap::Create(7, 3, depth);
        ASSERT_NE(bitmap, nullptr);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) {
                if (depth == 1)
                    bitmap->SetMono(x, y, (x + y) % 2);
                else
                    bitmap->SetPixel(x, y, static_cast<uint32_t>(x * 0x240000 + y * 0x5500 + 0x0F));
            }
        const std::string path = (m_dir / "out.png").string();
        std::string error;
        ASSERT_TRUE(host::WritePng(*bitmap, path, &error)) << error;

        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
        image.format = PNG_FORMAT_RGB;
        ASSERT_EQ(image.width, 7u);
        ASSERT_EQ(image.height, 3u);
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) {
                const uint8_t* p = &pixels[static_cast<size_t>((y * 7 + x) * 3)];
                const uint32_t got = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
                EXPECT_EQ(got, bitmap->Pixel(x, y)) << depth << ": " << x << "," << y;
            }
    }
}

// A file that cannot be created or put in place is a clear failure with its reason, and leaves
// nothing half written beside it.
TEST_F(PngWriter, UnwritablePathFails) {
    auto bitmap = host::Bitmap::Create(2, 2, 32);
    std::string error;
    EXPECT_FALSE(host::WritePng(*bitmap, (m_dir / "missing" / "out.png").string(), &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;

    std::filesystem::create_directories(m_dir / "taken.png" / "inside");
    EXPECT_FALSE(host::WritePng(*bitmap, (m_dir / "taken.png").string(), &error));
    EXPECT_NE(error.find("taken.png"), std::string::npos) << error;
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir)) ++entries;
    EXPECT_EQ(entries, 1u) << "a partial file was left beside the target";
}

// A picture for a link (or a device) is written through it: the link itself stays a link.
TEST_F(PngWriter, WritesThroughALinkWithoutReplacingIt) {
    auto bitmap = host::Bitmap::Create(2, 2, 32);
    std::ofstream(m_dir / "real.png") << "old";
    std::filesystem::create_symlink(m_dir / "real.png", m_dir / "link.png");
    std::string error;
    ASSERT_TRUE(host::WritePng(*bitmap, (m_dir / "link.png").string(), &error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir / "link.png"));
    EXPECT_GT(std::filesystem::file_size(m_dir / "real.png"), 3u);
}

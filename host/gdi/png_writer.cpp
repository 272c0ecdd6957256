#include "host/gdi/png_writer.h"

#include <png.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace host {

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::string Why(int error) { return error ? std::string(std::strerror(error)) : std::string("write failed"); }

// Writes the picture into file; false with the reason.
bool WriteRows(const Bitmap& bitmap, FILE* file, std::string* reason);

// libpng reports errors by longjmp; the message is kept for the caller.
void OnPngError(png_structp png, png_const_charp message) {
    auto* reason = static_cast<std::string*>(png_get_error_ptr(png));
    if (reason) *reason = message;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

}  // namespace

bool WritePng(const Bitmap& bitmap, const std::string& path, std::string* error) {
    // A picture for a new or a regular file is written beside it and put in its place only when
    // whole, so a failed write (a full disk) leaves no partial picture and keeps an earlier one.
    // Anything else (a device such as /dev/stdout, a link) is written as it stands: renaming over
    // it would replace the device or the link itself.
    struct stat target {};
    const bool replace = ::lstat(path.c_str(), &target) != 0 ? errno == ENOENT : S_ISREG(target.st_mode);
    const std::string partial = replace ? path + ".part-" + std::to_string(::getpid()) : path;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(partial.c_str(), "wb"));
    if (!file) {
        if (error) *error = "cannot create " + path + ": " + Why(errno);
        return false;
    }
    std::string reason;
    bool ok = WriteRows(bitmap, file.get(), &reason);
    if (ok && std::fflush(file.get()) != 0) {
        ok = false;
        reason = Why(errno);
    }
    if (std::fclose(file.release()) != 0 && ok) {
        ok = false;
        reason = Why(errno);
    }
    if (ok && replace && std::rename(partial.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = Why(errno);
    }
    if (!ok) {
        if (replace) std::remove(partial.c_str());
        if (error) *error = "cannot write " + path + ": " + reason;
    }
    return ok;
}

namespace {

bool WriteRows(const Bitmap& bitmap, FILE* file, std::string* result) {
    std::vector<uint8_t> rows(static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height()) * 3);
    const std::vector<uint32_t>& pixels = bitmap.Pixels();
    for (size_t i = 0; i < pixels.size(); ++i) {
        rows[i * 3] = static_cast<uint8_t>(pixels[i] >> 16);
        rows[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rows[i * 3 + 2] = static_cast<uint8_t>(pixels[i]);
    }
    std::vector<png_bytep> rowPointers(static_cast<size_t>(bitmap.Height()));
    for (size_t y = 0; y < rowPointers.size(); ++y)
        rowPointers[y] = rows.data() + y * static_cast<size_t>(bitmap.Width()) * 3;

    std::string reason;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &reason, OnPngError, OnPngWarning);
    if (!png) {
        *result = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    // Nothing with a destructor is created between here and the writes below, so leaving them
    // by longjmp is safe.
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        *result = reason.empty() ? "out of memory" : reason;
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(png, info, rowPointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

}  // namespace host

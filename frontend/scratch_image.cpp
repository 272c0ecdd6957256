#include "scratch_image.h"

#include <cstdlib>
#include <system_error>

#include "host/kernel/device.h"

namespace cli {

ScratchImage::~ScratchImage() {
    if (m_folder.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

bool ScratchImage::Make(const std::string& image, std::string* error) {
    namespace fs = std::filesystem;
    // The image is only looked at here, never opened: opening its database would leave the
    // database's companion files beside it. The copy is checked whole below.
    std::error_code ec;
    const fs::file_status folder = fs::symlink_status(image, ec);
    const fs::file_status store = fs::symlink_status(fs::path(image) / "store", ec);
    const fs::file_status database = fs::symlink_status(fs::path(image) / "device.db", ec);
    if (!fs::is_directory(folder) || !fs::is_directory(store) || !fs::is_regular_file(database)) {
        *error = image + " is not a device image (no store folder and device.db in it)";
        return false;
    }
    fs::path temporary = fs::temp_directory_path(ec);
    if (ec) temporary = "/tmp";
    std::string pattern = (temporary / "pocketsim-scratch-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        *error = "cannot make a scratch folder in " + temporary.string();
        return false;
    }
    m_folder = pattern;
    const fs::path copy = m_folder / "image";
    fs::copy(image, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        *error = "cannot copy " + image + " to " + copy.string() + ": " + ec.message();
        return false;
    }
    if (!host::Device::IsImage(copy, error)) {
        // The reason names the copy; the person knows the image by its own name.
        for (size_t at; (at = error->find(copy.string())) != std::string::npos;)
            error->replace(at, copy.string().size(), image);
        return false;
    }
    return true;
}

}  // namespace cli

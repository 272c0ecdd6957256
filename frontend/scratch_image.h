// A throw-away copy of a device image, for commands that must show what a run would do without
// touching the image itself: the image's folder is copied to a temporary folder, the command
// works on the copy, and the copy is removed when the ScratchImage goes.
#pragma once

#include <filesystem>
#include <string>

namespace cli {

class ScratchImage {
public:
    ScratchImage() = default;
    ~ScratchImage();
    ScratchImage(const ScratchImage&) = delete;
    ScratchImage& operator=(const ScratchImage&) = delete;

    // Copies the image (which must be a device image; it is only read) to a new temporary
    // folder. Symbolic links are copied as links, never followed: the copy holds no more than
    // the image does. False with the reason when the image is not one or cannot be copied.
    bool Make(const std::string& image, std::string* error);
    // The copy's folder, a device image.
    std::string Path() const { return (m_folder / "image").string(); }

private:
    std::filesystem::path m_folder;
};

}  // namespace cli

// The device's object store, mapped into IMAGE/store.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/wintypes.h"

namespace host {

class Device;

class ObjectStore {
public:
    explicit ObjectStore(Device& device);
    ~ObjectStore();

    // Maps the device path of an existing file or folder to its host path. False with the
    // platform's error code (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME ...).
    bool ResolveExisting(std::u16string_view devicePath, std::filesystem::path* hostPath, DWORD* error);
    // Copies a host file into the store at devicePath (its folder must exist), replacing a file
    // there. Used by installers that put the package's built files into an image.
    bool ImportHostFile(const std::filesystem::path& source, std::u16string_view devicePath, DWORD* error);

private:
    Device& m_device;
};

}  // namespace host

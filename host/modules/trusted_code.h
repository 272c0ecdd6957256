// Host code in an image (ELF libraries and programs) runs only when this emulator installed it.
// Each installation is recorded in the image's database: the file's device path, the hash of
// its content, and a seal over both made with this emulator's own key, which lives beside the
// emulator's library and never in an image. A file whose content changed, that lies at another
// path, or whose record another emulator (or an image's author) wrote is not trusted: a library
// is then refused by the loader and a program by CreateProcessW, both with ERROR_BAD_EXE_FORMAT.
// Files the package merely reads (PE resource modules, ELF resources) need no trust.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "host/kernel/sha256.h"
#include "platform/wintypes.h"

namespace host {

class Device;

// Records the file now at devicePath as host code this emulator installed. False with a reason.
bool TrustInstalledCode(Device& device, std::u16string_view devicePath, std::string* reason);

// Records that the file at devicePath, once it holds content with this hash, is host code this
// emulator installed. The file need not exist yet: the front end records so, before it starts a
// program that will write the file (the cabinet installer), for exactly the content it knows as
// its own. False with a reason (a path that is no device path among them).
bool TrustExpectedCode(Device& device, std::u16string_view devicePath, const Sha256Digest& hash, std::string* reason);

// Opens hostPath, the file found for devicePath, to run it: the descriptor of the file as it was
// checked, so that what is loaded or started is what was verified; -1 with the platform's error
// (ERROR_BAD_EXE_FORMAT when the file is not trusted) and a reason for the trace.
int OpenTrustedCode(Device& device, std::u16string_view devicePath, const std::filesystem::path& hostPath, DWORD* error,
                    std::string* reason);

// A path by which the loader and exec reach an open descriptor (/proc/self/fd/N), spelt
// differently on every call so that the loader never takes it for a library loaded before.
std::string DescriptorPath(int fd);

}  // namespace host

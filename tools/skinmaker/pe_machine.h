// The last step of a skin build: the linker writes an x86 PE file, and a device loads a skin only
// when the COFF machine field says ARM.
#pragma once

#include <filesystem>
#include <string>

namespace skinmaker {

inline constexpr unsigned kMachineArm = 0x01C0;

// Sets the COFF machine field of a PE32 or PE32+ file to ARM. Anything that is not such a file
// (no MZ header, no PE signature, an optional header of another kind) is refused unchanged.
bool SetMachineArm(const std::filesystem::path& file, std::string* error);

}  // namespace skinmaker

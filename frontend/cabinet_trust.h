// Which members of a device cabinet are the build's own programs and libraries, and where they
// will land: the only host code a cabinet may bring into an image. pocketsim records them as
// trusted at their target paths (and the staged setup library at its path) before it starts the
// cabinet installer, which itself trusts nothing it writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/kernel/device.h"
#include "host/kernel/sha256.h"

namespace setup {

// Host code the image already ran at a path the cabinet writes to, with the content it had.
struct PriorTrust {
    std::u16string path;
    host::Sha256Digest hash{};
};

// Records trust for every member of the cabinet (its bytes, as the installer will read them)
// whose content equals one of the build's modules (BuildModules()), at the path the installer
// writes it to; *trusted receives those paths, and *prior the trusted files that were there
// with other content, whose records the new ones replace. A cabinet the installer will refuse
// gets no trust and is no failure here: the installer says why it refuses. False with a reason
// when the device's code page is unusable or a record cannot be written.
bool TrustBuildCodeInCabinet(host::Device& device, std::string_view cabinet, std::vector<std::u16string>* trusted,
                             std::vector<PriorTrust>* prior, std::string* error);

// After the installer: a file of *prior that still has its old content (the installation failed
// and put it back, or kept it) is trusted again as it was.
void RestorePriorTrust(host::Device& device, const std::vector<PriorTrust>& prior);

}  // namespace setup

// Which members of a device cabinet are the build's own programs and libraries, and where they
// will land: the only host code a cabinet may bring into an image. pocketsim records them as
// trusted at their target paths (and the staged setup library at its path) before it starts the
// cabinet installer, which itself trusts nothing it writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/kernel/device.h"

namespace setup {

// Records trust for every member of the cabinet (its bytes, as the installer will read them)
// whose content equals one of the build's modules (BuildModules()), at the path the installer
// writes it to; *trusted receives those paths. A cabinet the installer will refuse gets no trust
// and is no failure here: the installer says why it refuses. False with a reason when the
// device's code page is unusable or a record cannot be written.
bool TrustBuildCodeInCabinet(host::Device& device, std::string_view cabinet, std::vector<std::u16string>* trusted,
                             std::string* error);

}  // namespace setup

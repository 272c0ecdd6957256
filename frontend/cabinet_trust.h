// Which members of a device cabinet are the build's own programs and libraries, and where they
// will land: the only host code a cabinet may bring into an image. pocketsim records them as
// trusted at their target paths (and the staged setup library at its path) before it starts the
// cabinet installer, which itself trusts nothing it writes.
#pragma once

#include <string>
#include <vector>

#include "host/cabinet/install_plan.h"
#include "host/kernel/device.h"

namespace setup {

// Records trust for every member of the planned installation whose content equals one of the
// build's modules (BuildModules()), at the path the installer writes it to. *trusted receives
// those paths. False with a reason when a record cannot be written.
bool TrustBuildCodeInCabinet(host::Device& device, const host::CeCabinet& cabinet, const host::InstallPlan& plan,
                             std::vector<std::u16string>* trusted, std::string* error);

}  // namespace setup

#include "cabinet_trust.h"

#include <fstream>
#include <sstream>

#include "host/modules/trusted_code.h"
#include "image_setup.h"
#include "platform/text.h"

namespace setup {

bool TrustBuildCodeInCabinet(host::Device& device, const host::CeCabinet& cabinet, const host::InstallPlan& plan,
                             std::vector<std::u16string>* trusted, std::string* error) {
    std::vector<host::Sha256Digest> known;
    for (const std::filesystem::path& module : BuildModules()) {
        std::ifstream in(module, std::ios::binary);
        if (!in) continue;  // a part this build did not make
        std::ostringstream bytes;
        bytes << in.rdbuf();
        known.push_back(host::HashBytes(bytes.str()));
    }
    for (const host::ExpectedCode& code : host::KnownCodeInPlan(cabinet, plan, known)) {
        std::string reason;
        if (!host::TrustExpectedCode(device, code.path, code.hash, &reason)) {
            *error = "cannot record " + ToUtf8(code.path) + " as the build's own code: " + reason;
            return false;
        }
        trusted->push_back(code.path);
    }
    return true;
}

}  // namespace setup

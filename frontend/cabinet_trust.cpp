#include "cabinet_trust.h"

#include <fstream>
#include <sstream>

#include "host/cabinet/install_plan.h"
#include "host/kernel/ansi_codepage.h"
#include "host/modules/trusted_code.h"
#include "image_setup.h"
#include "platform/text.h"

namespace setup {

bool TrustBuildCodeInCabinet(host::Device& device, std::string_view bytes, std::vector<std::u16string>* trusted,
                             std::string* error) {
    int codePage = host::kDefaultAnsiCodePage;
    if (!host::DeviceAnsiCodePage(device, &codePage, error)) return false;
    host::CeCabinet cabinet;
    host::InstallPlan plan;
    std::string refused;
    if (!host::ReadCeCabinet(bytes, host::CabinetLimits{}, codePage, &cabinet, &refused) ||
        !host::PlanInstall(cabinet, &plan, &refused))
        return true;
    std::vector<host::Sha256Digest> known;
    for (const std::filesystem::path& module : BuildModules()) {
        std::ifstream in(module, std::ios::binary);
        if (!in) continue;  // a part this build did not make
        std::ostringstream content;
        content << in.rdbuf();
        known.push_back(host::HashBytes(content.str()));
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

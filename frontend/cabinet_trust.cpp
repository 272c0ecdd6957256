#include "cabinet_trust.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "host/cabinet/install_plan.h"
#include "host/kernel/ansi_codepage.h"
#include "host/modules/trusted_code.h"
#include "image_setup.h"
#include "host/store/object_store.h"
#include "platform/text.h"

namespace setup {

namespace {

// The content hash of the trusted host code now at path; false when there is none.
bool TrustedContent(host::Device& device, const std::u16string& path, host::Sha256Digest* hash) {
    std::filesystem::path hostPath;
    DWORD code = 0;
    if (!device.Files().ResolveExisting(path, &hostPath, &code)) return false;
    std::string reason;
    const int fd = host::OpenTrustedCode(device, path, hostPath, &code, &reason);
    if (fd < 0) return false;
    ::close(fd);
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    *hash = host::HashBytes(content.str());
    return true;
}

bool HasContent(host::Device& device, const std::u16string& path, const host::Sha256Digest& hash) {
    std::filesystem::path hostPath;
    DWORD code = 0;
    if (!device.Files().ResolveExisting(path, &hostPath, &code)) return false;
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return in && host::HashBytes(content.str()) == hash;
}

}  // namespace

void RestorePriorTrust(host::Device& device, const std::vector<PriorTrust>& prior) {
    std::string reason;
    for (const PriorTrust& old : prior)
        if (HasContent(device, old.path, old.hash)) host::TrustExpectedCode(device, old.path, old.hash, &reason);
}

bool TrustBuildCodeInCabinet(host::Device& device, std::string_view bytes, std::vector<std::u16string>* trusted,
                             std::vector<PriorTrust>* prior, std::string* error) {
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
        PriorTrust old{code.path, {}};
        if (TrustedContent(device, code.path, &old.hash) && old.hash != code.hash) prior->push_back(old);
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

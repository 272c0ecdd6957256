// Runs arbitrary text as a registry script, in register mode and then in unregister mode, on one
// scratch device. The registrar must never crash or hang, and a script it refuses as malformed
// must leave the registry exactly as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "host/kernel/device.h"
#include "host/registry/regfile.h"
#include "imshell/registrar.h"
#include "platform/text.h"

namespace {

host::Device& ScratchDevice() {
    static std::unique_ptr<host::Device> device = [] {
        auto folder = std::filesystem::temp_directory_path() / ("registrar-fuzz-" + std::to_string(getpid()));
        std::string error;
        auto made = host::Device::Create(folder, true, &error);
        if (!made) abort();
        return made;
    }();
    static host::ScopedDevice installed(device.get());
    return *device;
}

std::string Snapshot(host::Device& device) {
    std::string text, error;
    if (!host::ExportRegistry(device, u"", &text, &error)) abort();
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    host::Device& device = ScratchDevice();
    // Both readings of the bytes: as UTF-8 text (the resource's encoding) and as raw UTF-16.
    std::u16string script = FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
    const std::vector<imshell::Replacement> replacements{{u"MODULE", u"\\Windows\\vexor.dll"}};
    for (imshell::RegistrarMode mode : {imshell::RegistrarMode::Register, imshell::RegistrarMode::Unregister}) {
        const std::string before = Snapshot(device);
        if (imshell::RunRegistryScript(script, replacements, mode) == imshell::kScriptSyntaxError &&
            Snapshot(device) != before)
            abort();
    }
    std::u16string wide(size / 2, u'\0');
    if (!wide.empty()) std::memcpy(wide.data(), data, wide.size() * sizeof(char16_t));
    imshell::RunRegistryScript(wide, replacements, imshell::RegistrarMode::Register);
    imshell::RunRegistryScript(wide, replacements, imshell::RegistrarMode::Unregister);
    return 0;
}

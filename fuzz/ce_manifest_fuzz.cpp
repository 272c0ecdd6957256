// Drives the cabinet setup manifest reader with arbitrary bytes (read in either ANSI code page):
// it must never crash, hang or read out of bounds; a refusal carries a reason and leaves the
// result untouched; whatever it accepts, the writer writes back into a manifest that reads as the
// same; and the install plan made from it puts every file, folder and shortcut at a device path
// inside the image, or refuses with a reason.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/cabinet/ce_manifest.h"
#include "host/cabinet/install_plan.h"
#include "host/store/device_path.h"
#include "platform/winerror.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int codePage = size % 2 ? 1251 : 1252;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    host::CeManifest manifest;
    manifest.appName = u"untouched";
    std::string error;
    if (!host::ParseCeManifest(bytes, codePage, &manifest, &error)) {
        if (error.empty() || manifest.appName != u"untouched" || !manifest.files.empty()) abort();
        return 0;
    }
    std::string written;
    if (!host::WriteCeManifest(manifest, codePage, &written, &error)) {
        // Only the writer's layout may be at fault: the header's 16-bit offsets and lengths.
        if (error.find("fit") == std::string::npos && error.find("longer than") == std::string::npos) abort();
        return 0;
    }
    host::CeManifest again;
    if (!host::ParseCeManifest(written, codePage, &again, &error) || !(again == manifest)) abort();

    host::CeCabinet cabinet;
    cabinet.manifest = manifest;
    for (const host::CeFile& file : manifest.files) {
        cabinet.members.push_back({"F." + std::to_string(file.member), "x"});
        cabinet.numbers.push_back(file.member);
    }
    host::InstallPlan plan;
    if (!host::PlanInstall(cabinet, &plan, &error)) {
        if (error.empty()) abort();
        return 0;
    }
    auto inside = [](const std::u16string& path) {
        std::vector<std::u16string> parts;
        if (host::SplitDevicePath(path, host::PathKind::Entry, &parts) != ERROR_SUCCESS || parts.empty()) abort();
    };
    for (const host::PlannedFile& file : plan.files) inside(file.target);
    for (const host::PlannedShortcut& shortcut : plan.shortcuts) inside(shortcut.path);
    for (const std::u16string& folder : plan.folders) inside(folder);
    return 0;
}

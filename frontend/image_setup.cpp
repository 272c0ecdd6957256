#include "image_setup.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "commands.h"
#include "host/kernel/device.h"
#include "host/modules/trusted_code.h"
#include "host/store/object_store.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "sample_content.h"

namespace setup {

namespace {

const WCHAR* const kFolders[] = {
    u"\\Windows", u"\\Windows\\Startup", u"\\My Documents", u"\\Program Files", u"\\Temp",
};

bool MakeFolder(const WCHAR* path, std::string* error) {
    if (CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    *error = "cannot create " + ToUtf8(path) + " (" + DescribeError(GetLastError()) + ")";
    return false;
}

bool WriteDword(HKEY root, const WCHAR* subKey, const WCHAR* name, DWORD value, std::string* error) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExW(root, subKey, 0, nullptr, 0, 0, nullptr, &key, &disposition);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) *error = "cannot write " + ToUtf8(subKey) + " (error " + std::to_string(rc) + ")";
    return rc == ERROR_SUCCESS;
}

// Copies a built host module into the image and records it as host code the emulator installed,
// which is all that may run there.
bool InstallHostCode(host::Device& device, const std::filesystem::path& built, const WCHAR* target,
                     std::string* error) {
    DWORD code = 0;
    std::string reason;
    if (!device.Files().ImportHostFile(built, target, &code)) {
        *error = "cannot install " + built.string() + " as " + ToUtf8(target) + " (" + DescribeError(code) + ")";
        return false;
    }
    if (!host::TrustInstalledCode(device, target, &reason)) {
        *error = "cannot record " + ToUtf8(target) + " as installed: " + reason;
        return false;
    }
    return true;
}

// The device information library, on the devices that have a ROM version.
bool InstallDeviceInformation(host::Device& device, const ImageOptions& options, std::string* error) {
    if (options.romVersion.empty()) return true;
    if (!device.SetSetting("rom.version", options.romVersion)) {
        *error = "cannot store the ROM version";
        return false;
    }
    return InstallHostCode(device, PackageDir() / "flashmgr.so", u"\\Windows\\flashmgr.dll", error);
}

// The package, as a device gets it: its cabinet installed by the device's cabinet installer, whose
// setup library runs the package's device preparation (the input method's registration, so that
// the SIP finds it first).
bool InstallPackage(host::Device& device, std::string* error) {
    const std::filesystem::path cabinet = PackageDir() / "Vexor.CAB";
    std::string reason;
    if (commands::InstallCabinet(device, cabinet.string(), false, &reason) == 0) return true;
    *error = "cannot install the package's cabinet " + cabinet.string() +
             (reason.empty() ? " (the installer said why)" : ": " + reason);
    return false;
}

// The device's other keyboards, registered as input methods after the package's own, which stays
// the SIP's first.
bool InstallOtherKeyboards(host::Device& device, std::string* error) {
    const WCHAR* const keyboards = u"\\Windows\\keyboards.dll";
    return InstallHostCode(device, PackageDir() / "keyboards.so", keyboards, error) &&
           commands::CallServerExport(keyboards, "DllRegisterServer", error);
}

bool WriteText(HKEY root, const WCHAR* subKey, const WCHAR* name, std::u16string_view value, std::string* error) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(root, subKey, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) *error = "cannot write " + ToUtf8(subKey) + " (error " + std::to_string(rc) + ")";
    return rc == ERROR_SUCCESS;
}

const WCHAR kTodaySkinKey[] = u"Software\\iPAQ Entertainment";
const WCHAR kTodayPortraitSkin[] = u"\\My Documents\\Today\\hpSkinTodayPluginP.skin";

}  // namespace

std::filesystem::path PackageDir() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
}

std::vector<std::filesystem::path> BuildModules() {
    // Kept in step with the Install* steps above and the package cabinet (packaging/).
    const std::filesystem::path dir = PackageDir();
    std::vector<std::filesystem::path> modules{
        dir / "vexor.so",     dir / "muiapply",     dir / "flashmgr.so",  dir / "lingo.cpl",   dir / "keyboards.so",
        dir / "wceload",      dir / "Dawnstep.exe", dir / "rebooter.exe", dir / "DevPrep.exe", dir / "Packhook.dll",
        dir / "Tiltwatch.dll"};
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "layouts", ec))
        if (entry.path().extension() == ".vxb") modules.push_back(entry.path());
    return modules;
}

bool ParseScreenSize(const std::string& text, int* width, int* height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2) return false;
    if (w < 1 || h < 1 || w > 8192 || h > 8192) return false;
    *width = w;
    *height = h;
    return true;
}

bool IsRomVersion(const std::string& text) {
    int numbers = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > 9) return false;
        } else if (c == '.' && digits > 0 && numbers < 2) {
            ++numbers;
            digits = 0;
        } else {
            return false;
        }
    }
    return numbers == 2 && digits > 0;
}

bool ParseStoreSize(const std::string& text, uint64_t* bytes) {
    uint64_t value = 0;
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        value = value * 10 + uint64_t(text[digits] - '0');
        if (value > host::kMaxStoreCapacity) return false;
        ++digits;
    }
    if (digits == 0 || text.size() > digits + 1) return false;
    int shift = 0;
    if (text.size() == digits + 1) {
        switch (text.back()) {
        case 'K': case 'k': shift = 10; break;
        case 'M': case 'm': shift = 20; break;
        case 'G': case 'g': shift = 30; break;
        default: return false;
        }
    }
    if (value == 0 || value > (host::kMaxStoreCapacity >> shift)) return false;
    *bytes = value << shift;
    return true;
}

// The device as it comes without the package: its settings, folders, the platform's own registry
// values and the emulator's own programs.
bool PopulateBareDevice(host::Device& device, const ImageOptions& options, std::string* error) {
    // The capacity comes first, so that everything installed below is held to it.
    if (!device.SetSetting("store.capacity", std::to_string(options.storeCapacity))) {
        *error = "cannot store the object store's capacity";
        return false;
    }
    if (!device.SetSetting("ansi.codepage", std::to_string(options.ansiCodePage))) {
        *error = "cannot store the ANSI code page";
        return false;
    }
    if (!device.SetSetting("screen.width", std::to_string(options.screenWidth)) ||
        !device.SetSetting("screen.height", std::to_string(options.screenHeight))) {
        *error = "cannot store the screen size";
        return false;
    }
    for (const WCHAR* folder : kFolders)
        if (!MakeFolder(folder, error)) return false;
    // The interface language of a new device is US English until a language package is applied.
    if (!WriteDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", 0x0409, error)) return false;
    // The Today screen's skin plug-in starts with the portrait skin.
    if (!WriteText(HKEY_LOCAL_MACHINE, kTodaySkinKey, u"skin", kTodayPortraitSkin, error)) return false;
    // The device's cabinet installer, played by the emulator.
    if (!InstallHostCode(device, PackageDir() / "wceload", u"\\Windows\\wceload.exe", error)) return false;
    return InstallDeviceInformation(device, options, error);
}

bool PopulateImage(host::Device& device, const ImageOptions& options, std::string* error) {
    if (!PopulateBareDevice(device, options, error)) return false;
    if (options.bare) return true;
    return InstallPackage(device, error) && InstallOtherKeyboards(device, error) &&
           InstallSampleContent(device, error);
}

}  // namespace setup

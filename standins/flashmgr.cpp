// The device information library of the devices that carry one ("flashmgr.dll"). Of its record
// only the ROM version is filled in, from the device setting "rom.version"; a device without
// that setting answers every request with failure, as a library that knows nothing would.
#include <cstring>
#include <string>

#include "host/kernel/device.h"
#include "platform/text.h"
#include "platform/winerror.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr size_t kRecordBytes = 5216;
constexpr size_t kRomVersionOffset = 2556;
// The version field's room in units, its terminator included.
constexpr size_t kRomVersionUnits = 60;

}  // namespace

// selector 0 asks for the protected device information record; no other selector is known.
VX_EXPORT BOOL CpqReadProtectedHMInfo(DWORD selector, void* record) {
    host::Device* device = host::CurrentDevice();
    if (!record || selector != 0) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string version = device ? device->Setting("rom.version") : std::string();
    if (version.empty()) {
        host::SetLastErrorCode(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::u16string text = FromUtf8(version);
    if (text.size() > kRomVersionUnits - 1) text.resize(kRomVersionUnits - 1);
    auto* bytes = static_cast<unsigned char*>(record);
    std::memset(bytes, 0, kRecordBytes);
    std::memcpy(bytes + kRomVersionOffset, text.data(), text.size() * sizeof(char16_t));
    return TRUE;
}

#include "mui_engine.h"

#include <cstring>
#include <vector>

#include "platform/modules.h"
#include "script/conditions.h"
#include "script/reghelpers.h"

namespace {

// The device information library's export: selector 0 fills the caller's record.
typedef BOOL (*ReadDeviceInfoProc)(DWORD selector, void* record);

}  // namespace

bool ReadRomVersion(WCHAR (&version)[kRomVersionUnits]) {
    version[0] = 0;
    HMODULE library = LoadLibraryW(u"flashmgr.dll");
    if (!library) return false;
    bool ok = false;
    auto read = reinterpret_cast<ReadDeviceInfoProc>(GetProcAddressW(library, u"CpqReadProtectedHMInfo"));
    if (read) {
        std::vector<BYTE> record(kDeviceInfoBytes, 0);
        if (read(0, record.data())) {
            // The text lies at an even offset but the record is only byte-aligned: copy it out.
            const size_t units = (kDeviceInfoBytes - kRomVersionOffset) / sizeof(WCHAR);
            size_t length = 0;
            for (; length < units && length < size_t(kRomVersionUnits - 1); ++length) {
                WCHAR unit;
                std::memcpy(&unit, record.data() + kRomVersionOffset + length * sizeof(WCHAR), sizeof unit);
                if (!unit) break;
                version[length] = unit;
            }
            version[length] = 0;
            ok = true;
        }
    }
    FreeLibrary(library);
    return ok;
}

int MuiScriptEngine::ConditionCopies(IXmlElement* condition) {
    int copies = 0;
    std::u16string value;
    if (condition->getAttribute(u"rom", &value) == S_OK) {
        WCHAR rom[kRomVersionUnits];
        // A device without the library has no ROM version to compare, so no "rom" holds there.
        if (ReadRomVersion(rom) && VersionMatches(value.c_str(), rom) == 0) ++copies;
    }
    if (condition->getAttribute(u"lng", &value) == S_OK && LanguageMatches(value.c_str()) == 0) ++copies;
    return copies;
}

#include "conditions.h"

#include <cstdlib>
#include <cstring>

#include "platform/registry.h"
#include "platform/text.h"
#include "platform/winbase.h"
#include "reghelpers.h"
#include "rename_log.h"

namespace {

const WCHAR kShellKeys[] = u"SOFTWARE\\Microsoft\\Shell\\Keys";
// Key commands are handled in buffers of this many units, terminator included.
const DWORD kCommandUnits = 520;
const DWORD kKeyNameUnits = 260;

// One "%d" of the runtime's scanner: optional white space and sign, then at least one digit.
bool ScanDecimal(const WCHAR** p, long* value) {
    WCHAR* end = nullptr;
    *value = wcstol(*p, &end, 10);
    if (end == *p) return false;
    *p = end;
    return true;
}

// "%d.%d.%d" as the runtime scans it: the dots must follow the numbers directly, and whatever
// comes after the third number is ignored.
bool VersionWeight(const WCHAR* text, DWORD* weight) {
    long major, minor, build;
    const WCHAR* p = text;
    if (!ScanDecimal(&p, &major) || *p++ != '.') return false;
    if (!ScanDecimal(&p, &minor) || *p++ != '.') return false;
    if (!ScanDecimal(&p, &build)) return false;
    *weight = static_cast<DWORD>(major) * 100000u + static_cast<DWORD>(minor) * 1000u + static_cast<DWORD>(build);
    return true;
}

// A REG_SZ value of the key as a terminated text in a command buffer. A text too long for the
// buffer is refused, so that a command is never written back cut short.
bool ReadCommand(const WCHAR* path, const WCHAR* name, WCHAR* text) {
    DWORD size = 0, type = REG_NONE;
    BYTE* data = RegReadValue(HKEY_LOCAL_MACHINE, path, name, &size, &type);
    if (!data) return false;
    const size_t units = size / sizeof(WCHAR);
    const auto* stored = reinterpret_cast<const WCHAR*>(data);
    // Stored texts normally carry their terminator; one that does not is taken up to its end.
    size_t length = 0;
    while (length < units && stored[length]) ++length;
    bool ok = type == REG_SZ && length < kCommandUnits;
    if (ok) {
        memcpy(text, stored, length * sizeof(WCHAR));
        text[length] = 0;
    }
    free(data);
    return ok;
}

void ApplyRenameLog(WCHAR* text) {
    CLPA& log = RenameLog();
    for (int i = 0; i < log.GetCount(); ++i) {
        const auto* record = reinterpret_cast<const RenameRecord*>(log.GetAt(i));
        if (record) ReplaceFirstNoCase(text, kCommandUnits, record->oldText, record->newText);
    }
}

}  // namespace

int VersionMatches(LPCWSTR condition) { return VersionMatches(condition, kCurrentVersion); }

int VersionMatches(LPCWSTR condition, LPCWSTR currentVersion) {
    if (!condition || !currentVersion) return 1;
    DWORD current = 0, wanted = 0;
    if (!VersionWeight(currentVersion, &current)) return 1;
    WCHAR op = condition[0];
    // A version without an operator never holds: only an explicit comparison does.
    if (op >= '0' && op <= '9') return 1;
    if (!op || !VersionWeight(condition + 1, &wanted)) return 1;
    switch (op) {
    case 'E': return current == wanted ? 0 : 1;
    case 'G': return current > wanted ? 0 : 1;
    case 'L': return current < wanted ? 0 : 1;
    default: return 1;
    }
}

int FixShellKeyCommands() {
    HKEY keys = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellKeys, 0, KEY_READ, &keys) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            WCHAR subKey[kKeyNameUnits];
            DWORD length = kKeyNameUnits;
            if (RegEnumKeyExW(keys, index, subKey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            WCHAR path[kKeyNameUnits * 2];
            if (swprintf16(path, kKeyNameUnits * 2, u"%s\\%s", kShellKeys, subKey) < 0) continue;
            WCHAR command[kCommandUnits], resetCommand[kCommandUnits];
            if (!ReadCommand(path, u"", command)) continue;
            if (!ReadCommand(path, u"ResetCmd", resetCommand)) continue;
            CharLowerW(command);
            CharLowerW(resetCommand);
            ApplyRenameLog(resetCommand);
            ApplyRenameLog(command);
            RegWriteValue(HKEY_LOCAL_MACHINE, path, u"ResetCmd", resetCommand, DWORD(wcslen(resetCommand) + 1),
                          u"REG_SZ");
            RegWriteValue(HKEY_LOCAL_MACHINE, path, u"", command, DWORD(wcslen(command) + 1), u"REG_SZ");
        }
        RegCloseKey(keys);
    }
    ClearRenameLog();
    return 0;
}

void SoftReset() { KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr); }

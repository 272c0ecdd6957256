#include <cstdlib>
#include <new>

#include "command_table.h"
#include "platform/text.h"
#include "rename_log.h"
#include "script_trace.h"

DWORD g_dwCurrentLanguage = 0;
DWORD g_dwTargetLanguage = 0;

const WCHAR* NeededAttribute(const AttributeMap* attributes, const WCHAR* name) {
    const WCHAR* value = attributes ? attributes->Find(name) : nullptr;
    if (!value) TraceSkip(std::u16string(u"needed attribute ") + name + u" missing");
    return value;
}

CLPA& RenameLog() {
    static CLPA log;
    return log;
}

BOOL AddRenameRecord(const WCHAR* oldText, const WCHAR* newText) {
    auto* record = static_cast<RenameRecord*>(calloc(1, sizeof(RenameRecord)));
    if (!record) return FALSE;
    wcsncpy(record->oldText, oldText ? oldText : u"", kRenameTextUnits);
    wcsncpy(record->newText, newText ? newText : u"", kRenameTextUnits);
    if (!RenameLog().Add(reinterpret_cast<uintptr_t>(record))) {
        free(record);
        return FALSE;
    }
    return TRUE;
}

void ClearRenameLog() { RenameLog().FreeAll(); }

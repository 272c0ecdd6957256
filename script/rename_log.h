// The RenameLog: (old, new) name pairs recorded while a companion script's names are merged into
// the main script, read afterwards to rewrite the shell's key commands. Process-wide and
// unsynchronised, as the one thread that runs scripts uses it.
#pragma once

#include "clpa.h"
#include "platform/wintypes.h"

// Longest text a record keeps, in units; longer texts are cut to it.
constexpr size_t kRenameTextUnits = 259;

struct RenameRecord {
    WCHAR oldText[kRenameTextUnits + 1];
    WCHAR newText[kRenameTextUnits + 1];
};

// The records, in the order they were added; each value is a heap RenameRecord*.
CLPA& RenameLog();
// Appends a copy of the pair; FALSE when memory runs out (the CLPA has then told the user).
BOOL AddRenameRecord(const WCHAR* oldText, const WCHAR* newText);
// Deletes every record and leaves the log empty.
void ClearRenameLog();

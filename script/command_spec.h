// What each command of the script tables reads from its element, as data: the attributes its
// handler looks up, which of them it cannot do without, and what kind of value each must hold.
// The tables carry one description per entry, so that tools for script authors (the checker)
// know the commands from the same place the dispatch does; a test holds the handlers to it.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

enum class ValueKind {
    Text,        // any text
    DevicePath,  // an absolute device path ("\Windows\a.txt")
    FileName,    // one name of a file or folder, without a backslash
    RegRoot,     // HKLM, HKCU or HKCR, spelt in capitals
    RegType,     // SZ, DWORD, BINARY or MULTI_SZ, spelt in capitals
    RegKey,      // a key's path below its root
    RegName,     // a key's or a value's name
    RegData,     // the value to store, read as the element's type says
    Flag,        // "1" turns it on; anything else leaves it off
    Id,          // pairs the element with the companion's element of the same ID
};

enum class Need {
    Required,   // without it the command does nothing
    Defaulted,  // without it the handler falls back to a default
    Optional,   // without it the command does less, as designed
};

struct AttributeSpec {
    const WCHAR* name;  // matched as the engine matches names: ASCII letters in any case
    ValueKind kind;
    Need need;
};

struct CommandSpec {
    const AttributeSpec* attributes;
    size_t count;
    // The texts of the element's children form its Data list (a MULTI_SZ's strings, or the
    // single value written between the tags).
    bool childData;
    // False for the names a table holds but passes over without doing anything.
    bool hasEffect;
};

// The descriptions of the commands both tables share, or that only the language switcher's has.
extern const CommandSpec kSpecNone;        // no attributes, does something (StopAll)
extern const CommandSpec kSpecNoEffect;    // passed over (StopProcess, KillProcess ...)
extern const CommandSpec kSpecStartProcess;
extern const CommandSpec kSpecCreateDirectory;
extern const CommandSpec kSpecRemoveDirectory;
extern const CommandSpec kSpecCopyFile;     // and MoveFile
extern const CommandSpec kSpecDeleteFile;
extern const CommandSpec kSpecCopyTo;       // and Expand
extern const CommandSpec kSpecLDAbsRename;
extern const CommandSpec kSpecLDRename;
extern const CommandSpec kSpecSwap;
extern const CommandSpec kSpecDeleteRegKey;  // and LDDeleteRegKey
extern const CommandSpec kSpecCreateRegValue;
extern const CommandSpec kSpecDeleteRegValue;
extern const CommandSpec kSpecBaseUpdate;
extern const CommandSpec kSpecMsg;

// The command sink of the script engine and the table that dispatches a command element to its
// handler by the hash of the element's name. Handlers receive the table, the command's
// attributes and the handled flag, which the four commands without effect clear so that the
// search goes on (and, matching nothing else, reports the command as unhandled).
#pragma once

#include "attribute_map.h"
#include "command_spec.h"
#include "platform/wintypes.h"

class CommandSink {
public:
    // Returns the handled flag; result receives the handler's value. skip is always 0.
    virtual int Execute(const WCHAR* commandName, AttributeMap* attributes, DWORD* result, int skip) = 0;

protected:
    ~CommandSink() = default;
};

// The processes whose windows StopAll leaves alone.
struct ProcessList {
    DWORD count = 0;
    DWORD ids[4] = {};
};

struct CommandEntry;

class CommandTable : public CommandSink {
public:
    explicit CommandTable(ProcessList* processes) : m_pProcessList(processes) {}
    int Execute(const WCHAR* commandName, AttributeMap* attributes, DWORD* result, int skip) override;

    // The commands in the order they are searched: names by index, null past the end.
    static size_t CommandCount();
    static const WCHAR* CommandName(size_t index);
    // The whole table, for tools that describe its commands.
    static const CommandEntry* Entries();

    ProcessList* m_pProcessList;
};

typedef DWORD (*CommandHandler)(CommandTable* table, AttributeMap* attributes, int* handled);

struct CommandEntry {
    DWORD hash;
    const WCHAR* name;
    CommandHandler handler;
    const CommandSpec* spec;  // what the handler reads from the element
};

// The dispatch both builds' tables share: the entries are searched in order, and the first whose
// hash equals the command's runs with the handled flag set. A handler that clears the flag lets
// the search go on; as the names' hashes are distinct, nothing further matches and the command
// counts as unhandled (0). result may be null.
int DispatchCommand(const CommandEntry* entries, size_t count, CommandTable* table, const WCHAR* commandName,
                    AttributeMap* attributes, DWORD* result);

// The languages Swap exchanges files between, held for the process by whoever runs a script
// (the applet sets them before Run).
extern DWORD g_dwCurrentLanguage;
extern DWORD g_dwTargetLanguage;

// Processes and windows.
DWORD CmdStopAll(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdStartProcess(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdStopProcess(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdKillProcess(CommandTable* table, AttributeMap* attributes, int* handled);
// Files and folders.
DWORD CmdCreateDirectory(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdRemoveDirectory(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdCopyFile(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdCopyTo(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdMoveFile(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdDeleteFile(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdLDAbsRename(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdLDRename(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdSwap(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdExpand(CommandTable* table, AttributeMap* attributes, int* handled);
// Registry (LDDeleteRegKey uses CmdDeleteRegKey).
DWORD CmdDeleteRegKey(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdRenameRegKey(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdCreateRegValue(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdDeleteRegValue(CommandTable* table, AttributeMap* attributes, int* handled);
// The rest.
DWORD CmdSetRebootFlag(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdBaseUpdate(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD CmdMsg(CommandTable* table, AttributeMap* attributes, int* handled);

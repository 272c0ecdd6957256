#include "command_table.h"

#include "script_trace.h"
#include "showmessage.h"

namespace {

// Searched in this order; the first entry whose hash equals the command's is the command.
constexpr CommandEntry kCommands[] = {
    {NameHash(u"StopAll"), u"StopAll", CmdStopAll, &kSpecNone},
    {NameHash(u"StartProcess"), u"StartProcess", CmdStartProcess, &kSpecStartProcess},
    {NameHash(u"StopProcess"), u"StopProcess", CmdStopProcess, &kSpecNoEffect},
    {NameHash(u"KillProcess"), u"KillProcess", CmdKillProcess, &kSpecNoEffect},
    {NameHash(u"CreateDirectory"), u"CreateDirectory", CmdCreateDirectory, &kSpecCreateDirectory},
    {NameHash(u"RemoveDirectory"), u"RemoveDirectory", CmdRemoveDirectory, &kSpecRemoveDirectory},
    {NameHash(u"CopyFile"), u"CopyFile", CmdCopyFile, &kSpecCopyFile},
    {NameHash(u"CopyTo"), u"CopyTo", CmdCopyTo, &kSpecCopyTo},
    {NameHash(u"MoveFile"), u"MoveFile", CmdMoveFile, &kSpecCopyFile},
    {NameHash(u"DeleteFile"), u"DeleteFile", CmdDeleteFile, &kSpecDeleteFile},
    {NameHash(u"DeleteRegKey"), u"DeleteRegKey", CmdDeleteRegKey, &kSpecDeleteRegKey},
    {NameHash(u"RenameRegKey"), u"RenameRegKey", CmdRenameRegKey, &kSpecNoEffect},
    {NameHash(u"CreateRegValue"), u"CreateRegValue", CmdCreateRegValue, &kSpecCreateRegValue},
    {NameHash(u"DeleteRegValue"), u"DeleteRegValue", CmdDeleteRegValue, &kSpecDeleteRegValue},
    {NameHash(u"SetRebootFlag"), u"SetRebootFlag", CmdSetRebootFlag, &kSpecNoEffect},
    {NameHash(u"LDAbsRename"), u"LDAbsRename", CmdLDAbsRename, &kSpecLDAbsRename},
    {NameHash(u"LDRename"), u"LDRename", CmdLDRename, &kSpecLDRename},
    {NameHash(u"LDDeleteRegKey"), u"LDDeleteRegKey", CmdDeleteRegKey, &kSpecDeleteRegKey},
    {NameHash(u"Swap"), u"Swap", CmdSwap, &kSpecSwap},
    {NameHash(u"Expand"), u"Expand", CmdExpand, &kSpecCopyTo},
    {NameHash(u"BaseUpdate"), u"BaseUpdate", CmdBaseUpdate, &kSpecBaseUpdate},
    {NameHash(u"Msg"), u"Msg", CmdMsg, &kSpecMsg},
};

}  // namespace

size_t CommandTable::CommandCount() { return sizeof kCommands / sizeof kCommands[0]; }

const CommandEntry* CommandTable::Entries() { return kCommands; }

const WCHAR* CommandTable::CommandName(size_t index) {
    return index < CommandCount() ? kCommands[index].name : nullptr;
}

int DispatchCommand(const CommandEntry* entries, size_t count, CommandTable* table, const WCHAR* commandName,
                    AttributeMap* attributes, DWORD* result) {
    const DWORD hash = NameHash(commandName);
    DWORD ignored = 0;
    if (!result) result = &ignored;
    for (size_t i = 0; i < count; ++i) {
        if (entries[i].hash != hash) continue;
        int handled = 1;
        *result = entries[i].handler(table, attributes, &handled);
        if (handled) return 1;
        TraceSkip(u"has no effect in this table");
    }
    return 0;
}

int CommandTable::Execute(const WCHAR* commandName, AttributeMap* attributes, DWORD* result, int) {
    return DispatchCommand(kCommands, CommandCount(), this, commandName, attributes, result);
}

DWORD CmdStopProcess(CommandTable*, AttributeMap*, int* handled) {
    *handled = 0;
    return 0;
}

DWORD CmdKillProcess(CommandTable*, AttributeMap*, int* handled) {
    *handled = 0;
    return 0;
}

DWORD CmdSetRebootFlag(CommandTable*, AttributeMap*, int* handled) {
    *handled = 0;
    return 0;
}

DWORD CmdMsg(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* text = NeededAttribute(attributes, u"text");
    if (!text) return 0;
    ShowMessage(text);
    return 1;
}

#include "command_table.h"

#include "script_trace.h"
#include "showmessage.h"

namespace {

// Searched in this order; the first entry whose hash equals the command's is the command.
constexpr CommandEntry kCommands[] = {
    {NameHash(u"StopAll"), u"StopAll", CmdStopAll},
    {NameHash(u"StartProcess"), u"StartProcess", CmdStartProcess},
    {NameHash(u"StopProcess"), u"StopProcess", CmdStopProcess},
    {NameHash(u"KillProcess"), u"KillProcess", CmdKillProcess},
    {NameHash(u"CreateDirectory"), u"CreateDirectory", CmdCreateDirectory},
    {NameHash(u"RemoveDirectory"), u"RemoveDirectory", CmdRemoveDirectory},
    {NameHash(u"CopyFile"), u"CopyFile", CmdCopyFile},
    {NameHash(u"CopyTo"), u"CopyTo", CmdCopyTo},
    {NameHash(u"MoveFile"), u"MoveFile", CmdMoveFile},
    {NameHash(u"DeleteFile"), u"DeleteFile", CmdDeleteFile},
    {NameHash(u"DeleteRegKey"), u"DeleteRegKey", CmdDeleteRegKey},
    {NameHash(u"RenameRegKey"), u"RenameRegKey", CmdRenameRegKey},
    {NameHash(u"CreateRegValue"), u"CreateRegValue", CmdCreateRegValue},
    {NameHash(u"DeleteRegValue"), u"DeleteRegValue", CmdDeleteRegValue},
    {NameHash(u"SetRebootFlag"), u"SetRebootFlag", CmdSetRebootFlag},
    {NameHash(u"LDAbsRename"), u"LDAbsRename", CmdLDAbsRename},
    {NameHash(u"LDRename"), u"LDRename", CmdLDRename},
    {NameHash(u"LDDeleteRegKey"), u"LDDeleteRegKey", CmdDeleteRegKey},
    {NameHash(u"Swap"), u"Swap", CmdSwap},
    {NameHash(u"Expand"), u"Expand", CmdExpand},
    {NameHash(u"BaseUpdate"), u"BaseUpdate", CmdBaseUpdate},
    {NameHash(u"Msg"), u"Msg", CmdMsg},
};

}  // namespace

size_t CommandTable::CommandCount() { return sizeof kCommands / sizeof kCommands[0]; }

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
    const WCHAR* text = attributes ? attributes->Find(u"text") : nullptr;
    if (!text) return 0;
    ShowMessage(text);
    return 1;
}

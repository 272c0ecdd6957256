// The configuration runner's command table. It dispatches as the applet's table does (first
// equal name hash; a handler that clears the handled flag lets the search go on), over a shorter
// list: the language switch's renames, swaps, archives, databases and messages are not part of
// this build, and their elements are passed over like any unknown name.
#include <iterator>

#include "mui_engine.h"
#include "platform/files.h"
#include "script/registry_commands.h"
#include "script/script_trace.h"

namespace {

constexpr AttributeSpec kHideFile[] = {{u"Name", ValueKind::DevicePath, Need::Required}};
constexpr CommandSpec kSpecHideFile = {kHideFile, 1, false, true};

constexpr CommandEntry kMuiCommands[] = {
    {NameHash(u"StopAll"), u"StopAll", MuiStopAll, &kSpecNone},
    {NameHash(u"StartProcess"), u"StartProcess", CmdStartProcess, &kSpecStartProcess},
    {NameHash(u"StopProcess"), u"StopProcess", CmdStopProcess, &kSpecNoEffect},
    {NameHash(u"KillProcess"), u"KillProcess", CmdKillProcess, &kSpecNoEffect},
    {NameHash(u"CreateDirectory"), u"CreateDirectory", CmdCreateDirectory, &kSpecCreateDirectory},
    {NameHash(u"RemoveDirectory"), u"RemoveDirectory", CmdRemoveDirectory, &kSpecRemoveDirectory},
    {NameHash(u"CopyFile"), u"CopyFile", CmdCopyFile, &kSpecCopyFile},
    {NameHash(u"MoveFile"), u"MoveFile", MuiMoveFile, &kSpecCopyFile},
    {NameHash(u"DeleteFile"), u"DeleteFile", MuiDeleteFile, &kSpecDeleteFile},
    {NameHash(u"DeleteRegKey"), u"DeleteRegKey", CmdDeleteRegKey, &kSpecDeleteRegKey},
    {NameHash(u"RenameRegKey"), u"RenameRegKey", CmdRenameRegKey, &kSpecNoEffect},
    {NameHash(u"CreateRegValue"), u"CreateRegValue", MuiCreateRegValue, &kSpecCreateRegValue},
    {NameHash(u"DeleteRegValue"), u"DeleteRegValue", CmdDeleteRegValue, &kSpecDeleteRegValue},
    {NameHash(u"SetRebootFlag"), u"SetRebootFlag", MuiSetRebootFlag, &kSpecNone},
    {NameHash(u"HideFile"), u"HideFile", MuiHideFile, &kSpecHideFile},
};

const WCHAR* const kMuiClassExclusions[] = {u"menu_worker", u"HHTaskBar", u"MS_SIPBUTTON"};

// A read-only or system file refuses to be moved or deleted; the runner's scripts replace such
// files, so they lose those attributes first.
const WCHAR* MakeSourceNormal(AttributeMap* attributes) {
    const WCHAR* source = NeededAttribute(attributes, u"Source");
    if (source) SetFileAttributesW(source, FILE_ATTRIBUTE_NORMAL);
    return source;
}

}  // namespace

const CloseExclusions& MuiCloseExclusions() {
    static const CloseExclusions exclusions{kMuiClassExclusions, std::size(kMuiClassExclusions)};
    return exclusions;
}

size_t MuiCommandTable::CommandCount() { return std::size(kMuiCommands); }

const CommandEntry* MuiCommandTable::Entries() { return kMuiCommands; }

const WCHAR* MuiCommandTable::CommandName(size_t index) {
    return index < CommandCount() ? kMuiCommands[index].name : nullptr;
}

int MuiCommandTable::Execute(const WCHAR* commandName, AttributeMap* attributes, DWORD* result, int) {
    return DispatchCommand(kMuiCommands, CommandCount(), this, commandName, attributes, result);
}

DWORD MuiStopAll(CommandTable* table, AttributeMap*, int*) {
    return StopAllWith(table ? table->m_pProcessList : nullptr, MuiCloseExclusions());
}

DWORD MuiMoveFile(CommandTable* table, AttributeMap* attributes, int* handled) {
    if (!MakeSourceNormal(attributes)) return FALSE;
    return CmdMoveFile(table, attributes, handled);
}

DWORD MuiDeleteFile(CommandTable* table, AttributeMap* attributes, int* handled) {
    if (!MakeSourceNormal(attributes)) return FALSE;
    return CmdDeleteFile(table, attributes, handled);
}

DWORD MuiCreateRegValue(CommandTable*, AttributeMap* attributes, int*) {
    return CreateRegValueWith(attributes, RegTextMarkers::Literal);
}

DWORD MuiSetRebootFlag(CommandTable* table, AttributeMap*, int* handled) {
    // The engine ignores the handled flag; clearing it keeps the table's report the same as
    // for the applet's SetRebootFlag, which does nothing.
    *handled = 0;
    if (auto* mui = static_cast<MuiCommandTable*>(table)) mui->m_pState->m_dwRebootFlag = 1;
    return 0;
}

DWORD MuiHideFile(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* name = NeededAttribute(attributes, u"Name");
    return name ? SetFileAttributesW(name, FILE_ATTRIBUTE_HIDDEN) : FALSE;
}

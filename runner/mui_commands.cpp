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

constexpr CommandEntry kMuiCommands[] = {
    {NameHash(u"StopAll"), u"StopAll", MuiStopAll},
    {NameHash(u"StartProcess"), u"StartProcess", CmdStartProcess},
    {NameHash(u"StopProcess"), u"StopProcess", CmdStopProcess},
    {NameHash(u"KillProcess"), u"KillProcess", CmdKillProcess},
    {NameHash(u"CreateDirectory"), u"CreateDirectory", CmdCreateDirectory},
    {NameHash(u"RemoveDirectory"), u"RemoveDirectory", CmdRemoveDirectory},
    {NameHash(u"CopyFile"), u"CopyFile", CmdCopyFile},
    {NameHash(u"MoveFile"), u"MoveFile", MuiMoveFile},
    {NameHash(u"DeleteFile"), u"DeleteFile", MuiDeleteFile},
    {NameHash(u"DeleteRegKey"), u"DeleteRegKey", CmdDeleteRegKey},
    {NameHash(u"RenameRegKey"), u"RenameRegKey", CmdRenameRegKey},
    {NameHash(u"CreateRegValue"), u"CreateRegValue", MuiCreateRegValue},
    {NameHash(u"DeleteRegValue"), u"DeleteRegValue", CmdDeleteRegValue},
    {NameHash(u"SetRebootFlag"), u"SetRebootFlag", MuiSetRebootFlag},
    {NameHash(u"HideFile"), u"HideFile", MuiHideFile},
};

const WCHAR* const kMuiClassExclusions[] = {u"menu_worker", u"HHTaskBar", u"MS_SIPBUTTON"};

// A read-only or system file refuses to be moved or deleted; the runner's scripts replace such
// files, so they lose those attributes first.
const WCHAR* MakeSourceNormal(AttributeMap* attributes) {
    const WCHAR* source = attributes ? attributes->Find(u"Source") : nullptr;
    if (source) SetFileAttributesW(source, FILE_ATTRIBUTE_NORMAL);
    return source;
}

}  // namespace

const CloseExclusions& MuiCloseExclusions() {
    static const CloseExclusions exclusions{kMuiClassExclusions, std::size(kMuiClassExclusions)};
    return exclusions;
}

size_t MuiCommandTable::CommandCount() { return std::size(kMuiCommands); }

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

// The configuration runner's build of the script engine: one script without a companion, `If`
// elements that test the device's ROM version ("rom") as well as the language ("lng"), and a
// command table without the language switch's commands, whose SetRebootFlag asks for a reset at
// the end of the run.
#pragma once

#include "script/command_table.h"
#include "script/process_commands.h"
#include "script/script_engine.h"

// What one run keeps between its commands and its end.
struct MuiRunState {
    DWORD m_dwRebootFlag = 0;
    // The shell processes recorded at start, whose windows StopAll leaves alone.
    ProcessList m_Processes;
};

// Units of the ROM version text, terminator included.
constexpr int kRomVersionUnits = 60;
// The device information record and where the ROM version lies in it.
constexpr size_t kDeviceInfoBytes = 5216;
constexpr size_t kRomVersionOffset = 2556;

// Reads the ROM version from the device information library ("flashmgr.dll"), loading it for
// this call only. False (version emptied) when the library, its export or the call fails.
bool ReadRomVersion(WCHAR (&version)[kRomVersionUnits]);

class MuiScriptEngine : public ScriptEngine {
public:
    // The runner applies a single script: there is nothing to merge a companion from.
    int Run(const WCHAR* source) { return ScriptEngine::Run(source, nullptr); }

protected:
    // A holding "rom" and a matching "lng" each contribute one copy of the children, "rom"
    // first, so an `If` with both, both true, runs its children twice.
    int ConditionCopies(IXmlElement* condition) override;
};

// The spared window classes of this build: "Worker" and "Dialog" windows may be closed.
const CloseExclusions& MuiCloseExclusions();

class MuiCommandTable : public CommandTable {
public:
    explicit MuiCommandTable(MuiRunState* state) : CommandTable(&state->m_Processes), m_pState(state) {}
    int Execute(const WCHAR* commandName, AttributeMap* attributes, DWORD* result, int skip) override;

    static size_t CommandCount();
    static const WCHAR* CommandName(size_t index);
    static const CommandEntry* Entries();

    MuiRunState* m_pState;
};

// This build's own handlers; the others are shared with the applet's table.
DWORD MuiStopAll(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD MuiMoveFile(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD MuiDeleteFile(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD MuiCreateRegValue(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD MuiSetRebootFlag(CommandTable* table, AttributeMap* attributes, int* handled);
DWORD MuiHideFile(CommandTable* table, AttributeMap* attributes, int* handled);

// The script the runner applies when its command line names none.
constexpr const WCHAR* kDefaultMuiSource = u"file://\\Windows\\muiconfig.xml";

// The program's main routine: applies the script named by commandLine (null or empty: the
// default), then soft-resets the device when the script asked for it. Always returns 0.
int MuiApplyMain(const WCHAR* commandLine);

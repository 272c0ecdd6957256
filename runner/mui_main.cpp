#include "mui_engine.h"
#include "platform/com.h"
#include "platform/windows.h"
#include "script/conditions.h"

int MuiApplyMain(const WCHAR* commandLine) {
    const HRESULT com = CoInitializeEx(nullptr, 0);
    // The runner has no window of its own; the wait cursor is all the user sees of it.
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));

    MuiRunState state;
    CollectShellProcesses(&state.m_Processes);
    {
        MuiScriptEngine engine;
        MuiCommandTable table(&state);
        engine.CreateDocument();
        engine.m_pSink = &table;
        const WCHAR* source = commandLine && commandLine[0] ? commandLine : kDefaultMuiSource;
        engine.Run(source);
        engine.ReleaseDocuments();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    SetCursor(previous);

    // The reset ends the run: every command has been carried out by now.
    if (state.m_dwRebootFlag) SoftReset();
    return 0;
}

// pocketsim's commands, one function each, dispatched from main's table.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace host {
class Device;
}

namespace commands {

int Init(const std::vector<std::string>& args);
int Reg(const std::vector<std::string>& args);
int Db(const std::vector<std::string>& args);
int Demo(const std::vector<std::string>& args);
int Keyboard(const std::vector<std::string>& args);
int Register(const std::vector<std::string>& args);
int Unregister(const std::vector<std::string>& args);
int Script(const std::vector<std::string>& args);
int MuiApply(const std::vector<std::string>& args);
int Lingo(const std::vector<std::string>& args);
int Options(const std::vector<std::string>& args);
int Ls(const std::vector<std::string>& args);
int Get(const std::vector<std::string>& args);
int Put(const std::vector<std::string>& args);
int Run(const std::vector<std::string>& args);
int Boot(const std::vector<std::string>& args);
int Diff(const std::vector<std::string>& args);
int Check(const std::vector<std::string>& args);
int Roundtrip(const std::vector<std::string>& args);
int Skin(const std::vector<std::string>& args);
int Install(const std::vector<std::string>& args);
// Installs a device cabinet (a host file) on the device through its cabinet installer, the build's
// own code in it trusted where it lands; with listing, the installer prints what it installs. The
// exit status; *error says why when the installer did not (it reports its own refusals).
int InstallCabinet(host::Device& device, const std::string& cabPath, bool listing, std::string* error);
int Rotate(const std::vector<std::string>& args);

// Drives the keyboard of the installed device with `pocketsim keyboard` events; its exit status.
int RunKeyboardEvents(host::Device& device, const std::vector<std::string>& events);
// Opens the installed device's language switcher as the control panel does and plays the
// `pocketsim lingo` actions at its dialog; the command's exit status.
int RunLingoActions(host::Device& device, const std::vector<std::string>& actions);
// Opens the installed device keyboard's options through its SIP and plays the
// `pocketsim options` actions at the page; the command's exit status.
int RunOptionsActions(host::Device& device, const std::vector<std::string>& actions);
// Runs a language script on the installed device as the language switcher runs it (the full
// command table, no spared processes), with the current and target languages Swap reads; the
// engine's Run result, its status in *status.
int RunLanguageScript(const WCHAR* source, const WCHAR* companion, DWORD current, DWORD target, HRESULT* status);

// Loads a library of the installed device and calls its registration export (DllRegisterServer
// or DllUnregisterServer); false with the reason, the HRESULT among it, when that fails.
bool CallServerExport(const char16_t* library, const char* exportName, std::string* error);

}  // namespace commands

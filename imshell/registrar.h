// The registrar: runs a registry script (the text of a "REGISTRY" resource) in register or
// unregister mode.
//
// Script syntax: a sequence of roots (HKCR, HKLM, HKCU, HKU or their long names), each followed
// by a block in braces. A block holds keys, and inside a key's block also values:
//   [NoRemove|ForceRemove|Delete] NAME [= TYPE 'DATA'] [{ ... }]
//   val NAME = TYPE 'DATA'
// TYPE is s (string), d (32-bit number, decimal or 0x hex) or b (hex bytes). Names are bare
// words or quoted; inside quotes '' stands for one quote. %NAME% is replaced before parsing
// (names compared without case), %% is a percent sign.
//
// The whole script is parsed before the registry is touched, so a malformed script changes
// nothing. Register mode creates keys and writes values; ForceRemove first deletes the key with
// everything under it, Delete only deletes. Unregister mode removes what the script created:
// ForceRemove keys whole; other keys after their children and named values, and only when
// nothing else is left in them; NoRemove keys are kept and only descended into.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/winbase.h"

namespace imshell {

struct Replacement {
    std::u16string name;
    std::u16string value;
};

enum class RegistrarMode { Register, Unregister };

// What a malformed script fails with.
inline constexpr HRESULT kScriptSyntaxError = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// Returns S_OK, kScriptSyntaxError (with the reason in *error when given), or the first registry
// failure as an HRESULT. Unregister mode goes on past failures and reports the first.
HRESULT RunRegistryScript(std::u16string_view script, const std::vector<Replacement>& replacements,
                          RegistrarMode mode, std::u16string* error = nullptr);

// Runs the script of resource (id, "REGISTRY") of module: ASCII or UTF-8 text.
HRESULT RunRegistryResource(HINSTANCE module, UINT id, const std::vector<Replacement>& replacements,
                            RegistrarMode mode);

}  // namespace imshell

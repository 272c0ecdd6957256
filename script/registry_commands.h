// The registry commands of the script vocabulary: create a typed value, delete a value, delete a
// key with its whole subtree. The handlers themselves are declared with the command table; this
// header holds the pieces they share with other builds of the engine.
#pragma once

#include "attribute_map.h"
#include "platform/wintypes.h"

// "HKCR" and "HKCU", compared exactly, select those roots; anything else, a missing text
// included, selects HKEY_LOCAL_MACHINE.
HKEY SelectRegRoot(LPCWSTR rootName);

// "BINARY", "DWORD" and "MULTI_SZ", compared exactly, select those types; anything else REG_SZ.
DWORD SelectRegType(LPCWSTR typeName);

// How CreateRegValue reads a REG_SZ text: the applet's build gives "[NULL]" and "[SPACE]" their
// meaning (an empty and a blank text, which the DOM's trimming cannot carry), the configuration
// runner's build stores every text as written.
enum class RegTextMarkers { Interpreted, Literal };

// CreateRegValue with the chosen reading of REG_SZ texts; CmdCreateRegValue interprets them.
DWORD CreateRegValueWith(AttributeMap* attributes, RegTextMarkers markers);

// Deletes the subkey name of parent with all its descendants, deepest first. Returns 0, or the
// first error met; the part not yet deleted then stays in place.
LONG DeleteKeyTree(HKEY parent, LPCWSTR name);

// The fake input method of the SIP tests: two classes in one library, each logging every call
// the SIP makes on it (and every pen message its panel window receives) to one list that the
// test reads through the library's extra exports.
#pragma once

#include "platform/sip.h"

// {5E1C2D3F-4A5B-4C6D-8E9F-0A1B2C3D4E5F} and {5E1C2D3F-4A5B-4C6D-8E9F-0A1B2C3D4E60}; the log
// names them "A" and "B".
inline const CLSID CLSID_FakeImA =
    DEFINE_GUID_VALUE(0x5E1C2D3F, 0x4A5B, 0x4C6D, 0x8E, 0x9F, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F);
inline const CLSID CLSID_FakeImB =
    DEFINE_GUID_VALUE(0x5E1C2D3F, 0x4A5B, 0x4C6D, 0x8E, 0x9F, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x60);

// The log so far, one call a line; valid until the next call into the library.
typedef const char* (*FakeImLogProc)();
typedef void (*FakeImClearLogProc)();
// hold TRUE makes DllCanUnloadNow answer S_FALSE even with no object alive.
typedef void (*FakeImHoldProc)(BOOL hold);
// The height Showing gives the SIP window; 0 (the default): a third of the screen in landscape,
// a quarter in portrait.
typedef void (*FakeImPanelHeightProc)(int height);
// The colour the panel paints itself with.
constexpr COLORREF kFakeImPanelColour = 0x00336699;

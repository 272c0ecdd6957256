// Tiltwatch: a stream driver whose only work is a hidden window on a thread of its own, which
// points the Today screen's skin at the portrait or the landscape skin file whenever the screen
// turns. The library's stream entry points are exported with C linkage (exports.cpp).
#pragma once

#include "platform/windows.h"

namespace tiltwatch {

// The two files "skin" names, chosen by the screen's shape: wider than high is landscape.
constexpr const WCHAR* kLandscapeSkin = u"\\My Documents\\Today\\hpSkinTodayPluginL.skin";
constexpr const WCHAR* kPortraitSkin = u"\\My Documents\\Today\\hpSkinTodayPluginP.skin";
constexpr const WCHAR* kSkinKey = u"Software\\iPAQ Entertainment";

// The hidden window's procedure and the worker thread's routine.
LRESULT WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WatcherThread(LPVOID parameter);

}  // namespace tiltwatch

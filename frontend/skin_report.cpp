#include "skin_report.h"

#include <cstdio>

#include "cli.h"
#include "keyboard/skin_catalogue.h"
#include "keyboard/skin_fit.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "platform/winbase.h"

namespace cli {

namespace {

// Why the engine passes over the skin file on this screen, by the rule it lists skins with.
std::string Unsuitable(const std::u16string& path) {
    HMODULE library = LoadLibraryW(path.c_str());
    if (!library) return "it does not load as a library (error " + std::to_string(GetLastError()) + ")";
    HBITMAP image = LoadBitmapW(library, keyboard::kPortraitImage);
    BITMAP bm{};
    const bool measured = image && GetObjectW(image, sizeof bm, &bm) != 0;
    if (image) DeleteObject(image);
    FreeLibrary(library);
    if (!measured) return "it has no portrait image (" + ToUtf8(keyboard::kPortraitImage) + ")";
    const LONG offered = keyboard::OfferedWidth(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (bm.bmWidth != offered)
        return "portrait image " + std::to_string(bm.bmWidth) + " wide, screen " + std::to_string(offered);
    return "it suits the screen, yet another path came first";
}

}  // namespace

void ReportSkinChoice(const std::u16string& asked, const std::u16string& chosen, const std::u16string& loaded) {
    if (chosen == asked && !loaded.empty()) return;
    // The engine takes the first path of its list that contains the stored value and suits the
    // screen; the person is told about the first that contains it.
    std::string why;
    for (const std::u16string& path : keyboard::GetSkinList()) {
        if (path.find(asked) == std::u16string::npos) continue;
        why = Name(ToUtf8(path)) + ": " + Unsuitable(path);
        break;
    }
    if (why.empty()) why = "no skin file's path contains it (pocketsim ls IMAGE '\\Windows' lists the skins)";
    const std::string instead = loaded.empty() ? "the keyboard has no skin for this screen"
                                               : "the keyboard loaded " + Name(ToUtf8(loaded)) + " instead";
    std::fprintf(stderr, "pocketsim: skin '%s' not taken: %s; %s\n", Name(ToUtf8(asked)).c_str(), why.c_str(),
                 instead.c_str());
}

}  // namespace cli

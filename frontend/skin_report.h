// What pocketsim keyboard ... skin NAME says when the keyboard did not take the skin asked for:
// the engine quietly falls back to the first skin that suits the screen, so the person is told
// on standard error which skin it loaded instead and why the one asked for was passed over.
#pragma once

#include <string>

namespace cli {

// asked: the value stored as the skin setting; chosen: the engine's skin setting after it
// reloaded (it keeps the asked value when that chose a skin); loaded: the file it loaded, empty
// when it found no skin at all. Prints nothing when the asked value chose the skin.
void ReportSkinChoice(const std::u16string& asked, const std::u16string& chosen, const std::u16string& loaded);

}  // namespace cli

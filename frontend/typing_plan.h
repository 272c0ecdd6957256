// pocketsim keyboard ... type TEXT: which keys a person taps to type one character on the
// keyboard as it is now, found with the engine's own rules: the status keys' transitions
// (Shift, Lang, Digit, Uml) and the delivery plan that says what a key types in a status.
#pragma once

#include <string>
#include <vector>

class CKeyboard;

namespace cli {

// The entries to tap, status keys first, the fewest taps that type c from the engine's present
// status; false when no key of the layouts types it within three status keys.
bool PlanCharacter(const CKeyboard& kbd, char16_t c, std::vector<int>* entries);

}  // namespace cli

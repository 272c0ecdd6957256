// Key delivery as pure planning: which SIP callback calls one key press makes, given the key's
// characters and the keyboard's state, and the sending of a plan through IIMCallback.
//
// Invariants: function keys become virtual-key events, characters become character events that
// carry the exact character of the page shown; a plan holds at most three calls, so planning
// and sending never allocate.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "charset_table.h"
#include "platform/sip.h"
#include "status_machine.h"

namespace keyboard {

// The virtual-key code sent with characters the mapping does not cover (second-language and
// accented letters, most symbols): VK_PACKET, the platform's code for "a character that is no
// key of the device's keyboard". It collides with no mapped code, and the character argument of
// the event carries the key.
inline constexpr BYTE kUnmappedVirtualKey = 0xE7;

// The virtual-key code of a character key, from its language-1 pair: the large character when it
// is A-Z, overridden by the small one for digits and ; [ ] ' , . /.
BYTE VirtualKeyForCharacter(DWORD lng1);

// On the digit row of a portrait skin under CAPS lock, the key ignores CAPS: it takes the large
// character with Shift and the small one without, whatever the mask shows.
enum class ForcedCase : uint8_t { None, Small, Large };

// The character a key types with mask shown. An upward swipe (shifted), or a forced case opposite
// to the mask's, takes the other character of the pair; the digit mask always takes word 7.
// Nothing when no mask is selected.
std::optional<WCHAR> ChooseCharacter(const CharsetEntry& entry, MaskId mask, bool shifted, ForcedCase forced);

struct KeyCall {
    enum class Kind : uint8_t { VirtualKey, CharEvent };
    Kind kind = Kind::VirtualKey;
    UINT vk = 0;
    DWORD flags = 0;
    WCHAR ch = 0;  // CharEvent only
};

struct KeyCalls {
    std::array<KeyCall, 3> calls{};
    size_t count = 0;

    void Key(BYTE vk, DWORD flags) { calls[count++] = KeyCall{KeyCall::Kind::VirtualKey, vk, flags, 0}; }
    void Char(UINT vk, DWORD flags, WCHAR ch) { calls[count++] = KeyCall{KeyCall::Kind::CharEvent, vk, flags, ch}; }
};

// What of the engine's state delivery reads.
struct DeliveryState {
    KbStatus status;
    MaskId mask = MaskId::Stock;  // the mask shown (selected in the main mask context)
    bool portrait = false;
    bool capsRectSet = false;  // the CAPS rectangle is not empty
    bool functional = false;   // the key's code is in the function block
    bool digitalLine = false;  // the key's code is a digit-row code
};

// The calls for one key with the four pairs of its entry (language 1, extended page 1,
// language 2, extended page 2; small character low, large high).
KeyCalls PlanKeyDelivery(DWORD lng1, DWORD uml1, DWORD lng2, DWORD uml2, bool shifted, const DeliveryState& state);

// Makes the calls in order; each character event passes a count of 1, its own flags as the shift
// state and the one character. Results are ignored.
void SendKeyCalls(IIMCallback* callback, const KeyCalls& plan);

}  // namespace keyboard
